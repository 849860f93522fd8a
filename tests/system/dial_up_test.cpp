// Dial-up over the platform's Remote Access stubs (nothing there), with the
// libraries disabled, and over our fake libraries (OwnDialUp*), which log
// every call and fire the dial notifier on request.
#include <thread>

#include "core/diagnostics.h"
#include "system/DialUp.h"
#include "tests/system/SystemTestSupport.h"

namespace {

std::vector<std::string> reports;
void RecordReport(const std::string& text) { reports.push_back(text); }

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int32_t Status() { return socketPPPStatus(nullptr); }
void Connect(bool userInteraction) { socketPPPConnect(nullptr, userInteraction); }

// Every Remote Access error is recorded, not shown.
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
  EXPECT_EQ(boxes[0].caption, "RAS Error");
  EXPECT_EQ(boxes[0].text, "RAS error 623");
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

class OwnDialUpWithoutDial : public RasFixture<OwnProcessTest> {};

TEST_F(OwnDialUpWithoutDial, AMissingFunctionEndsTheDialQuietly) {
  HMODULE fake = LoadLibraryA("RasApi32.dll");
  auto setEntry = Export<void(WINAPI*)(const char*)>(fake, "FakeRasSetEntry");
  ASSERT_NE(setEntry, nullptr) << "the fake is not loaded";
  setEntry("Office");
  Connect(false);
  EXPECT_EQ(Status(), 0);
  EXPECT_TRUE(reports.empty());
  FreeLibrary(fake);
}

// The fake libraries' controls, through a reference of the test's own.
class OwnDialUp : public RasFixture<OwnProcessTest> {
 protected:
  void SetUp() override {
    RasFixture::SetUp();
    if (IsSkipped()) return;
    Load();
    ASSERT_NE(reset_, nullptr) << "the fake is not loaded";
    reset_();
  }
  void TearDown() override {
    if (api_) reset_();
    RasFixture::TearDown();
    if (api_) FreeLibrary(api_);
    if (dialogs_) FreeLibrary(dialogs_);
  }
  void Load() {
    api_ = LoadLibraryA("RasApi32.dll");
    dialogs_ = LoadLibraryA("RasDlg.dll");
    Find(api_, "FakeRasReset", &reset_);
    Find(api_, "FakeRasSetConnections", &setConnections_);
    Find(api_, "FakeRasSetEntry", &setEntry);
    Find(api_, "FakeRasForce", &force);
    Find(api_, "FakeRasLog", &log_);
    Find(api_, "FakeRasNotify", &notify_);
    Find(dialogs_, "FakeRasDlgAnswer", &dialogAnswer);
  }
  template <class Function>
  static void Find(HMODULE module, const char* name, Function* function) {
    *function = Export<Function>(module, name);
  }
  void SetConnections(std::vector<UINT_PTR> handles) {
    setConnections_(handles.data(), DWORD(handles.size()));
  }
  // The calls logged since the last look.
  std::string TakeLog() {
    std::string calls = log_();
    const std::string fresh = calls.substr(seen_);
    seen_ = calls.size();
    return fresh;
  }
  // Fires the dial notifier on another thread, then runs the main loop
  // until the status reads `expected`.
  bool NotifyAndWaitFor(DWORD state, DWORD error, int32_t expected) {
    bool fired = false;
    std::thread([&] { fired = notify_(state, error); }).join();
    EXPECT_TRUE(fired) << "no notifier was stored";
    return RuntimeTestEnvironment::RunUntil([&] { return Status() == expected; }, 5000);
  }

  HMODULE api_ = nullptr;
  HMODULE dialogs_ = nullptr;
  void(WINAPI* setEntry)(const char*) = nullptr;
  void(WINAPI* force)(DWORD enumeration, DWORD dial) = nullptr;
  LONG(WINAPI* dialogAnswer)(BOOL) = nullptr;

 private:
  void(WINAPI* reset_)() = nullptr;
  void(WINAPI* setConnections_)(const UINT_PTR*, DWORD) = nullptr;
  const char*(WINAPI* log_)() = nullptr;
  BOOL(WINAPI* notify_)(DWORD, DWORD) = nullptr;
  size_t seen_ = 0;
};

TEST_F(OwnDialUp, ConnectionsAreCountedAndHungUpWithAGrowingBuffer) {
  SetConnections({0x111, 0x222});
  EXPECT_EQ(Status(), 5) << "another program's connection counts";
  TakeLog();
  EXPECT_EQ(socketPPPDisconnect(nullptr), 2);
  EXPECT_EQ(TakeLog(),
            "RasEnumConnectionsA 412 412\nRasEnumConnectionsA 412 824\n"
            "RasHangUpA 0x111\nRasHangUpA 0x222\n");
  EXPECT_EQ(Status(), 0);

  SetConnections({1, 2, 3});
  TakeLog();
  EXPECT_EQ(Status(), 5);
  EXPECT_EQ(TakeLog(), "RasEnumConnectionsA 412 412\nRasEnumConnectionsA 412 1236\n");

  // A library that always asks for more is believed three times.
  force(603, 0);
  EXPECT_EQ(socketPPPDisconnect(nullptr), 0);
  EXPECT_EQ(TakeLog(),
            "RasEnumConnectionsA 412 412\nRasEnumConnectionsA 412 824\n"
            "RasEnumConnectionsA 412 1236\n");
  EXPECT_EQ(Status(), 0);
  EXPECT_TRUE(reports.empty());
}

TEST_F(OwnDialUp, TheFirstEntryIsDialledAndItsNotifierMovesTheStatus) {
  setEntry("Office");
  Connect(false);
  EXPECT_EQ(Status(), 4);
  EXPECT_EQ(TakeLog(),
            "RasEnumEntriesA 264 264\nRasGetEntryDialParamsA 1052 Office\n"
            "RasDialA 1052 Office 0 notifier\n");
  // The notifier lives in the library: a dial keeps it loaded.
  FreeLibrary(api_);
  EXPECT_NE(GetModuleHandleA("RasApi32.dll"), nullptr);
  Load();

  EXPECT_TRUE(NotifyAndWaitFor(0x2000, 0, 5));
  EXPECT_TRUE(NotifyAndWaitFor(0x2001, 0, 0));

  // A dial that fails: the next entry (the status read) hangs it up, once.
  Connect(false);
  EXPECT_TRUE(NotifyAndWaitFor(0, 678, 0));
  EXPECT_EQ(Occurrences(TakeLog(), "RasHangUpA 0x333"), 1);
  Status();
  EXPECT_EQ(Occurrences(TakeLog(), "RasHangUpA"), 0);
  EXPECT_TRUE(reports.empty());
}

TEST_F(OwnDialUp, ADialThatFailsToStartIsReportedAndItsConnectionHungUp) {
  setEntry("Office");
  force(0, 676);
  Connect(false);
  EXPECT_EQ(reports, std::vector<std::string>{"Fake failure 676"});
  EXPECT_NE(TakeLog().find("RasDialA 1052 Office 0 notifier\nRasHangUpA 0x333\n"),
            std::string::npos);
  EXPECT_EQ(Status(), 0);
}

TEST_F(OwnDialUp, ThePhonebookDialogTakesTheFirstConnectionUpAfterIt) {
  dialogAnswer(FALSE);
  Connect(true);
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(dialogAnswer(TRUE), 1);

  SetConnections({0x111, 0x222});
  Connect(true);
  EXPECT_EQ(Status(), 5);
  TakeLog();
  Connect(false);
  EXPECT_EQ(TakeLog(), "RasGetConnectStatusA 0x111 160\n") << "the held connection is up";

  socketPPPDisconnect(nullptr);
  Connect(true);
  EXPECT_EQ(Status(), 0);
  EXPECT_TRUE(reports.empty());
}

}  // namespace
