// TCP sockets on loopback: connect, listen, accept and hand-off, the error
// paths, and large transfers.
#include "tests/system/SystemTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "host/RuntimeMain.h"
#include "system/SocketImp.h"
#include "system/TCPSocketPosix.h"

namespace {

constexpr uint32_t kGenerous = 15000;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 2654435761u) >> 11);
  return bytes;
}

void Echo(FakeSocketOwner& self) {
  StringRef received = StringRef::Adopt(self.TCP()->ReadAll());
  self.TCP()->Write(received.get());
}

struct Progress {
  int64_t bytesSent = 0;
  int calls = 0;
  int32_t lastBytesLeft = -1;
};

// The SendProgress entries of one owner, added up.
Progress ProgressOf(const SocketJournal& journal, const std::string& name) {
  Progress progress;
  const std::string prefix = name + " SendProgress(";
  for (const std::string& entry : journal.With(prefix)) {
    int sent = 0, left = 0;
    std::sscanf(entry.c_str() + prefix.size(), "%d,%d", &sent, &left);
    progress.bytesSent += sent;
    progress.lastBytesLeft = left;
    ++progress.calls;
  }
  return progress;
}

ptrdiff_t PositionOf(const SocketJournal& journal, const std::string& entry) {
  const auto& entries = journal.Entries();
  return std::find(entries.begin(), entries.end(), entry) - entries.begin();
}

class TCPConnectionTest : public SocketTest {
 protected:
  FakeSocketOwner* Client(const std::string& name, int32_t port,
                          const std::string& host = "127.0.0.1") {
    FakeSocketOwner* client = FakeSocketOwner::Create(Kind::kTCPSocket, name, &journal);
    client->TCP()->Connect(Text(host).get(), port);
    return client;
  }

  FakeSocketOwner* Listening(Kind kind, const std::string& name, int32_t minimum = 1) {
    FakeSocketOwner* listener = FakeSocketOwner::Create(kind, name, &journal, minimum);
    listener->TCP()->Listen(0);
    EXPECT_GT(listener->TCP()->GetPort(), 0);
    return listener;
  }

  // A pooled server whose standby sockets (N1, N2 ...) echo; they are
  // remembered by name while they live.
  FakeSocketOwner* EchoServer(int32_t minimum) {
    FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal, minimum);
    server->addSocketAnswer =
        FakeSocketOwner::AnswerNewSockets(&journal, "N", [this](FakeSocketOwner& made) {
          made.onDataAvailable = Echo;
          standby_[made.Name()] = &made;
        });
    server->TCP()->Listen(0);
    PumpSocketsUntil([&] { return journal.Count("S AddSocket") >= minimum + 10; }, kGenerous);
    return server;
  }

  FakeSocketOwner* Standby(const std::string& name) { return standby_[name]; }

  // Closes every standby socket of the server but `kept`, as an application
  // that shrinks its pool does.
  static void CloseStandbyExcept(FakeSocketOwner* server, FakeSocketOwner* kept) {
    ServerSocketPool* pool = server->TCP()->Pool();
    std::vector<SocketOwner*> others;
    for (uint32_t i = 0; i < pool->StandbyCount(); ++i) {
      if (pool->StandbyAt(i) != kept) others.push_back(pool->StandbyAt(i));
    }
    for (SocketOwner* other : others) other->Implementation()->Close(false);
  }

  // Closes (test's side) and drops the test's reference.
  static void Drop(FakeSocketOwner* owner) {
    owner->TCP()->Close(false);
    owner->Unlock();
  }

 private:
  std::map<std::string, FakeSocketOwner*> standby_;
};

TEST_F(TCPConnectionTest, APlainListenerTakesOneConnectionAndEchoesIt) {
  FakeSocketOwner* listener = Listening(Kind::kTCPSocket, "L");
  listener->onDataAvailable = Echo;
  const int32_t port = listener->TCP()->GetPort();
  FakeSocketOwner* client = Client("C", port);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  ASSERT_TRUE(PumpUntilRecorded(journal, "L Connected"));
  EXPECT_EQ(BytesOf(listener->TCP()->GetRemoteAddress()), "127.0.0.1");

  client->TCP()->Write(Text("ping").get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C DataAvailable"));
  EXPECT_EQ(BytesOf(client->TCP()->ReadAll()), "ping");

  // The listening descriptor went with the first connection.
  FakeSocketOwner* second = Client("D", port);
  ASSERT_TRUE(PumpSocketsUntil(
      [&] { return journal.Count("D Error(102)") + journal.Count("D Error(103)") == 1; },
      kGenerous));
  PumpSocketsUntil([] { return false; }, 100);
  EXPECT_EQ(journal.Count("D DataAvailable"), 0);
  EXPECT_EQ(journal.Count("C Connected"), 1);
  EXPECT_EQ(journal.Count("L Connected"), 1);
  Drop(client);
  Drop(listener);
  second->Unlock();
}

TEST_F(TCPConnectionTest, ARefusedConnectReports103Quickly) {
  FakeSocketOwner* client = Client("C", RefusedPort());
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Error(103)", 3000));
  EXPECT_LT(GetTickCount64() - start, 3000u);
  EXPECT_FALSE(client->TCP()->IsRegistered());
  EXPECT_EQ(client->lastErrorCode, 103);
  EXPECT_EQ(journal.Count("C Connected"), 0);
  client->Unlock();
}

TEST_F(TCPConnectionTest, AnUnknownHostReports103AtOnceAndAsAnEvent) {
  FakeSocketOwner* client = Client("C", 80, "no-such-host.invalid");
  EXPECT_EQ(client->lastErrorCode, 103);
  EXPECT_TRUE(client->TCP()->IsRegistered());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Error(103)"));
  EXPECT_EQ(client->TCP()->GetPort(), -1);
  EXPECT_FALSE(client->TCP()->IsRegistered());
  client->Unlock();
}

TEST_F(TCPConnectionTest, ListeningOnAPortInUseReportsAnEventAndStopsListening) {
  int32_t port = 0;
  SOCKET holder = raw::ListenOnLoopback(&port);
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal);
  server->TCP()->Listen(port);
  EXPECT_EQ(server->lastErrorCode, 105);
  EXPECT_FALSE(server->TCP()->IsListening()) << "before the Error is delivered";
  ASSERT_TRUE(PumpUntilRecorded(journal, "S Error(105)"));
  EXPECT_EQ(journal.Count("S ServerError(105)"), 1);
  EXPECT_EQ(journal.Count("S AddSocket"), 0);
  EXPECT_FALSE(server->TCP()->IsListening());
  EXPECT_FALSE(server->TCP()->IsRegistered());
  server->Unlock();
  raw::Close(holder);
}

// Whether a socket of another program, asking for address reuse, can bind
// the loopback address and the port.
bool AnotherProgramCanBind(int32_t port, uint32_t networkOrderAddress) {
  SOCKET other = shim::socket(AF_INET, SOCK_STREAM, 0);
  const int reuse = 1;
  shim::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof reuse);
  const sockaddr_in address = IPv4Address(networkOrderAddress, port);
  const bool bound =
      shim::bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  raw::Close(other);
  return bound;
}

TEST_F(TCPConnectionTest, APortListenedOnIsSharedWithNoOneAndFreeAgainOnceClosed) {
  struct BackOnTheNTLine {
    ~BackOnTheNTLine() { OverrideWindowsNT(-1); }
  } restore;
  for (int line : {-1, 0}) {  // the platform's (the NT line), then the other
    OverrideWindowsNT(line);
    FakeSocketOwner* first = Listening(Kind::kTCPSocket, "L");
    const int32_t port = first->TCP()->GetPort();
    FakeSocketOwner* second = FakeSocketOwner::Create(Kind::kServerSocket, "M", &journal);
    second->TCP()->Listen(port);
    EXPECT_EQ(second->lastErrorCode, 105) << line;
    if (line == -1) {  // where exclusive use exists, not even a socket asking for reuse
      EXPECT_FALSE(AnotherProgramCanBind(port, shim::inet_addr("127.0.0.1")));
      EXPECT_FALSE(AnotherProgramCanBind(port, shim::htonl(INADDR_ANY)));
    }
    SOCKET client = raw::ConnectTo(port);
    ASSERT_NE(client, INVALID_SOCKET);
    ASSERT_TRUE(PumpUntilRecorded(journal, "L Connected"));
    EXPECT_EQ(journal.Count("M AddSocket"), 0);

    // The listener became the connection, and our side closes first. Then
    // a new listener, closed at once, and another after it.
    Drop(first);
    raw::Close(client);
    second->Unlock();
    for (const char* name : {"A", "B"}) {
      FakeSocketOwner* again = FakeSocketOwner::Create(Kind::kServerSocket, name, &journal);
      again->TCP()->Listen(port);
      EXPECT_EQ(again->lastErrorCode, 0) << name << " " << line;
      EXPECT_TRUE(again->TCP()->IsListening()) << name << " " << line;
      EXPECT_EQ(again->TCP()->GetPort(), port) << name << " " << line;
      Drop(again);
    }
    journal.Take();
  }
}

TEST_F(TCPConnectionTest, APortOutsideTheRangeIsAnInvalidArgument) {
  FakeSocketOwner* client = Client("C", 70000);
  EXPECT_EQ(client->lastErrorCode, 22);
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal);
  server->TCP()->Listen(-1);
  EXPECT_EQ(server->lastErrorCode, 22);
  EXPECT_FALSE(server->TCP()->IsListening());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Error(22)"));
  ASSERT_TRUE(PumpUntilRecorded(journal, "S ServerError(22)"));
  EXPECT_EQ(journal.Count("S AddSocket"), 0);
  client->Unlock();
  server->Unlock();
}

TEST_F(TCPConnectionTest, RemoteAddressIsEmptyUntilConnected) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  FakeSocketOwner* client = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  EXPECT_EQ(BytesOf(client->TCP()->GetRemoteAddress()), "");
  client->TCP()->Connect(Text("127.0.0.1").get(), port);
  ASSERT_FALSE(client->TCP()->IsConnected());
  EXPECT_EQ(BytesOf(client->TCP()->GetRemoteAddress()), "");
  EXPECT_EQ(client->TCP()->LastError(), 0);
  EXPECT_EQ(client->TCP()->PendingEvents() & kSocketError, 0u);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  EXPECT_EQ(BytesOf(client->TCP()->GetRemoteAddress()), "127.0.0.1");
  EXPECT_EQ(journal.Count("C Error(103)") + journal.Count("C Error(102)"), 0);
  Drop(client);
  raw::Close(listener);
}

TEST_F(TCPConnectionTest, SixteenMiBWrittenAtOnceArriveWithProgressThenOneCompletion) {
  const std::string data = Pattern(16 * 1024 * 1024);
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  std::string received;
  PeerThread peer([&] {
    SOCKET accepted = shim::accept(listener, nullptr, nullptr);
    received = raw::Receive(accepted, data.size());
    raw::Close(accepted);
  });
  FakeSocketOwner* client = Client("C", port);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  client->TCP()->Write(Text(data).get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C SendComplete(false)", 60000));
  peer.Join();
  EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";

  const Progress progress = ProgressOf(journal, "C");
  EXPECT_EQ(progress.bytesSent, int64_t(data.size()));
  EXPECT_GT(progress.calls, 1);
  EXPECT_EQ(progress.lastBytesLeft, 0);
  EXPECT_GT(PositionOf(journal, "C SendComplete(false)"),
            PositionOf(journal, journal.With("C SendProgress(").back()));
  PumpSocketsUntil([] { return false; }, 50);
  EXPECT_EQ(journal.Count("C SendComplete(false)"), 1);
  Drop(client);
  raw::Close(listener);
}

TEST_F(TCPConnectionTest, AnAbortAnsweredForOneSocketIsThatSocketsOnly) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  std::atomic<bool> drain{false};
  PeerThread peer([&] {
    SOCKET first = shim::accept(listener, nullptr, nullptr);
    SOCKET second = shim::accept(listener, nullptr, nullptr);
    while (!drain) Sleep(1);
    raw::Close(second);
    raw::ReceiveUntilClosed(first);
    raw::Close(first);
  });
  FakeSocketOwner* a = Client("A", port);
  ASSERT_TRUE(PumpUntilRecorded(journal, "A Connected"));
  FakeSocketOwner* b = Client("B", port);  // newer: polled before A
  ASSERT_TRUE(PumpUntilRecorded(journal, "B Connected"));

  a->sendProgressAnswer = true;
  a->TCP()->Write(Text(Pattern(32 * 1024 * 1024)).get());
  b->TCP()->Write(Text("x").get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "A SendComplete(true)"));
  ASSERT_TRUE(PumpUntilRecorded(journal, "B SendComplete(false)"));
  EXPECT_EQ(a->TCP()->SendQueueLength(), 0u);
  EXPECT_FALSE(a->TCP()->IsSending());

  drain = true;
  a->sendProgressAnswer = false;
  a->TCP()->Write(Text("y").get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "A SendComplete(false)"));
  EXPECT_EQ(journal.Count("A SendComplete(true)"), 1);
  Drop(a);
  Drop(b);
  peer.Join();
  raw::Close(listener);
}

TEST_F(TCPConnectionTest, APeerThatClosesItsSendingSideEndsWith102AfterItsData) {
  FakeSocketOwner* listener = Listening(Kind::kTCPSocket, "L");
  SOCKET peer = raw::ConnectTo(listener->TCP()->GetPort());
  ASSERT_NE(peer, INVALID_SOCKET);
  ASSERT_TRUE(raw::SendAll(peer, "hello"));
  auto shutdown = reinterpret_cast<decltype(&::shutdown)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ws2_32.dll"), "shutdown")));
  ASSERT_NE(shutdown, nullptr);
  shutdown(peer, SD_SEND);

  ASSERT_TRUE(PumpUntilRecorded(journal, "L Error(102)"));
  EXPECT_LT(PositionOf(journal, "L DataAvailable"), PositionOf(journal, "L Error(102)"));
  // Closed and reset, the received bytes kept.
  EXPECT_FALSE(listener->TCP()->IsRegistered());
  EXPECT_FALSE(listener->TCP()->IsConnected());
  EXPECT_EQ(BytesOf(listener->TCP()->ReadAll()), "hello");
  listener->Unlock();
  raw::Close(peer);
}

TEST_F(TCPConnectionTest, APeerThatStopsReadingStallsTheSendWithoutError) {
  const std::string data = Pattern(32 * 1024 * 1024);
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  std::atomic<bool> read{false};
  std::string received;
  PeerThread peer([&] {
    SOCKET accepted = shim::accept(listener, nullptr, nullptr);
    while (!read) Sleep(1);
    received = raw::Receive(accepted, data.size());
    raw::Close(accepted);
  });
  FakeSocketOwner* client = Client("C", port);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  client->TCP()->Write(Text(data).get());
  PumpSocketsUntil([] { return false; }, 2000);
  EXPECT_TRUE(client->TCP()->IsSending());
  EXPECT_GT(client->TCP()->SendQueueLength(), 0u);
  EXPECT_GT(ProgressOf(journal, "C").lastBytesLeft, 0);
  EXPECT_TRUE(journal.With("C Error").empty());
  EXPECT_EQ(journal.Count("C SendComplete(false)"), 0);

  read = true;
  ASSERT_TRUE(PumpUntilRecorded(journal, "C SendComplete(false)", 60000));
  peer.Join();
  EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
  PumpSocketsUntil([] { return false; }, 50);
  EXPECT_EQ(journal.Count("C SendComplete(false)"), 1);
  Drop(client);
  raw::Close(listener);
}

TEST_F(TCPConnectionTest, AHandOffAsksNoNewSocketWhileTheMinimumWaits) {
  FakeSocketOwner* server = EchoServer(2);
  EXPECT_EQ(journal.Count("S AddSocket"), 12);
  SOCKET peer = raw::ConnectTo(server->TCP()->GetPort());
  ASSERT_TRUE(PumpUntilRecorded(journal, "N12 Connected"));
  EXPECT_EQ(journal.Count("S AddSocket"), 12);
  EXPECT_EQ(server->TCP()->Pool()->StandbyCount(), 11u);
  EXPECT_EQ(Standby("N12")->TCP()->Server(), server->TCP());
  EXPECT_EQ(static_cast<TCPSocketPosix*>(Standby("N12")->TCP())->ReceiveChunk(), 8192);
  raw::Close(peer);
  ASSERT_TRUE(PumpUntilRecorded(journal, "N12 destroyed"));
  Drop(server);
}

TEST_F(TCPConnectionTest, AHandedOffSocketTakesMoreThanOneChunkPerPoll) {
  FakeSocketOwner* server = EchoServer(1);
  SOCKET peer = raw::ConnectTo(server->TCP()->GetPort());
  ASSERT_TRUE(PumpUntilRecorded(journal, "N11 Connected"));
  FakeSocketOwner* handed = Standby("N11");
  handed->onDataAvailable = nullptr;
  auto* socket = static_cast<TCPSocketPosix*>(handed->TCP());
  ASSERT_EQ(socket->ReceiveChunk(), 8192);

  // Sent while nothing polls, until more than 64 KiB wait.
  const std::string data = Pattern(512 * 1024);
  PeerThread sender([&] { raw::SendAll(peer, data); });
  u_long waiting = 0;
  const ULONGLONG deadline = GetTickCount64() + kGenerous;
  while (waiting <= 64 * 1024 && GetTickCount64() < deadline) {
    Sleep(1);
    shim::ioctlsocket(socket->Descriptor(), long(FIONREAD), &waiting);
  }
  ASSERT_GT(waiting, 64u * 1024);
  socket->Poll();
  EXPECT_GT(socket->BytesAvailable(), 8192);
  EXPECT_LE(socket->BytesAvailable(), 1024 * 1024);
  EXPECT_EQ(journal.Count("N11 DataAvailable"), 1);
  sender.Join();
  raw::Close(peer);
  ASSERT_TRUE(PumpUntilRecorded(journal, "N11 destroyed"));
  Drop(server);
}

TEST_F(TCPConnectionTest, ASocketGivenAgainStartsItsNextConnectionEmpty) {
  // The application keeps R and gives it again once its connection ended;
  // R reads whole lines only.
  FakeSocketOwner* recycled = FakeSocketOwner::Create(Kind::kTCPSocket, "R", &journal);
  int32_t availableAtConnected = -1;
  std::string line;
  recycled->onConnected = [&](FakeSocketOwner& self) {
    availableAtConnected = self.TCP()->BytesAvailable();
  };
  recycled->onDataAvailable = [&](FakeSocketOwner& self) {
    const size_t end = BytesOf(self.TCP()->Lookahead()).find('\n');
    if (end != std::string::npos) line = BytesOf(self.TCP()->Read(int32_t(end + 1)));
  };
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal);
  server->addSocketAnswer = [&, fresh = FakeSocketOwner::AnswerNewSockets(&journal, "N")](
                                FakeSocketOwner& self) -> SocketOwner* {
    if (recycled->TCP()->IsRegistered()) return fresh(self);
    recycled->Lock();
    return recycled;
  };
  server->TCP()->Listen(0);
  const int32_t port = server->TCP()->GetPort();
  ASSERT_TRUE(PumpUntilRecorded(journal, "S AddSocket", kGenerous, 11));
  CloseStandbyExcept(server, recycled);

  SOCKET first = raw::ConnectTo(port);
  raw::SendAll(first, "L");
  raw::Close(first);
  ASSERT_TRUE(PumpUntilRecorded(journal, "R Error(102)"));
  EXPECT_EQ(recycled->TCP()->BytesAvailable(), 1);

  // On standby again, R still holds what the last client left, and has
  // something written before its next client came.
  CloseStandbyExcept(server, recycled);
  ASSERT_TRUE(PumpSocketsUntil([&] { return recycled->TCP()->IsRegistered(); }, kGenerous));
  CloseStandbyExcept(server, recycled);
  EXPECT_EQ(BytesOf(recycled->TCP()->Lookahead()), "L");
  recycled->TCP()->Write(Text("stale").get());

  SOCKET second = raw::ConnectTo(port);
  raw::SendAll(second, "hello\n");
  ASSERT_TRUE(PumpSocketsUntil([&] { return !line.empty(); }, kGenerous));
  EXPECT_EQ(availableAtConnected, 0);
  EXPECT_EQ(line, "hello\n");
  EXPECT_EQ(recycled->lastErrorCode, 0);
  recycled->TCP()->Close(false);
  EXPECT_EQ(raw::ReceiveUntilClosed(second), "");
  raw::Close(second);
  recycled->Unlock();
  Drop(server);
}

TEST_F(TCPConnectionTest, AConnectionBeforeTheFirstFillWaitsForItsStandbySocket) {
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal);
  server->addSocketAnswer = FakeSocketOwner::AnswerNewSockets(&journal, "N");
  server->TCP()->Listen(0);
  // Connected before anything polled the server: its pool is still empty.
  FakeSocketOwner* client = Client("C", server->TCP()->GetPort());
  ASSERT_TRUE(PumpUntilRecorded(journal, "N11 Connected"));
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  EXPECT_TRUE(journal.With("C Error").empty());
  Drop(client);
  ASSERT_TRUE(PumpUntilRecorded(journal, "N11 destroyed"));
  Drop(server);
}

TEST_F(TCPConnectionTest, AnEmptyStandbyDropsTheConnection) {
  FakeSocketOwner* server = EchoServer(1);
  ServerSocketPool* pool = server->TCP()->Pool();
  while (pool->StandbyCount() > 0) pool->TakeNewest()->Implementation()->Close(false);
  FakeSocketOwner* client = Client("C", server->TCP()->GetPort());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Error(102)"));
  EXPECT_LT(PositionOf(journal, "C Connected"), PositionOf(journal, "C Error(102)"));
  EXPECT_TRUE(server->TCP()->IsListening());
  client->Unlock();
  Drop(server);
}

TEST_F(TCPConnectionTest, AClientResetBeforeItIsAcceptedIsSkippedAndListeningGoesOn) {
  FakeSocketOwner* server = EchoServer(1);
  // Connected and reset while nothing polls the server.
  SOCKET gone = raw::ConnectTo(server->TCP()->GetPort());
  const linger abort{1, 0};
  shim::setsockopt(gone, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                   sizeof abort);
  raw::Close(gone);
  // Waiting behind it: its echo shows that the server went past the reset.
  FakeSocketOwner* client = Client("C", server->TCP()->GetPort());
  client->TCP()->Write(Text("still here").get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C DataAvailable"));
  EXPECT_EQ(BytesOf(client->TCP()->ReadAll()), "still here");
  EXPECT_TRUE(journal.With("S ServerError").empty());
  EXPECT_TRUE(server->TCP()->IsListening());
  Drop(client);
  // Its handed-off socket ends with the client.
  ASSERT_TRUE(PumpSocketsUntil(
      [&] { return RegisteredSocketCount() == 1 + server->TCP()->Pool()->StandbyCount(); },
      kGenerous));
  Drop(server);
}

TEST_F(TCPConnectionTest, StoppingAServerLeavesItsHandedOffConnectionsRunning) {
  FakeSocketOwner* server = EchoServer(1);
  FakeSocketOwner* client = Client("C", server->TCP()->GetPort());
  ASSERT_TRUE(PumpUntilRecorded(journal, "N11 Connected"));
  client->TCP()->Write(Text("one").get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C DataAvailable"));
  EXPECT_EQ(BytesOf(client->TCP()->ReadAll()), "one");

  server->TCP()->Close(false);
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(journal.Count("N" + std::to_string(i) + " destroyed"), 1);
  EXPECT_EQ(Standby("N11")->TCP()->Server(), nullptr);
  client->TCP()->Write(Text("two").get());
  ASSERT_TRUE(PumpUntilRecorded(journal, "C DataAvailable", kGenerous, 2));
  EXPECT_EQ(BytesOf(client->TCP()->ReadAll()), "two");

  Drop(client);
  ASSERT_TRUE(PumpUntilRecorded(journal, "N11 destroyed"));
  server->Unlock();
}

TEST_F(TCPConnectionTest, ListeningAgainOnItsOwnPortRenewsThePool) {
  FakeSocketOwner* server = EchoServer(2);
  const int32_t port = server->TCP()->GetPort();
  server->TCP()->Listen(port);
  EXPECT_EQ(server->lastErrorCode, 0);
  EXPECT_TRUE(server->TCP()->IsListening());
  EXPECT_EQ(server->TCP()->GetPort(), port);
  int entries = 0;
  for (uint32_t i = 0; i < RegisteredSocketCount(); ++i) {
    if (RegisteredSocketAt(i) == server->TCP()) ++entries;
  }
  EXPECT_EQ(entries, 1);
  for (int i = 1; i <= 12; ++i) EXPECT_EQ(journal.Count("N" + std::to_string(i) + " destroyed"), 1);
  ASSERT_TRUE(PumpUntilRecorded(journal, "S AddSocket", kGenerous, 24));
  EXPECT_TRUE(journal.With("S Error").empty());
  Drop(server);
}

TEST_F(TCPConnectionTest, ConnectingAgainClosesTheOldConnectionFirst) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  std::string firstRead = "open";
  PeerThread peer([&] {
    SOCKET first = shim::accept(listener, nullptr, nullptr);
    firstRead = raw::ReceiveUntilClosed(first);
    raw::Close(first);
    raw::Close(shim::accept(listener, nullptr, nullptr));
  });
  FakeSocketOwner* client = Client("C", port);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  client->TCP()->Connect(Text("127.0.0.1").get(), port);
  EXPECT_EQ(client->ReferenceCount(), 2);
  int entries = 0;
  for (uint32_t i = 0; i < RegisteredSocketCount(); ++i) {
    if (RegisteredSocketAt(i) == client->TCP()) ++entries;
  }
  EXPECT_EQ(entries, 1);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected", kGenerous, 2));
  peer.Join();
  EXPECT_EQ(firstRead, "");
  Drop(client);
  raw::Close(listener);
}

TEST_F(TCPConnectionTest, AnOwnerlessSocketReportsToItsListenerAndIsClosedAndReset) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  PeerThread peer([&] {
    SOCKET accepted = shim::accept(listener, nullptr, nullptr);
    raw::SendAll(accepted, "hi");
    raw::Close(accepted);
  });
  RecordingSocketListener recorder("D", &journal);
  std::unique_ptr<TCPSocketImp> socket(NewTCPSocketImp(nullptr, &recorder));
  socket->Connect(Text("127.0.0.1").get(), port);
  // Only the background polls, which take ownerless sockets only.
  const ULONGLONG deadline = GetTickCount64() + kGenerous;
  while (journal.Count("D Error(102)") == 0 && GetTickCount64() < deadline) {
    PollRegisteredSockets(true);
    Sleep(1);
  }
  EXPECT_EQ(journal.Take(),
            (std::vector<std::string>{"D Connected", "D DataAvailable", "D Error(102)"}));
  EXPECT_FALSE(socket->IsRegistered());
  EXPECT_FALSE(socket->IsConnected());
  EXPECT_EQ(socket->LastError(), 0);
  EXPECT_EQ(BytesOf(socket->ReadAll()), "hi");
  peer.Join();
  raw::Close(listener);
}

}  // namespace
