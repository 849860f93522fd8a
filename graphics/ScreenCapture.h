// Screen capture and the packed-DIB utilities over GDI: what is on the
// screen, or any device-dependent bitmap, as a packed DIB in global memory,
// and a packed DIB painted into a DC. Every packed DIB read here goes through
// the shared reader (PackedDIB.h).
//
// Ownership: packed DIB handles given back are the caller's (GlobalFree);
// palettes and bitmaps come in their counted owners.
#pragma once
#include <windows.h>

#include <cstdint>

#include "graphics/GdiObjects.h"

// The window's whole rectangle (mode 1) or its client area (mode 2) as on the
// screen now; 0 for a nil window, any other mode or an empty area.
HGLOBAL CaptureWindowDIB(HWND window, uint16_t mode);
HGLOBAL CaptureScreenRectDIB(const RECT& screenRect);
// A compatible bitmap of the screen's pixels; none for an empty rectangle.
CountedCompatibleBitmap CaptureScreenBitmap(const RECT& screenRect);

// A packed DIB of the bitmap (not selected into any DC) through the palette
// (nil: the default one): 1, 4 or 8 bits with a full colour table for
// bitmaps of up to 8 bits, 24 bits above. 0 for a nil bitmap or a failure.
HGLOBAL BitmapToPackedDIB(HBITMAP bitmap, HPALETTE palette);

// Paints the source rectangle of the packed DIB (rows counted from its top,
// whatever its row order) into the destination rectangle, stretched when the
// sizes differ. The result of the GDI call; 0 for a nil handle or a DIB the
// reader rejects.
int PaintPackedDIB(HDC dc, const RECT& destination, HGLOBAL packedDIB, const RECT& source,
                   HPALETTE palette);

// The system palette: 2^bits entries up to 8 bits per pixel, 1 above.
uint32_t SystemPaletteEntryCount(uint32_t bitsPerPixel);
CountedPalette CreateSystemPalette();
