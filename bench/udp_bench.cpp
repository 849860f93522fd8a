// Figures of UDPSocket objects on loopback: datagrams a second into a
// UDPSocket driven by a tight poll loop, against a blocking recvfrom loop
// fed by the same windowed sender; what arrives through main-loop turns of a
// paced sender; and the poll's cost per idle UDPSocket beside idle
// TCPSockets. Prints figures from one run; checks nothing but the counts.
// <winsock2.h> before <windows.h>.
#include "system/WinsockShim.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "system/RuntimeSocketAccessors.h"
#include "system/SocketClasses.h"
#include "system/SocketImp.h"
#include "system/TCPSocketPosix.h"
#include "system/UDPSocketPosix.h"

namespace {

constexpr int kTightCount = 20000;
constexpr int kWindow = 32;  // datagrams in flight: the receive buffer holds them
constexpr double kPacedRate = 1000;
constexpr double kPacedSeconds = 5;

sockaddr_in Loopback(int32_t port) { return IPv4Address(shim::inet_addr("127.0.0.1"), port); }

// Sends count datagrams of the size to the port from a thread of its own,
// never more than the window ahead of what the receiver counted (or, paced,
// at the rate a second).
class Sender {
 public:
  Sender(int32_t port, size_t size, int count, const std::atomic<int>& received, double rate = 0)
      : socket_(shim::socket(AF_INET, SOCK_DGRAM, 0)), thread_([=, &received] {
          const std::string data(size, 'u');
          const sockaddr_in target = Loopback(port);
          const double start = Now();
          for (int sent = 0; sent < count; ++sent) {
            // A datagram lost for good would hold the window shut.
            const double waitStart = Now();
            while (rate == 0 && sent - received.load() >= kWindow) {
              if (Now() - waitStart > 2) return;
              std::this_thread::yield();
            }
            while (rate != 0 && Now() - start < sent / rate) Sleep(1);
            shim::sendto(socket_, data.data(), int(size), 0,
                         reinterpret_cast<const sockaddr*>(&target), sizeof target);
          }
        }) {}
  ~Sender() {
    thread_.join();
    shim::closesocket(socket_);
  }

 private:
  SOCKET socket_;
  std::thread thread_;
};

ObjectRef BoundUDPSocket() {
  ObjectRef socket = ObjectRef::Adopt(CreateInstance(GetUDPSocketClassDefinition()));
  SocketConnect(socket.get());
  return socket;
}

int DrainDatagrams(RuntimeObject* socket) {
  int taken = 0;
  while (RuntimeObject* datagram = UDPReadDatagram(socket, nullptr)) {
    RuntimeUnlockObject(datagram);
    ++taken;
  }
  return taken;
}

// Datagrams a second into a UDPSocket, driven by `turn` until count arrive
// (or 30 s pass); received counts what arrived.
double RunTimeRate(size_t size, int count, double rate, const std::function<void()>& turn,
                   int* arrived) {
  ObjectRef socket = BoundUDPSocket();
  std::atomic<int> received{0};
  const double start = Now();
  {
    Sender sender(SocketPortGetter(socket.get(), 0), size, count, received, rate);
    const double limit = rate == 0 ? 30 : count / rate + 1;
    while (received < count && Now() - start < limit) {
      turn();
      received += DrainDatagrams(socket.get());
    }
  }
  *arrived = received;
  return received / (Now() - start);
}

// The same into a blocking recvfrom loop through the shim.
double RawRate(size_t size, int count) {
  SOCKET socket = shim::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local = Loopback(0);
  int length = sizeof local;
  shim::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  shim::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length);
  const DWORD timeoutMs = 2000;
  shim::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof timeoutMs);
  std::atomic<int> received{0};
  std::vector<char> buffer(65536);
  const double start = Now();
  {
    Sender sender(shim::htons(local.sin_port), size, count, received);
    while (received < count &&
           shim::recvfrom(socket, buffer.data(), int(buffer.size()), 0, nullptr, nullptr) >= 0) {
      ++received;
    }
  }
  const double seconds = Now() - start;
  shim::closesocket(socket);
  return received / seconds;
}

void BenchmarkTightLoop() {
  for (size_t size : {size_t(64), size_t(1400)}) {
    const double raw = RawRate(size, kTightCount);
    int arrived = 0;
    const double ours =
        RunTimeRate(size, kTightCount, 0, [] { PollRegisteredSockets(false); }, &arrived);
    std::printf("tight poll loop, %4zu-byte datagrams: %8.0f /s (%d of %d)   %.2fx raw recvfrom "
                "%.0f /s goal >= 0.5\n",
                size, ours, arrived, kTightCount, ours / raw, raw);
  }
}

void BenchmarkMainLoopTurns() {
  const int offered = int(kPacedRate * kPacedSeconds);
  int arrived = 0;
  RunTimeRate(64, offered, kPacedRate, [] { RuntimeRunTurn(INFINITE); }, &arrived);
  std::printf("main-loop turns, %.0f datagrams /s for %.0f s: %d received   %.3fx offered "
              "goal >= 1.0\n",
              kPacedRate, kPacedSeconds, arrived, double(arrived) / offered);
}

double MedianMicroseconds(int rounds, const std::function<void()>& work) {
  std::vector<double> samples;
  for (int i = 0; i < rounds; ++i) {
    const double start = Now();
    work();
    samples.push_back((Now() - start) * 1e6);
  }
  std::nth_element(samples.begin(), samples.begin() + rounds / 2, samples.end());
  return samples[size_t(rounds / 2)];
}

// One zero-time-out select over the descriptors, as Winsock lays a set out.
double RawSelectMicroseconds(const std::vector<ObjectRef>& sockets) {
  std::vector<SOCKET> words{SOCKET(sockets.size())};
  for (const ObjectRef& socket : sockets) {
    auto* udp = static_cast<UDPSocketPosix*>(SocketImplementationOf(socket.get()));
    words.push_back(udp->Descriptor());
  }
  return MedianMicroseconds(41, [&words] {
    std::vector<SOCKET> set = words;
    const timeval noWait{0, 0};
    shim::select(0, reinterpret_cast<fd_set*>(set.data()), nullptr, nullptr, &noWait);
  });
}

// The poll's cost per socket over count idle sockets that make() gives, and
// (for UDP sockets) that of one select over their descriptors.
double IdlePollPerSocket(int count, const std::function<ObjectRef()>& make,
                         double* rawSelectPerSocket = nullptr) {
  std::vector<ObjectRef> sockets;
  for (int i = 0; i < count; ++i) sockets.push_back(make());
  const double perSocket =
      MedianMicroseconds(41, [] { PollRegisteredSockets(false); }) / count;
  if (rawSelectPerSocket) *rawSelectPerSocket = RawSelectMicroseconds(sockets) / count;
  for (const ObjectRef& socket : sockets) socketClose(socket.get());
  return perSocket;
}

void BenchmarkIdlePolls() {
  constexpr int kIdle = 500;
  double rawSelect = 0;
  const double udp = IdlePollPerSocket(kIdle, BoundUDPSocket, &rawSelect);
  const double tcp = IdlePollPerSocket(kIdle, [] {
    ObjectRef socket = ObjectRef::Adopt(CreateInstance(GetTCPSocketClassDefinition()));
    SocketListen(socket.get());
    return socket;
  });
  std::printf("idle poll, %d bound UDPSockets: %.2f us per socket goal <= 2 (one raw select over "
              "them: %.2f us per socket)\n",
              kIdle, udp, rawSelect);
  std::printf("idle poll, %d UDPSockets against %d listening TCPSockets (%.2f us per socket): "
              "%.3fx TCP goal <= 1.2\n",
              kIdle, kIdle, tcp, udp / tcp);
}

}  // namespace

int main() {
  SetMessageBoxRecording(true);
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::fprintf(stderr, "start-up failed: %s\n", error.c_str());
    return 1;
  }
  if (!SocketsStarted()) {
    std::fprintf(stderr, "the socket layer did not start\n");
    return 1;
  }
  BenchmarkTightLoop();
  BenchmarkMainLoopTurns();
  BenchmarkIdlePolls();
  for (const RecordedBox& box : TakeRecordedBoxes()) {
    std::fprintf(stderr, "box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  }
  RuntimeHostFinish();
  return 0;
}
