#include "testsupport/ControlTestWindow.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "controls/CheckBox.h"
#include "controls/GroupBox.h"
#include "controls/PushButton.h"
#include "controls/RadioButton.h"
#include "controls/StaticText.h"
#include "core/string.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/RecordingReceivers.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Binding.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/runctl.h"
#include "ui/window.h"

// The handlers of the logged subclasses; they reach the open test window's
// replacements through `current`.
struct ControlTestWindowHandlers {
  static ControlTestWindow* current;

  static std::string NameOf(RuntimeObject* control) {
    return StringToStdUTF8(ControlFields(control)->name);
  }
  static std::string At(RuntimeObject* control, const char* event, int32_t x, int32_t y) {
    return NameOf(control) + "." + event + "(" + std::to_string(x) + "," + std::to_string(y) + ")";
  }

  static bool MouseDown(RuntimeObject* control, int32_t x, int32_t y) {
    Log(At(control, "MouseDown", x, y));
    RunExtra(control, "MouseDown");
    if (!current) return false;
    auto answer = current->mouseDownAnswers_.find(NameOf(control));
    return answer != current->mouseDownAnswers_.end() && answer->second;
  }
  static void ValueChanged(RuntimeObject* control) {
    PropertyAccess value{};
    FindPropertyAccess(control, "Value", &value);
    Log(NameOf(control) + ".ValueChanged " +
        std::to_string(reinterpret_cast<int32_t (*)(RuntimeObject*, uint32_t)>(value.getter)(
            control, value.parameter)));
  }
  static bool MouseUp(RuntimeObject* control, int32_t x, int32_t y) {
    Log(At(control, "MouseUp", x, y));
    return false;
  }
  static void MouseDrag(RuntimeObject* control, int32_t x, int32_t y) {
    Log(At(control, "MouseDrag", x, y));
  }
  static void GotFocus(RuntimeObject* control) { Log(NameOf(control) + ".GotFocus"); }
  static void LostFocus(RuntimeObject* control) { Log(NameOf(control) + ".LostFocus"); }
  static void AcceleratorKey(RuntimeObject* control) {
    Log(NameOf(control) + ".AcceleratorKey");
    RunExtra(control, "AcceleratorKey");
  }

  static void Change(RuntimeObject* control) {
    Log(NameOf(control) + ".Change");
    RunExtra(control, "Change");
  }
  static void Play(RuntimeObject* control) { Logged(control, "Play"); }
  static void Stop(RuntimeObject* control) { Logged(control, "Stop"); }
  static void ControllerSizeChanged(RuntimeObject* control) {
    Logged(control, "ControllerSizeChanged");
  }
  static void Logged(RuntimeObject* control, const char* event) {
    Log(NameOf(control) + "." + event);
    RunExtra(control, event);
  }
  static void EnableMenuItems(RuntimeObject* control) {
    Log(NameOf(control) + ".EnableMenuItems");
  }
  // The extra is given the Graphics.
  static void Paint(RuntimeObject* control, RuntimeObject* graphics) {
    Log(NameOf(control) + ".Paint");
    RunExtra(control, "Paint", graphics);
  }
  // The key's bytes in hex: "Canvas1.KeyDown(C3A9)".
  static bool KeyDown(RuntimeObject* control, StringRecord* key) {
    std::string bytes;
    char hex[3];
    for (uint32_t i = 0; i < StringLength(key); ++i) {
      std::snprintf(hex, sizeof hex, "%02X", StringData(key)[i]);
      bytes += hex;
    }
    Log(NameOf(control) + ".KeyDown(" + bytes + ")");
    return current && current->keyDownAnswers_.count(NameOf(control)) &&
           current->keyDownAnswers_[NameOf(control)];
  }
  static void TextChange(RuntimeObject* control) { Logged(control, "TextChange"); }

  // A DataControl's events: logged, the extra run, then the answer set for
  // the event (false by default).
  static bool Answered(RuntimeObject* control, const std::string& event, const char* line) {
    Log(NameOf(control) + "." + line);
    RunExtra(control, event.c_str());
    if (!current) return false;
    auto answer = current->eventAnswers_.find(NameOf(control) + "." + event);
    return answer != current->eventAnswers_.end() && answer->second;
  }
  static bool MoveNext(RuntimeObject* control) { return Answered(control, "MoveNext", "MoveNext"); }
  static bool MovePrevious(RuntimeObject* control) {
    return Answered(control, "MovePrevious", "MovePrevious");
  }
  static bool MoveFirst(RuntimeObject* control) {
    return Answered(control, "MoveFirst", "MoveFirst");
  }
  static bool MoveLast(RuntimeObject* control) { return Answered(control, "MoveLast", "MoveLast"); }
  static bool Insert(RuntimeObject* control) { return Answered(control, "Insert", "Insert"); }
  static bool Validate(RuntimeObject* control, int32_t action) {
    return Answered(control, "Validate", ("Validate(" + std::to_string(action) + ")").c_str());
  }
  static void Reposition(RuntimeObject* control, int32_t row) {
    Answered(control, "Reposition", ("Reposition(" + std::to_string(row) + ")").c_str());
  }
  static void Update(RuntimeObject* control) { Answered(control, "Update", "Update"); }
  static void Delete(RuntimeObject* control) { Answered(control, "Delete", "Delete"); }
  static void SelChange(RuntimeObject* control) { Logged(control, "SelChange"); }

  static void Action(RuntimeObject* control) {
    std::string line = NameOf(control) + ".Action";
    PropertyAccess value{};
    if (FindPropertyAccess(control, "Value", &value) && value.getter) {
      const bool checked =
          reinterpret_cast<bool (*)(RuntimeObject*, uint32_t)>(value.getter)(control, value.parameter);
      line += checked ? " True" : " False";
    }
    Log(line);
    RunExtra(control, "Action");
  }

  static void RunExtra(RuntimeObject* control, const char* event,
                       RuntimeObject* argument = nullptr) {
    if (!current) return;
    auto extra = current->extras_.find(NameOf(control) + "." + event);
    if (extra == current->extras_.end()) return;
    // A copy: the extra may close the window, and a test may replace it.
    const std::function<void(RuntimeObject*)> run = extra->second;
    run(argument ? argument : control);
  }
};

ControlTestWindow* ControlTestWindowHandlers::current = nullptr;

namespace {

using Handlers = ControlTestWindowHandlers;

// One logged subclass per built-in class, kept for the run.
ClassBuilder& LoggedClassOf(ObjectDefinition* definition) {
  static std::map<ObjectDefinition*, std::unique_ptr<ClassBuilder>> builders;
  std::unique_ptr<ClassBuilder>& builder = builders[definition];
  if (builder) return *builder;
  const std::string name = "Logged" + StringToStdUTF8(definition->name);
  builder = std::make_unique<ClassBuilder>(definition, name.c_str());
  auto handle = [&](const char* event, auto handler) {
    if (definition->FindEvent(event)) builder->Handle(event, handler);
  };
  handle("Action", &Handlers::Action);
  handle("ValueChanged", &Handlers::ValueChanged);
  handle("MouseDown", &Handlers::MouseDown);
  handle("MouseDrag", &Handlers::MouseDrag);
  handle("MouseUp", &Handlers::MouseUp);
  handle("GotFocus", &Handlers::GotFocus);
  handle("LostFocus", &Handlers::LostFocus);
  handle("AcceleratorKey", &Handlers::AcceleratorKey);
  handle("Change", &Handlers::Change);
  handle("EnableMenuItems", &Handlers::EnableMenuItems);
  handle("Paint", &Handlers::Paint);
  handle("KeyDown", &Handlers::KeyDown);
  handle("TextChange", &Handlers::TextChange);
  handle("SelChange", &Handlers::SelChange);
  handle("Play", &Handlers::Play);
  handle("Stop", &Handlers::Stop);
  handle("ControllerSizeChanged", &Handlers::ControllerSizeChanged);
  handle("MoveNext", &Handlers::MoveNext);
  handle("MovePrevious", &Handlers::MovePrevious);
  handle("MoveFirst", &Handlers::MoveFirst);
  handle("MoveLast", &Handlers::MoveLast);
  handle("Insert", &Handlers::Insert);
  handle("Validate", &Handlers::Validate);
  handle("Reposition", &Handlers::Reposition);
  handle("Update", &Handlers::Update);
  handle("Delete", &Handlers::Delete);
  return *builder;
}

void SetStringProperty(RuntimeObject* control, const char* property, const std::string& text) {
  PropertyAccess access{};
  if (!FindPropertyAccess(control, property, &access) || !access.setter) {
    ADD_FAILURE() << "no settable property " << property;
    return;
  }
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  reinterpret_cast<void (*)(RuntimeObject*, uint32_t, StringRecord*)>(access.setter)(
      control, access.parameter, value.get());
}

void SetBooleanProperty(RuntimeObject* control, const char* property, bool value) {
  PropertyAccess access{};
  if (!FindPropertyAccess(control, property, &access) || !access.setter) {
    ADD_FAILURE() << "no settable property " << property;
    return;
  }
  reinterpret_cast<void (*)(RuntimeObject*, uint32_t, bool)>(access.setter)(
      control, access.parameter, value);
}

// Calls the object's method of the interface with one object argument.
void CallWithObject(RuntimeObject* object, ObjectDefinition* interfaceDefinition,
                    const char* method, RuntimeObject* argument) {
  void* function = FindInterfaceMethod(object, interfaceDefinition, method);
  if (!function) {
    ADD_FAILURE() << "no method " << method;
    return;
  }
  reinterpret_cast<void (*)(RuntimeObject*, RuntimeObject*)>(function)(object, argument);
}

void AddReceiver(RuntimeObject* source, ObjectDefinition* interfaceDefinition, const char* method,
                 const std::string& tag) {
  if (tag.empty()) return;
  ObjectRef receiver = NewRecordingReceiver(tag.c_str());
  CallWithObject(source, interfaceDefinition, method, receiver.get());
}

// Adds the receiver through the named bound part. The part is released at
// once: it holds the control, and the window alone must hold its controls.
void AddPartReceiver(RuntimeObject* control, const char* part, const std::string& tag) {
  if (tag.empty()) return;
  void* getBoundPart =
      FindInterfaceMethod(control, GetBindingPartInterfaceInterfaceDefinition(), "getBoundPart");
  if (!getBoundPart) {
    ADD_FAILURE() << "no getBoundPart";
    return;
  }
  StringRef partName = StringRef::Adopt(StringFromASCII(part));
  ObjectRef boundPart = ObjectRef::Adopt(
      reinterpret_cast<RuntimeObject* (*)(RuntimeObject*, StringRecord*)>(getBoundPart)(
          control, partName.get()));
  if (!boundPart) {
    ADD_FAILURE() << "no bound part " << part;
    return;
  }
  AddReceiver(boundPart.get(), GetActionSourceInterfaceDefinition(),
              "addActionNotificationReceiver", tag);
}

ObjectRef MakeControl(const ControlDescription& description) {
  ObjectRef control = ObjectRef::Adopt(description.plain
                                           ? CreateInstance(description.definition)
                                           : LoggedClassOf(description.definition).NewInstance());
  RuntimeObject* object = control.get();
  StringRef name = StringRef::Adopt(StringFromUTF8(description.name));
  ControlSetName(object, name.get());
  RuntimeControl* fields = ControlFields(object);
  fields->bounds = description.bounds;
  fields->tabPanelIndex = description.tabPanelIndex;
  fields->visible = description.visible ? 1 : 0;
  fields->enabled = description.enabled ? 1 : 0;
  if (!description.caption.empty()) SetStringProperty(object, "Caption", description.caption);
  if (description.isDefault) SetBooleanProperty(object, "Default", true);
  if (description.isCancel) SetBooleanProperty(object, "Cancel", true);
  if (!description.dataSource.empty()) SetStringProperty(object, "DataSource", description.dataSource);
  if (!description.dataField.empty()) SetStringProperty(object, "DataField", description.dataField);
  AddReceiver(object, GetDataNotifierInterfaceDefinition(), "addDataNotificationReceiver",
              description.dataReceiver);
  AddReceiver(object, GetActionSourceInterfaceDefinition(), "addActionNotificationReceiver",
              description.actionReceiver);
  AddPartReceiver(object, "getCheckedAction", description.checkedReceiver);
  AddPartReceiver(object, "getUncheckedAction", description.uncheckedReceiver);
  if (description.prepare) description.prepare(object);
  return control;
}

}  // namespace

ControlDescription Described(ObjectDefinition* definition, const char* name, const MacRect& bounds) {
  ControlDescription description;
  description.definition = definition;
  description.name = name;
  description.bounds = bounds;
  return description;
}

std::vector<ControlDescription> StandardControlDescriptions() {
  ControlDescription checkBox1 =
      Described(GetCheckBoxClassDefinition(), "CheckBox1", Rect(10, 10, 120, 20));
  checkBox1.caption = "&Check";
  checkBox1.dataReceiver = "data";
  checkBox1.checkedReceiver = "checked";
  checkBox1.uncheckedReceiver = "unchecked";
  ControlDescription checkBox2 =
      Described(GetCheckBoxClassDefinition(), "CheckBox2", Rect(10, 40, 120, 20));
  checkBox2.caption = "Second";
  ControlDescription ok = Described(GetPushButtonClassDefinition(), "OKButton", Rect(200, 160, 80, 26));
  ok.caption = "&OK";
  ok.isDefault = true;
  ok.actionReceiver = "ok";
  ControlDescription cancel =
      Described(GetPushButtonClassDefinition(), "CancelButton", Rect(110, 160, 80, 26));
  cancel.caption = "Cancel";
  cancel.isCancel = true;
  ControlDescription data =
      Described(GetDataControlStandInClassDefinition(), "Data1", Rect(10, 120, 120, 24));
  return {checkBox1, checkBox2, ok, cancel, data};
}

std::vector<ControlDescription> GroupingControlDescriptions() {
  auto radio = [](const char* name, const char* parent, const MacRect& bounds, bool checked) {
    ControlDescription description = Described(GetRadioButtonClassDefinition(), name, bounds);
    description.parent = parent;
    description.caption = name;
    description.checkedReceiver = std::string(name) + ".checked";
    description.uncheckedReceiver = std::string(name) + ".unchecked";
    if (checked) {
      description.prepare = [](RuntimeObject* control) { SetBooleanProperty(control, "Value", true); };
    }
    return description;
  };
  auto framed = [](ObjectDefinition* definition, const char* name, const MacRect& bounds,
                   const char* caption) {
    ControlDescription description = Described(definition, name, bounds);
    description.caption = caption;
    return description;
  };
  return {
      framed(GetCheckBoxClassDefinition(), "CheckBox1", Rect(10, 10, 120, 20), "&Check"),
      framed(GetGroupBoxClassDefinition(), "GroupBox1", Rect(10, 36, 180, 90), "First"),
      radio("R1", "GroupBox1", Rect(100, 52, 80, 18), true),
      radio("R2", "GroupBox1", Rect(100, 74, 80, 18), false),
      radio("R3", "GroupBox1", Rect(100, 96, 80, 18), false),
      framed(GetGroupBoxClassDefinition(), "GroupBox2", Rect(200, 36, 90, 70), "Second"),
      radio("R4", "GroupBox2", Rect(210, 52, 70, 18), true),
      radio("R5", "GroupBox2", Rect(210, 74, 70, 18), false),
      radio("R6", "", Rect(10, 132, 80, 18), false),
      radio("R7", "", Rect(100, 132, 80, 18), false),
      Described(GetDataControlStandInClassDefinition(), "Data1", Rect(200, 120, 80, 24)),
      framed(GetStaticTextClassDefinition(), "Label1", Rect(10, 154, 90, 40), "&Name"),
      framed(GetStaticTextClassDefinition(), "Label2", Rect(110, 154, 90, 40), "Name"),
  };
}

ControlDescription& DescriptionNamed(std::vector<ControlDescription>& controls,
                                     const std::string& name) {
  for (ControlDescription& description : controls) {
    if (description.name == name) return description;
  }
  ADD_FAILURE() << "no control description " << name;
  return controls.front();
}

ControlTestWindow::ControlTestWindow(std::vector<ControlDescription> controls) {
  Handlers::current = this;
  window_ = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  WindowFields* fields = WindowFieldsOf(window_.get());
  fields->width = 300;
  fields->height = 200;
  fields->visible = 1;
  for (const ControlDescription& description : controls) {
    ObjectRef control = MakeControl(description);
    if (!description.parent.empty()) {
      ControlFields(control.get())->parentControl =
          WindowFindControl(window_.get(), description.parent);
    }
    WindowAddControl(window_.get(), control.get());
  }
  WindowOpen(window_.get());
  HWND handle = Handle();
  RuntimeTestEnvironment::RunUntil([handle] { return handle && IsWindowVisible(handle) != FALSE; },
                                   2000);
  MakeForeground(handle);
  RunPendingTurns();
  openingLog_ = TakeLog();
}

ControlTestWindow::~ControlTestWindow() {
  Close();
  if (Handlers::current == this) Handlers::current = nullptr;
}

HWND ControlTestWindow::Handle() const { return WindowHandle(window_.get()); }

bool ControlTestWindow::IsOpen() const { return WindowIsOpen(window_.get()); }

void ControlTestWindow::Close() { WindowClose(window_.get()); }

RuntimeObject* ControlTestWindow::Control(const std::string& name) const {
  return IsOpen() ? WindowFindControl(window_.get(), name) : nullptr;
}

SubPane* ControlTestWindow::Pane(const std::string& name) const { return PaneOf(Control(name)); }

HWND ControlTestWindow::Native(const std::string& name) const { return NativeOf(Control(name)); }

std::vector<HWND> ControlTestWindow::PaneWindows(const std::string& name) const {
  SubPane* host = Pane(name);
  if (!host) return {};
  return {host->NativeWindow(), host->GetNativeHandle()};
}

void ControlTestWindow::FocusOn(const std::string& name) const {
  SetFocusPane(Pane(name));
  TakeLog();
}

void ControlTestWindow::AnswerMouseDown(const std::string& name, bool handled) {
  mouseDownAnswers_[name] = handled;
}

void ControlTestWindow::AnswerKeyDown(const std::string& name, bool handled) {
  keyDownAnswers_[name] = handled;
}

void ControlTestWindow::AnswerEvent(const std::string& name, const std::string& event,
                                    bool answer) {
  eventAnswers_[name + "." + event] = answer;
}

void ControlTestWindow::OnEvent(const std::string& name, const std::string& event,
                                std::function<void(RuntimeObject*)> extra) {
  extras_[name + "." + event] = std::move(extra);
}

void ControlTestWindow::CloseOn(const std::string& name, const std::string& event) {
  RuntimeObject* window = window_.get();
  OnEvent(name, event, [window](RuntimeObject*) { WindowClose(window); });
}

void ControlTestWindow::Click(const std::string& name) const {
  SendMessageW(Native(name), BM_CLICK, 0, 0);
}

void ControlTestWindow::PressKey(UINT virtualKey) const {
  PostKey(GetFocus(), virtualKey);
  RuntimeRunTurn(0);
  // The key-up does nothing for these keys; drain it so it reaches no later
  // step.
  RunPendingTurns();
}

void ControlTestWindow::RealClick(const std::string& name, int x, int y) const {
  MakeForeground(Handle());
  SendMouseMove(ScreenPointOf(Native(name), x, y));
  SendMouseButton(true);
  SendMouseButton(false);
  RuntimeTestEnvironment::RunUntil([] { return false; }, 300);
}

void ControlTestWindow::RealDrag(HWND target, int x, int y, int dx, int dy) const {
  auto runFor = [](DWORD milliseconds) {
    RuntimeTestEnvironment::RunUntil([] { return false; }, milliseconds);
  };
  MakeForeground(Handle());
  SendMouseMove(ScreenPointOf(target, x, y));
  SendMouseButton(true);
  runFor(150);
  SendMouseMove(ScreenPointOf(target, x + dx, y + dy));
  runFor(150);
  SendMouseButton(false);
  runFor(200);
}

void ControlTestWindow::RealKey(WORD virtualKey) const {
  MakeForeground(Handle());
  SendKey(virtualKey, true);
  SendKey(virtualKey, false);
  RuntimeTestEnvironment::RunUntil([] { return false; }, 300);
}
