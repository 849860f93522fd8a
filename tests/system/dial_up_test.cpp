// Dial-up over the platform's Remote Access stubs (nothing there), with the
// libraries disabled, and over our fakes (OwnDialUp*), which log every call
// and fire the dial notifier on request.
#include "core/diagnostics.h"
#include "system/DialUp.h"
#include "tests/system/SystemTestSupport.h"

namespace {

std::vector<std::string> reports;
void RecordReport(const std::string& text) { reports.push_back(text); }

int32_t Status() { return socketPPPStatus(nullptr); }
void Connect(bool userInteraction) { socketPPPConnect(nullptr, userInteraction); }

// Calls an export of a fake library the test holds.
template <class Result = void, class... Arguments>
Result Fake(const char* library, const char* name, Arguments... arguments) {
  void* function = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(library), name));
  if (!function) ADD_FAILURE() << name << " is not loaded";
  if (!function) return Result();
  return reinterpret_cast<Result(WINAPI*)(Arguments...)>(function)(arguments...);
}

template <class Base>
class RasFixture : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    previous_ = SetRasErrorReporter(RecordReport);
    reports.clear();
  }
  void TearDown() override {
    socketPPPDisconnect(nullptr);
    SetRasErrorReporter(previous_);
    Base::TearDown();
  }

 private:
  RasErrorReporter previous_ = nullptr;
};

using DialUpTest = RasFixture<HostTest>;

TEST_F(DialUpTest, ThePlatformStubsHaveNothingToDialAndSayWhy) {
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(socketPPPDisconnect(nullptr), 0);
  Connect(false);
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(reports, std::vector<std::string>{"RAS error 623"});

  SetRasErrorReporter(nullptr);
  Connect(false);
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption + "|" + boxes[0].text, "RAS Error|RAS error 623");
  EXPECT_EQ(boxes[0].buttons, uint32_t(kBoxOK));
}

class OwnNoDialUp : public RasFixture<OwnProcessTest> {};

TEST_F(OwnNoDialUp, WithoutTheLibrariesEveryEntryGivesZeroQuietly) {
  Connect(false);
  Connect(true);
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(socketPPPDisconnect(nullptr), 0);
  EXPECT_TRUE(reports.empty());
}

// The fakes, held by the test for their controls.
class OwnDialUp : public RasFixture<OwnProcessTest> {
 protected:
  void SetUp() override {
    RasFixture::SetUp();
    api_ = LoadLibraryA("RasApi32.dll");
    dialogs_ = LoadLibraryA("RasDlg.dll");
    if (!IsSkipped()) Fake("RasApi32.dll", "FakeRasReset");
  }
  void TearDown() override {
    RasFixture::TearDown();
    FreeLibrary(api_);
    FreeLibrary(dialogs_);
  }
  static void Set(std::vector<UINT_PTR> up) {
    Fake("RasApi32.dll", "FakeRasSetConnections", up.data(), DWORD(up.size()));
  }
  // The calls logged since the last look.
  std::string TakeLog() {
    const std::string calls = Fake<const char*>("RasApi32.dll", "FakeRasLog");
    return calls.substr(std::exchange(seen_, calls.size()));
  }
  // Fires the notifier on another thread; the main loop runs until the
  // status reads `expected`.
  static bool Notify(DWORD state, DWORD error, int32_t expected) {
    PeerThread([=] { EXPECT_TRUE(Fake<BOOL>("RasApi32.dll", "FakeRasNotify", state, error)); });
    return RuntimeTestEnvironment::RunUntil([=] { return Status() == expected; }, 5000);
  }

  HMODULE api_ = nullptr;
  HMODULE dialogs_ = nullptr;
  size_t seen_ = 0;
};

TEST_F(OwnDialUp, ConnectionsAreCountedAndHungUpWithAGrowingBuffer) {
  Set({0x111, 0x222});
  EXPECT_EQ(Status(), 5) << "another program's connection counts";
  TakeLog();
  EXPECT_EQ(socketPPPDisconnect(nullptr), 2);
  EXPECT_EQ(TakeLog(),
            "RasEnumConnectionsA 412 412\nRasEnumConnectionsA 412 824\n"
            "RasHangUpA 0x111\nRasHangUpA 0x222\n");

  Set({1, 2, 3});
  EXPECT_EQ(Status(), 5);
  EXPECT_EQ(TakeLog(), "RasEnumConnectionsA 412 412\nRasEnumConnectionsA 412 1236\n");

  Fake("RasApi32.dll", "FakeRasForce", 603, 0);  // always asks for more
  EXPECT_EQ(socketPPPDisconnect(nullptr), 0);
  EXPECT_EQ(TakeLog(),
            "RasEnumConnectionsA 412 412\nRasEnumConnectionsA 412 824\n"
            "RasEnumConnectionsA 412 1236\n");
  EXPECT_EQ(Status(), 0);
  EXPECT_TRUE(reports.empty()) << "counting and hanging up report nothing";
  Fake("RasDlg.dll", "FakeRasDlgAnswer", TRUE);
  Connect(true);
  EXPECT_EQ(reports, std::vector<std::string>{"Fake failure 603"}) << "a dial reports it";
  EXPECT_EQ(Status(), 0);
}

TEST_F(OwnDialUp, TheFirstEntryIsDialledAndItsNotifierMovesTheStatus) {
  Fake("RasApi32.dll", "FakeRasSetEntry", "Office");
  Connect(false);
  EXPECT_EQ(Status(), 4);
  EXPECT_EQ(TakeLog(),
            "RasEnumEntriesA 264 264\nRasGetEntryDialParamsA 1052 Office\n"
            "RasDialA 1052 Office 0 notifier\n");
  // The notifier lives in the library: a dial keeps it loaded.
  FreeLibrary(api_);
  EXPECT_NE(GetModuleHandleA("RasApi32.dll"), nullptr);
  api_ = LoadLibraryA("RasApi32.dll");

  EXPECT_TRUE(Notify(0x2000, 0, 5));
  EXPECT_TRUE(Notify(0x2001, 0, 0));

  // A dial that fails: the next entry (the status read) hangs it up, once.
  Connect(false);
  EXPECT_TRUE(Notify(0, 678, 0));
  EXPECT_NE(TakeLog().find("RasHangUpA 0x333"), std::string::npos);
  Status();
  EXPECT_EQ(TakeLog().find("RasHangUpA"), std::string::npos);

  // A dial that fails to start.
  Fake("RasApi32.dll", "FakeRasForce", 0, 676);
  Connect(false);
  EXPECT_EQ(reports, std::vector<std::string>{"Fake failure 676"});
  EXPECT_NE(TakeLog().find("RasDialA 1052 Office 0 notifier\nRasHangUpA 0x333\n"),
            std::string::npos);
  EXPECT_EQ(Status(), 0);
}

TEST_F(OwnDialUp, ThePhonebookDialogTakesTheFirstConnectionUpAfterIt) {
  Fake("RasDlg.dll", "FakeRasDlgAnswer", FALSE);
  Connect(true);
  EXPECT_EQ(Status(), 0) << "the dialog was cancelled";

  Fake("RasDlg.dll", "FakeRasDlgAnswer", TRUE);
  Set({0x111, 0x222});
  Connect(true);
  EXPECT_EQ(Status(), 5);
  TakeLog();
  Connect(false);
  EXPECT_EQ(TakeLog(), "RasGetConnectStatusA 0x111 160\n") << "the held connection is up";

  Set({});
  socketPPPDisconnect(nullptr);
  Connect(true);
  EXPECT_EQ(Status(), 0);
  EXPECT_TRUE(reports.empty());
}

// A library without its dial function: dialling ends quietly, and the
// entries that need no dial still work.
class OwnDialUpWithoutDial : public OwnDialUp {};

TEST_F(OwnDialUpWithoutDial, DiallingEndsQuietlyWithStatusZero) {
  ASSERT_EQ(GetProcAddress(api_, "RasDialA"), nullptr);
  Fake("RasApi32.dll", "FakeRasSetEntry", "Office");
  Connect(false);
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(TakeLog().find("RasDialA"), std::string::npos);
  EXPECT_TRUE(reports.empty());
  Set({0x111});
  EXPECT_EQ(socketPPPDisconnect(nullptr), 1);
}

}  // namespace
