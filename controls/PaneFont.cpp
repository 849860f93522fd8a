#include "controls/PaneFont.h"

#include "core/SmartRef.h"
#include "ui/SubPane.h"

void PaneSetFontMapped(Pane* pane, const FontDescriptor& font) {
  StringRef face = StringRef::Adopt(MapFontName(font.name));
  pane->SetTextFontName(face.get());
  pane->SetTextSize(font.size);
  pane->SetTextStyleBits(uint8_t(FontDescriptorStyleBits(&font)));

  // Only panes in a window have a visibility; off-screen ones have nothing
  // to redraw.
  auto* subPane = dynamic_cast<SubPane*>(pane);
  if (subPane && subPane->IsShown()) subPane->Invalidate(true);
}
