// The registered list, the poll walk, the error tail, SimpleVector and the
// wake-up task.
#include "tests/system/SystemTestSupport.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "host/RunTimer.h"
#include "system/RuntimeSocketAccessors.h"
#include "system/SimpleVector.h"
#include "system/SocketImp.h"

namespace {

using Env = RuntimeTestEnvironment;

class SocketManagerTest : public SocketTest {
 protected:
  // An ownerless fake socket, registered.
  std::unique_ptr<FakeSocketImp> Registered(const std::string& name) {
    auto socket = std::make_unique<FakeSocketImp>(nullptr, name, &journal);
    socket->Listen(0);
    return socket;
  }

  // A fake socket of a TCPSocket owner, registered (with the owner's lock),
  // whose only reference is then the registration's.
  FakeSocketImp* RegisteredAlone(const std::string& name) {
    FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kOther, name, &journal);
    owner->Lock();  // stands in for the registration's lock
    auto* socket = new FakeSocketImp(owner, name, &journal);
    owner->SetImplementation(socket);
    socket->Listen(0);
    socket->AdoptOwnerReference();
    owner->Unlock();
    return socket;
  }
};

TEST_F(SocketManagerTest, NewestSocketsArePolledFirstAndLateOnesWaitForTheNextWalk) {
  auto a = Registered("A");
  auto b = Registered("B");
  auto c = Registered("C");
  std::unique_ptr<FakeSocketImp> d;
  b->onPoll = [&](FakeSocketImp&) {
    if (!d) d = Registered("D");
  };
  EXPECT_FALSE(PollRegisteredSockets(false));
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"C Poll", "B Poll", "A Poll"}));
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"D Poll", "C Poll", "B Poll", "A Poll"}));
  for (auto* socket : {a.get(), b.get(), c.get(), d.get()}) socket->Close(false);
}

TEST_F(SocketManagerTest, APollMayCloseItselfOrAnOlderSocketAndTheWalkGoesOn) {
  FakeSocketImp* a = RegisteredAlone("A");
  FakeSocketImp* b = RegisteredAlone("B");
  FakeSocketImp* c = RegisteredAlone("C");
  // C closes A, whose owner then goes (and deletes A); B closes itself and
  // goes too once its poll is over. The list shrank under the walk, so C
  // comes round again: A is closed once.
  c->onPoll = [&a](FakeSocketImp&) {
    if (a) std::exchange(a, nullptr)->Close(false);
  };
  b->onPoll = [](FakeSocketImp& self) { self.Close(false); };
  PollRegisteredSockets(false);
  const std::vector<std::string> seen = journal.Take();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "A Poll"), 0);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "B Poll"), 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "A destroyed"), 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), "B destroyed"), 1);
  ASSERT_EQ(RegisteredSocketCount(), 1u);
  EXPECT_EQ(RegisteredSocketAt(0), c);
  c->onPoll = nullptr;
  c->Close(false);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"C destroyed"}));
}

TEST_F(SocketManagerTest, OwnerlessOnlyPollsSocketsWithoutOwner) {
  FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kOther, "O", &journal);
  auto* owned = new FakeSocketImp(owner, "Owned", &journal);
  owner->SetImplementation(owned);
  owned->Listen(0);
  auto free = Registered("Free");
  PollRegisteredSockets(true);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"Free Poll"}));
  EXPECT_FALSE(PollSocketsIfStarted(true));
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"Free Poll"}));
  free->Close(false);
  owned->Close(false);
  owner->Unlock();
}

TEST_F(SocketManagerTest, OnlyUnsentDataMakesTheWalkReportSending) {
  auto quiet = Registered("Q");
  auto busy = Registered("B");
  busy->busy = true;
  EXPECT_FALSE(PollRegisteredSockets(false));
  quiet->sending = true;
  EXPECT_TRUE(PollRegisteredSockets(false));
  EXPECT_TRUE(PollSocketsIfStarted(false));
  // A socket that closes itself in its poll is not asked.
  quiet->onPoll = [](FakeSocketImp& self) { self.Close(false); };
  EXPECT_FALSE(PollRegisteredSockets(false));
  busy->Close(false);
}

TEST_F(SocketManagerTest, AnExceptionLeftByAPollEndsTheWalk) {
  auto older = Registered("A");
  auto newer = Registered("B");
  newer->onPoll = [](FakeSocketImp&) { RaiseNilObjectException(); };
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"B Poll"}));
  EXPECT_TRUE(RuntimeExceptionPending());
  RuntimeUnlockObject(RuntimeTakePendingException());
  older->Close(false);
  newer->Close(false);
}

TEST_F(SocketManagerTest, CloseReleasesTheOwnerLockOfAnUnregisteredSocket) {
  FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kOther, "O", &journal);
  auto* socket = new FakeSocketImp(owner, "S", &journal);
  owner->SetImplementation(socket);
  owner->Lock();
  socket->AdoptOwnerReference();
  socket->Close(false);
  EXPECT_EQ(owner->ReferenceCount(), 1);
  EXPECT_FALSE(socket->OwnerLocked());
  socket->Close(false);
  EXPECT_EQ(owner->ReferenceCount(), 1);
  // Keeping the lock leaves the count alone.
  owner->Lock();
  socket->AdoptOwnerReference();
  socket->Close(true);
  EXPECT_EQ(owner->ReferenceCount(), 2);
  socket->Close(false);
  owner->Unlock();
}

TEST_F(SocketManagerTest, TheErrorTailFreesAnOwnerHeldOnlyByTheRegistration) {
  FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  owner->TCP()->Listen(0);
  EXPECT_EQ(owner->ReferenceCount(), 2);
  owner->TCP()->ReportError(102);
  owner->Unlock();
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"C Error(102)", "C destroyed"}));
}

TEST_F(SocketManagerTest, TheErrorTailClosesAndResetsASocketReferencedElsewhere) {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  TCPSocketImp* socket = owner->TCP();
  socket->Connect(Text("127.0.0.1").get(), port);
  ASSERT_TRUE(PumpUntilRecorded(journal, "C Connected"));
  EXPECT_EQ(socket->Port(), port);
  socket->ReportError(102);
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Count("C Error(102)"), 1);
  EXPECT_FALSE(socket->IsRegistered());
  EXPECT_EQ(socket->Port(), 0);
  EXPECT_FALSE(socket->IsConnected());
  EXPECT_EQ(socket->LastError(), 0);
  EXPECT_EQ(socket->GetPort(), -1);
  EXPECT_EQ(owner->ReferenceCount(), 1);
  EXPECT_EQ(owner->lastErrorCode, 102);
  owner->Unlock();
  raw::Close(listener);
}

TEST_F(SocketManagerTest, AnErrorHandlerClosingItsOwnUnreferencedSocket) {
  FakeSocketOwner* owner = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
  owner->TCP()->Listen(0);
  owner->onError = [](FakeSocketOwner& self) { self.TCP()->Close(false); };
  owner->TCP()->ReportError(103);
  owner->Unlock();
  PollRegisteredSockets(false);
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"C Error(103)", "C destroyed"}));
}

std::vector<uint32_t> CapacitiesWhileRemoving(SimpleVector& vector,
                                              const std::vector<uint32_t>& atCounts) {
  std::vector<uint32_t> seen;
  while (vector.Count() > 0) {
    vector.RemoveAt(0);
    for (uint32_t count : atCounts) {
      if (vector.Count() == count) seen.push_back(vector.Capacity());
    }
  }
  return seen;
}

TEST(SimpleVectorTest, GrowsByItsCapacityAndShrinksToSixteens) {
  SimpleVector vector(0);
  int slot[33];
  std::vector<uint32_t> grown;
  for (int& item : slot) {
    vector.Append(&item);
    if (grown.empty() || grown.back() != vector.Capacity()) grown.push_back(vector.Capacity());
  }
  EXPECT_EQ(grown, (std::vector<uint32_t>{16, 32, 64}));
  EXPECT_EQ(vector.At(32), &slot[32]);
  EXPECT_EQ(CapacitiesWhileRemoving(vector, {21, 10, 1, 0}),
            (std::vector<uint32_t>{32, 16, 16, 16}));
}

TEST(SimpleVectorTest, AGrowStepGrowsByAtLeastSixteenAndShrinksToSteps) {
  SimpleVector vector(4);
  int slot[20];
  for (int& item : slot) vector.Append(&item);
  EXPECT_EQ(vector.Capacity(), 32u);
  EXPECT_EQ(CapacitiesWhileRemoving(vector, {19, 11, 3}), (std::vector<uint32_t>{20, 12, 4}));
}

TEST(SimpleVectorTest, TakingFromBothEnds) {
  SimplePointerVector<int> vector;
  int a = 1, b = 2, c = 3;
  vector.Append(&a);
  vector.Append(&b);
  vector.Append(&c);
  EXPECT_EQ(vector.TakeFirst(), &a);
  EXPECT_EQ(vector.TakeLast(), &c);
  EXPECT_EQ(vector.LastIndexOf(&b), 0);
  EXPECT_FALSE(vector.Contains(&a));
  EXPECT_EQ(vector.TakeLast(), &b);
  TakeRecordedBoxes();
  EXPECT_EQ(vector.TakeLast(), nullptr);
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Failed Assertion");
  EXPECT_NE(boxes[0].text.find("An internal check failed: 0\r\n"), std::string::npos);
  EXPECT_NE(boxes[0].text.find("Source: SimpleVector, line 264"), std::string::npos);
}

int nullsAtBystander = 0;

LRESULT CALLBACK BystanderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NULL) ++nullsAtBystander;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(SocketManagerTest, TheWakeupTaskTurnsAWaitingLoopOnlyThroughTheTimerWindow) {
  FakeSocketImp socket(nullptr, "S", &journal);
  ASSERT_TRUE(SocketWakeupTaskExists());
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = BystanderProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"SocketWakeBystander";
  RegisterClassW(&windowClass);
  HWND bystander = CreateWindowExW(0, L"SocketWakeBystander", L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(bystander, nullptr);
  Env::RunTurns(5);
  nullsAtBystander = 0;

  int turns = 0;
  const ULONGLONG start = GetTickCount64();
  while (GetTickCount64() - start < 1000) {
    RuntimeRunTurn(INFINITE);
    ++turns;
  }
  EXPECT_GE(turns, 30);
  EXPECT_EQ(nullsAtBystander, 0);
  DestroyWindow(bystander);
}

}  // namespace
