// What the system tests share: the socket fixture and its end-of-test
// checks, the fixture of the cases that run in a process of their own, and
// raw peers (plain blocking Winsock through the shim) for the far end of a
// connection.
#pragma once
// <winsock2.h> before any <windows.h>.
#include "system/WinsockShim.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "core/SmartRef.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/SocketFakes.h"

using Kind = SocketOwner::Kind;

// After each test: no socket is registered (the test closed what it
// opened), no fake owner it made is alive and no freed socket block was
// written.
class SocketTest : public HostTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  SocketJournal journal;

 private:
  int32_t ownersAtStart_ = 0;
};

// A case that needs a process of its own (a fake library, Winsock shut
// down): it runs only when SYSTEM_TEST_VARIANT names its test suite, as the
// CTest entry of that suite sets it, and is skipped otherwise.
class OwnProcessTest : public SocketTest {
 protected:
  void SetUp() override;
};

StringRef Text(const std::string& bytes);
std::string BytesOf(StringRecord* owned);  // takes over the reference

// Pumps until the journal holds the entry (count times), failing the test
// with the journal when it does not within timeoutMs.
bool PumpUntilRecorded(const SocketJournal& journal, const std::string& entry,
                       uint32_t timeoutMs = 10000, int count = 1);

// The port of a loopback socket that was bound and closed: nothing listens.
int32_t RefusedPort();

// Blocking Winsock calls of the far end; run them on a PeerThread when they
// wait for the run-time's sockets, which only the main thread polls.
namespace raw {
SOCKET ConnectTo(int32_t port);          // INVALID_SOCKET on failure
SOCKET ListenOnLoopback(int32_t* port);  // port 0 chosen by the system
bool SendAll(SOCKET peer, const std::string& bytes);
// Up to count bytes, or until the peer closes or an error ends it.
std::string Receive(SOCKET peer, size_t count);
std::string ReceiveUntilClosed(SOCKET peer);
void Close(SOCKET peer);
}  // namespace raw

// A thread for a peer; joined when destroyed.
class PeerThread {
 public:
  explicit PeerThread(std::function<void()> body) : thread_(std::move(body)) {}
  ~PeerThread() { Join(); }
  PeerThread(const PeerThread&) = delete;
  PeerThread& operator=(const PeerThread&) = delete;
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};
