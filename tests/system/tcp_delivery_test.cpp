// The portable half of TCP sockets: the byte queues, the order of a
// delivery, and the server pool.
#include "tests/system/SystemTestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "system/ByteQueue.h"
#include "system/TCPSocket.h"

namespace {

using Env = RuntimeTestEnvironment;

// A socket of the portable half alone, whose receive queue the test fills.
class QueueSocket : public TCPSocketImp {
 public:
  QueueSocket(SocketOwner* owner, SocketListener* listener) : TCPSocketImp(owner, listener) {}
  void Receive(const std::string& bytes) { receiveBuffer_.Append(bytes.data(), bytes.size()); }
};

std::string Drain(ByteQueue& queue, size_t piece) {
  std::string all;
  while (!queue.Empty()) all += BytesOf(queue.Read(int32_t(piece)));
  return all;
}

std::string Pattern(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 2654435761u + seed) >> 13);
  return bytes;
}

TEST(ByteQueueTest, BytesComeOutInOrderAcrossGrowthAndCompaction) {
  ByteQueue queue;
  const std::string first = Pattern(300000, 1);
  const std::string second = Pattern(500000, 2);
  queue.Append(first.data(), first.size());
  // Past half the storage and 64 KiB: the rest moves to the front.
  EXPECT_EQ(BytesOf(queue.Read(250000)), first.substr(0, 250000));
  queue.Append(second.data(), second.size());
  EXPECT_EQ(queue.Length(), 550000u);
  EXPECT_EQ(Drain(queue, 4096), first.substr(250000) + second);
  EXPECT_EQ(queue.Length(), 0u);
  queue.Append("abc", 3);
  EXPECT_EQ(BytesOf(queue.Lookahead()), "abc");
  EXPECT_EQ(BytesOf(queue.ReadAll()), "abc");
  EXPECT_TRUE(queue.Empty());
}

class TCPDeliveryTest : public SocketTest {};

TEST_F(TCPDeliveryTest, ReadLookaheadAndPurgeLeaveTheRightBytes) {
  QueueSocket socket(nullptr, nullptr);
  socket.Receive("hello");
  EXPECT_EQ(BytesOf(socket.Read(0)), "");
  EXPECT_EQ(socket.BytesAvailable(), 5);
  EXPECT_EQ(BytesOf(socket.Read(2)), "he");
  EXPECT_EQ(BytesOf(socket.Lookahead()), "llo");
  EXPECT_EQ(socket.BytesAvailable(), 3);
  EXPECT_EQ(BytesOf(socket.Read(100)), "llo");
  EXPECT_EQ(socket.BytesAvailable(), 0);

  socket.Write(Text("out").get());
  socket.Write(Text("put").get());
  socket.Receive("in");
  socket.Purge();
  EXPECT_EQ(socket.BytesAvailable(), 0);
  EXPECT_EQ(socket.SendQueueLength(), 6u);
  EXPECT_TRUE(socket.IsSending());
  socket.Receive("kept");
  socket.Reset(false);
  EXPECT_FALSE(socket.IsSending());
  EXPECT_EQ(BytesOf(socket.ReadAll()), "kept");
  EXPECT_EQ(BytesOf(socket.GetRemoteAddress()), "");
}

TEST_F(TCPDeliveryTest, EveryPendingEventIsDeliveredInItsPlace) {
  RecordingSocketListener listener("L", &journal);
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal, 0);
  auto* socket = new QueueSocket(server, &listener);
  server->SetImplementation(socket);
  server->addSocketAnswer = FakeSocketOwner::AnswerNewSockets(&journal, "N");
  socket->Listen(0);
  socket->Write(Text("abc").get());
  socket->ReportError(103);
  socket->SetPending(kSocketConnected | kSocketDataAvailable | kSocketSendComplete |
                     kSocketSendProgress | kSocketError);
  socket->DeliverEvents();

  const std::vector<std::string> expected = {
      "L Connected",         "S Connected",           "L DataAvailable", "S DataAvailable",
      "L SendComplete",      "S SendComplete(false)", "S AddSocket",     "S AddSocket",
      "S AddSocket",         "S AddSocket",           "S AddSocket",     "S AddSocket",
      "S AddSocket",         "S AddSocket",           "S AddSocket",     "S AddSocket",
      "L SendProgress(0,3)", "S SendProgress(0,3)",   "L Error(103)",    "S Error(103)",
      "S ServerError(103)"};
  std::vector<std::string> seen = journal.Take();
  ASSERT_GE(seen.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + expected.size()), expected);
  // The error tail closed the server and gave its standby sockets back.
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "N1 destroyed"), 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "N10 destroyed"), 1);
  EXPECT_EQ(GetAndClearEvents(socket), 63u);
  EXPECT_EQ(socket->EventMask(), 0u);
  EXPECT_EQ(socket->PendingEvents(), 0u);
  EXPECT_FALSE(socket->IsRegistered());
  server->Unlock();
}

TEST_F(TCPDeliveryTest, SendProgressAbortEmptiesTheQueueAndIsReportedOnce) {
  FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kTCPSocket, "A", &journal);
  auto* socket = new QueueSocket(owner, nullptr);
  owner->SetImplementation(socket);
  owner->sendProgressAnswer = true;
  socket->Write(Text("unsent").get());
  socket->SetPending(kSocketSendProgress);
  socket->DeliverEvents();
  EXPECT_FALSE(socket->IsSending());
  socket->DeliverEvents();
  owner->sendProgressAnswer = false;
  socket->SetPending(kSocketSendProgress);
  socket->DeliverEvents();
  socket->DeliverEvents();
  EXPECT_EQ(journal.Take(),
            (std::vector<std::string>{"A SendProgress(0,6)", "A SendComplete(true)",
                                      "A SendProgress(0,0)", "A SendComplete(false)"}));
  owner->Unlock();
}

class ServerPoolTest : public SocketTest {
 protected:
  // A listening server socket whose AddSocket makes new fakes N1, N2 ...
  FakeSocketOwner* ListeningServer(int32_t minimum) {
    FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal, minimum);
    server->addSocketAnswer = FakeSocketOwner::AnswerNewSockets(&journal, "N");
    server->TCP()->Listen(0);
    EXPECT_TRUE(server->TCP()->IsListening());
    return server;
  }

  int AddSocketCalls() { return journal.Count("S AddSocket"); }

  // Takes standby sockets off the pool until `left` wait, as hand-offs
  // would, giving each one's reference back.
  void TakeStandbyDownTo(FakeSocketOwner* server, uint32_t left) {
    ServerSocketPool* pool = server->TCP()->Pool();
    while (pool->StandbyCount() > left) pool->TakeNewest()->Implementation()->Close(false);
    server->TCP()->ConnectionReleased();
  }

  static bool NilObjectExceptionPending() {
    return ObjectIsADefinition(RuntimePendingException(), GetNilObjectExceptionClassDefinition());
  }
};

TEST_F(ServerPoolTest, TheFirstDeliveryFillsMinimumPlusTenThenTenWhenShort) {
  FakeSocketOwner* server = ListeningServer(2);
  ServerSocketPool* pool = server->TCP()->Pool();
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 12);
  EXPECT_TRUE(pool->Started());
  ASSERT_EQ(pool->StandbyCount(), 12u);
  // Standby sockets are registered, held only by the pool's reference.
  auto* standby = static_cast<FakeSocketOwner*>(pool->StandbyAt(0));
  EXPECT_TRUE(standby->TCP()->IsRegistered());
  EXPECT_TRUE(standby->TCP()->OwnerLocked());
  EXPECT_EQ(standby->ReferenceCount(), 1);
  EXPECT_EQ(RegisteredSocketCount(), 13u);

  PollRegisteredSockets(false);
  TakeStandbyDownTo(server, 2);
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 12);
  TakeStandbyDownTo(server, 1);
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 22);
  EXPECT_EQ(pool->StandbyCount(), 11u);
  EXPECT_NE(server->TCP()->EventMask() & kSocketServerRefill, 0u);

  // Stopping destroys every standby socket.
  server->TCP()->Close(false);
  EXPECT_EQ(server->TCP()->Pool(), nullptr);
  EXPECT_FALSE(server->TCP()->IsListening());
  EXPECT_EQ(RegisteredSocketCount(), 0u);
  EXPECT_EQ(FakeSocketOwner::LiveCount(), 1);
  server->Unlock();
}

TEST_F(ServerPoolTest, APoolFarBelowItsMinimumFillsInOneDelivery) {
  FakeSocketOwner* server = ListeningServer(25);
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 35);
  TakeStandbyDownTo(server, 5);
  journal.Take();
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 20);
  EXPECT_EQ(server->TCP()->Pool()->StandbyCount(), 25u);
  server->Unlock();
}

TEST_F(ServerPoolTest, APoolWithoutAMinimumIsFilledAgainOnlyWhenItRunsDry) {
  for (const int32_t minimum : {0, -5}) {
    FakeSocketOwner* server = ListeningServer(minimum);
    PollRegisteredSockets(false);
    EXPECT_EQ(AddSocketCalls(), minimum + 10) << minimum;
    TakeStandbyDownTo(server, 1);
    PollRegisteredSockets(false);
    EXPECT_EQ(AddSocketCalls(), minimum + 10) << minimum;
    // Otherwise every later connection would be dropped for want of one.
    TakeStandbyDownTo(server, 0);
    PollRegisteredSockets(false);
    EXPECT_EQ(AddSocketCalls(), minimum + 20) << minimum;
    EXPECT_EQ(server->TCP()->Pool()->StandbyCount(), 10u) << minimum;
    server->Unlock();
    journal.Take();
  }
}

TEST_F(ServerPoolTest, ANilAnswerRaisesAndStopsTheFillUntilTheNextDelivery) {
  FakeSocketOwner* server = ListeningServer(2);
  server->addSocketAnswer = FakeSocketOwner::AnswerNil();
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 1);
  EXPECT_TRUE(NilObjectExceptionPending());
  RuntimeUnlockObject(RuntimeTakePendingException());
  // The first fill was cut short: the next delivery starts it again.
  EXPECT_FALSE(server->TCP()->Pool()->Started());
  EXPECT_TRUE(server->TCP()->IsPending(kSocketServerRefill));
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 2);
  RuntimeUnlockObject(RuntimeTakePendingException());

  server->addSocketAnswer = FakeSocketOwner::AnswerNewSockets(&journal, "N");
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 14);
  EXPECT_FALSE(RuntimeExceptionPending());
  EXPECT_EQ(server->TCP()->Pool()->StandbyCount(), 12u);
  server->Unlock();
}

TEST_F(ServerPoolTest, AnExceptionStopsTheRestOfTheDelivery) {
  FakeSocketOwner* server = ListeningServer(2);
  PollRegisteredSockets(false);
  TakeStandbyDownTo(server, 1);
  server->addSocketAnswer = FakeSocketOwner::AnswerNil();
  server->TCP()->ReportError(103);
  journal.Take();
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"S AddSocket"}));
  EXPECT_TRUE(NilObjectExceptionPending());
  RuntimeUnlockObject(RuntimeTakePendingException());
  EXPECT_EQ(server->TCP()->Pool()->StandbyCount(), 1u);
  EXPECT_EQ(static_cast<FakeSocketOwner*>(server->TCP()->Pool()->StandbyAt(0))->ReferenceCount(),
            1);
  EXPECT_TRUE(server->TCP()->IsPending(kSocketError));
  // The Error waits for the delivery that gets past the pool.
  server->addSocketAnswer = FakeSocketOwner::AnswerNewSockets(&journal, "M");
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Count("S AddSocket"), 10);
  EXPECT_EQ(journal.Count("S ServerError(103)"), 1);
  server->Unlock();
}

TEST_F(ServerPoolTest, AnAnswerAlreadyRegisteredIsRefused) {
  FakeSocketOwner* server = ListeningServer(2);
  PollRegisteredSockets(false);
  TakeStandbyDownTo(server, 1);
  auto* waiting = static_cast<FakeSocketOwner*>(server->TCP()->Pool()->StandbyAt(0));
  server->addSocketAnswer = [waiting](FakeSocketOwner&) -> SocketOwner* {
    waiting->Lock();
    return waiting;
  };
  PollRegisteredSockets(false);
  EXPECT_TRUE(NilObjectExceptionPending());
  RuntimeUnlockObject(RuntimeTakePendingException());
  EXPECT_EQ(waiting->ReferenceCount(), 1);
  EXPECT_EQ(server->TCP()->Pool()->StandbyCount(), 1u);
  EXPECT_EQ(RegisteredSocketCount(), 2u);

  // The server itself is no TCPSocket for its pool either.
  server->addSocketAnswer = FakeSocketOwner::AnswerThis();
  PollRegisteredSockets(false);
  EXPECT_TRUE(NilObjectExceptionPending());
  RuntimeUnlockObject(RuntimeTakePendingException());
  EXPECT_EQ(server->ReferenceCount(), 1);
  server->Unlock();
}

TEST_F(ServerPoolTest, AnAddSocketHandlerStoppingTheServerEndsTheFill) {
  FakeSocketOwner* server = FakeSocketOwner::Create(Kind::kServerSocket, "S", &journal, 2);
  server->addSocketAnswer =
      FakeSocketOwner::AnswerNewSockets(&journal, "N", [server](FakeSocketOwner& made) {
        if (made.Name() == "N3") server->TCP()->Close(false);
      });
  server->TCP()->Listen(0);
  PollRegisteredSockets(false);
  EXPECT_EQ(AddSocketCalls(), 3);
  EXPECT_EQ(server->TCP()->Pool(), nullptr);
  EXPECT_EQ(RegisteredSocketCount(), 0u);
  EXPECT_EQ(FakeSocketOwner::LiveCount(), 1);
  server->Unlock();
}

TEST_F(ServerPoolTest, APoolWithoutServerIsReported) {
  ServerSocketPool pool(nullptr, 1);
  EXPECT_EQ(pool.Refill(), ServerSocketPool::Fill::kEnough);
  const std::vector<std::string> texts = Env::TakeRecordedTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("ss->mServerSocketControl"), std::string::npos);
  EXPECT_NE(texts[0].find("Source: TCPSocket, line 393"), std::string::npos);
}

}  // namespace
