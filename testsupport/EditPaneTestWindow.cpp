#include "testsupport/EditPaneTestWindow.h"

#include <gtest/gtest.h>

#include "core/string.h"
#include "testsupport/UiTestSupport.h"
#include "ui/FontCache.h"
#include "ui/RuntimeWindow.h"

namespace {

std::string At(const char* operation, int32_t x, int32_t y) {
  return std::string(operation) + " " + std::to_string(x) + "," + std::to_string(y);
}

using Creator = RichEditPane* (*)(EditFieldEventSink*, const PaneSite&, const FontDescriptor&);

struct PaneKind {
  const char* name;
  MacRect bounds;
  Creator create;
};

const PaneKind kPaneKinds[] = {
    {"Single", Rect(10, 10, 120, 24),
     [](EditFieldEventSink* sink, const PaneSite& site, const FontDescriptor& font) {
       return NewSingleLineEditPane(sink, site.parent, site.tabPanelIndex, site.bounds, true,
                                    font);
     }},
    {"Multi", Rect(10, 50, 120, 80),
     [](EditFieldEventSink* sink, const PaneSite& site, const FontDescriptor& font) {
       return NewMultiLineEditPane(sink, site.parent, site.tabPanelIndex, site.bounds, true, font,
                                   true, false);
     }},
    {"StyledSingle", Rect(150, 10, 120, 24),
     [](EditFieldEventSink* sink, const PaneSite& site, const FontDescriptor& font) {
       return NewStyledSingleLineEditPane(sink, site.parent, site.tabPanelIndex, site.bounds,
                                          true, font);
     }},
    {"StyledMulti", Rect(150, 50, 120, 80),
     [](EditFieldEventSink* sink, const PaneSite& site, const FontDescriptor& font) {
       return NewStyledMultiLineEditPane(sink, site.parent, site.tabPanelIndex, site.bounds,
                                         true, font, true, true);
     }},
};

}  // namespace

bool RecordingEditSink::Record(const std::string& line) {
  Log(line);
  if (after) after(line);
  return answerTrue.count(line) != 0;
}

void RecordingEditSink::TextChanged(NativeEditPane*) { Record("TextChanged"); }
void RecordingEditSink::SelectionChanged(NativeEditPane*) { Record("SelectionChanged"); }
void RecordingEditSink::GotFocus(SubPane*) { Record("GotFocus"); }
void RecordingEditSink::LostFocus(SubPane*) { Record("LostFocus"); }

bool RecordingEditSink::KeyChar(NativeEditPane*, uint32_t character, uint32_t, uint32_t) {
  return Record("KeyChar " + std::to_string(character));
}

void RecordingEditSink::EnableMenuItems(NativeEditPane*) { Record("EnableMenuItems"); }
bool RecordingEditSink::AskOwner(NativeEditPane*, RuntimeObject*) { return Record("AskOwner"); }

bool RecordingEditSink::HandleMenuItem(NativeEditPane*, RuntimeObject*) {
  return Record("HandleMenuItem");
}

bool RecordingEditSink::MouseDown(SubPane*, int32_t x, int32_t y) {
  return Record(At("MouseDown", x, y));
}

bool RecordingEditSink::MouseUp(SubPane*, int32_t x, int32_t y) {
  return Record(At("MouseUp", x, y));
}

EditPaneWindow::EditPaneWindow() : window_(OpenTestWindow()) {
  for (const PaneKind& kind : kPaneKinds) {
    Creator create = kind.create;
    std::unique_ptr<RecordingEditSink>& sink = sinks_[kind.name];
    PlaceControl(window_.get(), kind.name, kind.bounds, [create, &sink](const PaneSite& site) {
      sink = std::make_unique<RecordingEditSink>(site.control);
      ScopedFontDescriptor font;
      RichEditPane* pane = create(sink.get(), site, font.get());
      pane->SetText(nullptr);
      return pane;
    });
  }
  RunPendingTurns();
  TakeLog();
}

EditPaneWindow::~EditPaneWindow() { Close(); }

bool EditPaneWindow::IsOpen() const { return WindowIsOpen(window_.get()); }
void EditPaneWindow::Close() { WindowClose(window_.get()); }

RuntimeObject* EditPaneWindow::Control(const std::string& name) const {
  return IsOpen() ? WindowFindControl(window_.get(), name) : nullptr;
}

RichEditPane* EditPaneWindow::Pane(const std::string& name) const {
  return dynamic_cast<RichEditPane*>(PaneOf(Control(name)));
}

HWND EditPaneWindow::Native(const std::string& name) const { return NativeOf(Control(name)); }

RecordingEditSink& EditPaneWindow::Sink(const std::string& name) {
  EXPECT_TRUE(sinks_.count(name)) << name;
  return *sinks_[name];
}

std::string TextOf(NativeEditPane* pane) {
  StringRef text = StringRef::Adopt(pane->GetText(kEncodingUTF8));
  return StringToStdUTF8(text.get());
}

StringRef Utf8(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }
