// The started-flag guards and the host's slots for them, and the entry
// points of the socket classes.
#include "system/RuntimeSocketAccessors.h"

// <winsock2.h> must come before <windows.h>.
#include "system/WinsockShim.h"

#include <cmath>
#include <string>

#include "core/SmartRef.h"
#include "core/basicstr.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/runtimemainloop.h"
#include "system/DialUp.h"
#include "system/NetworkInterfaces.h"
#include "system/SocketClasses.h"
#include "system/SocketImp.h"
#include "system/TCPSocket.h"
#include "system/UDPSocket.h"

void StartSocketLayer() {
  StartSockets();
  SetSocketPollHook(PollSocketsIfStarted);
  SetShutdownSocketsHook([] { ShutdownSocketsIfStarted(); });
}

bool PollSocketsIfStarted(bool ownerlessOnly) {
  return SocketsStarted() && PollRegisteredSockets(ownerlessOnly);
}

int32_t ShutdownSocketsIfStarted() { return SocketsStarted() ? ShutdownSockets() : 0; }

namespace {

constexpr const char* kSource = "RuntimeSocketAccessors";
constexpr int32_t kHighestPort = 65535;

SocketCoreFields* CoreOf(RuntimeObject* socket) {
  return ObjectIsADefinition(socket, GetSocketCoreClassDefinition())
             ? ObjectFields<SocketCoreFields>(socket)
             : nullptr;
}

TCPSocketFields* TCPFieldsOf(RuntimeObject* socket) {
  return ObjectIsADefinition(socket, GetTCPSocketClassDefinition())
             ? ObjectFields<TCPSocketFields>(socket)
             : nullptr;
}

// The implementation of a ServerSocket object; nil for any other.
TCPSocketImp* ServerImplementationOf(RuntimeObject* server) {
  return ObjectIsADefinition(server, GetServerSocketClassDefinition())
             ? ObjectFields<ServerSocketFields>(server)->implementation
             : nullptr;
}

// A received or read string tagged with the encoding; the default encoding
// for nil.
uint32_t EncodingOf(RuntimeObject* encoding) {
  const uint32_t value = GetEncodingFromTEObject(encoding);
  return value == kEncodingNone ? kEncodingASCII : value;
}

StringRecord* Tagged(StringRecord* bytes, RuntimeObject* encoding) {
  if (bytes) bytes->encoding = EncodingOf(encoding);
  return bytes;
}

// Pending events are delivered before the socket is closed and reset for
// its next use.
void PrepareForNewUse(TCPSocketImp* socket) {
  if (socket->PendingEvents() != 0) socket->Poll();
  socket->Close(false);
  socket->Reset(true);
}

// The host a TCPSocket connects to: Address as UTF-8, "localhost" in any
// case being the loopback address.
StringRef ConnectHost(const StringRecord* address) {
  const std::string host = StringToStdUTF8(address);
  const bool loopback = host.size() == 9 && CStringCompareNoCase(host.c_str(), "localhost") == 0;
  return StringRef::Adopt(loopback ? StringFromASCII("127.0.0.1") : NewString(host, kEncodingUTF8));
}

// "host:port" (exactly one colon) names its port; other text is all host.
bool SplitHostAndPort(const std::string& address, std::string* host, int32_t* port) {
  const size_t colon = address.find(':');
  if (colon == std::string::npos || address.find(':', colon + 1) != std::string::npos) {
    return false;
  }
  *host = address.substr(0, colon);
  StringRef portText = StringRef::Adopt(StringFromASCII(address.c_str() + colon + 1));
  const double number = std::trunc(StringVal(portText.get()));
  // Anything outside the port range is refused by the write as it stands.
  *port = number >= 0 && number <= kHighestPort ? int32_t(number) : -1;
  return true;
}

RuntimeObject* NewDatagram(StringRecord* address, StringRecord* data) {
  RuntimeObject* datagram = CreateInstance(GetDatagramClassDefinition());
  DatagramFields* fields = ObjectFields<DatagramFields>(datagram);
  fields->address = address;
  fields->data = data;
  return datagram;
}

}  // namespace

extern "C" {

// ---- SocketCore ----------------------------------------------------------------

void socketClose(RuntimeObject* socket) {
  SocketImp* implementation = SocketImplementationOf(socket);
  if (!implementation) return;
  // The close may give the registration's reference back.
  ObjectRef hold = ObjectRef::Retain(socket);
  implementation->Close(false);
  implementation->Reset(true);
}

void socketPoll(RuntimeObject* socket) {
  if (UDPSocketImp* udp = UDPImplementationOf(socket)) {
    udp->PollNow();
  } else if (SocketImp* implementation = SocketImplementationOf(socket)) {
    implementation->Poll();
  }
}

void SocketPurge(RuntimeObject* socket) {
  if (SocketImp* implementation = SocketImplementationOf(socket)) implementation->Purge();
}

void SocketConnect(RuntimeObject* socket) {
  SocketCoreFields* core = CoreOf(socket);
  if (!core) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  if (TCPSocketFields* fields = TCPFieldsOf(socket)) {
    TCPSocketImp* tcp = TCPImplementationOf(socket);
    if (tcp) PrepareForNewUse(tcp);
    StringRef host = ConnectHost(fields->address);
    core->lastErrorCode = 0;
    if (tcp) tcp->Connect(host.get(), core->port);
  } else if (UDPSocketImp* udp = UDPImplementationOf(socket)) {
    UDPSocketFields* fields = ObjectFields<UDPSocketFields>(socket);
    core->lastErrorCode = 0;
    udp->Bind(core->port);
    if (!udp->IsConnected()) return;
    udp->SetLoopback(fields->sendToSelf != 0);
    udp->RouterHops(fields->routerHops);
  }
}

int32_t SocketPortGetter(RuntimeObject* socket, uint32_t) {
  if (!socket) {
    AssertionFailed(131, 4, kSource, 469, "ctl", nullptr);
    return 0;
  }
  SocketCoreFields* core = CoreOf(socket);
  if (!core) return 0;
  if (!core->implementation) {
    AssertionFailed(131, 4, kSource, 470, "ctl->socket", nullptr);
    return core->port;
  }
  const int32_t bound = core->implementation->GetPort();
  return bound == -1 ? core->port : bound;
}

void SocketPortSetter(RuntimeObject* socket, uint32_t, int32_t port) {
  if (!socket) {
    AssertionFailed(131, 4, kSource, 498, "ctl", nullptr);
    return;
  }
  if (SocketCoreFields* core = CoreOf(socket)) core->port = port;
}

StringRecord* socketLocalAddressGetter(RuntimeObject* socket) {
  SocketOwner* owner = SocketOwnerOf(socket);
  const uint32_t address = owner ? GetInterfaceIPAddress(owner->NetworkInterfaceIndex()) : 0;
  return address == 0 ? nullptr : DottedAddressText(address);
}

int32_t socketLastErrorCode(RuntimeObject* socket) {
  const SocketCoreFields* core = CoreOf(socket);
  return core ? core->lastErrorCode : 0;
}

bool SocketIsConnected(RuntimeObject* socket) {
  return SocketImpIsConnected(SocketImplementationOf(socket));
}

uint32_t socketGetEvents(RuntimeObject* socket) {
  return GetAndClearEvents(SocketImplementationOf(socket));
}

// ---- TCPSocket --------------------------------------------------------------------

void SocketListen(RuntimeObject* socket) {
  TCPSocketFields* fields = TCPFieldsOf(socket);
  TCPSocketImp* tcp = TCPImplementationOf(socket);
  if (!fields || !tcp) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  PrepareForNewUse(tcp);
  fields->core.lastErrorCode = 0;
  tcp->Listen(fields->core.port);
}

StringRecord* socketRead(RuntimeObject* socket, int32_t count, RuntimeObject* encoding) {
  TCPSocketImp* tcp = TCPFieldsOf(socket) ? TCPImplementationOf(socket) : nullptr;
  return tcp ? Tagged(tcp->Read(count), encoding) : nullptr;
}

StringRecord* SocketReadAll(RuntimeObject* socket, RuntimeObject* encoding) {
  TCPSocketImp* tcp = TCPFieldsOf(socket) ? TCPImplementationOf(socket) : nullptr;
  return tcp ? Tagged(tcp->ReadAll(), encoding) : nullptr;
}

StringRecord* socketLookahead(RuntimeObject* socket, RuntimeObject* encoding) {
  TCPSocketImp* tcp = TCPFieldsOf(socket) ? TCPImplementationOf(socket) : nullptr;
  return tcp ? Tagged(tcp->Lookahead(), encoding) : nullptr;
}

void SocketWrite(RuntimeObject* socket, StringRecord* text) {
  if (!TCPFieldsOf(socket)) return;
  if (TCPSocketImp* tcp = TCPImplementationOf(socket)) tcp->Write(text);
}

void SocketDisconnect(RuntimeObject* socket) {
  SocketOwner* owner = TCPFieldsOf(socket) ? SocketOwnerOf(socket) : nullptr;
  if (!owner || !SocketIsConnected(socket)) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  socketClose(socket);
  owner->FireError(kSocketConnectionLost);
}

void TCPSocketPPPConnect(RuntimeObject* socket) { socketPPPConnect(socket, 0); }

int32_t SocketBytesAvailable(RuntimeObject* socket) {
  TCPSocketImp* tcp = TCPFieldsOf(socket) ? TCPImplementationOf(socket) : nullptr;
  return tcp ? tcp->BytesAvailable() : 0;
}

StringRecord* socketRemoteAddressGetter(RuntimeObject* socket) {
  TCPSocketImp* tcp = TCPFieldsOf(socket) ? TCPImplementationOf(socket) : nullptr;
  return tcp ? tcp->GetRemoteAddress() : nullptr;
}

void socketDirectConnect(RuntimeObject* socket, StringRecord* address, int32_t port) {
  TCPSocketFields* fields = TCPFieldsOf(socket);
  if (!fields) return;
  StringAssign(&fields->address, address);
  fields->core.port = port;
  SocketConnect(socket);
}

void pluginSocketListen(RuntimeObject* socket) { SocketListen(socket); }

StringRecord* pluginSocketRead(RuntimeObject* socket, int32_t count) {
  return socketRead(socket, count, nullptr);
}

StringRecord* pluginSocketReadAll(RuntimeObject* socket) { return SocketReadAll(socket, nullptr); }

StringRecord* pluginSocketLookahead(RuntimeObject* socket) {
  return socketLookahead(socket, nullptr);
}

// ---- UDPSocket ----------------------------------------------------------------------

bool SocketJoinMulticastGroup(RuntimeObject* socket, StringRecord* group) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  if (!udp) return false;
  ObjectRef hold = ObjectRef::Retain(socket);
  return udp->JoinMulticastGroup(StringToStdUTF8(group).c_str());
}

void SocketLeaveMulticastGroup(RuntimeObject* socket, StringRecord* group) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  if (!udp) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  udp->LeaveMulticastGroup(StringToStdUTF8(group).c_str());
}

void UDPSocketRouterHops(RuntimeObject* socket, uint32_t, int32_t hops) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  if (!udp) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  ObjectFields<UDPSocketFields>(socket)->routerHops = hops;
  udp->RouterHops(hops);
}

void UDPSocketSetLoopback(RuntimeObject* socket, uint32_t, uint8_t sendToSelf) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  if (!udp) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  ObjectFields<UDPSocketFields>(socket)->sendToSelf = sendToSelf != 0;
  udp->SetLoopback(sendToSelf != 0);
}

int32_t PacketsAvailableGetter(RuntimeObject* socket) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  return udp ? udp->PacketsAvailable() : 0;
}

StringRecord* UDPSocketGetBroadcast(RuntimeObject* socket) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  return udp ? udp->GetBroadcast() : nullptr;
}

void UDPSocketWrite(RuntimeObject* socket, StringRecord* address, StringRecord* data) {
  if (!UDPImplementationOf(socket)) return;
  ObjectRef datagram = ObjectRef::Adopt(NewDatagram(StringAddRef(address), StringAddRef(data)));
  UDPSocketWriteDatagram(socket, datagram.get());
}

void UDPSocketWriteDatagram(RuntimeObject* socket, RuntimeObject* datagram) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  if (!udp || !ObjectIsADefinition(datagram, GetDatagramClassDefinition())) return;
  ObjectRef hold = ObjectRef::Retain(socket);
  const DatagramFields* fields = ObjectFields<DatagramFields>(datagram);
  const std::string address = StringToStdUTF8(fields->address);
  std::string host;
  DatagramRecord record;
  if (!SplitHostAndPort(address, &host, &record.port)) {
    host = address;
    record.port = SocketPortGetter(socket, 0);
  }
  record.address = StringRef::Adopt(NewString(host, kEncodingUTF8));
  record.data = StringRef::Retain(fields->data);
  udp->WriteDatagram(std::move(record));
}

RuntimeObject* UDPReadDatagram(RuntimeObject* socket, RuntimeObject* encoding) {
  UDPSocketImp* udp = UDPImplementationOf(socket);
  DatagramRecord record;
  if (!udp || !udp->ReadDatagram(&record)) return nullptr;
  const uint32_t tag = EncodingOf(encoding);
  // The bytes keep their values; the address is text, written in the
  // encoding.
  StringRecord* data = record.data.release();
  data->encoding = tag;
  return NewDatagram(ConvertStringToEncoding(record.address.get(), tag), data);
}

// ---- ServerSocket -----------------------------------------------------------------

void ServerSocketListen(RuntimeObject* server) {
  TCPSocketImp* tcp = ServerImplementationOf(server);
  if (!tcp) return;
  ObjectRef hold = ObjectRef::Retain(server);
  if (tcp->LastError() != 0) {
    tcp->Close(false);
    tcp->Reset(true);
  }
  tcp->Listen(ObjectFields<ServerSocketFields>(server)->port);
}

void ServerSocketClose(RuntimeObject* server) {
  TCPSocketImp* tcp = ServerImplementationOf(server);
  if (!tcp) return;
  ObjectRef hold = ObjectRef::Retain(server);
  tcp->Close(false);
  tcp->Reset(true);
}

bool serverSocketIsListening(RuntimeObject* server) {
  TCPSocketImp* tcp = ServerImplementationOf(server);
  return tcp && tcp->IsListening();
}

void ServerSocketSetMinSockets(RuntimeObject* server, uint32_t, int32_t minimum) {
  if (ObjectIsADefinition(server, GetServerSocketClassDefinition())) {
    ObjectFields<ServerSocketFields>(server)->minimumSocketsAvailable = minimum;
  }
}

void ServerSocketSetMaxSockets(RuntimeObject* server, uint32_t, int32_t maximum) {
  if (!ObjectIsADefinition(server, GetServerSocketClassDefinition())) return;
  ObjectFields<ServerSocketFields>(server)->maximumSocketsConnected = maximum;
  TCPSocketImp* tcp = ServerImplementationOf(server);
  if (tcp && tcp->IsListening()) tcp->PostEvents(kSocketServerRefill);
}

}  // extern "C"
