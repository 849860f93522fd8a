// The demo application: the run-time with a small application image whose
// Open event prints a resource and opens a window with a check box, a scroll
// bar, a slider, a default push button that quits, a label and a group box of
// radio buttons, a window of drawn controls: a canvas, a bevelled rectangle
// and a line, a window of tabs and progress bars, a list whose Boxes column
// sorts as numbers, and a record navigator over a scratch database (people
// in reverse name order, a label counting them by flag with GROUP BY) with
// two controls bound to it. With KVDEMO_SCREENSHOT naming a path it saves a
// PNG of its frame window there and quits.
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls/Canvas.h"
#include "controls/CheckBox.h"
#include "controls/editfield/EditField.h"
#include "controls/GroupBox.h"
#include "controls/LineControl.h"
#include "controls/listbox/ListBox.h"
#include "controls/listbox/ListBoxMembers.h"
#include "controls/ProgressBar.h"
#include "controls/PushButton.h"
#include "controls/RadioButton.h"
#include "controls/ScrollerControls.h"
#include "controls/StaticText.h"
#include "controls/TabPanel.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/basicstr.h"
#include "core/string.h"
#include "core/TextEncoding.h"
#include "core/utility.h"
#include "database/Win32StorageAdapter.h"
#include "database/api/Database.h"
#include "database/api/DatabaseField.h"
#include "database/api/RecordSet.h"
#include "database/datacontrol/DataControl.h"
#include "database/engine/EngineDatabase.h"
#include "database/engine/EngineTable.h"
#include "graphics/GraphicsClass.h"
#include "host/ResourceManagerCommon.h"
#include "host/RunTimer.h"
#include "host/RuntimeMain.h"
#include "host/Win32Handles.h"
#include "host/application.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "testsupport/ClassBuilder.h"
#include "ui/RuntimeWindow.h"
#include "ui/runctl.h"
#include "ui/window.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int32_t kScreenshotPeriod = 30;  // ticks
constexpr ULONGLONG kScreenshotDeadlineMs = 30000;
constexpr int kNoScreenshotExitCode = 2;

bool Fail(std::string* reason, const char* text) {
  *reason = text;
  return false;
}

std::string ToUTF8(const std::wstring& text) {
  return encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// Sets a property the way compiled code does: through its class records.
template <class T>
void SetProperty(RuntimeObject* object, const char* name, T value) {
  PropertyAccess access{};
  if (!FindPropertyAccess(object, name, &access) || !access.setter) return;
  reinterpret_cast<void (*)(RuntimeObject*, uint32_t, T)>(access.setter)(object, access.parameter,
                                                                        value);
}

void SetText(RuntimeObject* object, const char* name, const char* text) {
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  SetProperty<StringRecord*>(object, name, value.get());
}

ObjectRef NewControl(RuntimeObject* instance, const char* name, const MacRect& bounds,
                     const char* caption) {
  ObjectRef control = ObjectRef::Adopt(instance);
  StringRef controlName = StringRef::Adopt(StringFromUTF8(name));
  ControlSetName(control.get(), controlName.get());
  ControlFields(control.get())->bounds = bounds;
  SetText(control.get(), "Caption", caption);
  return control;
}

// A scroll bar or slider from 0 to 100 at the value.
ObjectRef NewScroller(ObjectDefinition* definition, const char* name, const MacRect& bounds,
                      int32_t value) {
  ObjectRef control = NewControl(CreateInstance(definition), name, bounds, "");
  SetProperty<int32_t>(control.get(), "Maximum", 100);
  SetProperty<int32_t>(control.get(), "PageStep", 10);
  SetProperty<int32_t>(control.get(), "Value", value);
  return control;
}

// A window to be shown when it opens, at (left, top) in the frame.
ObjectRef NewShownWindow(const char* title, int32_t left, int32_t top, int32_t width,
                         int32_t height) {
  ObjectRef window = ObjectRef::Adopt(CreateInstance(GetWindowClassDefinition()));
  SetText(window.get(), "Title", title);
  WindowFields* fields = WindowFieldsOf(window.get());
  fields->left = left;
  fields->top = top;
  fields->width = width;
  fields->height = height;
  fields->visible = 1;
  return window;
}

void OnQuitAction(RuntimeObject*) { ApplicationQuit(); }

// A label over a group box of two radio buttons, the first one checked.
void AddGroupingControls(RuntimeObject* window) {
  ObjectRef label = NewControl(CreateInstance(GetStaticTextClassDefinition()), "SizeLabel",
                               MacRect{92, 14, 108, 214}, "Choose a &size:");
  ObjectRef box = NewControl(CreateInstance(GetGroupBoxClassDefinition()), "SizeBox",
                             MacRect{110, 14, 176, 226}, "Size");
  ObjectRef small = NewControl(CreateInstance(GetRadioButtonClassDefinition()), "SmallRadio",
                               MacRect{128, 26, 146, 200}, "S&mall");
  ObjectRef large = NewControl(CreateInstance(GetRadioButtonClassDefinition()), "LargeRadio",
                               MacRect{150, 26, 168, 200}, "&Large");
  SetProperty<uint8_t>(small.get(), "Value", 1);
  for (RuntimeObject* radio : {small.get(), large.get()}) {
    ControlFields(radio)->parentControl = box.get();
  }
  for (const ObjectRef& control : {label, box, small, large}) {
    WindowAddControl(window, control.get());
  }
}

// A window at the frame's top left.
void OpenControlsWindow() {
  static ClassBuilder quitButton(GetPushButtonClassDefinition(), "QuitButton");
  quitButton.Handle("Action", &OnQuitAction);

  ObjectRef window = NewShownWindow("Controls", 16, 16, 240, 190);

  ObjectRef check = NewControl(CreateInstance(GetCheckBoxClassDefinition()), "CheckBox1",
                               MacRect{14, 14, 34, 214}, "&Check me");
  SetProperty<uint8_t>(check.get(), "Value", 1);
  ObjectRef quit = NewControl(quitButton.NewInstance(), "QuitButton", MacRect{52, 146, 78, 226},
                              "&Quit");
  SetProperty<uint8_t>(quit.get(), "Default", 1);
  ObjectRef bar =
      NewScroller(GetScrollBarClassDefinition(), "ScrollBar1", MacRect{44, 14, 60, 134}, 30);
  ObjectRef slider =
      NewScroller(GetSliderClassDefinition(), "Slider1", MacRect{62, 10, 88, 138}, 70);
  WindowAddControl(window.get(), check.get());
  WindowAddControl(window.get(), bar.get());
  WindowAddControl(window.get(), slider.get());
  WindowAddControl(window.get(), quit.get());
  AddGroupingControls(window.get());
  WindowOpen(window.get());
}

// The canvas draws a sun over a hill.
void OnCanvasPaint(RuntimeObject*, RuntimeObject* g) {
  graphicsForeColorSetter(g, 0, 0xCFE8FF);
  RuntimeGraphicsFillRect(g, 0, 0, 160, 70);
  graphicsForeColorSetter(g, 0, 0xFFC020);
  RuntimeGraphicsFillOval(g, 100, 10, 36, 36);
  graphicsForeColorSetter(g, 0, 0x3C9A3C);
  RuntimeGraphicsFillOval(g, -40, 40, 160, 80);
}

// A window beside the controls: a canvas, an edit field, and a
// bevelled rectangle holding a thick line.
void OpenDrawingWindow() {
  static ClassBuilder sunCanvas(GetCanvasClassDefinition(), "SunCanvas");
  sunCanvas.Handle("Paint", &OnCanvasPaint);
  ObjectRef window = NewShownWindow("Drawing", 272, 16, 188, 190);
  ObjectRef canvas = NewControl(sunCanvas.NewInstance(), "Canvas1", MacRect{14, 14, 84, 174}, "");
  ObjectRef field = NewControl(CreateInstance(GetEditFieldClassDefinition()), "Field1",
                               MacRect{92, 14, 114, 174}, "");
  SetProperty<uint8_t>(field.get(), "Border", 1);
  SetText(field.get(), "Text", "Edit me");
  ObjectRef box = NewControl(CreateInstance(GetRectangleClassDefinition()), "Box1",
                             MacRect{122, 14, 176, 174}, "");
  const std::pair<const char*, int32_t> boxLook[] = {
      {"FillColor", 0xE0E0E0}, {"TopLeftColor", 0xFFFFFF}, {"BottomRightColor", 0x808080},
      {"BorderWidth", 3}};
  for (const auto& [name, value] : boxLook) SetProperty<int32_t>(box.get(), name, value);
  ObjectRef line = NewControl(CreateInstance(GetLineClassDefinition()), "Line1", MacRect{}, "");
  const std::pair<const char*, int32_t> lineLook[] = {{"X1", 30}, {"Y1", 164}, {"X2", 158},
                                                      {"Y2", 134}, {"BorderWidth", 3},
                                                      {"LineColor", 0xC03030}};
  for (const auto& [name, value] : lineLook) SetProperty<int32_t>(line.get(), name, value);
  ControlFields(line.get())->parentControl = box.get();
  for (const ObjectRef& control : {canvas, field, box, line}) {
    WindowAddControl(window.get(), control.get());
  }
  WindowOpen(window.get());
}

// A window below the first: two tabs, the first holding a check box and a
// bar at 60 per cent, over a bar that keeps moving (no maximum).
void OpenPanelsWindow() {
  ObjectRef window = NewShownWindow("Panels", 16, 236, 220, 144);
  ObjectRef tabs = NewControl(CreateInstance(GetTabPanelClassDefinition()), "Tabs",
                              MacRect{10, 10, 110, 210}, "&General\rA&dvanced");
  ObjectRef option = NewControl(CreateInstance(GetCheckBoxClassDefinition()), "Option",
                                MacRect{44, 22, 62, 190}, "&Enabled");
  SetProperty<uint8_t>(option.get(), "Value", 1);
  ObjectRef done = NewControl(CreateInstance(GetProgressBarClassDefinition()), "Done",
                              MacRect{72, 22, 90, 196}, "");
  SetProperty<int32_t>(done.get(), "Value", 60);
  for (RuntimeObject* child : {option.get(), done.get()}) {
    ControlFields(child)->parentControl = tabs.get();
    ControlFields(child)->tabPanelIndex = 1;
  }
  ObjectRef busy = NewControl(CreateInstance(GetProgressBarClassDefinition()), "Busy",
                              MacRect{120, 10, 136, 210}, "");
  SetProperty<int32_t>(busy.get(), "Maximum", 0);
  for (const ObjectRef& control : {tabs, option, done, busy}) {
    WindowAddControl(window.get(), control.get());
  }
  WindowOpen(window.get());
}

// The Boxes column sorts by number: 7 before 12 before 30. Other columns
// keep the list's own order of texts.
bool OnFruitCompareRows(RuntimeObject* list, int32_t row1, int32_t row2, int32_t column,
                        int32_t* result) {
  if (column != 1) return false;
  const auto boxes = [list](int32_t row) {
    return StringVal(StringRef::Adopt(listGetCell(list, row, 1)).get());
  };
  const double a = boxes(row1), b = boxes(row2);
  *result = a < b ? -1 : a > b ? 1 : 0;
  return true;
}

// A window right of the panels: a list of fruit with a heading, two columns
// (the second sorted as numbers) and its second row selected.
void OpenListWindow() {
  static ClassBuilder fruitList(GetListboxClassDefinition(), "FruitList");
  fruitList.Handle("CompareRows", &OnFruitCompareRows);
  ObjectRef window = NewShownWindow("List", 272, 236, 188, 144);
  ObjectRef list = NewControl(fruitList.NewInstance(), "Fruit", MacRect{10, 10, 124, 168}, "");
  SetProperty<int32_t>(list.get(), "ColumnCount", 2);
  SetText(list.get(), "ColumnWidths", "*, 50");
  SetProperty<uint8_t>(list.get(), "HasHeading", 1);
  SetProperty<uint8_t>(list.get(), "ScrollBarVertical", 1);
  SetText(list.get(), "InitialValue", "Fruit\tBoxes\rApples\t12\rPears\t7\rPlums\t30");
  WindowAddControl(window.get(), list.get());
  WindowOpen(window.get());
  SetProperty<int32_t>(list.get(), "ListIndex", 1);
}

// A scratch database in the temporary folder with a table of three people.
ObjectRef MakePeopleDatabase() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"kvdemo_people.db";
  StringRef file = StringRef::Adopt(
      StringFromUTF16(reinterpret_cast<const uint16_t*>(path.data()), int32_t(path.size())));
  ObjectRef db = ObjectRef::Adopt(
      NewBuiltInDatabaseObject(CreateEngineDatabaseAt(file.get(), Win32DatabaseStorage())));
  if (!db) return db;
  for (const char* sql :
       {"create table people (id integer not null, name varchar(20), flag varchar(10), "
        "primary key (id))",
        "insert into people (id, name, flag) values (1, 'Ann', 'true')",
        "insert into people (id, name, flag) values (2, 'Bob', 'false')",
        "insert into people (id, name, flag) values (3, 'Cy', 'true')"}) {
    StringRef statement = StringRef::Adopt(StringFromUTF8(sql));
    databaseExecute(db.get(), statement.get());
  }
  databaseCommit(db.get());
  return db;
}

// "Flagged 2/3": the people grouped by flag, counted by the database.
std::string FlagSummary(RuntimeObject* db) {
  StringRef sql = StringRef::Adopt(
      StringFromUTF8("select flag, count(*) from people group by flag"));
  ObjectRef groups = ObjectRef::Adopt(databaseSelect(db, sql.get()));
  if (!groups) return "People:";
  int flagged = 0, all = 0;
  const auto text = [&](int32_t column) {
    ObjectRef field = ObjectRef::Adopt(cursorGetFieldByIndex(groups.get(), column));
    StringRef value = StringRef::Adopt(fieldStringValueGetter(field.get(), 0));
    return std::string(value ? StringCStr(value.get()) : "");
  };
  for (; !RecordSetArgument(groups.get())->eof; cursorMoveNext(groups.get())) {
    const int count = std::atoi(text(2).c_str());
    all += count;
    if (text(1) == "true") flagged += count;
  }
  cursorClose(groups.get());
  return "Flagged " + std::to_string(flagged) + "/" + std::to_string(all);
}

// A narrow window right of the drawing: a label counting the flagged people,
// a record navigator over the people in reverse name order, an edit field on
// their names and a check box on their flags.
void OpenPeopleWindow() {
  ObjectRef db = MakePeopleDatabase();
  if (!db) return;
  ObjectRef window = NewShownWindow("People", 476, 16, 110, 140);
  ObjectRef label = NewControl(CreateInstance(GetStaticTextClassDefinition()), "PeopleLabel",
                               MacRect{6, 10, 22, 104}, FlagSummary(db.get()).c_str());
  ObjectRef data = NewControl(CreateInstance(GetDataControlClassDefinition()), "Data1",
                              MacRect{26, 28, 48, 100}, "");
  SetText(data.get(), "TableName", "people");
  SetText(data.get(), "SQLQuery", "select * from people order by name desc");
  SetProperty<RuntimeObject*>(data.get(), "Database", db.get());
  ObjectRef name = NewControl(CreateInstance(GetEditFieldClassDefinition()), "NameField",
                              MacRect{56, 28, 78, 100}, "");
  SetProperty<uint8_t>(name.get(), "Border", 1);
  ObjectRef flag = NewControl(CreateInstance(GetCheckBoxClassDefinition()), "FlagBox",
                              MacRect{86, 28, 104, 100}, "&Flag");
  for (const auto& [control, field] : {std::make_pair(name.get(), "name"),
                                       std::make_pair(flag.get(), "flag")}) {
    SetText(control, "DataSource", "Data1");
    SetText(control, "DataField", field);
  }
  for (const ObjectRef& control : {label, data, name, flag}) {
    WindowAddControl(window.get(), control.get());
  }
  WindowOpen(window.get());
}

void OnOpen(RuntimeObject*) {
  auto text = ResourceManager::Find(FourCharCode("TEXT"), 128);
  std::string body = text ? std::string(reinterpret_cast<const char*>(text->data), text->length)
                          : std::string("(missing)");
  std::printf("Open: TEXT 128 = \"%s\"\n", body.c_str());
  std::fflush(stdout);
  OpenControlsWindow();
  OpenDrawingWindow();
  OpenPanelsWindow();
  OpenListWindow();
  OpenPeopleWindow();
}

// The screen pixels under the window, as a 24-bit bottom-up DIB section.
struct Capture {
  UniqueBitmap bitmap;
  void* bits = nullptr;
  int width = 0;
  int height = 0;
  UINT stride() const { return UINT((width * 3 + 3) & ~3); }
};

bool CaptureWindow(HWND window, Capture* capture, std::string* reason) {
  RECT bounds;
  if (!GetWindowRect(window, &bounds)) return Fail(reason, "the frame has no rectangle");
  capture->width = bounds.right - bounds.left;
  capture->height = bounds.bottom - bounds.top;
  if (capture->width <= 0 || capture->height <= 0) return Fail(reason, "the frame is empty");

  WindowDC screen(nullptr);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = capture->width;
  info.bmiHeader.biHeight = -capture->height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  capture->bitmap.reset(
      CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &capture->bits, nullptr, 0));
  UniqueMemoryDC memory(CreateCompatibleDC(screen.get()));
  if (!capture->bitmap || !memory) return Fail(reason, "no bitmap for the capture");

  HGDIOBJ previous = SelectObject(memory.get(), capture->bitmap.get());
  BOOL copied = BitBlt(memory.get(), 0, 0, capture->width, capture->height, screen.get(),
                       bounds.left, bounds.top, SRCCOPY);
  SelectObject(memory.get(), previous);
  GdiFlush();
  if (!copied) return Fail(reason, "copying the screen failed");
  return true;
}

bool WritePng(const Capture& capture, const std::wstring& path, std::string* reason) {
  auto failed = [reason](const char* step, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    *reason = std::string(step) + " failed (" + code + ")";
    return false;
  };
  ComPtr<IWICImagingFactory> factory;
  HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&factory));
  if (FAILED(result)) return failed("making the imaging factory", result);
  ComPtr<IWICStream> stream;
  if (FAILED(result = factory->CreateStream(&stream))) return failed("CreateStream", result);
  if (FAILED(result = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) {
    return failed("opening the file", result);
  }
  ComPtr<IWICBitmapEncoder> encoder;
  if (FAILED(result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder))) {
    return failed("making the PNG encoder", result);
  }
  if (FAILED(result = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache))) {
    return failed("starting the encoder", result);
  }
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  if (FAILED(result = encoder->CreateNewFrame(&frame, &options))) return failed("CreateNewFrame", result);
  if (FAILED(result = frame->Initialize(options.Get()))) return failed("starting the frame", result);
  if (FAILED(result = frame->SetSize(UINT(capture.width), UINT(capture.height)))) {
    return failed("SetSize", result);
  }
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(result = frame->SetPixelFormat(&format))) return failed("SetPixelFormat", result);
  if (format != GUID_WICPixelFormat24bppBGR) return Fail(reason, "the encoder wants another format");
  const UINT size = capture.stride() * UINT(capture.height);
  if (FAILED(result = frame->WritePixels(UINT(capture.height), capture.stride(), size,
                                         static_cast<BYTE*>(capture.bits)))) {
    return failed("WritePixels", result);
  }
  if (FAILED(result = frame->Commit())) return failed("committing the frame", result);
  if (FAILED(result = encoder->Commit())) return failed("committing the file", result);
  return true;
}

// Saves the frame window as a PNG, then quits; gives up after 30 s.
class ScreenshotTask : public PeriodicTask {
 public:
  explicit ScreenshotTask(std::wstring path)
      : PeriodicTask(kScreenshotPeriod), path_(std::move(path)), started_(GetTickCount64()) {}

  void Run() override {
    std::string reason;
    if (TakeScreenshot(&reason)) {
      std::printf("Screenshot written: %s\n", ToUTF8(path_).c_str());
      std::fflush(stdout);
      ApplicationQuit();
    } else if (GetTickCount64() - started_ >= kScreenshotDeadlineMs) {
      std::fprintf(stderr, "Screenshot not taken: %s\n", reason.c_str());
      std::fflush(stderr);
      PostQuitMessage(kNoScreenshotExitCode);
    }
  }

 private:
  bool TakeScreenshot(std::string* reason) {
    HWND frame = GetMDIFrameWindow();
    if (!frame || !IsWindow(frame)) return Fail(reason, "there is no frame window");
    // Activation reaches the window through the display server: bring the
    // frame to the front, and capture on a later turn once it is there.
    if (GetForegroundWindow() != frame) {
      SetForegroundWindow(frame);
      return Fail(reason, "the frame did not come to the front");
    }
    RedrawWindow(frame, nullptr, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Capture capture;
    return CaptureWindow(frame, &capture, reason) && WritePng(capture, path_, reason);
  }

  std::wstring path_;
  ULONGLONG started_;
};

std::wstring ScreenshotPath() {
  wchar_t path[MAX_PATH * 2];
  DWORD length = GetEnvironmentVariableW(L"KVDEMO_SCREENSHOT", path, MAX_PATH * 2);
  return length > 0 && length < MAX_PATH * 2 ? std::wstring(path, length) : std::wstring();
}

// Plays the compiled application's code.
void DemoApplication() {
  RuntimeInit();
  // Lives as long as the process: the host releases the application object
  // only after this function has returned.
  static ClassBuilder demoApp(GetApplicationClassDefinition(), "DemoApplication");
  demoApp.Handle("Open", &OnOpen);
  ObjectRef app = ObjectRef::Adopt(demoApp.NewInstance());

  std::unique_ptr<ScreenshotTask> screenshot;
  std::wstring path = ScreenshotPath();
  if (!path.empty()) screenshot = std::make_unique<ScreenshotTask>(path);

  RuntimeRegisterAppObject(app.get());
  RuntimeRun();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  InstallRuntimeSubsystems();
  return RuntimeHostMain(instance, cmdLine, DemoApplication);
}
