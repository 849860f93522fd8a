// The socket class definitions, their hooks, the owner adapter that fires
// the language events, and the window-close hook.
#include "system/SocketClasses.h"

#include <iterator>
#include <utility>

#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "host/relocentry.h"
#include "system/DialUp.h"
#include "system/RunSystem.h"
#include "system/RuntimeSocketAccessors.h"
#include "system/SocketMemory.h"
#include "system/TCPSocket.h"
#include "system/UDPSocket.h"
#include "ui/RuntimeWindow.h"

namespace {

EventRecord coreEvents[] = {
    {0, "DataAvailable", "", nullptr, 0},
    {0, "Error", "", nullptr, 0},
    {0, "SendComplete", "userAborted as Boolean", nullptr, 0},
};
EventRecord tcpEvents[] = {
    {0, "Connected", "", nullptr, 0},
    {0, "SendProgress", "bytesSent as Integer, bytesLeft as Integer", "Boolean", 0},
};
EventRecord serverEvents[] = {
    {0, "AddSocket", "", "TCPSocket", 0},
    {0, "Error", "ErrorCode as Integer", nullptr, 0},
};

// The handler of the event called with the object and the arguments; the
// result's default when there is none.
template <class Result = void, class... Arguments>
Result Fire(RuntimeObject* object, const EventRecord& event, Arguments... arguments) {
  EventHandler handler = FindEventHandler(object, &event);
  if (!handler) return Result();
  return reinterpret_cast<Result (*)(RuntimeObject*, Arguments...)>(handler)(object, arguments...);
}

SocketOwner::Kind KindOf(RuntimeObject* object) {
  if (ObjectIsADefinition(object, GetTCPSocketClassDefinition())) {
    return SocketOwner::Kind::kTCPSocket;
  }
  if (ObjectIsADefinition(object, GetServerSocketClassDefinition())) {
    return SocketOwner::Kind::kServerSocket;
  }
  if (ObjectIsADefinition(object, GetUDPSocketClassDefinition())) {
    return SocketOwner::Kind::kUDPSocket;
  }
  return SocketOwner::Kind::kOther;
}

// A socket object as its implementation sees it.
class SocketObjectOwner final : public SocketOwner, public SocketBlock {
 public:
  explicit SocketObjectOwner(RuntimeObject* object) : object_(object), kind_(KindOf(object)) {}

  void Lock() override { RuntimeLockObject(object_); }
  void Unlock() override { RuntimeUnlockObject(object_); }
  int32_t ReferenceCount() const override { return object_->refCount; }
  Kind OwnerKind() const override { return kind_; }

  void SetLastErrorCode(int32_t code) override {
    if (kind_ != Kind::kServerSocket) Core()->lastErrorCode = code;
  }
  int32_t NetworkInterfaceIndex() const override {
    RuntimeObject* chosen = Core()->networkInterface;
    if (!ObjectIsADefinition(chosen, GetNetworkInterfaceClassDefinition())) return -1;
    return ObjectFields<NetworkInterfaceFields>(chosen)->index;
  }
  int32_t MinimumSocketsAvailable() const override {
    if (kind_ != Kind::kServerSocket) return 0;
    return ObjectFields<ServerSocketFields>(object_)->minimumSocketsAvailable;
  }
  SocketImp* Implementation() const override { return Core()->implementation; }

  void FireConnected() override { Fire(object_, tcpEvents[0]); }
  void FireDataAvailable() override { Fire(object_, coreEvents[0]); }
  void FireSendComplete(bool userAborted) override { Fire(object_, coreEvents[2], userAborted); }
  bool FireSendProgress(int32_t bytesSent, int32_t bytesLeft) override {
    return Fire<bool>(object_, tcpEvents[1], bytesSent, bytesLeft);
  }
  // A server has no SocketCore Error: it hears of failures through
  // FireServerError.
  void FireError(int32_t lastError) override {
    if (kind_ == Kind::kServerSocket) return;
    Core()->lastErrorCode = lastError;
    Fire(object_, coreEvents[1]);
  }
  void FireServerError(int32_t code) override { Fire(object_, serverEvents[1], code); }
  SocketOwner* FireAddSocket() override {
    ObjectRef hold = ObjectRef::Retain(object_);
    RuntimeObject* answer = Fire<RuntimeObject*>(object_, serverEvents[0]);
    if (!answer) return nullptr;
    if (!ObjectIsADefinition(answer, GetTCPSocketClassDefinition())) {
      // Taken as no answer: the pool raises NilObjectException.
      RuntimeUnlockObject(answer);
      return nullptr;
    }
    return ObjectFields<TCPSocketFields>(answer)->owner;
  }

 private:
  SocketCoreFields* Core() const { return ObjectFields<SocketCoreFields>(object_); }

  RuntimeObject* object_;
  Kind kind_;
};

template <class Implementation>
Implementation* ImplementationIf(RuntimeObject* socket, ObjectDefinition* definition) {
  if (!ObjectIsADefinition(socket, definition)) return nullptr;
  return static_cast<Implementation*>(ObjectFields<SocketCoreFields>(socket)->implementation);
}

// ---- Hooks ------------------------------------------------------------------------

template <class Fields>
SocketOwner* MakeOwner(RuntimeObject* object) {
  SocketOwner* owner = new SocketObjectOwner(object);
  ObjectFields<Fields>(object)->owner = owner;
  return owner;
}

// The implementation goes first, as it may still speak to its owner.
template <class Fields, class Implementation>
void DeleteImplementationAndOwner(Fields* fields, Implementation** implementation) {
  delete std::exchange(*implementation, nullptr);
  delete static_cast<SocketObjectOwner*>(std::exchange(fields->owner, nullptr));
}

void InitialiseTCPSocket(RuntimeObject* socket) {
  ObjectFields<TCPSocketFields>(socket)->core.implementation =
      NewTCPSocketImp(MakeOwner<TCPSocketFields>(socket), nullptr);
}

void DestroyTCPSocket(RuntimeObject* socket) {
  TCPSocketFields* fields = ObjectFields<TCPSocketFields>(socket);
  StringRecordRelease(std::exchange(fields->address, nullptr));
  DeleteImplementationAndOwner(fields, &fields->core.implementation);
}

void InitialiseUDPSocket(RuntimeObject* socket) {
  UDPSocketFields* fields = ObjectFields<UDPSocketFields>(socket);
  fields->core.implementation = NewUDPSocketImp(MakeOwner<UDPSocketFields>(socket), nullptr);
  fields->routerHops = 1;
  fields->sendToSelf = 1;
}

void DestroyUDPSocket(RuntimeObject* socket) {
  UDPSocketFields* fields = ObjectFields<UDPSocketFields>(socket);
  DeleteImplementationAndOwner(fields, &fields->core.implementation);
}

void InitialiseServerSocket(RuntimeObject* server) {
  ServerSocketFields* fields = ObjectFields<ServerSocketFields>(server);
  if (fields->minimumSocketsAvailable < 1) fields->minimumSocketsAvailable = 1;
  if (fields->maximumSocketsConnected < 1) fields->maximumSocketsConnected = 1;
  fields->implementation = NewTCPSocketImp(MakeOwner<ServerSocketFields>(server), nullptr);
}

void DestroyServerSocket(RuntimeObject* server) {
  ServerSocketClose(server);
  ServerSocketFields* fields = ObjectFields<ServerSocketFields>(server);
  DeleteImplementationAndOwner(fields, &fields->implementation);
}

void DestroySocketCore(RuntimeObject* socket) {
  SocketCoreFields* fields = ObjectFields<SocketCoreFields>(socket);
  RuntimeUnlockObject(std::exchange(fields->networkInterface, nullptr));
}

void DestroyDatagram(RuntimeObject* datagram) {
  DatagramFields* fields = ObjectFields<DatagramFields>(datagram);
  StringRecordRelease(std::exchange(fields->address, nullptr));
  StringRecordRelease(std::exchange(fields->data, nullptr));
}

// A non-visual control: the window's panes are made without one of ours.
void CreateNoPane(RuntimeObject*) {}
EventImplementation createNoPane{nullptr, "CreatePane", reinterpret_cast<void*>(&CreateNoPane)};

ControlWindowCloseHook previousCloseHook = nullptr;

void CloseSocketsOfClosingWindow(RuntimeObject* control) {
  if (ObjectIsADefinition(control, GetServerSocketClassDefinition())) {
    ServerSocketClose(control);
  } else if (ObjectIsADefinition(control, GetSocketCoreClassDefinition())) {
    socketClose(control);
  }
  if (previousCloseHook) previousCloseHook(control);
}

// ---- Definitions ------------------------------------------------------------------

constexpr uint32_t kField = kPropertyPassesParameter;
constexpr uint32_t kReadOnly = kPropertyReadOnly;

#define FIELD_PROPERTY(name, type, getter, setter, fields, member)                     \
  {kField, name, type, RUNTIME_ENTRY(getter), RUNTIME_ENTRY(setter),                  \
   uint32_t(offsetof(fields, member))}
#define FIELD_WITH_SETTER(name, type, getter, setter, fields, member)                   \
  {kPropertyGenericGetter, name, type, RUNTIME_ENTRY(getter), RUNTIME_ENTRY(setter),   \
   uint32_t(offsetof(fields, member))}
#define READ_ONLY(name, type, getter) \
  {kReadOnly, name, type, RUNTIME_ENTRY(getter), nullptr, nullptr, 0}

MemberType TextEncodingType() {
  static const MemberType type = GetTextEncodingClassDefinition();
  return type;
}

ObjectDefinition* MakeSocketCoreDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyPassesParameter, "Port", &kIntegerType, RUNTIME_ENTRY(SocketPortGetter),
       RUNTIME_ENTRY(SocketPortSetter), 0},
      READ_ONLY("LocalAddress", &kStringType, socketLocalAddressGetter),
      READ_ONLY("LastErrorCode", &kIntegerType, socketLastErrorCode),
      READ_ONLY("IsConnected", &kBooleanType, SocketIsConnected),
      FIELD_PROPERTY("NetworkInterface", GetNetworkInterfaceClassDefinition(), objGetter,
                     objSetter, SocketCoreFields, networkInterface),
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(socketClose)),
      MakeMethodRecord("Poll", nullptr, nullptr, 0, RUNTIME_ENTRY(socketPoll)),
      MakeMethodRecord("Purge", nullptr, nullptr, 0, RUNTIME_ENTRY(SocketPurge)),
      MakeMethodRecord("Connect", nullptr, nullptr, 0, RUNTIME_ENTRY(SocketConnect)),
  };
  definition.flags = 1;
  definition.eventImplementations = &createNoPane;
  BuildEventDefinitions(&definition, coreEvents, int32_t(std::size(coreEvents)));
  return FillClassDefinition(&definition, "SocketCore", sizeof(SocketCoreFields), nullptr,
                             DestroySocketCore, properties, methods);
}

ObjectDefinition* MakeTCPSocketDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      FIELD_PROPERTY("Address", &kStringType, stringGetter, stringSetter, TCPSocketFields, address),
      READ_ONLY("RemoteAddress", &kStringType, socketRemoteAddressGetter),
      READ_ONLY("PPPStatus", &kIntegerType, socketPPPStatus),
      READ_ONLY("BytesAvailable", &kIntegerType, SocketBytesAvailable),
  };
  static const ParameterRecord read[] = {{"byteCount", &kIntegerType, 0},
                                         {"encoding", TextEncodingType(), kParameterOptional}};
  static const ParameterRecord encoding[] = {{"encoding", TextEncodingType(), kParameterOptional}};
  static const ParameterRecord text[] = {{"Text", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Listen", nullptr, nullptr, 0, RUNTIME_ENTRY(SocketListen)),
      MakeMethodRecord("Read", &kStringType, read, 2, RUNTIME_ENTRY(socketRead)),
      MakeMethodRecord("ReadAll", &kStringType, encoding, 1, RUNTIME_ENTRY(SocketReadAll)),
      MakeMethodRecord("Write", nullptr, text, 1, RUNTIME_ENTRY(SocketWrite)),
      MakeMethodRecord("PPPConnect", nullptr, nullptr, 0, RUNTIME_ENTRY(TCPSocketPPPConnect)),
      MakeMethodRecord("PPPDisconnect", nullptr, nullptr, 0, RUNTIME_ENTRY(socketPPPDisconnect)),
      MakeMethodRecord("Disconnect", nullptr, nullptr, 0, RUNTIME_ENTRY(SocketDisconnect)),
      MakeMethodRecord("Lookahead", &kStringType, encoding, 1, RUNTIME_ENTRY(socketLookahead)),
  };
  definition.superclass = GetSocketCoreClassDefinition();
  BuildEventDefinitions(&definition, tcpEvents, int32_t(std::size(tcpEvents)));
  return FillClassDefinition(&definition, "TCPSocket", sizeof(TCPSocketFields),
                             InitialiseTCPSocket, DestroyTCPSocket, properties, methods);
}

ObjectDefinition* MakeUDPSocketDefinition() {
  static ObjectDefinition definition;
  ObjectDefinition* datagram = GetDatagramClassDefinition();
  static const PropertyRecord properties[] = {
      FIELD_WITH_SETTER("RouterHops", &kIntegerType, intGetter, UDPSocketRouterHops,
                        UDPSocketFields, routerHops),
      FIELD_WITH_SETTER("SendToSelf", &kBooleanType, boolGetter, UDPSocketSetLoopback,
                        UDPSocketFields, sendToSelf),
      READ_ONLY("PacketsAvailable", &kIntegerType, PacketsAvailableGetter),
      READ_ONLY("BroadcastAddress", &kStringType, UDPSocketGetBroadcast),
  };
  static const ParameterRecord group[] = {{"Group", &kStringType, 0}};
  static const ParameterRecord addressAndData[] = {{"Address", &kStringType, 0},
                                                   {"Data", &kStringType, 0}};
  static const ParameterRecord data[] = {{"data", datagram, 0}};
  static const ParameterRecord encoding[] = {{"encoding", TextEncodingType(), kParameterOptional}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("JoinMulticastGroup", &kBooleanType, group, 1,
                       RUNTIME_ENTRY(SocketJoinMulticastGroup)),
      MakeMethodRecord("LeaveMulticastGroup", nullptr, group, 1,
                       RUNTIME_ENTRY(SocketLeaveMulticastGroup)),
      MakeMethodRecord("Write", nullptr, addressAndData, 2, RUNTIME_ENTRY(UDPSocketWrite)),
      MakeMethodRecord("Write", nullptr, data, 1, RUNTIME_ENTRY(UDPSocketWriteDatagram)),
      MakeMethodRecord("Read", datagram, encoding, 1, RUNTIME_ENTRY(UDPReadDatagram)),
  };
  definition.superclass = GetSocketCoreClassDefinition();
  return FillClassDefinition(&definition, "UDPSocket", sizeof(UDPSocketFields),
                             InitialiseUDPSocket, DestroyUDPSocket, properties, methods);
}

ObjectDefinition* MakeDatagramDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      FIELD_PROPERTY("Address", &kStringType, stringGetter, stringSetter, DatagramFields, address),
      FIELD_PROPERTY("Data", &kStringType, stringGetter, stringSetter, DatagramFields, data),
  };
  ObjectDefinitionSetName(&definition, "Datagram");
  definition.instanceSize = sizeof(DatagramFields);
  definition.destructor = DestroyDatagram;
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  return &definition;
}

ObjectDefinition* MakeServerSocketDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      FIELD_PROPERTY("Port", &kIntegerType, intGetter, intSetter, ServerSocketFields, port),
      FIELD_WITH_SETTER("MinimumSocketsAvailable", &kIntegerType, intGetter,
                        ServerSocketSetMinSockets, ServerSocketFields, minimumSocketsAvailable),
      FIELD_WITH_SETTER("MaximumSocketsConnected", &kIntegerType, intGetter,
                        ServerSocketSetMaxSockets, ServerSocketFields, maximumSocketsConnected),
      READ_ONLY("LocalAddress", &kStringType, socketLocalAddressGetter),
      READ_ONLY("IsListening", &kBooleanType, serverSocketIsListening),
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Listen", nullptr, nullptr, 0, RUNTIME_ENTRY(ServerSocketListen)),
      MakeMethodRecord("StopListening", nullptr, nullptr, 0, RUNTIME_ENTRY(ServerSocketClose)),
  };
  definition.flags = 1;
  definition.eventImplementations = &createNoPane;
  BuildEventDefinitions(&definition, serverEvents, int32_t(std::size(serverEvents)));
  return FillClassDefinition(&definition, "ServerSocket", sizeof(ServerSocketFields),
                             InitialiseServerSocket, DestroyServerSocket, properties, methods);
}

}  // namespace

ObjectDefinition* GetSocketCoreClassDefinition() {
  static ObjectDefinition* const definition = MakeSocketCoreDefinition();
  return definition;
}

ObjectDefinition* GetTCPSocketClassDefinition() {
  static ObjectDefinition* const definition = MakeTCPSocketDefinition();
  return definition;
}

ObjectDefinition* GetSocketClassDefinition() {
  static ObjectDefinition definition;
  static ObjectDefinition* const made =
      FillSubclassDefinition(&definition, "Socket", GetTCPSocketClassDefinition());
  return made;
}

ObjectDefinition* GetUDPSocketClassDefinition() {
  static ObjectDefinition* const definition = MakeUDPSocketDefinition();
  return definition;
}

ObjectDefinition* GetDatagramClassDefinition() {
  static ObjectDefinition* const definition = MakeDatagramDefinition();
  return definition;
}

ObjectDefinition* GetServerSocketClassDefinition() {
  static ObjectDefinition* const definition = MakeServerSocketDefinition();
  return definition;
}

void RegisterSocketClasses() {
  static const EntryPoint entries[] = {
      {"socketClose", reinterpret_cast<void*>(&socketClose)},
      {"socketPoll", reinterpret_cast<void*>(&socketPoll)},
      {"socketLocalAddressGetter", reinterpret_cast<void*>(&socketLocalAddressGetter)},
      {"socketLastErrorCode", reinterpret_cast<void*>(&socketLastErrorCode)},
      {"socketRemoteAddressGetter", reinterpret_cast<void*>(&socketRemoteAddressGetter)},
      {"SocketWrite", reinterpret_cast<void*>(&SocketWrite)},
      {"socketDirectConnect", reinterpret_cast<void*>(&socketDirectConnect)},
      {"socketGetEvents", reinterpret_cast<void*>(&socketGetEvents)},
      {"pluginSocketListen", reinterpret_cast<void*>(&pluginSocketListen)},
      {"pluginSocketRead", reinterpret_cast<void*>(&pluginSocketRead)},
      {"pluginSocketReadAll", reinterpret_cast<void*>(&pluginSocketReadAll)},
      {"pluginSocketLookahead", reinterpret_cast<void*>(&pluginSocketLookahead)},
  };
  static bool registered = false;
  if (registered) return;
  registered = true;
  for (ObjectDefinition* definition :
       {GetSocketCoreClassDefinition(), GetTCPSocketClassDefinition(), GetSocketClassDefinition(),
        GetDatagramClassDefinition(), GetUDPSocketClassDefinition(),
        GetServerSocketClassDefinition()}) {
    RegisterIntrinsicClass(definition);
  }
  RegisterEntryPoints(entries, std::size(entries));
  InstallSocketWindowCloseHook();
}

void InstallSocketWindowCloseHook() {
  const ControlWindowCloseHook replaced = SetControlWindowCloseHook(CloseSocketsOfClosingWindow);
  if (replaced != CloseSocketsOfClosingWindow) previousCloseHook = replaced;
}

SocketImp* SocketImplementationOf(RuntimeObject* socket) {
  if (SocketImp* implementation =
          ImplementationIf<SocketImp>(socket, GetSocketCoreClassDefinition())) {
    return implementation;
  }
  return ImplementationIf<SocketImp>(socket, GetServerSocketClassDefinition());
}

TCPSocketImp* TCPImplementationOf(RuntimeObject* socket) {
  SocketImp* implementation = SocketImplementationOf(socket);
  return implementation ? implementation->AsTCPSocket() : nullptr;
}

UDPSocketImp* UDPImplementationOf(RuntimeObject* socket) {
  return ImplementationIf<UDPSocketImp>(socket, GetUDPSocketClassDefinition());
}

SocketOwner* SocketOwnerOf(RuntimeObject* socket) {
  switch (KindOf(socket)) {
    case SocketOwner::Kind::kTCPSocket:
      return ObjectFields<TCPSocketFields>(socket)->owner;
    case SocketOwner::Kind::kUDPSocket:
      return ObjectFields<UDPSocketFields>(socket)->owner;
    case SocketOwner::Kind::kServerSocket:
      return ObjectFields<ServerSocketFields>(socket)->owner;
    default:
      return nullptr;
  }
}
