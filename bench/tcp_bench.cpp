// Figures of the TCP layer on loopback: a 64 MiB round trip through a
// pooled server (driven by a tight poll loop and by main-loop turns) against
// plain blocking Winsock, the memory such a transfer takes, draining a
// receive queue in small reads, connecting 1,000 clients in bursts of 50,
// and the cost of a poll over idle sockets (shared and per-socket
// readiness, and the raw select and WSAPoll it could rest on). Compared
// rows end "<ratio>x <peer> goal >= <g>" (or "<=" where lower is better).
// Prints figures only; it checks nothing but the transferred bytes and is
// not run as a test.
//
//   tcp_bench                 all of it
//   tcp_bench --transfers     the transfers and their memory only
//   tcp_bench --connects      the connecting clients only
//   tcp_bench --child MODE    one transfer only (poll, turns or blocking),
//                             then "PEAK <bytes>": the peak private bytes
//                             the parent reports for that transfer
// <winsock2.h> before <windows.h>.
#include "system/WinsockShim.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/RuntimeMain.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "system/SocketImp.h"
#include "system/TCPSocket.h"
#include "system/TCPSocketPosix.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr size_t kTransferSize = 64 * kMiB;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- A stand-in for the language objects -------------------------------------------

class BenchOwner final : public SocketOwner {
 public:
  using Handler = std::function<void(BenchOwner&)>;

  static BenchOwner* Create(Kind kind, int32_t minimum = 1) {
    auto* owner = new BenchOwner(kind, minimum);
    owner->implementation_ = NewTCPSocketImp(owner, nullptr);
    return owner;
  }

  void Lock() override { ++references_; }
  void Unlock() override {
    if (--references_ > 0) return;
    if (kind_ == Kind::kServerSocket) {
      implementation_->Close(false);
      implementation_->Reset(true);
    }
    delete implementation_;
    delete this;
  }
  int32_t ReferenceCount() const override { return references_; }
  Kind OwnerKind() const override { return kind_; }
  void SetLastErrorCode(int32_t) override {}
  int32_t NetworkInterfaceIndex() const override { return -1; }
  int32_t MinimumSocketsAvailable() const override { return minimum_; }
  SocketImp* Implementation() const override { return implementation_; }
  void FireConnected() override { Run(onConnected); }
  void FireDataAvailable() override { Run(onDataAvailable); }
  void FireSendComplete(bool) override {}
  bool FireSendProgress(int32_t, int32_t) override { return false; }
  void FireError(int32_t) override {}
  void FireServerError(int32_t) override {}
  SocketOwner* FireAddSocket() override { return onAddSocket ? onAddSocket() : nullptr; }

  TCPSocketImp* TCP() const { return implementation_->AsTCPSocket(); }
  // Closes and drops the creator's reference.
  void Drop() {
    TCP()->Close(false);
    Unlock();
  }

  Handler onConnected, onDataAvailable;
  std::function<SocketOwner*()> onAddSocket;

 private:
  BenchOwner(Kind kind, int32_t minimum) : kind_(kind), minimum_(minimum) {}
  ~BenchOwner() = default;
  void Run(const Handler& handler) {
    if (handler) handler(*this);
  }

  Kind kind_;
  int32_t minimum_;
  int32_t references_ = 1;
  SocketImp* implementation_ = nullptr;
};

void EchoBack(BenchOwner& self) {
  StringRef received = StringRef::Adopt(self.TCP()->ReadAll());
  self.TCP()->Write(received.get());
}

BenchOwner* PooledServer(int32_t minimum, const BenchOwner::Handler& onDataAvailable,
                         int* handedConnected) {
  BenchOwner* server = BenchOwner::Create(SocketOwner::Kind::kServerSocket, minimum);
  server->onAddSocket = [onDataAvailable, handedConnected]() -> SocketOwner* {
    BenchOwner* standby = BenchOwner::Create(SocketOwner::Kind::kTCPSocket);
    standby->onDataAvailable = onDataAvailable;
    if (handedConnected)
      standby->onConnected = [handedConnected](BenchOwner&) { ++*handedConnected; };
    return standby;
  };
  server->TCP()->Listen(0);
  return server;
}

// The sockets a server handed connections to see their peers close and go;
// what stays registered is the server and its standby sockets.
bool HandedOffSocketsGone(BenchOwner* server) {
  return RegisteredSocketCount() <= 1 + server->TCP()->Pool()->StandbyCount();
}

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }

// ---- Drives -------------------------------------------------------------------------

enum class Drive { kPoll, kTurns };

const char* NameOf(Drive drive) { return drive == Drive::kPoll ? "poll loop" : "main-loop turns"; }

// Runs the socket layer until done() holds or the time runs out.
bool DriveUntil(Drive drive, const std::function<bool()>& done, double seconds = 120) {
  const Clock::time_point start = Clock::now();
  while (!done()) {
    if (SecondsSince(start) > seconds) return false;
    if (drive == Drive::kPoll) {
      PollRegisteredSockets(false);
    } else {
      RuntimeRunTurn(INFINITE);
    }
  }
  return true;
}

// ---- The 64 MiB round trip ------------------------------------------------------

std::string Payload(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 0x12345678;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = char(state >> 24);
  }
  return bytes;
}

uint64_t Fnv1a(uint64_t hash, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
  return hash;
}
constexpr uint64_t kFnvBasis = 0xCBF29CE484222325ull;

struct Received {
  size_t bytes = 0;
  uint64_t checksum = kFnvBasis;
};

// The payload as a run-time string, made in place (one copy in memory), and
// its checksum.
StringRef PayloadString(uint64_t* checksum) {
  StringRef payload = StringRef::Adopt(NewStringWithRoom(kTransferSize, kEncodingASCII));
  uint8_t* bytes = StringRoom(payload.get());
  uint32_t state = 0x12345678;
  for (size_t i = 0; i < kTransferSize; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = uint8_t(state >> 24);
  }
  StringSetLength(payload.get(), kTransferSize);
  *checksum = Fnv1a(kFnvBasis, bytes, kTransferSize);
  return payload;
}

// Client -> handed-off socket, which sends every piece straight back; the
// client checks what returns: against a copy of the payload kept aside when
// timed (a comparison at memory speed, as the blocking pair checks nothing),
// by checksum when the memory is measured (a copy would double it). Gives
// the seconds from the write to the last byte back, or a negative value
// when the transfer failed.
enum class Check { kCopy, kChecksum };

double RoundTrip(Drive drive, Check check) {
  uint64_t expected = 0;
  StringRef payload = PayloadString(&expected);
  const std::string copy = check == Check::kCopy ? StringBytes(payload.get()) : std::string();
  BenchOwner* server = PooledServer(1, EchoBack, nullptr);
  Received received;
  bool intact = true;
  bool connected = false;
  BenchOwner* client = BenchOwner::Create(SocketOwner::Kind::kTCPSocket);
  client->onConnected = [&](BenchOwner&) { connected = true; };
  client->onDataAvailable = [&](BenchOwner& self) {
    StringRef piece = StringRef::Adopt(self.TCP()->ReadAll());
    const size_t length = StringLength(piece.get());
    if (check == Check::kChecksum) {
      received.checksum = Fnv1a(received.checksum, StringData(piece.get()), length);
    } else {
      intact = intact && received.bytes + length <= copy.size() &&
               std::memcmp(copy.data() + received.bytes, StringData(piece.get()), length) == 0;
    }
    received.bytes += length;
  };
  client->TCP()->Connect(Text("127.0.0.1").get(), server->TCP()->GetPort());
  double seconds = -1;
  if (DriveUntil(
          drive, [&] { return connected; }, 10)) {
    const Clock::time_point start = Clock::now();
    client->TCP()->Write(payload.get());
    payload = StringRef();
    if (DriveUntil(drive, [&] { return received.bytes >= kTransferSize; })) {
      seconds = SecondsSince(start);
    }
  }
  if (check == Check::kChecksum && received.checksum != expected) intact = false;
  if (!intact || received.bytes != kTransferSize) seconds = -1;
  client->Drop();
  DriveUntil(
      drive, [server] { return HandedOffSocketsGone(server); }, 5);
  server->Drop();
  return seconds;
}

// Plain blocking Winsock through the shim: one thread sends, one receives.
double BlockingPair() {
  const std::string payload = Payload(kTransferSize);
  SOCKET listener = shim::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = shim::inet_addr("127.0.0.1");
  int length = sizeof address;
  shim::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  shim::listen(listener, 1);
  shim::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  SOCKET sender = shim::socket(AF_INET, SOCK_STREAM, 0);
  shim::connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
  SOCKET receiver = shim::accept(listener, nullptr, nullptr);

  size_t got = 0;
  const Clock::time_point start = Clock::now();
  std::thread sending([&] {
    for (size_t sent = 0; sent < payload.size();) {
      const int n = shim::send(sender, payload.data() + sent, int(payload.size() - sent), 0);
      if (n <= 0) break;
      sent += size_t(n);
    }
  });
  std::thread receiving([&] {
    std::vector<char> chunk(kMiB);
    for (int n;
         got < payload.size() && (n = shim::recv(receiver, chunk.data(), int(kMiB), 0)) > 0;) {
      got += size_t(n);
    }
  });
  sending.join();
  receiving.join();
  const double seconds = SecondsSince(start);
  for (SOCKET s : {sender, receiver, listener}) shim::closesocket(s);
  return got == payload.size() ? seconds : -1;
}

double Throughput(size_t bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

// The tail of a compared row.
void PrintRatio(double ratio, const char* peer, const char* relation, double goal) {
  std::printf("  %.2fx %s goal %s %.2f\n", ratio, peer, relation, goal);
}

// ---- Peak memory of one transfer in a child process -----------------------------

uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return std::max<uint64_t>(counters.PrivateUsage, counters.PeakPagefileUsage);
}

// The highest private bytes seen while it lives, sampled every millisecond
// (Wine keeps no peak of its own).
class PeakSampler {
 public:
  PeakSampler()
      : thread_([this] {
          while (!stop_) {
            peak_ = std::max<uint64_t>(peak_, PrivateBytes());
            Sleep(1);
          }
        }) {}
  uint64_t Stop() {
    stop_ = true;
    thread_.join();
    return std::max<uint64_t>(peak_, PrivateBytes());
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> peak_{0};
  std::thread thread_;
};

// Runs this program with --child mode; gives the peak it reports (0 when
// none came).
uint64_t ChildPeak(const char* mode) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --child ";
  for (const char* c = mode; *c; ++c) commandLine += wchar_t(*c);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return 0;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  std::string output;
  if (started) {
    char chunk[256];
    DWORD n = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) && n > 0) output.append(chunk, n);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  const size_t at = output.find("PEAK ");
  return at == std::string::npos ? 0 : std::strtoull(output.c_str() + at + 5, nullptr, 10);
}

int RunChild(const std::string& mode) {
  PeakSampler sampler;
  double seconds = -1;
  if (mode == "poll") seconds = RoundTrip(Drive::kPoll, Check::kChecksum);
  if (mode == "turns") seconds = RoundTrip(Drive::kTurns, Check::kChecksum);
  if (mode == "blocking") seconds = BlockingPair();
  std::printf("PEAK %llu\n", static_cast<unsigned long long>(sampler.Stop()));
  std::fflush(stdout);
  return seconds > 0 ? 0 : 1;
}

void BenchmarkTransfers() {
  std::printf("64 MiB written at once (checked on arrival):\n");
  // The best of three: the peer's figure swings most when the machine is
  // busy, and the best one makes the ratios the harder to meet.
  double blockingRate = 0;
  for (int run = 0; run < 3; ++run)
    blockingRate = std::max(blockingRate, Throughput(kTransferSize, BlockingPair()));
  std::printf("  blocking send/recv pair, one way, best of 3 %8.1f MB/s\n", blockingRate);
  for (Drive drive : {Drive::kPoll, Drive::kTurns}) {
    const double seconds = RoundTrip(drive, Check::kCopy);
    if (seconds < 0) {
      std::printf("  round trip, %-16s FAILED\n", NameOf(drive));
      continue;
    }
    // Both directions carry the 64 MiB.
    const double rate = Throughput(2 * kTransferSize, seconds);
    std::printf("  round trip, %-16s %8.1f MB/s", NameOf(drive), rate);
    PrintRatio(blockingRate > 0 ? rate / blockingRate : 0, "blocking pair", ">=", 0.5);
  }
  std::printf("Peak private bytes of a process running one transfer:\n");
  for (const char* mode : {"blocking", "poll", "turns"}) {
    const double mib = double(ChildPeak(mode)) / kMiB;
    std::printf("  %-9s %8.1f MiB", mode, mib);
    PrintRatio(mib / 64, "payload", "<=", 1.25);
  }
}

// ---- Draining a receive queue ----------------------------------------------------

class FilledSocket : public TCPSocketImp {
 public:
  FilledSocket() : TCPSocketImp(nullptr, nullptr) {}
  void Fill(const std::string& bytes) { receiveBuffer_.Append(bytes.data(), bytes.size()); }
};

double DrainByReads(size_t size) {
  FilledSocket socket;
  socket.Fill(Payload(size));
  const Clock::time_point start = Clock::now();
  while (socket.BytesAvailable() > 0) StringRecordRelease(socket.Read(1024));
  return SecondsSince(start);
}

void BenchmarkDrain() {
  const double small = DrainByReads(16 * kMiB);
  const double large = DrainByReads(64 * kMiB);
  std::printf("Read(1024) until empty: 16 MiB %.3f s, 64 MiB %.3f s (4 times as long is linear)\n",
              small, large);
}

// ---- Connecting many clients ----------------------------------------------------

void BenchmarkConnects(Drive drive) {
  constexpr int kClients = 1000;
  constexpr int kBurst = 50;
  int handed = 0;
  BenchOwner* server = PooledServer(5, nullptr, &handed);
  const int32_t port = server->TCP()->GetPort();
  int connected = 0;
  std::vector<BenchOwner*> clients;
  const Clock::time_point start = Clock::now();
  bool ok = true;
  for (int made = 0; made < kClients && ok; made += kBurst) {
    for (int i = 0; i < kBurst; ++i) {
      BenchOwner* client = BenchOwner::Create(SocketOwner::Kind::kTCPSocket);
      client->onConnected = [&connected](BenchOwner&) { ++connected; };
      client->TCP()->Connect(Text("127.0.0.1").get(), port);
      clients.push_back(client);
    }
    const int target = made + kBurst;
    ok = DriveUntil(
        drive, [&] { return connected >= target && handed >= target; }, 60);
  }
  const double seconds = SecondsSince(start);
  if (ok) {
    const double perClient = seconds * 1000 / kClients;
    std::printf("1000 clients in bursts of 50, %-16s %.3f s, %.2f ms per client", NameOf(drive),
                seconds, perClient);
    PrintRatio(perClient, "1 ms per client", "<=", 1.0);
  } else {
    std::printf("1000 clients in bursts of 50, %-16s FAILED (%d connected, %d handed off)\n",
                NameOf(drive), connected, handed);
  }
  for (BenchOwner* client : clients) client->Drop();
  DriveUntil(
      drive, [server] { return HandedOffSocketsGone(server); }, 60);
  server->Drop();
}

// ---- Polling idle sockets --------------------------------------------------------

// A loopback listener outside the run-time that accepts `count`
// connections on a thread of its own and holds them until closed.
class RawAcceptor {
 public:
  explicit RawAcceptor(int count) : listener_(shim::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = shim::inet_addr("127.0.0.1");
    int length = sizeof address;
    shim::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    shim::listen(listener_, SOMAXCONN);
    shim::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = shim::htons(address.sin_port);
    thread_ = std::thread([this, count] {
      for (int i = 0; i < count; ++i)
        accepted_.push_back(shim::accept(listener_, nullptr, nullptr));
    });
  }
  ~RawAcceptor() {
    thread_.join();
    for (SOCKET s : accepted_) shim::closesocket(s);
    shim::closesocket(listener_);
  }
  int32_t Port() const { return port_; }

 private:
  SOCKET listener_;
  int32_t port_ = 0;
  std::vector<SOCKET> accepted_;
  std::thread thread_;
};

// The raw readiness calls over the same descriptors, for the choice between
// them: one select over all, and WSAPoll (taken from ws2_32 by name, when
// it is there) over all.
using WSAPollEntry = int(WSAAPI*)(WSAPOLLFD*, ULONG, INT);

double MedianMicroseconds(int samples, const std::function<void()>& call) {
  std::vector<double> times;
  for (int i = 0; i < samples; ++i) {
    const Clock::time_point start = Clock::now();
    call();
    times.push_back(SecondsSince(start) * 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void RawReadinessCalls(const std::vector<BenchOwner*>& clients, int samples) {
  std::vector<SOCKET> descriptors;
  for (BenchOwner* client : clients)
    descriptors.push_back(static_cast<TCPSocketPosix*>(client->TCP())->Descriptor());
  std::vector<SOCKET> words(descriptors.size() + 1);
  const double select = MedianMicroseconds(samples, [&] {
    words[0] = descriptors.size();
    std::copy(descriptors.begin(), descriptors.end(), words.begin() + 1);
    const timeval noWait{0, 0};
    shim::select(0, reinterpret_cast<fd_set*>(words.data()), nullptr, nullptr, &noWait);
  });
  std::printf("      raw select over them %9.1f us", select);
  const auto poll = reinterpret_cast<WSAPollEntry>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ws2_32.dll"), "WSAPoll")));
  if (!poll) {
    std::printf(", no WSAPoll\n");
    return;
  }
  std::vector<WSAPOLLFD> entries;
  for (SOCKET descriptor : descriptors) entries.push_back({descriptor, POLLRDNORM, 0});
  const double wsaPoll =
      MedianMicroseconds(samples, [&] { poll(entries.data(), ULONG(entries.size()), 0); });
  std::printf(", raw WSAPoll %9.1f us\n", wsaPoll);
}

void BenchmarkIdlePolls() {
  std::printf("PollRegisteredSockets over idle connected sockets:\n");
  double tenSockets = 0;
  for (int count : {10, 100, 500, 1000}) {
    RawAcceptor acceptor(count);
    int connected = 0;
    std::vector<BenchOwner*> clients;
    for (int i = 0; i < count; i += 10) {
      for (int j = 0; j < 10; ++j) {
        clients.push_back(BenchOwner::Create(SocketOwner::Kind::kTCPSocket));
        clients.back()->onConnected = [&connected](BenchOwner&) { ++connected; };
        clients.back()->TCP()->Connect(Text("127.0.0.1").get(), acceptor.Port());
      }
      DriveUntil(
          Drive::kPoll, [&] { return connected >= i + 10; }, 30);
    }
    const int samples = count >= 500 ? 41 : 201;
    const auto walk = [] { PollRegisteredSockets(false); };
    const double median = MedianMicroseconds(samples, walk);
    if (count == 10) tenSockets = median;
    std::printf("  %4d sockets: %9.1f us per call, %6.2f us per socket", count, median,
                median / count);
    PrintRatio(median / tenSockets, "10 sockets", "<=", 3.0);
    SetSharedReadiness(false);
    const double alone = MedianMicroseconds(count >= 500 ? 5 : 21, walk);
    SetSharedReadiness(true);
    std::printf("      each socket asking alone %9.1f us\n", alone);
    RawReadinessCalls(clients, samples);
    for (BenchOwner* client : clients) client->Drop();
  }
}

}  // namespace
int main(int argc, char** argv) {
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
  int status = 0;
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
    status = RunChild(argv[2]);
  } else if (argc == 2 && std::strcmp(argv[1], "--transfers") == 0) {
    BenchmarkTransfers();
  } else if (argc == 2 && std::strcmp(argv[1], "--connects") == 0) {
    BenchmarkConnects(Drive::kPoll);
    BenchmarkConnects(Drive::kTurns);
  } else {
    BenchmarkTransfers();
    BenchmarkDrain();
    BenchmarkConnects(Drive::kPoll);
    BenchmarkConnects(Drive::kTurns);
    BenchmarkIdlePolls();
  }
  for (const RecordedBox& box : TakeRecordedBoxes()) {
    std::fprintf(stderr, "box: %s: %s\n", box.caption.c_str(), box.text.c_str());
  }
  RuntimeHostFinish();
  return status;
}
