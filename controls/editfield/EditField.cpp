// The EditField control.
#include "controls/editfield/EditField.h"

#include <iterator>
#include <string>

#include "controls/DataControlRole.h"
#include "controls/editfield/StyledTextPrinter.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "graphics/GraphicsClass.h"
#include "host/relocentry.h"
#include "ui/Binding.h"
#include "ui/Menu.h"

namespace {

EditFieldFields* FieldsOf(RuntimeObject* control) {
  return ObjectFields<EditFieldFields>(control);
}

RichEditPane* PaneOf(RuntimeObject* control) {
  return control ? dynamic_cast<RichEditPane*>(FieldsOf(control)->control.pane) : nullptr;
}

uint8_t AsBit(uint32_t value) { return value ? 1 : 0; }

uint32_t ColorValueOf(const RGBColor16& color) {
  return (uint32_t(color.red / 257) << 16) | (uint32_t(color.green / 257) << 8) |
         uint32_t(color.blue / 257);
}

// A new field is black on white until the application says otherwise.
void InitialiseEditField(RuntimeObject* control) {
  EditFieldFields* fields = FieldsOf(control);
  fields->textStyle = DefaultTextStyle();
  RuntimeLockString(fields->textStyle.font);
  fields->backColor = 0xFFFFFF;
}

// Calls the interface method with (object, argument) when the object has it.
void CallWithObject(RuntimeObject* object, ObjectDefinition* interfaceDefinition,
                    const char* method, RuntimeObject* argument) {
  if (void* function = FindInterfaceMethod(object, interfaceDefinition, method)) {
    reinterpret_cast<void (*)(RuntimeObject*, RuntimeObject*)>(function)(object, argument);
  }
}

void PushToSource(RuntimeObject* control, NativeEditPane* pane) {
  RuntimeObject* source = FieldsOf(control)->stringSource;
  if (!source) return;
  void* setString = FindInterfaceMethod(source, GetStringInterfaceInterfaceDefinition(), "setString");
  if (!setString) return;
  ObjectRef hold = ObjectRef::Retain(source);
  StringRef text = StringRef::Adopt(pane ? pane->GetText(kEncodingUTF8) : StringFromUTF8(""));
  reinterpret_cast<void (*)(RuntimeObject*, StringRecord*)>(setString)(source, text.get());
}

void PullFromSource(RuntimeObject* control) {
  RuntimeObject* source = FieldsOf(control)->stringSource;
  if (!source) return;
  ObjectRef hold = ObjectRef::Retain(source);
  void* getString = FindInterfaceMethod(source, GetStringProviderInterfaceDefinition(), "getString");
  if (getString) {
    StringRef text = StringRef::Adopt(
        reinterpret_cast<StringRecord* (*)(RuntimeObject*)>(getString)(source));
    if (RichEditPane* pane = PaneOf(control)) pane->SetText(text.get());
  }
  void* available =
      FindInterfaceMethod(source, GetDataAvailableProviderInterfaceDefinition(), "DataAvailable");
  if (available) {
    const bool enabled = reinterpret_cast<bool (*)(RuntimeObject*)>(available)(source);
    controlEnabledSetter(control, 0, enabled ? 1 : 0);
  }
}

// Lets the bound source go: out of its receivers, then unlocked.
void ReleaseStringSource(RuntimeObject* control) {
  RuntimeObject* source = FieldsOf(control)->stringSource;
  if (!source) return;
  FieldsOf(control)->stringSource = nullptr;
  CallWithObject(source, GetDataNotifierInterfaceDefinition(), "removeDataNotificationReceiver",
                 control);
  RuntimeUnlockObject(source);
}

void StringBinderOfFields(RuntimeObject* control, RuntimeObject* source) {
  if (control && ObjectIsADefinition(control, GetEditFieldClassDefinition())) {
    EditFieldBindStringSource(control, source);
  }
}

// The field whose sink the pane reports to; nil for other panes.
RuntimeObject* FieldOfPane(NativeEditPane* pane) {
  auto* sink = pane ? dynamic_cast<EditFieldSink*>(pane->GetEventSink()) : nullptr;
  return sink ? sink->Control() : nullptr;
}

bool IsPasswordField(NativeEditPane* pane) {
  RuntimeObject* field = FieldOfPane(pane);
  return field && FieldsOf(field)->password;
}

bool ClipboardHasText() {
  if (!OpenClipboard(nullptr)) return false;
  const bool text = IsClipboardFormatAvailable(CF_TEXT) != FALSE;
  CloseClipboard();
  return text;
}

void EnableMenuNamed(const char* name) {
  if (RuntimeObject* item = RuntimeMenuReference(name)) {
    RuntimeEnableMenu(item);
    RuntimeUnlockObject(item);
  }
}

bool IsMenuNamed(RuntimeObject* item, const char* name) {
  RuntimeObject* named = RuntimeMenuReference(name);
  RuntimeUnlockObject(named);
  return named && named == item;
}

// The Edit-menu items the pane offers now.
struct EditMenuState {
  bool cut, copy, clear, paste;
};

EditMenuState EditMenuOf(NativeEditPane* pane) {
  const bool selection = pane->HasSelection();
  const bool writable = !pane->IsReadOnly();
  const bool password = IsPasswordField(pane);
  return EditMenuState{selection && writable && !password, selection && !password,
                       selection && writable, writable && ClipboardHasText()};
}

// The pane's answer, or the fallback without a pane.
template <class Result, class Operation>
Result Ask(RuntimeObject* control, Result fallback, Operation operation) {
  RichEditPane* pane = PaneOf(control);
  if (!pane) return fallback;
  ObjectRef hold = ObjectRef::Retain(control);
  return operation(pane);
}

template <class Operation>
void Tell(RuntimeObject* control, Operation operation) {
  if (RichEditPane* pane = PaneOf(control)) {
    ObjectRef hold = ObjectRef::Retain(control);
    operation(pane);
  }
}

}  // namespace

RUNTIME_TEXT_STYLE_ACCESSORS(edit, EditFieldFields, textStyle)

// ---- Class definition ----

ObjectDefinition* GetEditFieldClassDefinition() {
  static EventRecord events[] = {
      {0, "KeyDown", "Key As String", "Boolean", 0},
      {0, "GotFocus", "", nullptr, 0},
      {0, "LostFocus", "", nullptr, 0},
      {0, "MouseDown", "X As Integer, Y As Integer", "Boolean", 0},
      {0, "MouseUp", "X As Integer, Y As Integer", nullptr, 0},
      {0, "SelChange", "", nullptr, 0},
      {0, "TextChange", "", nullptr, 0},
      {0x20, "EnableMenuItems", "", nullptr, 0},
  };
  auto field = [](const char* name, MemberType type, void* getter, const char* getterName,
                  void* setter, const char* setterName, uint32_t offset) {
    return PropertyRecord{0, name, type, getter, getterName, setter, setterName, offset};
  };
#define EDIT_BOOL_FIELD(name, member)                                                    \
  field(name, &kBooleanType, RUNTIME_ENTRY(boolGetter), RUNTIME_ENTRY(boolSetter),      \
        offsetof(EditFieldFields, member))
#define EDIT_SEL_STYLE(name, accessor)                                                   \
  field(name, &kBooleanType, RUNTIME_ENTRY(editSel##accessor##Getter),                  \
        RUNTIME_ENTRY(editSel##accessor##Setter), 0)
  static const PropertyRecord properties[] = {
      field("Text", &kStringType, RUNTIME_ENTRY(editTextGetter), RUNTIME_ENTRY(editTextSetter), 0),
      field("TextStyleData", &kStringType, RUNTIME_ENTRY(editTextStyleDataGetter), nullptr,
            nullptr, 0),
      EDIT_BOOL_FIELD("Border", border),
      EDIT_BOOL_FIELD("MultiLine", multiLine),
      field("ReadOnly", &kBooleanType, RUNTIME_ENTRY(boolGetter),
            RUNTIME_ENTRY(editReadOnlySetter), offsetof(EditFieldFields, readOnly)),
      field("Password", &kBooleanType, RUNTIME_ENTRY(editPasswordGetter),
            RUNTIME_ENTRY(editPasswordSetter), 0),
      EDIT_BOOL_FIELD("Styled", styled),
      EDIT_BOOL_FIELD("AcceptTabs", acceptTabs),
      field("TextColor", &kColorType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(editTextColorSetter),
            offsetof(EditFieldFields, textColor)),
      field("BackColor", &kColorType, RUNTIME_ENTRY(intGetter), RUNTIME_ENTRY(editBackColorSetter),
            offsetof(EditFieldFields, backColor)),
      EDIT_BOOL_FIELD("ScrollBarHorizontal", scrollBarHorizontal),
      EDIT_BOOL_FIELD("ScrollBarVertical", scrollBarVertical),
      EDIT_BOOL_FIELD("ScrollBar", scrollBarVertical),
      RUNTIME_TEXT_STYLE_PROPERTIES(edit),
      field("SelStart", &kIntegerType, RUNTIME_ENTRY(editSelStartGetter),
            RUNTIME_ENTRY(editSelStartSetter), 0),
      field("SelLength", &kIntegerType, RUNTIME_ENTRY(editSelLengthGetter),
            RUNTIME_ENTRY(editSelLengthSetter), 0),
      field("SelText", &kStringType, RUNTIME_ENTRY(editSelTextGetter),
            RUNTIME_ENTRY(editSelTextSetter), 0),
      field("LimitText", &kIntegerType, RUNTIME_ENTRY(intGetter),
            RUNTIME_ENTRY(editLimitTextSetter), offsetof(EditFieldFields, limitText)),
      EDIT_SEL_STYLE("SelBold", Bold),
      EDIT_SEL_STYLE("SelUnderline", Underline),
      EDIT_SEL_STYLE("SelItalic", Italic),
      EDIT_SEL_STYLE("SelOutline", Outline),
      EDIT_SEL_STYLE("SelShadow", Shadow),
      EDIT_SEL_STYLE("SelCondense", Condense),
      EDIT_SEL_STYLE("SelExtend", Extend),
      EDIT_SEL_STYLE("SelPlain", Plain),
      field("SelTextFont", &kStringType, RUNTIME_ENTRY(editSelTextFontGetter),
            RUNTIME_ENTRY(editSelTextFontSetter), 0),
      field("SelTextSize", &kIntegerType, RUNTIME_ENTRY(editSelTextSizeGetter),
            RUNTIME_ENTRY(editSelTextSizeSetter), 0),
      field("SelTextColor", &kColorType, RUNTIME_ENTRY(editSelTextColorGetter),
            RUNTIME_ENTRY(editSelTextColorSetter), 0),
      EDIT_BOOL_FIELD("LiveUpdate", liveUpdate),
      EDIT_BOOL_FIELD("UseFocusRing", useFocusRing),
      field("DataSource", &kStringType, RUNTIME_ENTRY(EditDataSourceGetter),
            RUNTIME_ENTRY(EditDataSourceSetter), 0),
      PropertyRecord{kPropertyGenericGetter, "DataField", &kStringType,
                     RUNTIME_ENTRY(stringGetter), RUNTIME_ENTRY(EditDataFieldSetter),
                     offsetof(EditFieldFields, dataField)},
      field("Alignment", &kIntegerType, RUNTIME_ENTRY(intGetter),
            RUNTIME_ENTRY(EditAlignmentSetter), offsetof(EditFieldFields, alignment)),
      field("SelAlignment", &kIntegerType, RUNTIME_ENTRY(EditSelAlignmentGetter),
            RUNTIME_ENTRY(EditSelAlignmentSetter), 0),
  };
#undef EDIT_BOOL_FIELD
#undef EDIT_SEL_STYLE
  static const ParameterRecord textAndStyle[] = {{"text", &kStringType, 0},
                                                 {"style", &kStringType, 0}};
  static const ParameterRecord printer[] = {{"g", GraphicsClassDefinition(), 0},
                                            {"width", &kIntegerType, 0}};
  static const ParameterRecord str[] = {{"Str", &kStringType, 0}};
  static const ParameterRecord v[] = {{"v", &kIntegerType, 0}};
  static const ParameterRecord xy[] = {{"x", &kIntegerType, 0}, {"y", &kIntegerType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("ToggleSelectionBold", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionBold)),
      MakeMethodRecord("ToggleSelectionUnderline", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionUnderline)),
      MakeMethodRecord("ToggleSelectionItalic", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionItalic)),
      MakeMethodRecord("ToggleSelectionShadow", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionShadow)),
      MakeMethodRecord("ToggleSelectionOutline", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionOutline)),
      MakeMethodRecord("ToggleSelectionCondense", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionCondense)),
      MakeMethodRecord("ToggleSelectionExtend", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(editToggleSelectionExtend)),
      MakeMethodRecord("SetTextAndStyle", nullptr, textAndStyle, 2,
                       RUNTIME_ENTRY(editSetTextAndStyle)),
      MakeMethodRecord("setString", nullptr, str, 1, RUNTIME_ENTRY(editSetString)),
      MakeMethodRecord("styledTextPrinter", GetStyledTextPrinterClassDefinition(), printer, 2,
                       RUNTIME_ENTRY(editStyleTextPrinter)),
      MakeMethodRecord("ScrollPosition", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(editScrollPositionGetter),
                       RUNTIME_ENTRY(editScrollPositionSetter)),
      MakeMethodRecord("ScrollPositionX", &kIntegerType, nullptr, 0,
                       RUNTIME_ENTRY(EditScrollPositionXGetter),
                       RUNTIME_ENTRY(EditScrollPositionXSetter)),
      MakeMethodRecord("LineNumAtCharPos", &kIntegerType, v, 1,
                       RUNTIME_ENTRY(editLineNumAtCharPos)),
      MakeMethodRecord("CharPosAtLineNum", &kIntegerType, v, 1,
                       RUNTIME_ENTRY(editCharPosAtLineNum)),
      MakeMethodRecord("CharPosAtXY", &kIntegerType, xy, 2, RUNTIME_ENTRY(editCharPosAtXY)),
      MakeMethodRecord("InsertionPosAtXY", &kIntegerType, xy, 2,
                       RUNTIME_ENTRY(editInsertionPosAtXY)),
      MakeMethodRecord("Copy", nullptr, nullptr, 0, RUNTIME_ENTRY(editCopyToClipboard)),
      MakeMethodRecord("Paste", nullptr, nullptr, 0, RUNTIME_ENTRY(editPasteFromClipboard)),
  };
  static ControlClassDefinition definition(ControlClassTables{
      "EditField", sizeof(EditFieldFields), InitialiseEditField, EditFieldDestruct,
      EditFieldCreatePane, events, int32_t(std::size(events)), properties,
      int32_t(std::size(properties)), methods, int32_t(std::size(methods)),
      {GetStringInterfaceInterfaceDefinition()}});
  return definition.get();
}

void InitEditFieldClass() {
  static const EntryPoint entries[] = {
      {"editSetString", reinterpret_cast<void*>(&editSetString)},
  };
  RegisterIntrinsicClass(GetEditFieldClassDefinition());
  SetStringBinderHook(StringBinderOfFields);
  RegisterEntryPoints(entries, std::size(entries));
}

// ---- The sink ----

void EditFieldSink::TextChanged(NativeEditPane* pane) {
  RuntimeObject* control = Control();
  if (!control || FieldsOf(control)->inTextChange) return;
  EditFieldFields* fields = FieldsOf(control);
  InActionScope guard(control, &fields->inTextChange);
  CallControlHandler(control, "TextChange");
  if (fields->liveUpdate && fields->sink == this) PushToSource(control, pane);
}

void EditFieldSink::SelectionChanged(NativeEditPane* pane) {
  RuntimeObject* control = Control();
  if (!control || FieldsOf(control)->inSelChange) return;
  InActionScope guard(control, &FieldsOf(control)->inSelChange);
  CallControlHandler(control, "SelChange");
  if (!pane->IsClosing()) EditFieldUpdateEditMenu(pane);
}

bool EditFieldSink::MouseDown(SubPane*, int32_t x, int32_t y) {
  return CallControlHandler<bool>(Control(), "MouseDown", x, y);
}

bool EditFieldSink::MouseUp(SubPane*, int32_t x, int32_t y) {
  CallControlHandler(Control(), "MouseUp", x, y);
  return false;
}

void EditFieldSink::GotFocus(SubPane*) { CallControlHandler(Control(), "GotFocus"); }

void EditFieldSink::LostFocus(SubPane* pane) {
  RuntimeObject* control = Control();
  if (!control) return;
  ObjectRef hold = ObjectRef::Retain(control);
  CallControlHandler(control, "LostFocus");
  if (FieldsOf(control)->sink == this) PushToSource(control, dynamic_cast<NativeEditPane*>(pane));
}

bool EditFieldSink::KeyChar(NativeEditPane* pane, uint32_t character, uint32_t a, uint32_t b) {
  StringRef key = StringRef::Adopt(StringFromCodePoint(character, kEncodingUTF8));
  return KeyString(pane, key.get(), a & 0xFF, b & 0xFFFF);
}

bool EditFieldSink::KeyString(NativeEditPane*, StringRecord* key, uint32_t, uint32_t) {
  return CallControlHandler<bool>(Control(), "KeyDown", key);
}

void EditFieldSink::EnableMenuItems(NativeEditPane* pane) {
  EditFieldUpdateEditMenu(pane);
  CallControlHandler(Control(), "EnableMenuItems");
}

bool EditFieldSink::HandleMenuItem(NativeEditPane* pane, RuntimeObject* menuItem) {
  return EditFieldHandleEditMenu(pane, menuItem);
}

bool EditFieldSink::FocusMessage(NativeEditPane*, int32_t code) {
  if (code == 0x34) CallControlHandler(Control(), "GotFocus");
  if (code == 0x35) CallControlHandler(Control(), "LostFocus");
  return false;
}

void EditFieldSink::PaneClosing(NativeEditPane*) {
  if (RuntimeObject* control = Control()) ReleaseStringSource(control);
}

// ---- The Edit menu ----

void EditFieldUpdateEditMenu(NativeEditPane* pane) {
  const EditMenuState state = EditMenuOf(pane);
  if (state.cut) EnableMenuNamed("EditCut");
  if (state.clear) EnableMenuNamed("EditClear");
  if (state.copy) EnableMenuNamed("EditCopy");
  if (state.paste) EnableMenuNamed("EditPaste");
}

bool EditFieldHandleEditMenu(NativeEditPane* pane, RuntimeObject* menuItem) {
  const EditMenuState state = EditMenuOf(pane);
  if (state.cut && IsMenuNamed(menuItem, "EditCut")) {
    pane->Cut();
  } else if (state.copy && IsMenuNamed(menuItem, "EditCopy")) {
    pane->Copy();
  } else if (state.clear && IsMenuNamed(menuItem, "EditClear")) {
    pane->Clear();
  } else if (state.paste && IsMenuNamed(menuItem, "EditPaste")) {
    pane->Paste();
  } else {
    return false;
  }
  return true;
}

// ---- Creation and destruction ----

extern "C" void EditFieldCreatePane(RuntimeObject* control) {
  EditFieldFields* fields = FieldsOf(control);
  if (!fields->sink) fields->sink = new EditFieldSink(control);
  ScopedFontDescriptor font(TextStyleGetFontDescriptor(&fields->textStyle));
  RuntimeControl& common = fields->control;
  SubPane* parent = ControlParentPane(control);
  RichEditPane* pane;
  if (fields->multiLine) {
    pane = (fields->styled ? NewStyledMultiLineEditPane : NewMultiLineEditPane)(
        fields->sink, parent, common.tabPanelIndex, common.bounds, fields->border, font.get(),
        fields->scrollBarVertical, fields->scrollBarHorizontal);
  } else {
    pane = (fields->styled ? NewStyledSingleLineEditPane : NewSingleLineEditPane)(
        fields->sink, parent, common.tabPanelIndex, common.bounds, fields->border, font.get());
  }
  AdoptControlPane(control, pane);
  pane->SetOwnerControl(control);
  pane->SetAlignment(fields->alignment);
  pane->SetReadOnly(fields->readOnly);
  pane->SetBackColor(RGBColorFromValue(fields->backColor));
  pane->SetTextColor(RGBColorFromValue(fields->textColor));
  {
    // The initial text is no change for the application.
    InActionScope quietText(control, &fields->inTextChange);
    InActionScope quietSelection(control, &fields->inSelChange);
    pane->SetText(fields->text);
    pane->SetLimitText(fields->limitText);
  }
  pane->SetPassword(fields->password);
  pane->SetAcceptTabs(fields->acceptTabs);
  pane->SetDataSourceName(fields->dataSource);
  pane->BindDataSource();
}

extern "C" void EditFieldDestruct(RuntimeObject* control) {
  EditFieldFields* fields = FieldsOf(control);
  ReleaseStringSource(control);
  for (StringRecord** string :
       {&fields->text, &fields->textStyle.font, &fields->dataSource, &fields->dataField}) {
    RuntimeUnlockString(*string);
    *string = nullptr;
  }
  // The sink leaves its pane as it goes.
  delete fields->sink;
  fields->sink = nullptr;
}

extern "C" void EditFieldBindStringSource(RuntimeObject* control, RuntimeObject* source) {
  if (!control) return;
  ObjectRef hold = ObjectRef::Retain(control);
  ReleaseStringSource(control);
  if (source) {
    RuntimeLockObject(source);
    FieldsOf(control)->stringSource = source;
    CallWithObject(source, GetDataNotifierInterfaceDefinition(), "addDataNotificationReceiver",
                   control);
  }
  PullFromSource(control);
}

// ---- Text ----

extern "C" StringRecord* editTextGetter(RuntimeObject* control, uint32_t) {
  if (!control) return nullptr;
  if (RichEditPane* pane = PaneOf(control)) return pane->GetText(kEncodingUTF8);
  return StringAddRef(FieldsOf(control)->text);
}

extern "C" void editTextSetter(RuntimeObject* control, uint32_t, StringRecord* text) {
  if (!control) return;
  ObjectRef hold = ObjectRef::Retain(control);
  StringRef value = StringRef::Retain(text);
  if (RichEditPane* pane = PaneOf(control)) pane->SetText(text);
  StringAssign(&FieldsOf(control)->text, value.get());
}

extern "C" void editSetString(RuntimeObject* control, StringRecord* text) {
  editTextSetter(control, 0, text);
}

extern "C" StringRecord* editTextStyleDataGetter(RuntimeObject* control, uint32_t) {
  return Ask<StringRecord*>(control, nullptr, [](RichEditPane* pane) { return pane->GetStyleData(); });
}

extern "C" void editReadOnlySetter(RuntimeObject* control, uint32_t, uint8_t value) {
  if (!control) return;
  FieldsOf(control)->readOnly = AsBit(value);
  if (RichEditPane* pane = PaneOf(control)) pane->SetReadOnly(value != 0);
}

extern "C" bool editPasswordGetter(RuntimeObject* control, uint32_t) {
  return control && FieldsOf(control)->password;
}

extern "C" void editPasswordSetter(RuntimeObject* control, uint32_t, uint8_t value) {
  if (!control) return;
  FieldsOf(control)->password = AsBit(value);
  if (RichEditPane* pane = PaneOf(control)) pane->SetPassword(value != 0);
}

extern "C" void editTextColorSetter(RuntimeObject* control, uint32_t, uint32_t color) {
  if (!control) return;
  FieldsOf(control)->textColor = color;
  if (RichEditPane* pane = PaneOf(control)) pane->SetTextColor(RGBColorFromValue(color));
}

extern "C" void editBackColorSetter(RuntimeObject* control, uint32_t, uint32_t color) {
  if (!control) return;
  FieldsOf(control)->backColor = color;
  if (RichEditPane* pane = PaneOf(control)) pane->SetBackColor(RGBColorFromValue(color));
}

extern "C" void editLimitTextSetter(RuntimeObject* control, uint32_t, int32_t value) {
  if (!control) return;
  FieldsOf(control)->limitText = value;
  if (RichEditPane* pane = PaneOf(control)) pane->SetLimitText(value);
}

extern "C" void EditAlignmentSetter(RuntimeObject* control, uint32_t, int32_t alignment) {
  if (!control) return;
  FieldsOf(control)->alignment = alignment;
  if (RichEditPane* pane = PaneOf(control)) pane->SetAlignment(alignment);
}

// ---- Forwarding to the pane ----


#define EDIT_FORWARD_GET(function, Result, fallback, call)                     \
  extern "C" Result function(RuntimeObject* control, uint32_t) {               \
    return Ask<Result>(control, fallback, [](RichEditPane* pane) { return call; }); \
  }
#define EDIT_FORWARD_SET(function, Value, call)                                \
  extern "C" void function(RuntimeObject* control, uint32_t, Value value) {    \
    Tell(control, [&](RichEditPane* pane) { call; });                           \
  }

EDIT_FORWARD_GET(editSelStartGetter, int32_t, 0, pane->GetSelStart())
EDIT_FORWARD_SET(editSelStartSetter, int32_t, pane->SetSelStart(value))
EDIT_FORWARD_GET(editSelLengthGetter, int32_t, 0, pane->GetSelLength())
EDIT_FORWARD_SET(editSelLengthSetter, int32_t, pane->SetSelLength(value))
EDIT_FORWARD_GET(editSelTextGetter, StringRecord*, nullptr, pane->GetSelText())
EDIT_FORWARD_SET(editSelTextSetter, StringRecord*, pane->SetSelText(value))
EDIT_FORWARD_GET(editSelTextFontGetter, StringRecord*, nullptr, pane->GetSelTextFont())
EDIT_FORWARD_SET(editSelTextFontSetter, StringRecord*, pane->SetSelTextFont(value))
EDIT_FORWARD_GET(editSelTextSizeGetter, int32_t, 0, pane->GetSelTextSize())
EDIT_FORWARD_SET(editSelTextSizeSetter, int32_t, pane->SetSelTextSize(value))
EDIT_FORWARD_SET(editSelTextColorSetter, uint32_t, pane->SetSelTextColor(RGBColorFromValue(value)))
EDIT_FORWARD_GET(EditSelAlignmentGetter, int32_t, 0, pane->GetSelAlignment())
EDIT_FORWARD_SET(EditSelAlignmentSetter, int32_t, pane->SetSelAlignment(value))
EDIT_FORWARD_GET(editSelBoldGetter, bool, false, pane->GetSelBold())
EDIT_FORWARD_SET(editSelBoldSetter, uint8_t, pane->SetSelBold(value != 0))
EDIT_FORWARD_GET(editSelUnderlineGetter, bool, false, pane->GetSelUnderline())
EDIT_FORWARD_SET(editSelUnderlineSetter, uint8_t, pane->SetSelUnderline(value != 0))
EDIT_FORWARD_GET(editSelItalicGetter, bool, false, pane->GetSelItalic())
EDIT_FORWARD_SET(editSelItalicSetter, uint8_t, pane->SetSelItalic(value != 0))
EDIT_FORWARD_GET(editSelOutlineGetter, bool, false, pane->GetSelOutline())
EDIT_FORWARD_SET(editSelOutlineSetter, uint8_t, pane->SetSelOutline(value != 0))
EDIT_FORWARD_GET(editSelShadowGetter, bool, false, pane->GetSelShadow())
EDIT_FORWARD_SET(editSelShadowSetter, uint8_t, pane->SetSelShadow(value != 0))
EDIT_FORWARD_GET(editSelCondenseGetter, bool, false, pane->GetSelCondense())
EDIT_FORWARD_SET(editSelCondenseSetter, uint8_t, pane->SetSelCondense(value != 0))
EDIT_FORWARD_GET(editSelExtendGetter, bool, false, pane->GetSelExtend())
EDIT_FORWARD_SET(editSelExtendSetter, uint8_t, pane->SetSelExtend(value != 0))
EDIT_FORWARD_GET(editSelPlainGetter, bool, false, pane->GetSelPlain())
EDIT_FORWARD_SET(editSelPlainSetter, uint8_t, pane->SetSelPlain(value != 0))

#undef EDIT_FORWARD_GET
#undef EDIT_FORWARD_SET

extern "C" uint32_t editSelTextColorGetter(RuntimeObject* control, uint32_t) {
  return Ask<uint32_t>(control, 0, [](RichEditPane* pane) {
    RGBColor16 color{};
    pane->GetSelTextColor(&color);
    return ColorValueOf(color);
  });
}

extern "C" void editToggleSelectionBold(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelBold(); });
}
extern "C" void editToggleSelectionUnderline(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelUnderline(); });
}
extern "C" void editToggleSelectionItalic(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelItalic(); });
}
extern "C" void editToggleSelectionShadow(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelShadow(); });
}
extern "C" void editToggleSelectionOutline(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelOutline(); });
}
extern "C" void editToggleSelectionCondense(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelCondense(); });
}
extern "C" void editToggleSelectionExtend(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->ToggleSelExtend(); });
}

extern "C" void editSetTextAndStyle(RuntimeObject* control, StringRecord* text,
                                    StringRecord* style) {
  Tell(control, [&](RichEditPane* pane) { pane->SetTextAndStyle(text, style); });
}

extern "C" RuntimeObject* editStyleTextPrinter(RuntimeObject* control, RuntimeObject* graphics,
                                               int32_t width) {
  return Ask<RuntimeObject*>(control, nullptr, [&](RichEditPane* pane) {
    return pane->NewStyledTextPrinter(graphics, width);
  });
}

extern "C" int32_t editScrollPositionGetter(RuntimeObject* control) {
  return Ask<int32_t>(control, 0, [](RichEditPane* pane) { return pane->GetScrollPosition(); });
}
extern "C" void editScrollPositionSetter(RuntimeObject* control, int32_t line) {
  Tell(control, [&](RichEditPane* pane) { pane->SetScrollPosition(line); });
}
extern "C" int32_t EditScrollPositionXGetter(RuntimeObject* control) {
  return Ask<int32_t>(control, 0, [](RichEditPane* pane) { return pane->GetScrollPositionX(); });
}
extern "C" void EditScrollPositionXSetter(RuntimeObject* control, int32_t x) {
  Tell(control, [&](RichEditPane* pane) { pane->SetScrollPositionX(x); });
}
extern "C" int32_t editLineNumAtCharPos(RuntimeObject* control, int32_t position) {
  return Ask<int32_t>(control, 0,
                      [&](RichEditPane* pane) { return pane->LineNumAtCharPos(position); });
}
extern "C" int32_t editCharPosAtLineNum(RuntimeObject* control, int32_t line) {
  return Ask<int32_t>(control, 0, [&](RichEditPane* pane) { return pane->CharPosAtLineNum(line); });
}
extern "C" int32_t editCharPosAtXY(RuntimeObject* control, int32_t x, int32_t y) {
  return Ask<int32_t>(control, 0, [&](RichEditPane* pane) { return pane->CharPosAtXY(x, y); });
}
extern "C" int32_t editInsertionPosAtXY(RuntimeObject* control, int32_t x, int32_t y) {
  return Ask<int32_t>(control, 0,
                      [&](RichEditPane* pane) { return pane->InsertionPosAtXY(x, y); });
}
extern "C" void editCopyToClipboard(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->Copy(); });
}
extern "C" void editPasteFromClipboard(RuntimeObject* control) {
  Tell(control, [](RichEditPane* pane) { pane->Paste(); });
}

// ---- Data binding ----

extern "C" StringRecord* EditDataSourceGetter(RuntimeObject* control, uint32_t) {
  return control ? StringAddRef(FieldsOf(control)->dataSource) : nullptr;
}

extern "C" void EditDataSourceSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  if (control) SetBoundDataSource(control, &FieldsOf(control)->dataSource, name);
}

extern "C" void EditDataFieldSetter(RuntimeObject* control, uint32_t, StringRecord* name) {
  if (control) SetBoundDataField(control, &FieldsOf(control)->dataField, name);
}
