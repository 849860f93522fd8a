// Metafile import: an enhanced metafile on disk becomes a Group2D holding one
// vector shape per drawing record it translates (EmfRecords.h decodes the
// records; GDI only opens and enumerates the file). Windows metafiles are
// recognised and give none.
//
// One import at a time, on the application's thread. The group is a new
// reference, the caller's. An import stops after kMostImportedShapes shapes,
// keeping them. Paths are UTF-8.
#pragma once
#include <windows.h>

#include <cstdint>

#include "graphics/EmfRecords.h"

struct RuntimeObject;

constexpr uint32_t kMostImportedShapes = 1000000;

extern "C" {
// ".emf" (any case): ImportEnhancedMetafile. ".wmf": opened and closed at
// once, none. Any other ending: none.
RuntimeObject* ImportMetafileFile(const char* path, int32_t* width, int32_t* height);
// The group of the file's shapes and the size of its bounds; a file that
// cannot be opened gives an empty group, 0 x 0.
RuntimeObject* ImportEnhancedMetafile(const char* path, int32_t* width, int32_t* height);
// The enumeration's callback: the record to the import (data); 0 stops.
int CALLBACK EmfRecordToShapes(HDC dc, HANDLETABLE* handles, const ENHMETARECORD* record,
                               int objects, LPARAM data);
}

// A shape's border and fill from the pen and brush (either may be nil):
// BorderColor, Border 100 percent and BorderWidth with a pen, Border and
// BorderWidth 0 without; FillColor with a brush, Fill 0 without; Rotation 0
// and Scale 1 always.
void ApplyPenAndBrush(RuntimeObject* shape, const EmfBrush* brush, const EmfPen* pen);
