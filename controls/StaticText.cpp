// The StaticText control.
#include "controls/StaticText.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "controls/DataControlRole.h"
#include "controls/Mnemonic.h"
#include "controls/PaneFont.h"
#include "core/InstanceArgument.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "ui/PaneFocus.h"
#include "ui/WinUtil.h"
#include "ui/WindowKeys.h"
#include "ui/win32windows.h"

namespace {

// DT_SINGLELINE | DT_VCENTER | DT_NOCLIP, with "&" prefixes shown.
constexpr UINT kLineFormat = DT_SINGLELINE | DT_VCENTER | DT_NOCLIP;

StaticTextFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<StaticTextFields>(control);
}

// The fields of a label; nil for nil (NilObjectException raised) or for
// another class's object (reported).
StaticTextFields* Checked(RuntimeObject* control) {
  return InstanceArgument<StaticTextFields>(control, GetStaticTextClassDefinition(), "StaticText",
                                            __LINE__, "ObjectIsADefinition(control, StaticText)");
}

StaticTextPane* PaneOf(StaticTextFields* fields) {
  return dynamic_cast<StaticTextPane*>(fields->control.pane);
}

int16_t Held16(int32_t value) { return int16_t(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX)); }

// A font field changed: the pane takes the whole font record again.
void FontChanged(StaticTextFields* fields) {
  if (StaticTextPane* pane = PaneOf(fields)) pane->SetTextFont(fields->font);
}

// One 16-bit channel of the text colour: the byte times 257, washed out
// toward grey, (c + 0x18000) / 4, for a label that is inactive or disabled.
uint16_t Channel(uint32_t color, int shift, bool washedOut) {
  uint32_t channel = ((color >> shift) & 0xFF) * 0x101;
  if (washedOut) channel = (channel + 0x18000) >> 2;
  return uint16_t(channel);
}

// The vertical bands of n lines in the box: the first band's top and the
// height of each. One line takes the whole box.
struct LineBands {
  int32_t top;
  int32_t height;
};

LineBands BandsOf(GraphicsPort* port, const MacRect& box, size_t lineCount) {
  const int32_t boxHeight = int32_t(box.bottom) - box.top;
  if (lineCount <= 1) return LineBands{box.top, boxHeight};
  const int32_t height = port->TextHeight() + port->TextLeading();
  return LineBands{box.top + (boxHeight - int32_t(lineCount) * height) / 2, height};
}

int32_t DrawTextIn(HDC dc, StringRecord* text, RECT* area, UINT format) {
  if (IsWindowsNT()) {
    std::wstring wide = StringToWide(text);
    return DrawTextW(dc, wide.data(), int(wide.size()), area, format);
  }
  StringRef system = StringRef::Adopt(StringToSystemEncoding(text));
  return DrawTextA(dc, reinterpret_cast<const char*>(StringData(system.get())),
                   int(StringLength(system.get())), area, format);
}

// The same bytes in the same encoding (no string and "" are the same).
bool IsSameText(const StringRecord* a, const StringRecord* b) {
  if (StringCompareExact(a, b) != 0) return false;
  return StringLength(a) == 0 || a->encoding == b->encoding;
}

// The default font at the controls' default size.
void InitialiseStaticText(RuntimeObject* control) {
  FontDescriptor& font = FieldsOf(control)->font;
  FontDescriptorInit(&font);
  font.size = DefaultTextStyle().size;
}

}  // namespace

// ---- Class definition ----

ObjectDefinition* GetStaticTextClassDefinition() {
  constexpr uint32_t kField = kPropertyGenericGetter;
  static EventRecord events[] = {
      {0, "AcceleratorKey", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseDrag", "X As Integer, Y As Integer", nullptr, 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
  };
  static const PropertyRecord properties[] = {
      {kField, "Text", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(staticCaptionSetter), offsetof(StaticTextFields, caption)},
      {kField, "Caption", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(staticCaptionSetter), offsetof(StaticTextFields, caption)},
      {kField, "TextAlign", &kIntegerType, RUNTIME_ENTRY(staticShortGetter),
       RUNTIME_ENTRY(staticTextAlignSetter), offsetof(StaticTextFields, textAlign)},
      {kField, "TextColor", &kColorType, RUNTIME_ENTRY(colorGetter),
       RUNTIME_ENTRY(staticTextColorSetter), offsetof(StaticTextFields, textColor)},
      {kField, "TextFont", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(staticTextFontSetter), offsetof(StaticTextFields, font.name)},
      {kField, "TextSize", &kIntegerType, RUNTIME_ENTRY(staticShortGetter),
       RUNTIME_ENTRY(staticTextSizeSetter), offsetof(StaticTextFields, font.size)},
      {kField, "Bold", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(staticAttributeSetter), offsetof(StaticTextFields, font.bold)},
      {kField, "Italic", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(staticAttributeSetter), offsetof(StaticTextFields, font.italic)},
      {kField, "Underline", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(staticAttributeSetter), offsetof(StaticTextFields, font.underline)},
      {kField, "MultiLine", &kBooleanType, RUNTIME_ENTRY(boolGetter),
       RUNTIME_ENTRY(StaticTextMultilineSetter), offsetof(StaticTextFields, multiLine)},
      {0, "DataSource", &kStringType, RUNTIME_ENTRY(StaticTextDataSourceGetter),
       RUNTIME_ENTRY(StaticTextDataSourceSetter), 0},
      {kField, "DataField", &kStringType, RUNTIME_ENTRY(stringGetter),
       RUNTIME_ENTRY(StaticTextDataFieldSetter), offsetof(StaticTextFields, dataField)},
  };
  static ControlClassDefinition definition(ControlClassTables{
      "StaticText", sizeof(StaticTextFields), InitialiseStaticText, StaticTextDestruct,
      StaticTextCreatePane, events, int32_t(std::size(events)), properties,
      int32_t(std::size(properties)), nullptr, 0, {}});
  return definition.get();
}

void InitStaticTextClass() { RegisterIntrinsicClass(GetStaticTextClassDefinition()); }

// ---- The pane ----

StaticTextPane::StaticTextPane(SubPane* parent, int32_t tabPanelIndex, const MacRect& bounds)
    : SubPane(parent, tabPanelIndex, bounds, nullptr, kPaneClassName, 0, 0) {
  FontDescriptorInit(&font_);
}

StaticTextPane::~StaticTextPane() {
  binding_.Unbind();
  FontDescriptorDispose(&font_);
}

void StaticTextPane::BindDataSource() { binding_.Bind(control_, kBoundStaticText); }
void StaticTextPane::UnbindDataSource() { binding_.Unbind(); }

void StaticTextPane::ShowCaption(const StringRecord* caption) {
  if (IsSameText(caption_.get(), caption)) return;
  caption_ = StringRef::Retain(const_cast<StringRecord*>(caption));
  SetMnemonicShortcut(this, kShortcutLabel, caption);
  Invalidate(true);
}

void StaticTextPane::SetCaption(const StringRecord* caption) {
  if (control_) {
    staticCaptionSetter(control_, 0, const_cast<StringRecord*>(caption));
  } else {
    ShowCaption(caption);
  }
}

void StaticTextPane::SetTextAlign(int16_t alignment) {
  alignment_ = alignment;
  Invalidate(true);
}

void StaticTextPane::SetTextFont(const FontDescriptor& font) {
  if (FontDescriptorAssign(&font_, &font)) PaneSetFontMapped(this, font_);
}

void StaticTextPane::SetMultiline(bool multiline) {
  multiline_ = multiline;
  Invalidate(true);
}

void StaticTextPane::SetTextColor(uint32_t color) {
  if (color == color_) return;
  color_ = color;
  Invalidate(true);
}

void StaticTextPane::Draw(GraphicsPort* port) {
  if (!IsVisible() || !IsShown()) return;
  EraseBackground();
  port->Focus();
  port->SetTextFont(TextFontName());
  port->SetTextSize(TextSize());
  port->SetTextStyle(TextStyleBits());

  const RGBColor16 saved = port->ForeColor();
  const bool washedOut = !IsActive() || !IsEnabled();
  port->SetForeColor(RGBColor16{Channel(color_, 16, washedOut), Channel(color_, 8, washedOut),
                                Channel(color_, 0, washedOut)});
  if (multiline_) {
    port->DrawTextBoxMnemonic(caption_.get(), Bounds(), alignment_);
  } else {
    DrawLines(port);
  }
  port->SetForeColor(saved);
}

void StaticTextPane::DrawLines(GraphicsPort* port) {
  const std::vector<StringRef> lines = SplitLines(caption_.get());
  const LineBands bands = BandsOf(port, Bounds(), lines.size());
  MacRect band = Bounds();
  for (size_t k = 0; k < lines.size(); ++k) {
    const int32_t top = bands.top + int32_t(k) * bands.height;
    band.top = int16_t(std::clamp<int32_t>(top, INT16_MIN, INT16_MAX));
    band.bottom = int16_t(std::clamp<int32_t>(top + bands.height, INT16_MIN, INT16_MAX));
    if (StringLength(lines[k].get()) > 0) {
      StaticTextDrawLine(port, band, lines[k].get(), alignment_);
    }
  }
}

bool StaticTextPane::BaselineOffset(int32_t* offset) {
  if (!offset) return true;
  *offset = 0;
  GraphicsPort* port = PaneNewGraphicsPort(this);
  if (!port) return true;
  const size_t lineCount = multiline_ ? 1 : SplitLines(caption_.get()).size();
  const LineBands bands = BandsOf(port, Bounds(), lineCount);
  *offset = multiline_ ? port->TextAscent()
                       : bands.top - Top() + (bands.height - port->TextHeight()) / 2 +
                             port->TextAscent();
  PaneDeleteGraphicsPort(port);
  return true;
}

void StaticTextPane::CallMouseHandler(const char* event, int32_t x, int32_t y) {
  if (!control_ || !FieldsOf(control_)->mouseHandled) return;
  OwnerChainLock lock(this);
  CallControlHandler(control_, event, x - Left(), y - Top());
}

bool StaticTextPane::MouseDown(int32_t x, int32_t y, uint32_t) {
  if (!control_ || !IsEnabled()) return false;
  bool handled;
  {
    OwnerChainLock lock(this);
    handled = CallControlHandler<bool>(control_, "MouseDown", x - Left(), y - Top());
  }
  // A handler that closed the window has used the press; the control may
  // be gone with it.
  if (!control_) return true;
  FieldsOf(control_)->mouseHandled = handled ? 1 : 0;
  if (handled) SetMouseCapturePane(this);
  return handled;
}

void StaticTextPane::MouseDrag(int32_t x, int32_t y, uint32_t) {
  CallMouseHandler("MouseDrag", x, y);
}

void StaticTextPane::MouseUp(int32_t x, int32_t y, uint32_t) { CallMouseHandler("MouseUp", x, y); }

void StaticTextPane::ActivateShortcut(uint32_t kind) {
  if ((kind & 0xFFFF) == kShortcutLabel) {
    StaticTextFireAcceleratorKey(this);
  } else {
    SubPane::ActivateShortcut(kind);
  }
}

void StaticTextPane::Activate() {
  const bool changed = !IsActive();
  SubPane::Activate();
  if (changed) Invalidate(true);
}

void StaticTextPane::Deactivate() {
  const bool changed = IsActive();
  SubPane::Deactivate();
  if (changed) Invalidate(true);
}

void StaticTextPane::SetBounds(const MacRect& rect, bool redraw) {
  const MacRect old = Bounds();
  SubPane::SetBounds(rect, redraw);
  if (redraw) RedrawWholeAfterResize(this, old);
}

void StaticTextPane::Close() {
  binding_.Unbind();
  // The control may go before the pane: a closing pane raises nothing.
  control_ = nullptr;
  SubPane::Close();
}

void StaticTextDrawLine(GraphicsPort* port, const MacRect& bounds, StringRecord* line,
                        int32_t alignment) {
  StringRef shown = StringRef::Adopt(CaptionWithoutAmpersands(line, nullptr));
  const int32_t width = port->StringWidth(shown.get());
  int32_t x = bounds.left;
  if (alignment == 1) x = bounds.left + (int32_t(bounds.right) - bounds.left - width) / 2;
  if (alignment == 2) x = bounds.right - width;

  port->Focus();
  port->ApplyFont();
  HDC dc = port->GetDC();
  if (!dc) return;
  const COLORREF oldColour = SetTextColor(dc, RGBColorToColorRef(port->ForeColor()));
  const UINT oldAlign = SetTextAlign(dc, 0);
  RECT area{x, bounds.top, bounds.right, bounds.bottom};
  DrawTextIn(dc, line, &area, kLineFormat);
  SetTextAlign(dc, oldAlign);
  SetTextColor(dc, oldColour);
}

void StaticTextFireAcceleratorKey(StaticTextPane* pane) {
  if (!pane || !pane->Control() || !pane->IsEnabled()) return;
  OwnerChainLock lock(pane);
  CallControlHandler(pane->Control(), "AcceleratorKey");
}

// ---- Entry points ----

extern "C" void StaticTextCreatePane(RuntimeObject* control) {
  StaticTextFields* fields = FieldsOf(control);
  RuntimeControl& common = fields->control;
  auto* pane = new StaticTextPane(ControlParentPane(control), common.tabPanelIndex, common.bounds);
  AdoptControlPane(control, pane);
  pane->SetControl(control);
  pane->ShowCaption(fields->caption);
  pane->SetTextAlign(fields->textAlign);
  pane->SetTextColor(fields->textColor);
  pane->SetTextFont(fields->font);
  pane->SetMultiline(fields->multiLine != 0);
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}

extern "C" void StaticTextDestruct(RuntimeObject* control) {
  StaticTextFields* fields = FieldsOf(control);
  for (StringRecord** string :
       {&fields->caption, &fields->font.name, &fields->dataSource, &fields->dataField}) {
    RuntimeUnlockString(std::exchange(*string, nullptr));
  }
}

extern "C" void staticCaptionSetter(RuntimeObject* control, uint32_t, StringRecord* text) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  StringAssign(&fields->caption, text);
  if (StaticTextPane* pane = PaneOf(fields)) pane->ShowCaption(text);
}

extern "C" void staticTextAlignSetter(RuntimeObject* control, uint32_t, int32_t alignment) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  fields->textAlign = Held16(alignment);
  if (StaticTextPane* pane = PaneOf(fields)) pane->SetTextAlign(fields->textAlign);
}

extern "C" void staticTextColorSetter(RuntimeObject* control, uint32_t, uint32_t color) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  fields->textColor = color;
  if (StaticTextPane* pane = PaneOf(fields)) pane->SetTextColor(color);
}

extern "C" void staticTextFontSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  StringAssign(&fields->font.name, name);
  FontChanged(fields);
}

extern "C" void staticTextSizeSetter(RuntimeObject* control, uint32_t, int32_t size) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  fields->font.size = Held16(size);
  FontChanged(fields);
}

extern "C" void staticAttributeSetter(RuntimeObject* control, uint32_t index, uint8_t value) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  FontDescriptor& font = fields->font;
  uint8_t* flag = nullptr;
  for (uint8_t* candidate : {&font.bold, &font.italic, &font.underline}) {
    const auto offset = reinterpret_cast<uint8_t*>(candidate) - reinterpret_cast<uint8_t*>(fields);
    if (uint32_t(offset) == index) flag = candidate;
  }
  if (!flag) {
    AssertionFailed(131, 4, "StaticText", __LINE__, "a font attribute's offset", nullptr);
    return;
  }
  *flag = value != 0 ? 1 : 0;
  FontChanged(fields);
}

extern "C" void StaticTextMultilineSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  StaticTextFields* fields = Checked(control);
  if (!fields) return;
  fields->multiLine = value != 0 ? 1 : 0;
  if (StaticTextPane* pane = PaneOf(fields)) pane->SetMultiline(value != 0);
}

extern "C" StringRecord* StaticTextDataSourceGetter(RuntimeObject* control, uint32_t) {
  StaticTextFields* fields = Checked(control);
  return fields ? StringAddRef(fields->dataSource) : nullptr;
}

extern "C" void StaticTextDataSourceSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  StaticTextFields* fields = Checked(control);
  if (fields) SetBoundDataSource(control, &fields->dataSource, name);
}

extern "C" void StaticTextDataFieldSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  StaticTextFields* fields = Checked(control);
  if (fields) SetBoundDataField(control, &fields->dataField, name);
}

extern "C" int32_t staticShortGetter(RuntimeObject* control, uint32_t index) {
  return shortGetter(control, index);
}
