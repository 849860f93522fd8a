// TCP sockets at scale: the walk's shared readiness against each socket
// asking alone, a burst of clients, receive chunks over a large transfer,
// and the byte queue's held and handed-over storage.
#include "tests/system/SystemTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "core/string.h"
#include "system/ByteQueue.h"
#include "system/SocketImp.h"
#include "system/TCPSocketPosix.h"

namespace {

constexpr uint32_t kLong = 60000;

// Puts the shared readiness back however the test ends.
class ReadinessMode {
 public:
  explicit ReadinessMode(bool shared) { SetSharedReadiness(shared); }
  ~ReadinessMode() { SetSharedReadiness(true); }
};

std::string Bytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = char(seed >> 24);
  }
  return bytes;
}

// What one connection through the echo server came to: the server side's
// events (first occurrences, in order, progress left out), the bytes it
// received and the bytes its client got back.
struct Outcome {
  std::string events;
  std::string received;
  std::string echoed;
  bool operator==(const Outcome& other) const {
    return events == other.events && received == other.received && echoed == other.echoed;
  }
};

std::string FirstOccurrences(const std::vector<std::string>& entries, size_t prefixLength,
                             bool withSendComplete) {
  std::vector<std::string> seen;
  for (const std::string& entry : entries) {
    std::string event = entry.substr(prefixLength);
    if (event.rfind("SendProgress", 0) == 0) continue;
    if (!withSendComplete && event.rfind("SendComplete", 0) == 0) continue;
    if (std::find(seen.begin(), seen.end(), event) == seen.end()) seen.push_back(event);
  }
  std::string joined;
  for (const std::string& event : seen) joined += event + " ";
  return joined;
}

enum class Ending { kClose, kHalfClose, kAbort };

int (WSAAPI* ShutdownEntry())(SOCKET, int) {
  return reinterpret_cast<int(WSAAPI*)(SOCKET, int)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"wsock32.dll"), "shutdown")));
}

// One client of the peer thread: its tagged bytes, then its ending; gives
// what came back.
std::string RunClient(int32_t port, const std::string& bytes, Ending ending) {
  SOCKET peer = raw::ConnectTo(port);
  if (peer == INVALID_SOCKET) return "connect failed";
  raw::SendAll(peer, bytes);
  std::string echoed;
  if (ending == Ending::kHalfClose) {
    ShutdownEntry()(peer, 1);  // no more sending
    echoed = raw::ReceiveUntilClosed(peer);
  } else {
    echoed = raw::Receive(peer, bytes.size());
  }
  if (ending == Ending::kAbort) {
    const linger abort{1, 0};
    shim::setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                     sizeof abort);
  }
  raw::Close(peer);
  return echoed;
}

class TCPThroughputTest : public SocketTest {
 protected:
  // 200 clients of random sizes, a third each closing, half-closing and
  // aborting, through a pooled echo server; the outcome per client.
  std::map<int, Outcome> TwoHundredClients(bool shared) {
    ReadinessMode mode(shared);
    SocketJournal events;
    std::map<std::string, std::string> receivedBy;
    int errors = 0;
    FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &events, 5);
    server->addSocketAnswer =
        FakeSocketOwner::AnswerNewSockets(&events, "N", [&](FakeSocketOwner& made) {
          made.onDataAvailable = [&](FakeSocketOwner& self) {
            StringRef piece = StringRef::Adopt(self.TCP()->ReadAll());
            receivedBy[self.Name()] += StringBytes(piece.get());
            self.TCP()->Write(piece.get());
          };
          made.onError = [&](FakeSocketOwner&) { ++errors; };
        });
    server->TCP()->Listen(0);
    const int32_t port = server->TCP()->GetPort();

    constexpr int kClients = 200;
    std::mt19937 random(19);
    std::vector<std::string> sent;
    for (int i = 0; i < kClients; ++i) {
      char tag[8];
      std::snprintf(tag, sizeof tag, "C%03d:", i);
      sent.push_back(tag + Bytes(std::uniform_int_distribution<size_t>(1, 200000)(random), i));
    }
    std::vector<std::string> echoed(kClients);
    std::atomic<bool> done{false};
    PeerThread clients([&] {
      for (int i = 0; i < kClients; ++i) echoed[i] = RunClient(port, sent[i], Ending(i % 3));
      done = true;
    });
    EXPECT_TRUE(PumpSocketsUntil([&] { return done && errors == kClients; }, kLong));
    clients.Join();
    server->TCP()->Close(false);
    server->Unlock();

    std::map<int, Outcome> outcomes;
    for (const auto& [name, received] : receivedBy) {
      const int client = std::atoi(received.c_str() + 1);
      Outcome& outcome = outcomes[client];
      outcome.events = FirstOccurrences(events.With(name + " "), name.size() + 1,
                                        Ending(client % 3) != Ending::kHalfClose);
      outcome.received = received;
      outcome.echoed = echoed[client];
    }
    for (int i = 0; i < kClients; ++i) {
      EXPECT_EQ(outcomes[i].received.size(), sent[i].size()) << i;
      EXPECT_TRUE(outcomes[i].received == sent[i]) << i;
      // A half-closed connection ends when the server sees the close, which
      // may come before its echo went out.
      EXPECT_EQ(sent[i].compare(0, outcomes[i].echoed.size(), outcomes[i].echoed), 0) << i;
      if (Ending(i % 3) != Ending::kHalfClose) {
        EXPECT_EQ(outcomes[i].echoed.size(), sent[i].size()) << i;
      } else {
        outcomes[i].echoed.clear();  // how much is timing, not behaviour
      }
    }
    return outcomes;
  }

  // Clients connected at once to a pooled server; handed-off sockets are
  // counted as they connect.
  struct Crowd {
    FakeSocketOwner* server = nullptr;
    std::vector<FakeSocketOwner*> clients;
    int handed = 0;
    int connected = 0;
  };

  void Gather(Crowd& crowd, int count, int burst) {
    crowd.server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal, 5);
    crowd.server->addSocketAnswer =
        FakeSocketOwner::AnswerNewSockets(&journal, "N", [&crowd](FakeSocketOwner& made) {
          made.onConnected = [&crowd](FakeSocketOwner&) { ++crowd.handed; };
        });
    crowd.server->TCP()->Listen(0);
    const int32_t port = crowd.server->TCP()->GetPort();
    for (int made = 0; made < count; made += burst) {
      for (int i = 0; i < burst; ++i) {
        crowd.clients.push_back(
            FakeSocketOwner::Create(Kind::kTCPSocket, "C" + std::to_string(made + i), &journal));
        crowd.clients.back()->onConnected = [&crowd](FakeSocketOwner&) { ++crowd.connected; };
        crowd.clients.back()->TCP()->Connect(Text("127.0.0.1").get(), port);
      }
      const int target = made + burst;
      ASSERT_TRUE(PumpSocketsUntil(
          [&] { return crowd.connected >= target && crowd.handed >= target; }, 10000))
          << crowd.connected << " connected, " << crowd.handed << " handed off";
    }
  }

  void Disperse(Crowd& crowd) {
    for (FakeSocketOwner* client : crowd.clients) {
      client->TCP()->Close(false);
      client->Unlock();
    }
    PumpSocketsUntil([&] { return RegisteredSocketCount() <= 1 + StandbyCount(crowd); }, kLong);
    crowd.server->TCP()->Close(false);
    crowd.server->Unlock();
  }

  static uint32_t StandbyCount(const Crowd& crowd) {
    return crowd.server->TCP()->Pool()->StandbyCount();
  }
};

TEST_F(TCPThroughputTest, TwoHundredClientsFareTheSameWithSharedAndSeparateReadiness) {
  const std::map<int, Outcome> shared = TwoHundredClients(true);
  const std::map<int, Outcome> separate = TwoHundredClients(false);
  ASSERT_EQ(shared.size(), 200u);
  ASSERT_EQ(separate.size(), 200u);
  for (int i = 0; i < 200; ++i) {
    EXPECT_TRUE(shared.at(i) == separate.at(i)) << "client " << i << ": " << shared.at(i).events
                                                << "| " << separate.at(i).events;
    const char* expected = i % 3 == 1 ? "Connected DataAvailable Error(102) destroyed "
                                      : "Connected DataAvailable SendComplete(false) Error(102) "
                                        "destroyed ";
    EXPECT_EQ(shared.at(i).events, expected) << i;
  }
}

TEST_F(TCPThroughputTest, APollOverAThousandSocketsAsksForReadinessOnce) {
  Crowd crowd;
  Gather(crowd, 500, 50);
  ASSERT_GE(RegisteredSocketCount(), 1000u);
  uint32_t before = shim::ReadinessQueryCount();
  PollRegisteredSockets(false);
  EXPECT_EQ(shim::ReadinessQueryCount() - before, 1u);
  {
    ReadinessMode separate(false);
    before = shim::ReadinessQueryCount();
    PollRegisteredSockets(false);
    EXPECT_GE(shim::ReadinessQueryCount() - before, 1000u);
  }
  Disperse(crowd);
}

TEST_F(TCPThroughputTest, ABurstOfFiftyClientsIsAllHandedOffWithoutAnError) {
  Crowd crowd;
  Gather(crowd, 50, 50);
  EXPECT_TRUE(journal.With("C").size() >= 50u);
  for (const std::string& entry : journal.Entries())
    EXPECT_EQ(entry.find("Error"), std::string::npos) << entry;
  Disperse(crowd);
}

TEST_F(TCPThroughputTest, TheReceiveChunkGrowsOverALargeTransferAndResetsTo8KiB) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  const std::string data = Bytes(64 * 1024 * 1024, 64);
  PeerThread sender([&] {
    SOCKET peer = shim::accept(listener, nullptr, nullptr);
    raw::SendAll(peer, data);
    raw::Close(peer);
  });
  FakeSocketOwner* client = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  auto* socket = static_cast<TCPSocketPosix*>(client->TCP());
  std::string received;
  int32_t largest = 0;
  client->onDataAvailable = [&](FakeSocketOwner& self) {
    largest = std::max(largest, socket->ReceiveChunk());
    received += BytesOf(self.TCP()->ReadAll());
  };
  socket->Connect(Text("127.0.0.1").get(), port);
  EXPECT_EQ(socket->ReceiveChunk(), 8192);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Error(102)", kLong));
  sender.Join();
  EXPECT_GT(largest, 64 * 1024);
  EXPECT_LE(largest, 1024 * 1024);
  EXPECT_TRUE(received == data) << received.size();
  // The error tail closed and reset the socket the test still holds.
  EXPECT_EQ(socket->ReceiveChunk(), 8192);
  client->Unlock();
  raw::Close(listener);
}

TEST(ByteQueueStorageTest, HeldStringsStayUnwrittenAndReadsHandTheStorageOver) {
  const std::string large = Bytes(100000, 1);
  StringRef written = StringRef::Adopt(NewString(large, kEncodingASCII));
  ByteQueue queue;
  queue.Append(written.get());
  EXPECT_EQ(queue.Front(), StringData(written.get()));  // held, not copied
  queue.Consume(10);
  queue.Append("tail", 4);
  EXPECT_TRUE(StringBytes(written.get()) == large);
  EXPECT_EQ(BytesOf(queue.Read(5)), large.substr(10, 5));
  EXPECT_TRUE(BytesOf(queue.ReadAll()) == large.substr(15) + "tail");

  // Filled in place beyond what an emptied queue keeps, then read whole:
  // the string read is the storage.
  constexpr size_t kLarge = 3 << 20;
  const std::string filler = Bytes(kLarge, 2);
  ByteQueue filled;
  uint8_t* room = filled.Reserve(kLarge);
  std::memcpy(room, filler.data(), kLarge);
  filled.Commit(kLarge);
  StringRef read = StringRef::Adopt(filled.ReadAll());
  EXPECT_EQ(StringData(read.get()), room);
  EXPECT_TRUE(StringBytes(read.get()) == filler);
  EXPECT_EQ(StringData(read.get())[kLarge], 0);
  EXPECT_TRUE(filled.Empty());
  // Storage it keeps, or far larger than what waits, is not handed out.
  for (const size_t waiting : {size_t(6000), size_t(3)}) {
    ByteQueue kept;
    const size_t made = waiting == 3 ? kLarge : waiting;
    uint8_t* at = kept.Reserve(made);
    std::memcpy(at, filler.data(), waiting);
    kept.Commit(waiting);
    StringRef copy = StringRef::Adopt(kept.ReadAll());
    EXPECT_NE(StringData(copy.get()), at);
    EXPECT_EQ(StringBytes(copy.get()), filler.substr(0, waiting));
  }
}

}  // namespace
