#include "system/RunSystem.h"

#include <cstring>
#include <cwchar>
#include <iterator>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/RuntimeMain.h"
#include "host/Win32Handles.h"
#include "host/relocentry.h"
#include "system/DialUp.h"
#include "system/InertMembers.h"
#include "system/NetworkInterfaces.h"
#include "system/runSerial.h"

namespace {

constexpr const char* kSource = "RunSystem";
// The places the interface getters report a nil object at.
constexpr int32_t kMACAddressCheck = 473;
constexpr int32_t kIPAddressCheck = 489;
constexpr int32_t kSubnetMaskCheck = 508;

QuickTimeInstalledQuery quickTimeInstalled = nullptr;
MouseButtonReaders mouseButtonReaders = {GetSystemMetrics, GetAsyncKeyState};

struct HandleFields {  // KeyChain and KeyChainItem: a handle never set
  RuntimeObject header;
  int32_t handle;
};

// ---- NetworkInterface -----------------------------------------------------

const NetworkInterfaceFields* InterfaceArgument(RuntimeObject* networkInterface, int32_t line) {
  if (networkInterface) return ObjectFields<NetworkInterfaceFields>(networkInterface);
  AssertionFailed(131, 4, kSource, line, "networkInterfaceObject", "");
  return nullptr;
}

StringRecord* SystemGetMACAddress(RuntimeObject* networkInterface) {
  const NetworkInterfaceFields* fields = InterfaceArgument(networkInterface, kMACAddressCheck);
  return fields ? GetInterfaceMACAddress(fields->index) : nullptr;
}

StringRecord* SystemGetIPAddress(RuntimeObject* networkInterface) {
  const NetworkInterfaceFields* fields = InterfaceArgument(networkInterface, kIPAddressCheck);
  return fields ? DottedAddressText(GetInterfaceIPAddress(fields->index)) : nullptr;
}

StringRecord* SystemGetSubnetMask(RuntimeObject* networkInterface) {
  const NetworkInterfaceFields* fields = InterfaceArgument(networkInterface, kSubnetMaskCheck);
  return fields ? DottedAddressText(GetInterfaceSubnetMask(fields->index)) : nullptr;
}

ObjectDefinition* MakeNetworkInterfaceDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "MACAddress", &kStringType, RUNTIME_ENTRY(SystemGetMACAddress), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "IPAddress", &kStringType, RUNTIME_ENTRY(SystemGetIPAddress), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "SubnetMask", &kStringType, RUNTIME_ENTRY(SystemGetSubnetMask), nullptr,
       nullptr, 0},
  };
  ObjectDefinitionSetName(&definition, "NetworkInterface");
  definition.instanceSize = sizeof(NetworkInterfaceFields);
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  return &definition;
}

// ---- _QuicktimeInstallStatus ------------------------------------------------

bool QTInstalledGetter(RuntimeObject*) {
  int32_t version = 0;
  return quickTimeInstalled && quickTimeInstalled(false, &version);
}

ObjectDefinition* MakeQuicktimeInstallStatusDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "Installed", &kBooleanType, RUNTIME_ENTRY(QTInstalledGetter), nullptr,
       nullptr, 0},
  };
  ObjectDefinitionSetName(&definition, "_QuicktimeInstallStatus");
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  return &definition;
}

ObjectDefinition* QuicktimeInstallStatusDefinition() {
  static ObjectDefinition* const definition = MakeQuicktimeInstallStatusDefinition();
  return definition;
}

// ---- KeyChain and KeyChainItem -------------------------------------------------

const PropertyRecord kHandleProperty = {kPropertyReadOnly | kPropertyPassesParameter,
                                        "Handle",
                                        &kIntegerType,
                                        RUNTIME_ENTRY(intGetter),
                                        nullptr,
                                        nullptr,
                                        uint32_t(offsetof(HandleFields, handle))};

ObjectDefinition* KeyChainItemDefinition();

ObjectDefinition* MakeKeyChainDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {kHandleProperty};
  static const ParameterRecord index[] = {{"Index", &kIntegerType, 0}};
  static const ParameterRecord password[] = {{"Password", &kStringType, 0}};
  static const ParameterRecord lockAll[] = {{"LockAll", &kBooleanType, 0}};
  static const ParameterRecord itemAndPassword[] = {{"KCItem", KeyChainItemDefinition(), 0},
                                                    {"Password", &kStringType, 0}};
  static const ParameterRecord itemByReference[] = {
      {"KCItem", KeyChainItemDefinition(), kParameterByReference}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, index, 1,
                       INERT_ENTRY(InertProcedure, "KeyChainConstructor")),
      MakeMethodRecord("Unlock", nullptr, password, 1,
                       INERT_ENTRY(InertProcedure, "KeyChainUnlock")),
      MakeMethodRecord("Lock", nullptr, lockAll, 1, INERT_ENTRY(InertProcedure, "KeyChainLock")),
      MakeMethodRecord("AddPassword", nullptr, itemAndPassword, 2,
                       INERT_ENTRY(InertProcedure, "KeyChainAddPassword")),
      MakeMethodRecord("FindPassword", &kStringType, itemByReference, 1,
                       INERT_ENTRY(InertString, "KeyChainFindPassword")),
  };
  return FillClassDefinition(&definition, "KeyChain", sizeof(HandleFields), nullptr, nullptr,
                             properties, methods);
}

ObjectDefinition* KeyChainDefinition() {
  static ObjectDefinition* const definition = MakeKeyChainDefinition();
  return definition;
}

#define KEYCHAIN_ITEM_ATTRIBUTE(name)                                 \
  {                                                                   \
    kPropertyPassesParameter, name, &kStringType,                     \
        INERT_ENTRY(InertString, "KeyChainItemAttributeGetter"),      \
        INERT_ENTRY(InertProcedure, "KeyChainItemAttributeSetter"), 0 \
  }

ObjectDefinition* MakeKeyChainItemDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      kHandleProperty,
      KEYCHAIN_ITEM_ATTRIBUTE("Description"),
      KEYCHAIN_ITEM_ATTRIBUTE("Comment"),
      KEYCHAIN_ITEM_ATTRIBUTE("Label"),
      KEYCHAIN_ITEM_ATTRIBUTE("ServiceName"),
      KEYCHAIN_ITEM_ATTRIBUTE("AccountName"),
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Delete", nullptr, nullptr, 0,
                       INERT_ENTRY(InertProcedure, "KeyChainItemDelete")),
  };
  return FillClassDefinition(&definition, "KeyChainItem", sizeof(HandleFields), nullptr, nullptr,
                             properties, methods);
}

ObjectDefinition* KeyChainItemDefinition() {
  static ObjectDefinition* const definition = MakeKeyChainItemDefinition();
  return definition;
}

// ---- _SystemClass ---------------------------------------------------------------

POINT CursorPosition() {
  POINT point{};
  return GetCursorPos(&point) ? point : POINT{};
}

int32_t getMouseX(RuntimeObject*) { return CursorPosition().x; }
int32_t getMouseY(RuntimeObject*) { return CursorPosition().y; }

// The primary button: the right one when the user swapped them.
bool getMouseDown(RuntimeObject*) {
  const int button = mouseButtonReaders.systemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return mouseButtonReaders.asyncKeyState(button) < 0;
}

RuntimeObject* systemGetQTInstallStatus(RuntimeObject*) {
  return CreateInstance(QuicktimeInstallStatusDefinition());
}

bool systemGestalt(RuntimeObject*, StringRecord*, int32_t* result) {
  if (result) *result = 0;
  return false;
}

StringRecord* SystemGetCommandLine(RuntimeObject*) {
  if (IsWindowsNT()) {
    const wchar_t* line = GetCommandLineW();
    StringRef units = StringRef::Adopt(
        StringFromUTF16(reinterpret_cast<const uint16_t*>(line), int32_t(wcslen(line))));
    return StringToUTF8(units.get());
  }
  const char* line = GetCommandLineA();
  return NewString(line, strlen(line), GetSystemTextEncoding());
}

// A screen pixel as the colour 0x00RRGGBB; 0 (black) off the screen.
uint32_t systemPixel(RuntimeObject*, int32_t x, int32_t y) {
  WindowDC screen(nullptr);
  const COLORREF pixel = screen.get() ? GetPixel(screen.get(), x, y) : CLR_INVALID;
  if (pixel == CLR_INVALID) return 0;
  return uint32_t(GetRValue(pixel)) << 16 | uint32_t(GetGValue(pixel)) << 8 | GetBValue(pixel);
}

int32_t SystemGetNetworkInterfaceCount(RuntimeObject*) { return GetNetworkInterfaceCount(); }

// A new NetworkInterface for an index from -1 (the default interface) to
// the count - 1; otherwise OutOfBoundsException and nil.
RuntimeObject* GetNetworkInterfaceObject(RuntimeObject*, int32_t index) {
  if (index < -1 || index >= GetNetworkInterfaceCount()) {
    RaiseOutOfBoundsException();
    return nullptr;
  }
  RuntimeObject* networkInterface = CreateInstance(GetNetworkInterfaceClassDefinition());
  ObjectFields<NetworkInterfaceFields>(networkInterface)->index = index;
  return networkInterface;
}

// The serial enumeration as members: the object is not the index.
int32_t systemSerialPortCount(RuntimeObject*) { return getSerialPortCount(); }
RuntimeObject* systemSerialPort(RuntimeObject*, int32_t index) { return getSerialPort(index); }

#define SYSTEM_READ_ONLY(name, type, getter) \
  { kPropertyReadOnly, name, type, RUNTIME_ENTRY(getter), nullptr, nullptr, 0 }

ObjectDefinition* MakeSystemDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      SYSTEM_READ_ONLY("SerialPortCount", &kIntegerType, systemSerialPortCount),
      SYSTEM_READ_ONLY("MouseX", &kIntegerType, getMouseX),
      SYSTEM_READ_ONLY("MouseY", &kIntegerType, getMouseY),
      SYSTEM_READ_ONLY("MouseDown", &kBooleanType, getMouseDown),
      {0, "KeyScript", &kIntegerType, INERT_ENTRY(InertInteger, "systemGetKeyScript"),
       INERT_ENTRY(InertProcedure, "systemSetKeyScript"), 0},
      SYSTEM_READ_ONLY("PPPStatus", &kIntegerType, socketPPPStatus),
      SYSTEM_READ_ONLY("Quicktime", QuicktimeInstallStatusDefinition(), systemGetQTInstallStatus),
      SYSTEM_READ_ONLY("NetworkInterfaceCount", &kIntegerType, SystemGetNetworkInterfaceCount),
      {0, "KeyChain", KeyChainDefinition(), INERT_ENTRY(InertObject, "systemGetDefaultKeyChain"),
       INERT_ENTRY(InertProcedure, "systemSetDefaultKeyChain"), 0},
      {kPropertyReadOnly, "KeyChainCount", &kIntegerType,
       INERT_ENTRY(InertInteger, "systemGetKeyChainCount"), nullptr, nullptr, 0},
  };
  static const ParameterRecord serialIndex[] = {{"Index", &kIntegerType, 0}};
  static const ParameterRecord userInteraction[] = {
      {"UserInteraction", &kBooleanType, kParameterOptional}};
  static const ParameterRecord gestalt[] = {{"code", &kStringType, 0},
                                            {"result", &kIntegerType, kParameterByReference}};
  static const ParameterRecord point[] = {{"x", &kIntegerType, 0}, {"y", &kIntegerType, 0}};
  static const ParameterRecord interfaceIndex[] = {{"Index", &kIntegerType, kParameterOptional}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("SerialPort", GetSerialPortClassDefinition(), serialIndex, 1,
                       RUNTIME_ENTRY(systemSerialPort)),
      MakeMethodRecord("PPPConnect", nullptr, userInteraction, 1, RUNTIME_ENTRY(socketPPPConnect)),
      MakeMethodRecord("PPPDisconnect", nullptr, nullptr, 0, RUNTIME_ENTRY(socketPPPDisconnect)),
      MakeMethodRecord("Gestalt", &kBooleanType, gestalt, 2, RUNTIME_ENTRY(systemGestalt)),
      MakeMethodRecord("CommandLine", &kStringType, nullptr, 0,
                       RUNTIME_ENTRY(SystemGetCommandLine)),
      MakeMethodRecord("Pixel", &kColorType, point, 2, RUNTIME_ENTRY(systemPixel)),
      MakeMethodRecord("GetNetworkInterface", GetNetworkInterfaceClassDefinition(), interfaceIndex,
                       1, RUNTIME_ENTRY(GetNetworkInterfaceObject)),
  };
  return FillClassDefinition(&definition, "_SystemClass", sizeof(RuntimeObject), nullptr, nullptr,
                             properties, methods);
}

}  // namespace

ObjectDefinition* GetSystemClassDefinition() {
  static ObjectDefinition* const definition = MakeSystemDefinition();
  return definition;
}

ObjectDefinition* GetNetworkInterfaceClassDefinition() {
  static ObjectDefinition* const definition = MakeNetworkInterfaceDefinition();
  return definition;
}

void RegisterSystemClasses() {
  static const EntryPoint entries[] = {
      {"getSystemObject", reinterpret_cast<void*>(&getSystemObject)}};
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (ObjectDefinition* definition :
       {GetSystemClassDefinition(), GetNetworkInterfaceClassDefinition(),
        QuicktimeInstallStatusDefinition(), KeyChainDefinition(), KeyChainItemDefinition()}) {
    RegisterIntrinsicClass(definition);
  }
  RegisterEntryPoints(entries, std::size(entries));
}

void SetQuickTimeInstalledQuery(QuickTimeInstalledQuery query) { quickTimeInstalled = query; }

MouseButtonReaders SetMouseButtonReaders(const MouseButtonReaders& readers) {
  const MouseButtonReaders previous = mouseButtonReaders;
  mouseButtonReaders = readers;
  return previous;
}

extern "C" RuntimeObject* getSystemObject() { return CreateInstance(GetSystemClassDefinition()); }
