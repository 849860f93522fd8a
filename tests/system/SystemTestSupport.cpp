#include "tests/system/SystemTestSupport.h"

#include <windows.h>

#include <cstdlib>

#include "core/string.h"
#include "system/SocketImp.h"
#include "system/SocketMemory.h"

namespace {

// A case with fake libraries names their folder here. The folder must be
// known before the host's start-up loads Winsock, which is before the first
// test, so it is set while the program's statics are made.
const bool dllDirectorySet = [] {
  const wchar_t* folder = _wgetenv(L"SYSTEM_TEST_DLL_DIR");
  return folder && SetDllDirectoryW(folder);
}();

sockaddr_in Loopback(int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = shim::htons(u_short(port));
  address.sin_addr.s_addr = shim::inet_addr("127.0.0.1");
  return address;
}

}  // namespace

void SocketTest::SetUp() {
  HostTest::SetUp();
  ownersAtStart_ = FakeSocketOwner::LiveCount();
}

void SocketTest::TearDown() {
  EXPECT_EQ(RegisteredSocketCount(), 0u) << "a socket was left registered";
  EXPECT_EQ(FakeSocketOwner::LiveCount(), ownersAtStart_) << "a fake owner was left alive";
  EXPECT_EQ(CheckSocketQuarantine(), 0) << "a freed socket block was written";
  EXPECT_TRUE(TakePumpedExceptions().empty());
  // What a failed test left open must not fail the tests after it.
  while (RegisteredSocketCount() > 0) RegisteredSocketAt(RegisteredSocketCount() - 1)->Close(true);
  HostTest::TearDown();
}

void OwnProcessTest::SetUp() {
  SocketTest::SetUp();
  const char* variant = std::getenv("SYSTEM_TEST_VARIANT");
  const std::string suite =
      ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
  if (!variant || suite != variant) {
    GTEST_SKIP() << "runs in its own process (CTest entry system_tests_" << suite << ")";
  }
}

StringRef Text(const std::string& bytes) {
  return StringRef::Adopt(NewString(bytes, kEncodingASCII));
}

std::string BytesOf(StringRecord* owned) {
  StringRef text = StringRef::Adopt(owned);
  return StringBytes(text.get());
}

bool PumpUntilRecorded(const SocketJournal& journal, const std::string& entry, uint32_t timeoutMs,
                       int count) {
  if (PumpSocketsUntil([&] { return journal.Count(entry) >= count; }, timeoutMs)) return true;
  std::string seen;
  for (const std::string& recorded : journal.Entries()) seen += "\n  " + recorded;
  ADD_FAILURE() << "\"" << entry << "\" was not recorded " << count
                << " time(s); the journal:" << seen;
  return false;
}

int32_t RefusedPort() {
  int32_t port = 0;
  SOCKET listener = raw::ListenOnLoopback(&port);
  raw::Close(listener);
  return port;
}

namespace raw {

SOCKET ConnectTo(int32_t port) {
  SOCKET peer = shim::socket(AF_INET, SOCK_STREAM, 0);
  if (peer == INVALID_SOCKET) return peer;
  const sockaddr_in address = Loopback(port);
  if (shim::connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    shim::closesocket(peer);
    return INVALID_SOCKET;
  }
  return peer;
}

SOCKET ListenOnLoopback(int32_t* port) {
  SOCKET listener = shim::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(0);
  int length = sizeof address;
  if (listener == INVALID_SOCKET ||
      shim::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      shim::listen(listener, 5) != 0 ||
      shim::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "a loopback listener could not be made: " << SocketErrno();
    *port = 0;
    return listener;
  }
  *port = shim::htons(address.sin_port);
  return listener;
}

bool SendAll(SOCKET peer, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = shim::send(peer, bytes.data() + sent, int(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

std::string Receive(SOCKET peer, size_t count) {
  std::string bytes;
  char chunk[65536];
  while (bytes.size() < count) {
    const size_t asked = std::min(sizeof chunk, count - bytes.size());
    const int n = shim::recv(peer, chunk, int(asked), 0);
    if (n <= 0) break;
    bytes.append(chunk, size_t(n));
  }
  return bytes;
}

std::string ReceiveUntilClosed(SOCKET peer) { return Receive(peer, SIZE_MAX); }

void Close(SOCKET peer) {
  if (peer != INVALID_SOCKET) shim::closesocket(peer);
}

}  // namespace raw
