// Cases that need a process of their own: a missing or fake Winsock or IP
// helper library (a loaded library stays for the process), and the shutdown
// of the layer, which does not start again. Each suite is one CTest entry.
#include "tests/system/SystemTestSupport.h"

#include "core/string.h"
#include "system/NetworkInterfaces.h"
#include "system/RuntimeSocketAccessors.h"
#include "system/SocketImp.h"
#include "system/TCPSocketPosix.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// A TCP socket of the fake owner tries to connect; the layer cannot start.
void ExpectConnectFailsWith100(SocketJournal& journal) {
  FakeSocketOwner* client = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  client->TCP()->Connect(Text("127.0.0.1").get(), 80);
  EXPECT_EQ(client->lastErrorCode, 100);
  EXPECT_EQ(client->TCP()->LastError(), 100);
  // Nothing polls a layer that did not start: the socket is closed at once.
  EXPECT_FALSE(client->TCP()->IsRegistered());
  EXPECT_FALSE(client->TCP()->OwnerLocked());
  EXPECT_EQ(client->ReferenceCount(), 1);
  EXPECT_EQ(client->TCP()->GetPort(), -1);
  client->TCP()->Listen(0);
  EXPECT_EQ(client->lastErrorCode, 100);
  EXPECT_FALSE(client->TCP()->IsRegistered());
  client->Unlock();
}

class OwnNoWsock32 : public OwnProcessTest {};

TEST_F(OwnNoWsock32, TheLayerCannotStartAndSocketsFailWith100) {
  EXPECT_FALSE(SocketsStarted());
  EXPECT_EQ(StartSockets(), 100);
  ExpectConnectFailsWith100(journal);
  EXPECT_EQ(GetLocalHostAddress(), kLoopback);
  EXPECT_FALSE(PollSocketsIfStarted(false));
}

class OwnNoFDIsSet : public OwnProcessTest {};

TEST_F(OwnNoFDIsSet, AShimMissingOneEntryStaysFailed) {
  EXPECT_FALSE(SocketsStarted());
  EXPECT_EQ(StartSockets(), 100);
  EXPECT_EQ(StartSockets(), 100);
  EXPECT_EQ(SocketErrno(), 100);
  ExpectConnectFailsWith100(journal);
}

class OwnStartupFails : public OwnProcessTest {};

TEST_F(OwnStartupFails, AFailingWinsockStartUpFailsTheShim) {
  EXPECT_FALSE(SocketsStarted());
  EXPECT_EQ(StartSockets(), 100);
  ExpectConnectFailsWith100(journal);
}

class OwnNoGethostname : public OwnProcessTest {};

TEST_F(OwnNoGethostname, TheHostAddressFallsBackToLoopback) {
  EXPECT_EQ(StartSockets(), 0);
  EXPECT_EQ(LegacyWinsockEntryCount(), 20);
  EXPECT_EQ(GetLocalHostAddress(), kLoopback);
}

class OwnAdapterChain : public OwnProcessTest {};

TEST_F(OwnAdapterChain, InterfacesAreReadFromTheAdapterChain) {
  EXPECT_EQ(GetLastInterfaceIndex(), 2);
  EXPECT_EQ(GetNetworkInterfaceCount(), 3);
  EXPECT_EQ(GetInterfaceIPAddress(-1), 0x0A000001u);
  EXPECT_EQ(GetInterfaceIPAddress(0), 0x0A000001u);
  EXPECT_EQ(GetInterfaceSubnetMask(0), 0xFFFFFF00u);
  EXPECT_EQ(GetInterfaceIPAddress(1), 0xC0A80709u);
  EXPECT_EQ(GetInterfaceSubnetMask(1), 0xFFFF0000u);
  EXPECT_EQ(GetInterfaceIPAddress(2), 0u);
  EXPECT_EQ(BytesOf(GetInterfaceMACAddress(0)), "00:1A:2B:3C:4D:5E");
  StringRef none = StringRef::Adopt(GetInterfaceMACAddress(2));
  ASSERT_TRUE(none);
  EXPECT_EQ(StringLength(none.get()), 0u);
  EXPECT_EQ(GetInterfaceBroadcastAddress(1), 0xFFFFFFFFu);
  EXPECT_EQ(GetInterfaceBroadcastAddress(7), 0xFFFFFFFFu);
}

TEST_F(OwnAdapterChain, AnIndexPastTheChainGivesTheFallbacks) {
  EXPECT_EQ(GetLocalHostAddress(), kLoopback);
  EXPECT_EQ(GetInterfaceIPAddress(3), GetLocalHostAddress());
  EXPECT_EQ(GetInterfaceSubnetMask(3), 0u);
  EXPECT_EQ(GetInterfaceMACAddress(3), nullptr);
  EXPECT_EQ(GetInterfaceMACAddress(-2), nullptr);
}

TEST_F(OwnAdapterChain, AConnectBoundToAnAddressNotOfThisMachineReports49) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  FakeSocketOwner* client = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  client->networkInterface = 0;  // 10.0.0.1 in the fake chain
  client->TCP()->Connect(Text("127.0.0.1").get(), port);
  EXPECT_EQ(client->lastErrorCode, 49);
  PumpUntilRecorded(journal, "C Error(49)");
  EXPECT_FALSE(client->TCP()->IsRegistered());
  client->Unlock();
  raw::Close(listener);
}

class OwnEmptyAdapterChain : public OwnProcessTest {};

TEST_F(OwnEmptyAdapterChain, NoAdapterMeansNoInterface) {
  EXPECT_EQ(GetLastInterfaceIndex(), -1);
  EXPECT_EQ(GetNetworkInterfaceCount(), 0);
  EXPECT_EQ(GetInterfaceSubnetMask(0), 0u);
}

class OwnInterfaceCount : public OwnProcessTest {};

TEST_F(OwnInterfaceCount, WithoutAdapterRecordsTheCountIsAsked) {
  EXPECT_EQ(GetLastInterfaceIndex(), 3);
}

class OwnInterfaceCountFails : public OwnProcessTest {};

TEST_F(OwnInterfaceCountFails, AFailingCountGivesNoInterface) {
  EXPECT_EQ(GetLastInterfaceIndex(), -1);
}

class OwnNoInterfaceFunctions : public OwnProcessTest {};

TEST_F(OwnNoInterfaceFunctions, ALibraryWithoutEitherFunctionGivesIndex0) {
  EXPECT_EQ(GetLastInterfaceIndex(), 0);
}

class OwnNoIphlpapi : public OwnProcessTest {};

TEST_F(OwnNoIphlpapi, EveryQueryFallsBack) {
  EXPECT_EQ(GetLastInterfaceIndex(), -1);
  EXPECT_EQ(GetInterfaceIPAddress(0), kLoopback);
  EXPECT_EQ(GetInterfaceSubnetMask(0), 0u);
  EXPECT_EQ(GetInterfaceMACAddress(0), nullptr);
}

// A peer with a Winsock of its own (its own load and start-up), untouched by
// the run-time's shutdown.
class OwnWinsock {
 public:
  OwnWinsock() : library_(LoadLibraryA("ws2_32.dll")) {
    WSADATA data;
    started_ = library_ && Entry<decltype(&::WSAStartup)>("WSAStartup")(0x0202, &data) == 0;
  }
  ~OwnWinsock() {
    if (started_) Entry<decltype(&::WSACleanup)>("WSACleanup")();
    if (library_) FreeLibrary(library_);
  }
  bool Started() const { return started_; }

  SOCKET ConnectTo(int32_t port) {
    SOCKET peer = Entry<decltype(&::socket)>("socket")(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = Entry<decltype(&::htons)>("htons")(u_short(port));
    address.sin_addr.s_addr = Entry<decltype(&::inet_addr)>("inet_addr")("127.0.0.1");
    Entry<decltype(&::connect)>("connect")(peer, reinterpret_cast<sockaddr*>(&address),
                                           sizeof address);
    return peer;
  }
  // What the peer reads until the connection ends.
  std::string ReadUntilClosed(SOCKET peer) {
    const auto recv = Entry<decltype(&::recv)>("recv");
    std::string bytes;
    char chunk[256];
    for (int n; (n = recv(peer, chunk, sizeof chunk, 0)) > 0;) bytes.append(chunk, size_t(n));
    return bytes;
  }
  void Close(SOCKET peer) { Entry<decltype(&::closesocket)>("closesocket")(peer); }

 private:
  template <class Function>
  Function Entry(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
  }

  HMODULE library_;
  bool started_ = false;
};

class OwnShutdown : public OwnProcessTest {};

TEST_F(OwnShutdown, TheFirstSocketMakesTheWakeupTaskAndShutdownEndsTheLayer) {
  EXPECT_TRUE(SocketsStarted());
  EXPECT_FALSE(SocketWakeupTaskExists());
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kTCPSocket, "S", &journal);
  EXPECT_TRUE(SocketWakeupTaskExists());
  FakeSocketOwner::Create(Kind::kTCPSocket, "T", &journal)->Unlock();
  EXPECT_TRUE(SocketWakeupTaskExists());

  // A plain socket takes the peer's connection.
  server->TCP()->Listen(0);
  OwnWinsock winsock;
  ASSERT_TRUE(winsock.Started());
  SOCKET peer = winsock.ConnectTo(server->TCP()->GetPort());
  PumpUntilRecorded(journal, "S Connected");
  EXPECT_EQ(server->ReferenceCount(), 2);  // the test's and the registration's

  std::string read = "nothing yet";
  PeerThread reader([&] { read = winsock.ReadUntilClosed(peer); });
  EXPECT_EQ(ShutdownSockets(), 0);
  reader.Join();
  EXPECT_EQ(read, "");
  EXPECT_FALSE(SocketsStarted());
  EXPECT_FALSE(SocketWakeupTaskExists());
  EXPECT_EQ(RegisteredSocketCount(), 0u);

  // The layer stays down, and every call fails soft with 100.
  EXPECT_EQ(StartSockets(), 100);
  EXPECT_EQ(SocketErrno(), 100);
  EXPECT_FALSE(PollSocketsIfStarted(false));
  EXPECT_EQ(ShutdownSocketsIfStarted(), 0);
  FakeSocketOwner* late = FakeSocketOwner::Create(Kind::kTCPSocket, "L", &journal);
  EXPECT_FALSE(SocketWakeupTaskExists());
  late->TCP()->Connect(Text("127.0.0.1").get(), 80);
  EXPECT_EQ(late->lastErrorCode, 100);
  late->Unlock();

  // The shutdown kept the owner's lock; both references dropped, the socket
  // goes with its owner.
  EXPECT_EQ(server->ReferenceCount(), 2);
  server->Unlock();
  server->Unlock();
  EXPECT_EQ(journal.Count("S destroyed"), 1);
  winsock.Close(peer);
}

}  // namespace
