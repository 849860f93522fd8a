// The Application class, start of the compiled application, the MDI frame
// and the data sources.
#include "host/application.h"

#include <string>
#include <utility>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "host/ResourceManagerCommon.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"

namespace {

constexpr wchar_t kFrameClassName[] = L"KVMDIFrame";
constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
// Ids of MDI children start here, clear of menu command ids.
constexpr UINT kFirstMDIChildId = 0xFF00;

ObjectRef appObject;
ObjectDefinition* resourceForkClass = nullptr;
DocumentItemHook documentItem = nullptr;
HWND frameWindow = nullptr;
HWND clientWindow = nullptr;

struct DataSource {
  std::string name;
  DataSourceOpen open;
};
std::vector<DataSource> dataSources;

HWND CreateMDIClient(HWND frame, HINSTANCE instance) {
  CLIENTCREATESTRUCT client{nullptr, kFirstMDIChildId};
  return CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                         WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0,
                         0, 0, frame, nullptr, instance, &client);
}

HWND ClientOfFrame(HWND frame) {
  return reinterpret_cast<HWND>(GetWindowLongPtrW(frame, GWLP_USERDATA));
}

LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      auto create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      HWND client = CreateMDIClient(window, create->hInstance);
      if (!client) return -1;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(client));
      return 0;
    }
    case WM_CLOSE:
      // The application decides: the exit steps destroy the frame.
      RuntimeRequestQuit();
      return 0;
    default:
      return DefFrameProcW(window, ClientOfFrame(window), message, wParam, lParam);
  }
}

HWND MakeHostFrame(const wchar_t* caption, HWND* client) {
  HINSTANCE instance = RuntimeInstanceHandle() ? RuntimeInstanceHandle() : GetModuleHandleW(nullptr);
  RegisterHostFrameClass(instance);
  HWND frame = CreateWindowExW(0, kFrameClassName, caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                               CW_USEDEFAULT, CW_USEDEFAULT, kFrameWidth, kFrameHeight, nullptr,
                               nullptr, instance, nullptr);
  if (!frame) return nullptr;
  *client = ClientOfFrame(frame);
  ShowWindow(frame, SW_SHOW);
  UpdateWindow(frame);
  return frame;
}

PropertyRecord applicationProperties[] = {
    {kPropertyReadOnly, "ResourceFork", nullptr, RUNTIME_ENTRY(appResourceForkGetter), nullptr,
     nullptr, 0},
};

using ApplicationEvent = void (*)(RuntimeObject* app);
using DocumentEvent = void (*)(RuntimeObject* app, RuntimeObject* item);

// OpenDocument for each document, or NewDocument; nothing once the
// application is ending.
void FireDocumentEvents(RuntimeObject* app) {
  EventHandler openDocument = FindEventHandler(app, "OpenDocument");
  if (!openDocument) {
    EventHandler newDocument = FindEventHandler(app, "NewDocument");
    if (!newDocument || RuntimeQuitRequested()) return;
    reinterpret_cast<ApplicationEvent>(newDocument)(app);
    RuntimeHandOverPendingException();
    return;
  }
  for (const std::wstring& name : RuntimeDocumentNames()) {
    if (RuntimeQuitRequested() || !documentItem) return;
    ObjectRef item = ObjectRef::Adopt(documentItem(name));
    if (!item) continue;
    reinterpret_cast<DocumentEvent>(openDocument)(app, item.get());
    RuntimeHandOverPendingException();
  }
}

}  // namespace

ObjectDefinition* GetApplicationClassDefinition() {
  // OpenDocument and NewDocument come after Open, whose slot stays first.
  static EventRecord events[] = {
      {0, "Open", "", nullptr, 0},
      {0, "OpenDocument", "Item As FolderItem", nullptr, 0},
      {0, "NewDocument", "", nullptr, 0},
  };
  static ObjectDefinition* definition = [] {
    static ObjectDefinition application;
    ObjectDefinitionSetName(&application, "Application");
    BuildEventDefinitions(&application, events, int32_t(sizeof events / sizeof events[0]));
    BuildPropertyDefinitions(&application, applicationProperties, 1);
    return &application;
  }();
  return definition;
}

void SetApplicationResourceForkClass(ObjectDefinition* resourceFork) {
  resourceForkClass = resourceFork;
  applicationProperties[0].type = resourceFork;
}

DocumentItemHook SetDocumentItemHook(DocumentItemHook hook) {
  return std::exchange(documentItem, hook);
}

void RegisterApplicationClass() { RegisterIntrinsicClass(GetApplicationClassDefinition()); }

extern "C" void RuntimeInit() {
  if (frameWindow && IsWindow(frameWindow)) return;
  const std::wstring& caption = ResourceManager::Caption();
  if (caption.empty()) return;
  HWND client = nullptr;
  MakeFrameHook makeFrame = CurrentMainLoopHooks().makeFrame;
  HWND frame = makeFrame ? makeFrame(caption.c_str(), &client) : MakeHostFrame(caption.c_str(), &client);
  RuntimeHandOverPendingException();
  if (!frame) return;
  frameWindow = frame;
  clientWindow = client;
}

extern "C" void RuntimeRegisterAppObject(RuntimeObject* app) {
  appObject = ObjectRef::Retain(app);
  if (EventHandler open = FindEventHandler(app, "Open")) {
    reinterpret_cast<ApplicationEvent>(open)(app);
  }
  RuntimeHandOverPendingException();
  FireDocumentEvents(app);
}

extern "C" RuntimeObject* appResourceForkGetter(RuntimeObject*, uint32_t) {
  return resourceForkClass ? CreateInstance(resourceForkClass) : nullptr;
}

extern "C" void ApplicationQuit() { RaiseExceptionOfDefinition(GetEndExceptionClassDefinition()); }

extern "C" bool IsCancelKeystroke(uint32_t, uint32_t, uint32_t) { return false; }

RuntimeObject* RuntimeAppObject() { return appObject.get(); }
void ReleaseAppObject() { appObject = ObjectRef(); }

bool IsMDIMode() { return frameWindow != nullptr; }
HWND GetMDIFrameWindow() { return frameWindow; }
HWND GetMDIClientWindow() { return clientWindow; }

void DestroyMDIFrame() {
  if (frameWindow && IsWindow(frameWindow)) DestroyWindow(frameWindow);
  frameWindow = nullptr;
  clientWindow = nullptr;
}

bool RegisterHostFrameClass(HINSTANCE instance) {
  WNDCLASSEXW frameClass{};
  frameClass.cbSize = sizeof frameClass;
  frameClass.lpfnWndProc = FrameWindowProc;
  frameClass.hInstance = instance;
  frameClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  frameClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  frameClass.lpszClassName = kFrameClassName;
  return RegisterClassExW(&frameClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

extern "C" void RuntimeRegisterDataSource(const char* name, DataSourceOpen open) {
  if (!name || !open) return;
  dataSources.push_back({name, open});
}

extern "C" RuntimeObject* InvokeDataSource(const char* name, int32_t word1, int32_t word2) {
  if (!name) return nullptr;
  for (auto source = dataSources.rbegin(); source != dataSources.rend(); ++source) {
    if (CStringCompareNoCase(source->name.c_str(), name) == 0) return source->open(word1, word2);
  }
  return nullptr;
}
