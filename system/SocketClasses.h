// The language's socket classes: SocketCore, TCPSocket, Socket, UDPSocket,
// Datagram and ServerSocket, their creation and destruction hooks, and the
// events their implementations fire. The members' entry points are in
// RuntimeSocketAccessors.h.
//
// Each socket object owns one implementation (SocketImp.h) and one owner
// adapter, the SocketOwner through which the implementation reaches the
// object: both are made by the class's creation hook and deleted by its
// destruction hook, the adapter last. The events go to the handlers found
// with FindEventHandler; an event without a handler does nothing.
//
// The classes are non-visual controls: their "CreatePane" answer makes no
// pane, so a window holds them without drawing anything, and when a window
// closes its ServerSockets stop listening and its other sockets close (the
// window-close hook, which then calls the hook it replaced).
//
// Layouts: SocketCore and ServerSocket have no superclass; their fields
// follow the object header as below, compiled code reaching the plain ones
// by offset. ServerSocket's implementation, Port and interface word sit
// where SocketCore has them. The adapter is kept in each class's first word
// of its own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

class SocketImp;
class SocketOwner;
class TCPSocketImp;
class UDPSocketImp;
struct StringRecord;

struct SocketCoreFields {
  RuntimeObject header;
  SocketImp* implementation;        // owned
  int32_t port;                     // Port
  int32_t lastErrorCode;            // LastErrorCode
  RuntimeObject* networkInterface;  // NetworkInterface (counted); nil: none chosen
};
static_assert(!kLayoutIs32Bit || sizeof(SocketCoreFields) == 40, "SocketCore is 40 bytes");

struct TCPSocketFields {
  SocketCoreFields core;
  StringRecord* address;  // Address (counted)
  SocketOwner* owner;     // the adapter (owned)
};
static_assert(!kLayoutIs32Bit || offsetof(TCPSocketFields, address) == 40, "Address at 40");
static_assert(!kLayoutIs32Bit || sizeof(TCPSocketFields) == 48, "TCPSocket is 48 bytes");

struct UDPSocketFields {
  SocketCoreFields core;
  int32_t routerHops;  // RouterHops
  uint8_t sendToSelf;  // SendToSelf
  SocketOwner* owner;  // the adapter (owned)
};
static_assert(!kLayoutIs32Bit || offsetof(UDPSocketFields, routerHops) == 40, "RouterHops at 40");
static_assert(!kLayoutIs32Bit || offsetof(UDPSocketFields, sendToSelf) == 44, "SendToSelf at 44");
static_assert(!kLayoutIs32Bit || sizeof(UDPSocketFields) == 52, "UDPSocket is 52 bytes");

struct ServerSocketFields {
  RuntimeObject header;
  TCPSocketImp* implementation;     // owned
  int32_t port;                     // Port
  SocketOwner* owner;               // the adapter (owned)
  RuntimeObject* networkInterface;  // read by LocalAddress; no property sets it
  int32_t reserved;
  int32_t minimumSocketsAvailable;
  int32_t maximumSocketsConnected;
};
static_assert(offsetof(ServerSocketFields, implementation) ==
                  offsetof(SocketCoreFields, implementation) &&
              offsetof(ServerSocketFields, port) == offsetof(SocketCoreFields, port) &&
              offsetof(ServerSocketFields, networkInterface) ==
                  offsetof(SocketCoreFields, networkInterface),
              "a ServerSocket is read at SocketCore's offsets");
static_assert(!kLayoutIs32Bit || offsetof(ServerSocketFields, minimumSocketsAvailable) == 44,
              "MinimumSocketsAvailable at 44");
static_assert(!kLayoutIs32Bit || sizeof(ServerSocketFields) == 52, "ServerSocket is 52 bytes");

struct DatagramFields {
  RuntimeObject header;
  StringRecord* address;  // Address (counted)
  StringRecord* data;     // Data (counted)
};
static_assert(!kLayoutIs32Bit || sizeof(DatagramFields) == 32, "Datagram is 32 bytes");

ObjectDefinition* GetSocketCoreClassDefinition();
ObjectDefinition* GetTCPSocketClassDefinition();
ObjectDefinition* GetSocketClassDefinition();
ObjectDefinition* GetUDPSocketClassDefinition();
ObjectDefinition* GetDatagramClassDefinition();
ObjectDefinition* GetServerSocketClassDefinition();

// Registers the six classes and the global socket entries, and installs the
// window-close hook.
void RegisterSocketClasses();
// Installs the window-close hook, which calls the hook installed before it
// (when that is ours already, the one it calls stays).
void InstallSocketWindowCloseHook();

// The implementation of a SocketCore or ServerSocket object; nil for nil,
// for an object of another class and for one without an implementation.
SocketImp* SocketImplementationOf(RuntimeObject* socket);
// The same, typed: nil unless the object is a TCPSocket (or Socket) or
// ServerSocket, or a UDPSocket.
TCPSocketImp* TCPImplementationOf(RuntimeObject* socket);
UDPSocketImp* UDPImplementationOf(RuntimeObject* socket);
// The object's adapter; nil as above.
SocketOwner* SocketOwnerOf(RuntimeObject* socket);
