// Serial objects over the fake device (set-up, names, lines, pending
// requests, failures, ticks, closing, the walk of all ports), then over the
// system's: a missing device, and pseudo-terminal lines (PtySerial, a CTest
// entry of its own that starts the lines first).
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "host/RunTimer.h"
#include "host/Win32Handles.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "system/ByteQueue.h"
#include "system/runSerial.h"
#include "tests/system/SystemTestSupport.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/FakeCommDevice.h"

namespace {

std::vector<std::string> events;
std::function<void(RuntimeObject*)> onData;
int destroyed = 0;

SerialFields* F(RuntimeObject* serial) { return ObjectFields<SerialFields>(serial); }

void OnDataAvailable(RuntimeObject* serial) {
  events.push_back("DataAvailable");
  if (onData) onData(serial);
}
void OnError(RuntimeObject* serial) {
  events.push_back("Error " + std::to_string(F(serial)->lastErrorCode));
}

ClassBuilder& TestSerialClass() {
  static ClassBuilder builder(GetSerialClassDefinition(), "TestSerial", 0, nullptr,
                              [](RuntimeObject*) { ++destroyed; });
  static bool handled = (builder.Handle("DataAvailable", OnDataAvailable).Handle("Error", OnError), true);
  (void)handled;
  return builder;
}

ObjectRef PortNamed(const char* name) {
  ObjectRef port = ObjectRef::Adopt(CreateInstance(GetSerialPortClassDefinition()));
  ObjectFields<SerialPortFields>(port.get())->inputDriverName = NewString(name, kEncodingASCII);
  return port;
}

class SerialFixture : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    events.clear();
    onData = nullptr;
  }
  ObjectRef NewSerial(int16_t port = 0) {
    ObjectRef serial = ObjectRef::Adopt(TestSerialClass().NewInstance());
    F(serial.get())->port = port;
    return serial;
  }
  ObjectRef OpenSerial() {
    ObjectRef serial = NewSerial();
    EXPECT_TRUE(serialOpen(serial.get()));
    events.clear();
    return serial;
  }
};

class SerialTest : public SerialFixture {
 protected:
  std::vector<std::string> OpsSince(size_t mark) const {
    const std::vector<std::string> ops = device.Ops();
    return {ops.begin() + mark, ops.end()};
  }
  FakeCommDevice device;
};

TEST_F(SerialTest, PropertiesBecomeTheDeviceControlBlock) {
  enum { kDTR = 1, kCTS = 2, kXON = 4, kRTSOff = 8 };
  struct Case {
    int32_t baud;
    int16_t bits, stop, parity;
    int flags;
    DWORD rate;  // 0: refused
    BYTE size, stopBits, parityBits;
  };
  const Case cases[] = {
      {8, 3, 0, 0, 0, 9600, 8, ONESTOPBIT, NOPARITY},
      {20, 2, 2, 1, kDTR | kCTS, 57600, 7, TWOSTOPBITS, ODDPARITY},
      {4800, 0, 1, 2, kXON | kRTSOff, 4800, 5, ONE5STOPBITS, EVENPARITY},
      {13, 0, 2, 0, 0, 0, 0, 0, 0},
      {13, 3, 1, 0, 0, 0, 0, 0, 0},
  };
  device.state.fAbortOnError = 1;
  device.state.fErrorChar = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "Baud " << c.baud << " Bits " << c.bits << " Stop " << c.stop);
    ObjectRef serial = NewSerial();
    SerialFields* fields = F(serial.get());
    fields->baud = c.baud;
    fields->bits = c.bits;
    fields->stop = c.stop;
    fields->parity = c.parity;
    fields->dtrHandshake = (c.flags & kDTR) != 0;
    fields->ctsFlow = (c.flags & kCTS) != 0;
    fields->xonFlow = (c.flags & kXON) != 0;
    fields->rtsLine = !(c.flags & kRTSOff);
    const size_t before = device.Calls("SetCommState").size();
    EXPECT_TRUE(serialOpen(serial.get()));
    const std::vector<CommCall> calls = device.Calls("SetCommState");
    if (!c.rate) {
      EXPECT_EQ(calls.size(), before);
      ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
      EXPECT_TRUE(ObjectIsADefinition(exception.get(), GetUnsupportedFormatExceptionClassDefinition()));
      continue;
    }
    ASSERT_EQ(calls.size(), before + 1);
    const DCB& dcb = calls.back().dcb;
    EXPECT_EQ(dcb.BaudRate, c.rate);
    EXPECT_EQ(fields->baud, int32_t(c.rate));
    EXPECT_EQ(dcb.ByteSize, c.size);
    EXPECT_EQ(dcb.StopBits, c.stopBits);
    EXPECT_EQ(dcb.Parity, c.parityBits);
    EXPECT_EQ(dcb.fParity, c.parityBits != NOPARITY);
    EXPECT_EQ(dcb.fDtrControl, (c.flags & kDTR) ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fRtsControl, (c.flags & kRTSOff) ? RTS_CONTROL_DISABLE : RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fOutxCtsFlow, (c.flags & kCTS) != 0);
    EXPECT_EQ(dcb.fOutX + dcb.fInX, (c.flags & kXON) ? 2u : 0u);
    EXPECT_EQ(dcb.XonLim + dcb.XoffLim, (c.flags & kXON) ? 0x1000 : 0);
    EXPECT_EQ(dcb.XonChar + 0, 0x11);
    EXPECT_EQ(dcb.XoffChar + 0, 0x13);
    EXPECT_EQ(dcb.fBinary + dcb.fErrorChar, 2u) << "fBinary set, fErrorChar kept";
    EXPECT_EQ(dcb.fAbortOnError, 0u);
  }
}

TEST_F(SerialTest, PortsOpenByDeviceNameAndLinesWaitForReset) {
  ObjectRef first = NewSerial(0), twelfth = NewSerial(11), third = NewSerial(), file = NewSerial();
  objSetter(third.get(), offsetof(SerialFields, serialPort), PortNamed("COM3").get());
  objSetter(file.get(), offsetof(SerialFields, serialPort), PortNamed("C:\\x").get());
  for (const ObjectRef& serial : {first, twelfth, third}) EXPECT_TRUE(serialOpen(serial.get()));
  EXPECT_FALSE(serialOpen(file.get()));
  EXPECT_EQ(events, std::vector<std::string>{"Error 123"});
  std::vector<std::wstring> names;
  for (const CommCall& call : device.Calls("CreateFile")) names.push_back(call.name);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"\\\\.\\COM1", L"\\\\.\\COM12", L"\\\\.\\COM3"}));
  for (const CommCall& call : device.Calls("SetCommTimeouts")) {
    const COMMTIMEOUTS& t = call.timeouts;
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier + t.ReadTotalTimeoutConstant +
                  t.WriteTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant, 0u);
  }

  const size_t mark = device.Ops().size();
  LineStateSetter(first.get(), 0, 1);
  EXPECT_TRUE(LineStateGetter(first.get(), 0));
  EXPECT_TRUE(OpsSince(mark).empty());
  serialReset(first.get());
  const std::vector<CommCall> escapes = device.Calls("EscapeCommFunction");
  EXPECT_EQ(escapes[escapes.size() - 2].value, DWORD(SETDTR));
  EXPECT_EQ(escapes.back().value, DWORD(SETRTS));

  device.modemStatus = 0x90;
  const bool lines[] = {LineStateGetter(first.get(), 2), LineStateGetter(first.get(), 3),
                        LineStateGetter(first.get(), 4), LineStateGetter(first.get(), 5)};
  EXPECT_EQ(std::vector<bool>(lines, lines + 4), (std::vector<bool>{true, true, false, false}));
}

TEST_F(SerialTest, APendingWriteSendsItsOwnCopyAndCountsAtCompletion) {
  device.Script("WriteFile", {Fails(ERROR_IO_PENDING)});
  device.Script("GetOverlappedResult", {Fails(ERROR_IO_INCOMPLETE), Fails(ERROR_IO_INCOMPLETE), Succeeds(5)});
  ObjectRef serial = OpenSerial();
  serialWrite(serial.get(), Text("hello world").get());
  serialWrite(serial.get(), Text(std::string(1 << 20, 'x')).get());  // moves the buffer's bytes
  EXPECT_EQ(SerialWriteAttempt(serial.get()), 0);
  EXPECT_EQ(SerialWriteAttempt(serial.get()), 5);
  EXPECT_EQ(device.written, "hello");
  const ByteQueue& buffer = *F(serial.get())->writeBuffer;
  ASSERT_EQ(buffer.Length(), 6u + (1 << 20));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Front()), 7), " worldx");
  EXPECT_TRUE(events.empty());
}

TEST_F(SerialTest, FailuresFireErrorWithTheirCodes) {
  ObjectRef serial = OpenSerial();
  device.Script("WriteFile", {Fails(31), Fails(0)});
  device.Script("ReadFile", {Fails(1167)});
  serialWrite(serial.get(), Text("abc").get());
  EXPECT_EQ(F(serial.get())->writeBuffer->Length(), 3u);
  EXPECT_EQ(SerialWriteAttempt(serial.get()), -1);
  serialTick(serial.get());
  EXPECT_EQ(events, (std::vector<std::string>{"Error 31", "Error 31", "Error 1167"}));
  EXPECT_EQ(device.written, "abc");
}

TEST_F(SerialTest, XmitWaitEndsWhenClosedAndGivesUpAfterFiveSeconds) {
  ObjectRef serial = NewSerial();
  F(serial.get())->writeBuffer->Append("x", 1);
  ULONGLONG start = GetTickCount64();
  serialXmitWait(serial.get());
  EXPECT_LT(GetTickCount64() - start, 100u);

  ASSERT_TRUE(serialOpen(serial.get()));
  device.Script("WriteFile", {Fails(ERROR_IO_PENDING)});
  start = GetTickCount64();
  serialXmitWait(serial.get());
  const ULONGLONG waited = GetTickCount64() - start;
  EXPECT_GE(waited, 4900u);
  EXPECT_LT(waited, 6500u);
  EXPECT_EQ(events, std::vector<std::string>{"Error 1460"});
  EXPECT_LT(device.Calls("GetOverlappedResult").size(), 100u) << "waits between attempts";
}

TEST_F(SerialTest, TicksNeverWaitAndReadOnWhileBlocksComeFull) {
  ObjectRef serial = OpenSerial();
  serialTick(serial.get());  // the read goes pending
  serialTick(serial.get());
  for (const CommCall& call : device.Calls("GetOverlappedResult")) EXPECT_EQ(call.value, 0u);
  EXPECT_TRUE(device.Calls("WaitForSingleObject").empty());
  EXPECT_TRUE(events.empty());

  std::string line;
  for (int i = 0; i < 3000; ++i) line += char('a' + i % 26);
  device.incoming = line;
  device.CompleteRead();
  serialTick(serial.get());
  EXPECT_EQ(events, std::vector<std::string>{"DataAvailable"});
  EXPECT_EQ(device.Calls("ReadFile").size(), 3u);
  EXPECT_EQ(BytesOf(serialLookahead(serial.get(), nullptr)), line);

  // A handler that reads while the line keeps bringing bytes runs once.
  onData = [this](RuntimeObject* self) {
    device.incoming = "more";
    BytesOf(serialReadAll(self, nullptr));
  };
  device.incoming = "x";
  serialTick(serial.get());
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(SerialTest, CloseCancelsAndWaitsForBothRequestsBeforeClosingHandles) {
  device.Script("WriteFile", {Fails(ERROR_IO_PENDING)});
  ObjectRef serial = OpenSerial();
  serialWrite(serial.get(), Text("abc").get());
  serialTick(serial.get());
  const size_t mark = device.Ops().size();
  serialClose(serial.get());
  EXPECT_EQ(OpsSince(mark),
            (std::vector<std::string>{"CancelIo", "GetOverlappedResult", "GetOverlappedResult",
                                      "CloseHandle", "CloseHandle", "CloseHandle"}));
  const std::vector<CommCall> results = device.Calls("GetOverlappedResult");
  EXPECT_EQ(results[results.size() - 1].value + results[results.size() - 2].value, 2u)
      << "both wait";
  EXPECT_EQ(F(serial.get())->writeBuffer->Length(), 3u) << "cancelled bytes stay to be sent";
}

TEST_F(SerialTest, AHandlerMayCloseAndReleaseSerialsDuringTheWalk) {
  destroyed = 0;
  RuntimeObject* older = TestSerialClass().NewInstance();
  RuntimeObject* newer = TestSerialClass().NewInstance();
  ASSERT_TRUE(serialOpen(older) && serialOpen(newer));
  device.incoming = "x";
  onData = [older](RuntimeObject* self) {
    serialClose(older);
    RuntimeUnlockObject(older);
    serialClose(self);
    RuntimeUnlockObject(self);
  };
  SerialTickAll();
  EXPECT_EQ(events, std::vector<std::string>{"DataAvailable"});
  EXPECT_EQ(destroyed, 2);
}

TEST_F(SerialTest, OnlyPresentPortsAreCountedAndNamed) {
  device.ports = std::set<std::wstring>{L"\\\\.\\COM3"};
  EXPECT_EQ(getSerialPortCount(), 1);
  ObjectRef port = ObjectRef::Adopt(getSerialPort(0));
  ASSERT_NE(port.get(), nullptr);
  const SerialPortFields* fields = ObjectFields<SerialPortFields>(port.get());
  EXPECT_EQ(StringToStdUTF8(fields->name), "COM3");
  EXPECT_EQ(StringToStdUTF8(fields->inputDriverName), "COM3");
  EXPECT_EQ(fields->ratedSpeed, 115200);
  EXPECT_EQ(getSerialPort(1), nullptr);
  EXPECT_EQ(getSerialPort(-1), nullptr);
  for (const CommCall& call : device.Calls("CreateFile")) EXPECT_EQ(call.value, 0u);

  serialTick(nullptr);
  const std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Source: runSerial, line 172"), std::string::npos);
}

// ---- The system's devices ----

TEST_F(SerialFixture, AMissingDeviceFailsWithItsCode) {
  ObjectRef serial = NewSerial(199);
  EXPECT_FALSE(serialOpen(serial.get()));
  serialWrite(serial.get(), Text("x").get());
  EXPECT_EQ(events, (std::vector<std::string>{"Error 2", "Error 2"}));
  EXPECT_TRUE(F(serial.get())->writeBuffer->Empty());
}

// The far end of a line: plain blocking calls on a thread of its own.
class LinePeer {
 public:
  explicit LinePeer(const wchar_t* name)
      : port_(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    COMMTIMEOUTS timeouts{0, 0, 100, 0, 0};  // a read gives what came within 100 ms
    SetCommTimeouts(port_.get(), &timeouts);
  }
  bool Open() const { return port_.valid(); }
  void Write(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
      DWORD done = 0;
      const DWORD count = DWORD(std::min<size_t>(bytes.size() - sent, 65536));
      if (!WriteFile(port_.get(), bytes.data() + sent, count, &done, nullptr)) return;
      sent += done;
    }
  }
  std::string Read(size_t count, DWORD timeoutMs) {
    std::string bytes;
    std::vector<char> block(65536);
    for (ULONGLONG end = GetTickCount64() + timeoutMs; bytes.size() < count && GetTickCount64() < end;) {
      DWORD done = 0;
      if (!ReadFile(port_.get(), block.data(), DWORD(block.size()), &done, nullptr)) break;
      bytes.append(block.data(), done);
    }
    return bytes;
  }

 private:
  UniqueFile port_;
};

using PtySerial = SerialFixture;

TEST_F(PtySerial, AWaitingLoopWakesForTheLinesBytes) {
  ObjectRef serial = NewSerial(4);
  ASSERT_TRUE(serialOpen(serial.get()));
  EXPECT_EQ(events, std::vector<std::string>{"Error 50"}) << "the pty has no modem lines";
  events.clear();
  LinePeer peer(L"\\\\.\\COM6");
  ASSERT_TRUE(peer.Open());
  std::atomic<bool> stop{false};
  PeerThread writer([&] {
    Sleep(100);
    peer.Write("world!");
  });
  // A loop that is never woken waits for the watchdog's message and fails.
  PeerThread watchdog([&] {
    for (int i = 0; i < 60 && !stop; ++i) Sleep(50);
    if (!stop) PostMessageW(TimerWindow(), WM_USER, 0, 0);
  });
  const ULONGLONG start = GetTickCount64();
  while (events.empty() && GetTickCount64() - start < 2000) RuntimeRunTurn(INFINITE);
  stop = true;
  EXPECT_EQ(events, std::vector<std::string>{"DataAvailable"});
  EXPECT_LT(GetTickCount64() - start, 2000u);
  RuntimeTestEnvironment::RunUntil([&] { return F(serial.get())->readBuffer->Length() == 6; }, 1000);
  EXPECT_EQ(BytesOf(serialRead(serial.get(), 3, nullptr)), "wor");
  EXPECT_EQ(BytesOf(serialLookahead(serial.get(), nullptr)), "ld!");
  EXPECT_EQ(BytesOf(serialReadAll(serial.get(), nullptr)), "ld!");
}

TEST_F(PtySerial, AMebibyteEachWayArrivesExactly) {
  std::string data(1 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + (i >> 11));
  const std::pair<int16_t, const wchar_t*> lines[] = {{4, L"\\\\.\\COM6"}, {11, L"\\\\.\\COM13"}};
  for (const auto& [port, peerName] : lines) {
    SCOPED_TRACE(port);
    ObjectRef serial = NewSerial(port);
    ASSERT_TRUE(serialOpen(serial.get()));
    LinePeer peer(peerName);
    ASSERT_TRUE(peer.Open());
    std::string received;
    onData = [&](RuntimeObject* self) { received += BytesOf(serialReadAll(self, nullptr)); };
    {
      PeerThread writer([&] { peer.Write(data); });
      RuntimeTestEnvironment::RunUntil([&] { return received.size() >= data.size(); }, 60000);
    }
    EXPECT_TRUE(received == data) << received.size() << " bytes";

    std::string sent;
    std::atomic<bool> done{false};
    PeerThread reader([&] {
      sent = peer.Read(data.size(), 60000);
      done = true;
    });
    serialWrite(serial.get(), Text(data).get());
    RuntimeTestEnvironment::RunUntil(
        [&] { return done && F(serial.get())->writeBuffer->Empty(); }, 70000);
    reader.Join();
    EXPECT_TRUE(sent == data) << sent.size() << " bytes";
    EXPECT_TRUE(F(serial.get())->writeBuffer->Empty());
  }
}

TEST_F(PtySerial, OpeningAndClosingOverAPendingReadHolds) {
  ObjectRef serial = NewSerial(4);
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(serialOpen(serial.get()));
    serialTick(serial.get());
    ASSERT_TRUE(F(serial.get())->readPending);
    serialClose(serial.get());
  }
  EXPECT_EQ(events, std::vector<std::string>(200, "Error 50"));
}

}  // namespace
