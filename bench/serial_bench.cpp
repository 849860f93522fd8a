// Figures of the serial ports on pseudo-terminal lines (COM5<->COM6 and
// COM12<->COM13, made by bench/run_serial_bench.sh): 1 MiB received by a
// tight loop of ticks against a raw overlapped read loop on the same line, a
// paced 921,600-baud stream received over main-loop turns that wait for
// messages, and the cost of idle open ports per turn. Prints figures from
// one run; it checks nothing but the byte counts and is not run as a test.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchClock.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "host/RuntimeMain.h"
#include "host/Win32Handles.h"
#include "host/runtimemainloop.h"
#include "runtime/RuntimeSetup.h"
#include "system/ByteQueue.h"
#include "system/runSerial.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;
const wchar_t* const kPeer = L"\\\\.\\COM6";

// The far end: blocking writes on its own handle.
class Peer {
 public:
  Peer() : port_(CreateFileW(kPeer, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  bool Open() const { return port_.valid(); }
  size_t Write(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      DWORD done = 0;
      if (!WriteFile(port_.get(), bytes.data() + sent, DWORD(bytes.size() - sent), &done, nullptr)) break;
      sent += done;
    }
    return sent;
  }

 private:
  UniqueFile port_;
};

ObjectRef OpenSerial(int16_t port) {
  ObjectRef serial = ObjectRef::Adopt(CreateInstance(GetSerialClassDefinition()));
  ObjectFields<SerialFields>(serial.get())->port = port;
  if (!serialOpen(serial.get())) return ObjectRef();
  return serial;
}

// Bytes received so far, taken out of the read buffer.
size_t TakeReceived(RuntimeObject* serial) {
  ByteQueue* buffer = ObjectFields<SerialFields>(serial)->readBuffer;
  const size_t length = buffer->Length();
  buffer->Clear();
  return length;
}

// Seconds until 1 MiB from the peer arrived through the Serial object's
// ticks, or through a plain overlapped ReadFile loop of 1,024-byte reads.
double SecondsForAMebibyte(bool raw) {
  const std::string data(kMiB, 'x');
  Peer peer;
  ObjectRef serial;
  UniqueFile port;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED request{};
  request.hEvent = event;
  if (raw) {
    port = UniqueFile(CreateFileW(L"\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(port.get(), &timeouts);
  } else {
    serial = OpenSerial(4);
  }
  if (!peer.Open() || (raw ? !port.valid() : !serial)) {
    std::fprintf(stderr, "the lines are missing (run bench/run_serial_bench.sh)\n");
    return 0;
  }
  const double start = Now();
  std::thread writer([&] { peer.Write(data); });
  size_t received = 0;
  bool pending = false;
  char block[1024];
  while (received < data.size()) {
    if (!raw) {
      SerialTickAll();
      received += TakeReceived(serial.get());
      continue;
    }
    DWORD done = 0;
    const BOOL finished = pending ? GetOverlappedResult(port.get(), &request, &done, FALSE)
                                  : ReadFile(port.get(), block, sizeof block, &done, &request);
    if (finished) {
      pending = false;
      ResetEvent(event);
      received += done;
    } else if (GetLastError() == ERROR_IO_PENDING) {
      pending = true;
    } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
      break;
    }
  }
  const double seconds = Now() - start;
  writer.join();
  if (pending) {
    CancelIo(port.get());
    DWORD done = 0;
    GetOverlappedResult(port.get(), &request, &done, TRUE);
  }
  CloseHandle(event);
  return seconds;
}

void BenchmarkTightLoop() {
  const double raw = SecondsForAMebibyte(true);
  const double serial = SecondsForAMebibyte(false);
  std::printf("1 MiB from the peer, tight loop: ticks %.3f s, raw 1,024-byte reads %.3f s: %.2fx raw goal >= 0.7\n",
              serial, raw, serial > 0 ? raw / serial : 0);
}

// The peer offers a 921,600-baud line (92,160 bytes/s) for 5 s while the
// main loop turns, waiting for messages between turns.
void BenchmarkMainLoopTurns() {
  ObjectRef serial = OpenSerial(4);
  Peer peer;
  if (!serial || !peer.Open()) return;
  constexpr size_t kChunk = 4608;  // 50 ms of the line
  std::atomic<size_t> offered{0};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    const std::string chunk(kChunk, 'y');
    const double start = Now();
    for (int i = 1; i <= 100; ++i) {
      offered += peer.Write(chunk);
      const double next = start + i * 0.05;
      while (Now() < next) Sleep(1);
    }
    done = true;
  });
  size_t received = 0;
  double drainedBy = 0;
  while (!done || Now() < drainedBy) {
    RuntimeRunTurn(INFINITE);
    received += TakeReceived(serial.get());
    if (done && drainedBy == 0) drainedBy = Now() + 0.5;
  }
  writer.join();
  std::printf("921,600-baud line for 5 s over waiting turns: %zu of %zu bytes: %.3fx offered goal >= 1.0\n",
              received, size_t(offered), offered ? double(received) / double(offered) : 0);
}

double MicrosecondsPerTurn() {
  constexpr int kTurns = 2000;
  std::vector<double> samples;
  for (int round = 0; round < 9; ++round) {
    const double start = Now();
    for (int i = 0; i < kTurns; ++i) RuntimeRunTurn(0);
    samples.push_back((Now() - start) * 1e6 / kTurns);
  }
  std::nth_element(samples.begin(), samples.begin() + 4, samples.end());
  return samples[4];
}

void BenchmarkIdlePorts() {
  const int16_t ports[] = {4, 5, 11, 12};  // COM5, COM6, COM12, COM13
  std::vector<ObjectRef> open;
  const double none = MicrosecondsPerTurn();
  open.push_back(OpenSerial(ports[0]));
  const double one = MicrosecondsPerTurn();
  for (int i = 1; i < 4; ++i) open.push_back(OpenSerial(ports[i]));
  const double four = MicrosecondsPerTurn();
  for (const ObjectRef& serial : open) {
    if (!serial) return;
  }
  // A turn's own cost varies by more than the ports add: the ticks are timed
  // alone too.
  constexpr int kTicks = 20000;
  const double start = Now();
  for (int i = 0; i < kTicks; ++i) SerialTickAll();
  const double tick = (Now() - start) * 1e6 / kTicks;
  std::printf("turn with 0, 1, 4 idle ports: %.2f, %.2f, %.2f us; ticks of the 4 alone %.2f us: "
              "%.2f us per idle port goal <= 5\n",
              none, one, four, tick, tick / 4);
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
  BenchmarkTightLoop();
  BenchmarkMainLoopTurns();
  BenchmarkIdlePorts();
  RuntimeHostFinish();
  return 0;
}
