// The language's socket classes over loopback, their handlers installed
// through the class builder: UDP datagrams and their errors, a pooled TCP
// server, lifetimes, the window-close hook, and (in processes of their own)
// chosen interfaces and a missing Winsock.
#include "tests/system/SystemTestSupport.h"

#include <functional>
#include <map>
#include <random>

#include "core/TextEncoding.h"
#include "core/string.h"
#include "host/relocentry.h"
#include "system/RunSystem.h"
#include "system/RuntimeSocketAccessors.h"
#include "system/SocketClasses.h"
#include "system/TCPSocket.h"
#include "system/TCPSocketPosix.h"
#include "system/UDPSocket.h"
#include "system/UDPSocketPosix.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/UiTestSupport.h"
#include "ui/RuntimeWindow.h"

namespace {

SocketJournal* journal = nullptr;
std::map<const RuntimeObject*, std::string> names;
std::function<void(RuntimeObject*)> onData;
std::function<void(RuntimeObject*)> onSendComplete;
std::function<RuntimeObject*()> onAddSocket;
int destroyed = 0;

void Record(RuntimeObject* socket, const std::string& event) {
  journal->Record(names[socket] + " " + event);
}

// A subclass of a socket class whose handlers record into the journal.
ClassBuilder* RecordingClass(ObjectDefinition* base, const char* name) {
  auto* builder = new ClassBuilder(base, name, 0, nullptr, [](RuntimeObject* socket) {
    ++destroyed;
    names.erase(socket);
  });
  if (base == GetServerSocketClassDefinition()) {
    builder->Handle("AddSocket", +[](RuntimeObject*) -> RuntimeObject* {
      return onAddSocket ? onAddSocket() : nullptr;
    });
    builder->Handle("Error", +[](RuntimeObject* server, int32_t code) {
      Record(server, "ServerError(" + std::to_string(code) + ")");
    });
    return builder;
  }
  builder->Handle("DataAvailable", +[](RuntimeObject* socket) {
    Record(socket, "DataAvailable");
    if (onData) onData(socket);
  });
  builder->Handle("Error", +[](RuntimeObject* socket) {
    Record(socket, "Error(" + std::to_string(socketLastErrorCode(socket)) + ")");
  });
  builder->Handle("SendComplete", +[](RuntimeObject* socket, bool aborted) {
    Record(socket, aborted ? "SendComplete(true)" : "SendComplete(false)");
    if (onSendComplete) onSendComplete(socket);
  });
  if (base == GetTCPSocketClassDefinition()) {
    builder->Handle("Connected", +[](RuntimeObject* socket) { Record(socket, "Connected"); });
  }
  return builder;
}

ClassBuilder& TestUDP() {
  static ClassBuilder* builder = RecordingClass(GetUDPSocketClassDefinition(), "TestUDP");
  return *builder;
}
ClassBuilder& TestTCP() {
  static ClassBuilder* builder = RecordingClass(GetTCPSocketClassDefinition(), "TestTCP");
  return *builder;
}
ClassBuilder& TestServer() {
  static ClassBuilder* builder = RecordingClass(GetServerSocketClassDefinition(), "TestServer");
  return *builder;
}

RuntimeObject* NewNamed(ClassBuilder& builder, const std::string& name) {
  RuntimeObject* socket = builder.NewInstance();
  names[socket] = name;
  return socket;
}

ObjectRef New(ClassBuilder& builder, const std::string& name) {
  return ObjectRef::Adopt(NewNamed(builder, name));
}

ObjectRef BoundUDP(const std::string& name) {
  ObjectRef socket = New(TestUDP(), name);
  SocketConnect(socket.get());
  EXPECT_TRUE(SocketIsConnected(socket.get())) << name;
  return socket;
}

int32_t PortOf(RuntimeObject* socket) { return SocketPortGetter(socket, 0); }

std::string To(RuntimeObject* socket) { return "127.0.0.1:" + std::to_string(PortOf(socket)); }

void Write(RuntimeObject* socket, const std::string& address, const std::string& data) {
  UDPSocketWrite(socket, Text(address).get(), Text(data).get());
}

// The next datagram's data (its address and encoding through the pointers);
// false when none waits.
bool Read(RuntimeObject* socket, std::string* data, std::string* address = nullptr,
          uint32_t* encoding = nullptr, RuntimeObject* encodingObject = nullptr) {
  ObjectRef datagram = ObjectRef::Adopt(UDPReadDatagram(socket, encodingObject));
  if (!datagram) return false;
  const DatagramFields* fields = ObjectFields<DatagramFields>(datagram.get());
  *data = StringBytes(fields->data);
  if (address) *address = StringBytes(fields->address);
  if (encoding) *encoding = StringEncoding(fields->data);
  return true;
}

bool ReadableWithin(SOCKET peer, long ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(peer, &readable);
  const timeval wait{ms / 1000, ms % 1000 * 1000};
  return shim::select(0, &readable, nullptr, nullptr, &wait) == 1;
}

ObjectRef Interface(int32_t index) {
  ObjectRef chosen = ObjectRef::Adopt(CreateInstance(GetNetworkInterfaceClassDefinition()));
  ObjectFields<NetworkInterfaceFields>(chosen.get())->index = index;
  return chosen;
}

class SocketClassTest : public SocketTest {
 protected:
  void SetUp() override {
    SocketTest::SetUp();
    ::journal = &journal;
    onData = nullptr;
    onSendComplete = nullptr;
    onAddSocket = nullptr;
    destroyed = 0;
  }
  void TearDown() override {
    onData = nullptr;
    onSendComplete = nullptr;
    onAddSocket = nullptr;
    SocketTest::TearDown();
  }
  bool PumpUntilCount(const std::string& entry, int count, uint32_t timeoutMs = 10000) {
    return PumpUntilRecorded(journal, entry, timeoutMs, count);
  }
};

TEST_F(SocketClassTest, DatagramsArriveByteExactAndEachWriteCompletesAtALaterPoll) {
  ObjectRef a = BoundUDP("A");
  ObjectRef b = BoundUDP("B");
  EXPECT_GT(PortOf(b.get()), 0);
  EXPECT_NE(PortOf(a.get()), PortOf(b.get()));
  const std::string payloads[] = {"first", std::string("\0\x01\xff\x80", 4), std::string(1400, 'z'),
                                  "by name", "self"};
  for (int i = 0; i < 3; ++i) Write(a.get(), To(b.get()), payloads[i]);
  EXPECT_EQ(journal.Count("A SendComplete(false)"), 0) << "not inside Write";
  ASSERT_TRUE(PumpUntilCount("B DataAvailable", 3));
  ASSERT_TRUE(PumpUntilCount("A SendComplete(false)", 3));

  ObjectRef utf8 = ObjectRef::Adopt(GetTEObjectFromEncoding(kEncodingUTF8));
  // Each datagram waits as two strings, freed with the Datagram read.
  const uint32_t strings = RuntimeLiveStringCount();
  for (int i = 0; i < 3; ++i) {
    std::string data, address;
    uint32_t encoding = 0;
    ASSERT_TRUE(Read(b.get(), &data, &address, &encoding, i == 1 ? utf8.get() : nullptr));
    EXPECT_EQ(data, payloads[i]);
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(encoding, i == 1 ? kEncodingUTF8 : kEncodingASCII);
  }
  EXPECT_EQ(RuntimeLiveStringCount(), strings - 6);
  std::string data;
  EXPECT_FALSE(Read(b.get(), &data));

  // A host name, and an address without a port: the writer's own Port.
  Write(a.get(), "localhost:" + std::to_string(PortOf(b.get())), payloads[3]);
  Write(a.get(), "127.0.0.1", payloads[4]);
  ASSERT_TRUE(PumpUntilCount("B DataAvailable", 4));
  ASSERT_TRUE(PumpUntilCount("A DataAvailable", 1));
  ASSERT_TRUE(Read(b.get(), &data));
  EXPECT_EQ(data, payloads[3]);
  ASSERT_TRUE(Read(a.get(), &data));
  EXPECT_EQ(data, payloads[4]);
  ASSERT_TRUE(PumpUntilCount("A SendComplete(false)", 5));
  EXPECT_TRUE(journal.With("A Error").empty() && journal.With("B Error").empty());
}

TEST_F(SocketClassTest, ADatagramWrittenBySendCompleteCompletesAtTheNextPollNotInTheSameOne) {
  ObjectRef a = BoundUDP("A");
  ObjectRef b = BoundUDP("B");
  // A writer that paces itself by its completions (endlessly, were it not
  // for the bound that keeps a fault from hanging the test).
  int written = 1;
  onSendComplete = [&](RuntimeObject* socket) {
    if (socket != a.get() || written == 20) return;
    ++written;
    Write(socket, To(b.get()), "next");
  };
  Write(a.get(), To(b.get()), "first");
  for (int poll = 1; poll <= 3; ++poll) {
    socketPoll(a.get());
    EXPECT_EQ(journal.Count("A SendComplete(false)"), poll);
    EXPECT_EQ(written, poll + 1);
  }
  onSendComplete = nullptr;
  ASSERT_TRUE(PumpUntilCount("B DataAvailable", 4));
  std::string data;
  for (const char* sent : {"first", "next", "next", "next"}) {
    ASSERT_TRUE(Read(b.get(), &data));
    EXPECT_EQ(data, sent);
  }
}

TEST_F(SocketClassTest, ADatagramStreamArrivingAtEveryPollHoldsNoSendCompleteBackForLong) {
  ObjectRef a = BoundUDP("A");
  ObjectRef b = BoundUDP("B");
  SOCKET peer = shim::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in target = IPv4Address(shim::inet_addr("127.0.0.1"), PortOf(a.get()));
  const SOCKET own = static_cast<UDPSocketPosix*>(UDPImplementationOf(a.get()))->Descriptor();
  Write(a.get(), To(b.get()), "sent");
  for (int poll = 1; poll <= 4; ++poll) {
    ASSERT_EQ(shim::sendto(peer, "in", 2, 0, reinterpret_cast<const sockaddr*>(&target),
                           sizeof target),
              2);
    ASSERT_TRUE(ReadableWithin(own, 5000));
    socketPoll(a.get());
    std::string data;
    ASSERT_TRUE(Read(a.get(), &data));
    // It waits behind the first DataAvailable and follows the second.
    EXPECT_EQ(journal.Count("A SendComplete(false)"), poll == 1 ? 0 : 1) << poll;
  }
  EXPECT_EQ(journal.Count("A DataAvailable"), 4);
  shim::closesocket(peer);
}

TEST_F(SocketClassTest, AnEmptyDatagramHoldsNothingUpAndABurstArrivesReadOneByOneOrDrained) {
  ObjectRef b = BoundUDP("B");
  SOCKET peer = shim::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in target = IPv4Address(shim::inet_addr("127.0.0.1"), PortOf(b.get()));
  for (const bool drain : {false, true}) {
    std::vector<std::string> seen, expected;
    onData = [&](RuntimeObject* socket) {
      for (std::string data; Read(socket, &data);) {
        seen.push_back(data);
        if (!drain) break;
      }
    };
    journal.Take();
    // Sent while B is not polled: they all wait in its socket.
    for (int i = -1; i < 100; ++i) {
      const std::string data = i < 0 ? "" : "d" + std::to_string(i);
      if (i >= 0) expected.push_back(data);
      ASSERT_EQ(shim::sendto(peer, data.data(), int(data.size()), 0,
                             reinterpret_cast<const sockaddr*>(&target), sizeof target),
                int(data.size()));
    }
    PumpSocketsUntil([&] { return seen.size() >= 100; }, 10000);
    EXPECT_EQ(seen, expected) << (drain ? "draining" : "one per event");
    const int events = journal.Count("B DataAvailable");
    if (drain) {
      EXPECT_LT(events, 100);
    } else {
      EXPECT_EQ(events, 100);
    }
  }
  shim::closesocket(peer);
}

TEST_F(SocketClassTest, WriteErrorsFireOnceInsideTheCallAndNeverUnbind) {
  ObjectRef unbound = New(TestUDP(), "C");
  Write(unbound.get(), "127.0.0.1:9", "lost");
  EXPECT_EQ(journal.Take(), std::vector<std::string>{"C Error(106)"});

  ObjectRef a = BoundUDP("A");
  ObjectRef b = BoundUDP("B");
  const struct {
    const char* address;
    int32_t code;
  } refused[] = {{"no-such-host.invalid:9", 103}, {"a:b:c", 103}, {"127.0.0.1:70000", 22}};
  for (const auto& write : refused) {
    Write(a.get(), write.address, "lost");
    const std::string error = "A Error(" + std::to_string(write.code) + ")";
    EXPECT_EQ(journal.Take(), std::vector<std::string>{error}) << write.address;
    EXPECT_TRUE(SocketIsConnected(a.get())) << write.address;
  }

  // A write failing inside DataAvailable reports its Error without a second
  // DataAvailable, and the next datagram still comes.
  EXPECT_EQ(UDPImplementationOf(a.get())->OutgoingCount(), 0u);
  onData = [](RuntimeObject* socket) { Write(socket, "a:b:c", "lost"); };
  Write(a.get(), To(b.get()), "first");
  ASSERT_TRUE(PumpUntilCount("B DataAvailable", 1));
  Write(a.get(), To(b.get()), "second");
  ASSERT_TRUE(PumpUntilCount("B DataAvailable", 2));
  EXPECT_EQ(journal.With("B Error").size(), 2u);
  EXPECT_EQ(journal.With("B D"), (std::vector<std::string>{"B DataAvailable", "B DataAvailable"}));
  std::string data;
  for (const char* expected : {"first", "second"}) {
    ASSERT_TRUE(Read(b.get(), &data));
    EXPECT_EQ(data, expected);
  }
  EXPECT_FALSE(Read(b.get(), &data)) << "only the two written to B arrived";

  ObjectRef busy = New(TestUDP(), "D");
  SocketPortSetter(busy.get(), 0, PortOf(b.get()));
  SocketConnect(busy.get());
  EXPECT_EQ(journal.With("D "), std::vector<std::string>{"D Error(105)"});
  EXPECT_FALSE(SocketIsConnected(busy.get()));
  socketClose(busy.get());

  // Connecting again closes the old descriptor and registers once.
  const int32_t oldPort = PortOf(a.get());
  const uint32_t registered = RegisteredSocketCount();
  SocketConnect(a.get());
  EXPECT_EQ(RegisteredSocketCount(), registered);
  SOCKET probe = shim::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in old = IPv4Address(shim::inet_addr("127.0.0.1"), oldPort);
  EXPECT_EQ(shim::bind(probe, reinterpret_cast<const sockaddr*>(&old), sizeof old), 0);
  shim::closesocket(probe);
}

// Options are only set and read back here: nothing is sent to a group.
TEST_F(SocketClassTest, HopsLoopbackAndGroupMembershipReachTheSocketItself) {
  ObjectRef socket = New(TestUDP(), "M");
  // Kept until the socket is bound, then applied.
  SetProperty<int32_t>(socket.get(), "RouterHops", 7);
  SetProperty<uint8_t>(socket.get(), "SendToSelf", 0);
  SocketConnect(socket.get());
  ASSERT_TRUE(SocketIsConnected(socket.get()));
  auto* udp = dynamic_cast<UDPSocketPosix*>(UDPImplementationOf(socket.get()));
  ASSERT_NE(udp, nullptr);
  // IP_MULTICAST_TTL and IP_MULTICAST_LOOP as the Winsock 1.1 library numbers them.
  auto option = [&](int name) {
    int value = -1;
    int length = sizeof value;
    EXPECT_EQ(shim::getsockopt(udp->Descriptor(), IPPROTO_IP, name, reinterpret_cast<char*>(&value),
                               &length),
              0);
    return value & (length == 1 ? 0xFF : -1);
  };
  EXPECT_EQ(option(3), 7);
  EXPECT_EQ(option(4), 0);
  SetProperty<int32_t>(socket.get(), "RouterHops", 2);
  SetProperty<uint8_t>(socket.get(), "SendToSelf", 1);
  EXPECT_EQ(option(3), 2);
  EXPECT_EQ(option(4), 1);
  EXPECT_EQ(GetProperty<int32_t>(socket.get(), "RouterHops"), 2);

  // The system keeps the membership: a second join or leave is refused.
  const StringRef group = Text("239.255.42.99");
  auto join = [&] { return CallMethod<bool>(socket.get(), "JoinMulticastGroup", group.get()); };
  auto leave = [&] { CallMethod(socket.get(), "LeaveMulticastGroup", group.get()); };
  EXPECT_TRUE(join());
  EXPECT_EQ(journal.Take(), std::vector<std::string>{});
  EXPECT_FALSE(join());
  EXPECT_EQ(journal.With("M Error").size(), 1u);
  journal.Take();
  leave();
  EXPECT_EQ(journal.Take(), std::vector<std::string>{});
  leave();
  EXPECT_EQ(journal.With("M Error").size(), 1u);
  journal.Take();
  EXPECT_TRUE(join()) << "a left group can be joined again";
  socketClose(socket.get());
}

TEST_F(SocketClassTest, APooledServerEchoesFiveClientsByteExact) {
  int served = 0;
  onAddSocket = [&] { return NewNamed(TestTCP(), "S" + std::to_string(++served)); };
  std::map<std::string, std::string> received;
  onData = [&](RuntimeObject* socket) {
    StringRef bytes = StringRef::Adopt(SocketReadAll(socket, nullptr));
    if (names[socket][0] == 'S') {
      SocketWrite(socket, bytes.get());
    } else {
      received[names[socket]] += StringBytes(bytes.get());
    }
  };
  ObjectRef server = New(TestServer(), "Server");
  SetProperty<int32_t>(server.get(), "MinimumSocketsAvailable", 2);
  ServerSocketListen(server.get());
  ASSERT_TRUE(serverSocketIsListening(server.get()));
  const int32_t port = TCPImplementationOf(server.get())->GetPort();

  std::mt19937 random(32);
  std::vector<ObjectRef> clients;
  std::map<std::string, std::string> sent;
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "C" + std::to_string(i);
    clients.push_back(New(TestTCP(), name));
    SetProperty<StringRecord*>(clients.back().get(), "Address", Text("LocalHost").get());
    SetProperty<int32_t>(clients.back().get(), "Port", port);
    SocketConnect(clients.back().get());
    for (int n = 0; n < 65536; ++n) sent[name] += char(random());
  }
  PumpSocketsUntil([&] { return journal.With("C").size() >= 5; }, 10000);  // C1 to C5 Connected
  for (const ObjectRef& client : clients) {
    SocketWrite(client.get(), Text(sent[names[client.get()]]).get());
  }
  PumpSocketsUntil(
      [&] {
        for (const auto& [name, bytes] : sent) {
          if (received[name].size() < bytes.size()) return false;
        }
        return true;
      },
      20000);
  EXPECT_TRUE(received == sent) << "the echoes differ";

  RuntimeObject* first = clients[0].get();
  EXPECT_EQ(BytesOf(GetProperty<StringRecord*>(first, "Address")), "LocalHost");
  EXPECT_EQ(BytesOf(socketRemoteAddressGetter(first)), "127.0.0.1");
  EXPECT_EQ(socketGetEvents(first) & kSocketConnected, kSocketConnected);
  EXPECT_EQ(socketGetEvents(first) & kSocketConnected, 0u);
  SocketDisconnect(first);
  EXPECT_EQ(journal.With("C1 Error"), std::vector<std::string>{"C1 Error(102)"});
  EXPECT_FALSE(SocketIsConnected(first));

  for (const char* entry :
       {"socketClose", "socketPoll", "socketLocalAddressGetter", "socketLastErrorCode",
        "socketRemoteAddressGetter", "SocketWrite", "socketDirectConnect", "socketGetEvents",
        "pluginSocketListen", "pluginSocketRead", "pluginSocketReadAll", "pluginSocketLookahead"}) {
    EXPECT_NE(LookupEntryPoint(entry), nullptr) << entry;
  }
  for (const ObjectRef& client : clients) socketClose(client.get());
  ServerSocketClose(server.get());
  // The handed-off sockets hold the pool's reference until they close.
  for (int i = 1; i <= served; ++i) {
    for (auto& [object, name] : names) {
      if (name == "S" + std::to_string(i)) {
        socketClose(const_cast<RuntimeObject*>(object));
        break;
      }
    }
  }
}

TEST_F(SocketClassTest, SocketsLiveByTheirReferencesWhateverTheirHandlersDo) {
  ObjectRef server = New(TestServer(), "Server");
  ServerSocketListen(server.get());
  std::vector<std::string> exceptions;
  PumpSocketsUntil(
      [&] {
        for (std::string& taken : TakePumpedExceptions()) exceptions.push_back(taken);
        return !exceptions.empty();
      },
      5000);
  EXPECT_EQ(exceptions, std::vector<std::string>{"NilObjectException"});
  EXPECT_EQ(server->refCount, 1);
  ServerSocketClose(server.get());

  RuntimeObject* released = NewNamed(TestUDP(), "U");
  SocketConnect(released);
  onData = [released](RuntimeObject* socket) {
    if (socket == released && destroyed == 0 && socket->refCount > 1) RuntimeUnlockObject(socket);
  };
  ObjectRef writer = BoundUDP("W");
  Write(writer.get(), To(released), "one");
  Write(writer.get(), To(released), "two");
  PumpSocketsUntil([] { return destroyed > 0; }, 5000);
  PumpSocketsUntil([] { return false; }, 50);
  EXPECT_EQ(destroyed, 1);

  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  RuntimeObject* client = NewNamed(TestTCP(), "T");
  socketDirectConnect(client, Text("127.0.0.1").get(), port);
  PumpUntilCount("T Connected", 1);
  socketClose(client);
  RuntimeUnlockObject(client);
  EXPECT_EQ(destroyed, 2);
  raw::Close(listener);

  EXPECT_EQ(SocketPortGetter(nullptr, 0), 0);
  const std::vector<std::string> boxes = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(boxes.size(), 1u);
  for (const char* part : {"RuntimeSocketAccessors", "469", "ctl"}) {
    EXPECT_NE(boxes[0].find(part), std::string::npos) << boxes[0];
  }
}

// A server whose AddSocket answers are also kept by the application, as an
// array of its own would hold them; the bytes each socket receives, by name.
class StandbyTest : public SocketClassTest {
 protected:
  void SetUp() override {
    SocketClassTest::SetUp();
    onAddSocket = [this] {
      RuntimeObject* socket = NewNamed(TestTCP(), "S" + std::to_string(++given));
      standby.push_back(ObjectRef::Retain(socket));
      return socket;
    };
    onData = [this](RuntimeObject* socket) {
      received[names[socket]] += BytesOf(SocketReadAll(socket, nullptr));
    };
    server = New(TestServer(), "Server");
    ServerSocketListen(server.get());
    port = TCPImplementationOf(server.get())->GetPort();
    // MinimumSocketsAvailable 1, plus ten.
    PumpSocketsUntil([this] { return standby.size() >= 11; }, 5000);
    ASSERT_EQ(standby.size(), 11u);
  }
  void TearDown() override {
    if (server) ServerSocketClose(server.get());
    for (const ObjectRef& socket : standby) socketClose(socket.get());
    standby.clear();
    server = ObjectRef();
    SocketClassTest::TearDown();
  }
  RuntimeObject* Standby(int number) { return standby[size_t(number - 1)].get(); }
  // A client of the server that sends its bytes; closed by the caller.
  SOCKET ClientSending(const std::string& bytes) {
    SOCKET client = raw::ConnectTo(port);
    EXPECT_TRUE(raw::SendAll(client, bytes));
    return client;
  }

  std::vector<ObjectRef> standby;
  int given = 0;
  std::map<std::string, std::string> received;
  ObjectRef server;
  int32_t port = 0;
};

TEST_F(StandbyTest, SocketsClosedAndDroppedByTheApplicationLeaveThePoolWhichRefills) {
  for (const ObjectRef& socket : standby) socketClose(socket.get());
  standby.clear();
  EXPECT_EQ(destroyed, 11);
  SOCKET client = ClientSending("hello");
  ASSERT_TRUE(PumpUntilCount("S21 DataAvailable", 1));
  EXPECT_EQ(received["S21"], "hello") << "the newest of the ten AddSocket gave again";
  EXPECT_EQ(given, 21);
  ServerSocketClose(server.get());
  EXPECT_TRUE(SocketIsConnected(standby.back().get()));
  raw::Close(client);
}

TEST_F(StandbyTest, SocketsConnectedListeningOrClosedOnTheirOwnLeaveThePool) {
  int32_t peerPort = 0;
  SOCKET listener = raw::ListenOnLoopback(&peerPort);
  SOCKET peer = INVALID_SOCKET;
  {
    PeerThread accepting([&] { peer = shim::accept(listener, nullptr, nullptr); });
    socketDirectConnect(Standby(11), Text("127.0.0.1").get(), peerPort);
    PumpUntilCount("S11 Connected", 1);
  }
  SocketListen(Standby(10));
  socketClose(Standby(9));

  SOCKET client = ClientSending("to the server");
  ASSERT_TRUE(PumpUntilCount("S8 DataAvailable", 1));
  EXPECT_EQ(received["S8"], "to the server") << "the newest socket still on standby";
  ASSERT_TRUE(raw::SendAll(peer, "to S11"));
  ASSERT_TRUE(PumpUntilCount("S11 DataAvailable", 1));
  EXPECT_EQ(received["S11"], "to S11");
  SOCKET ownClient = raw::ConnectTo(TCPImplementationOf(Standby(10))->GetPort());
  ASSERT_TRUE(PumpUntilCount("S10 Connected", 1));
  EXPECT_EQ(journal.Count("S9 Connected"), 0);

  socketClose(Standby(11));
  EXPECT_TRUE(ReadableWithin(peer, 5000));
  EXPECT_EQ(raw::Receive(peer, 1), "") << "S11's own connection was closed, not lost";
  for (SOCKET open : {peer, listener, client, ownClient}) raw::Close(open);
}

std::vector<RuntimeObject*> closedByEarlierHook;

TEST_F(SocketClassTest, ClosingTheirWindowStopsTheServerClosesTheSocketAndRunsTheEarlierHook) {
  SetControlWindowCloseHook([](RuntimeObject* control) { closedByEarlierHook.push_back(control); });
  InstallSocketWindowCloseHook();
  closedByEarlierHook.clear();
  onAddSocket = [] { return NewNamed(TestTCP(), "S"); };
  ObjectRef server = New(TestServer(), "Server");
  ServerSocketListen(server.get());
  const int32_t serverPort = TCPImplementationOf(server.get())->GetPort();
  int32_t peerPort = 0;
  SOCKET listener = raw::ListenOnLoopback(&peerPort);
  ObjectRef client = New(TestTCP(), "C");
  socketDirectConnect(client.get(), Text("127.0.0.1").get(), peerPort);
  SOCKET accepted = INVALID_SOCKET;
  {
    PeerThread peer([&] { accepted = shim::accept(listener, nullptr, nullptr); });
    PumpUntilCount("C Connected", 1);
  }
  ObjectRef window = OpenTestWindow(nullptr, false);
  WindowAddControl(window.get(), server.get());
  WindowAddControl(window.get(), client.get());
  WindowClose(window.get());

  EXPECT_FALSE(serverSocketIsListening(server.get()));
  EXPECT_TRUE(ReadableWithin(accepted, 5000));
  EXPECT_EQ(raw::Receive(accepted, 1), "") << "the peer sees the close";
  EXPECT_EQ(closedByEarlierHook, (std::vector<RuntimeObject*>{server.get(), client.get()}));
  ObjectRef late = New(TestTCP(), "L");
  socketDirectConnect(late.get(), Text("127.0.0.1").get(), serverPort);
  PumpUntilCount("L Error(103)", 1);
  socketClose(late.get());

  SetControlWindowCloseHook(nullptr);
  InstallSocketWindowCloseHook();
  raw::Close(accepted);
  raw::Close(listener);
}

class OwnSocketInterfaces : public OwnProcessTest {};

TEST_F(OwnSocketInterfaces, LocalAddressesAndBindsFollowTheChosenInterface) {
  ::journal = &journal;
  ObjectRef udp = New(TestUDP(), "U");
  EXPECT_EQ(BytesOf(socketLocalAddressGetter(udp.get())), "10.0.0.1");
  SetProperty<RuntimeObject*>(udp.get(), "NetworkInterface", Interface(0).get());
  SocketConnect(udp.get());
  EXPECT_EQ(journal.Take(), std::vector<std::string>{"U Error(107)"});
  socketClose(udp.get());
  ObjectRef tcp = New(TestTCP(), "T");
  SetProperty<RuntimeObject*>(tcp.get(), "NetworkInterface", Interface(2).get());
  EXPECT_EQ(BytesOf(socketLocalAddressGetter(tcp.get())), "");
}

class OwnSocketsWithoutWinsock : public OwnProcessTest {};

TEST_F(OwnSocketsWithoutWinsock, AUDPConnectFails100InsideTheCall) {
  ::journal = &journal;
  ObjectRef udp = New(TestUDP(), "U");
  SocketConnect(udp.get());
  EXPECT_EQ(journal.Take(), std::vector<std::string>{"U Error(100)"});
  EXPECT_FALSE(SocketIsConnected(udp.get()));
  socketClose(udp.get());
}

}  // namespace
