// The live counts of the drawing layer's GDI objects, and its counted flush.
#include "graphics/GdiObjects.h"

namespace {

int32_t liveCounts[int(GdiKind::kCount)] = {};
int32_t flushCount = 0;
bool drawingNoted = true;

}  // namespace

int32_t GdiLiveCount(GdiKind kind) { return liveCounts[int(kind)]; }
void NoteGdiObjectMade(GdiKind kind) { ++liveCounts[int(kind)]; }
void NoteGdiObjectDeleted(GdiKind kind) { --liveCounts[int(kind)]; }

void FlushGdi() {
  GdiFlush();
  ++flushCount;
  drawingNoted = false;
}

void NoteGdiDrawing() { drawingNoted = true; }

void FlushGdiAfterDrawing() {
  if (drawingNoted) FlushGdi();
}

int32_t GdiFlushCount() { return flushCount; }
