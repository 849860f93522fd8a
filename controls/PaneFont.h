// The text font of a pane that draws its own text, stored from a font
// descriptor through the font-name map, so that the pane's drawing port
// later selects an installed Windows face for a classic name.
#pragma once

#include "ui/FontCache.h"

class Pane;

// Stores the mapped face of the descriptor's name (any other name, the empty
// one included, is kept as it is), its size through the pane's size setter,
// and the style bits (bold 1, italic 2, underline 4). A shown pane with a
// native window is then invalidated as a whole; a hidden one is left alone.
void PaneSetFontMapped(Pane* pane, const FontDescriptor& font);
