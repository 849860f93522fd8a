// The System object and the classes it hands out.
//
// _SystemClass has no fields; getSystemObject makes a new instance at each
// call. Its members read the mouse and the screen's pixels, the command line,
// the serial ports, dial-up (DialUp.h) and the network interfaces
// (NetworkInterfaces.h), and answer for QuickTime through a query slot; the
// key-chain members and classes exist for applications that name them and do
// nothing.
//
// NetworkInterface holds one interface index (-1 for the default interface);
// its address texts are read from the interface layer at each call, so an
// object stays valid whatever the machine's interfaces do.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/Layout.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

struct NetworkInterfaceFields {
  RuntimeObject header;
  int32_t index;
};
static_assert(!kLayoutIs32Bit || sizeof(NetworkInterfaceFields) == 28, "one index field");

ObjectDefinition* GetSystemClassDefinition();
ObjectDefinition* GetNetworkInterfaceClassDefinition();

// Registers _SystemClass, NetworkInterface, _QuicktimeInstallStatus,
// KeyChain and KeyChainItem, and getSystemObject in the entry table.
void RegisterSystemClasses();

// Whether QuickTime is installed: (start it, out version) -> installed. The
// media layer installs its query; while none is installed the answer is
// false, as on a machine without QuickTime. System asks without starting it.
using QuickTimeInstalledQuery = bool (*)(bool start, int32_t* version);
void SetQuickTimeInstalledQuery(QuickTimeInstalledQuery query);

// What MouseDown reads of the platform, replaceable for tests; gives the
// readers it replaces.
struct MouseButtonReaders {
  int(WINAPI* systemMetrics)(int index);
  SHORT(WINAPI* asyncKeyState)(int virtualKey);
};
MouseButtonReaders SetMouseButtonReaders(const MouseButtonReaders& readers);

extern "C" {
// A new System object (the caller's).
RuntimeObject* getSystemObject();
}
