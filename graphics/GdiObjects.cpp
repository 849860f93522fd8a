// The live counts of the drawing layer's GDI objects.
#include "graphics/GdiObjects.h"

namespace {

int32_t liveCounts[int(GdiKind::kCount)] = {};

}  // namespace

int32_t GdiLiveCount(GdiKind kind) { return liveCounts[int(kind)]; }
void NoteGdiObjectMade(GdiKind kind) { ++liveCounts[int(kind)]; }
void NoteGdiObjectDeleted(GdiKind kind) { --liveCounts[int(kind)]; }
