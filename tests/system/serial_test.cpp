// Serial objects over the fake device (set-up, names, lines, pending
// requests, failures, ticks, closing, the walk of all ports), then over the
// system's: a missing device, and pseudo-terminal lines (PtySerial, a CTest
// entry of its own that starts the lines first).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <tuple>

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "host/RunTimer.h"
#include "host/Win32Handles.h"
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

ClassBuilder& TestSerialClass() {
  static ClassBuilder* builder = [] {
    auto* made = new ClassBuilder(GetSerialClassDefinition(), "TestSerial", 0, nullptr,
                                  [](RuntimeObject*) { ++destroyed; });
    made->Handle("DataAvailable", +[](RuntimeObject* serial) {
      events.push_back("DataAvailable");
      if (onData) onData(serial);
    });
    made->Handle("Error", +[](RuntimeObject* serial) {
      events.push_back("Error " + std::to_string(F(serial)->lastErrorCode));
    });
    return made;
  }();
  return *builder;
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

std::string Summary(const DCB& d) {
  char text[96];
  std::snprintf(text, sizeof text, "%lu %u-%u-%u p%u dtr%u rts%u cts%u x%u%u %u/%u %X %X bin%u err%u abort%u",
                d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fParity, d.fDtrControl, d.fRtsControl,
                d.fOutxCtsFlow, d.fOutX, d.fInX, d.XonLim, d.XoffLim, d.XonChar, d.XoffChar, d.fBinary,
                d.fErrorChar, d.fAbortOnError);
  return text;
}

TEST_F(SerialTest, PropertiesBecomeTheDeviceControlBlock) {
  struct Case {
    int32_t baud;
    int16_t bits, stop, parity;
    uint8_t dtr, cts, xon, rts;
    const char* block;  // "": refused
  };
  const Case cases[] = {
      {8, 3, 0, 0, 0, 0, 0, 1, "9600 8-0-0 p0 dtr0 rts1 cts0 x00 0/0 11 13 bin1 err1 abort0"},
      {20, 2, 2, 1, 1, 1, 0, 1, "57600 7-1-2 p1 dtr2 rts1 cts1 x00 0/0 11 13 bin1 err1 abort0"},
      {4800, 0, 1, 2, 0, 0, 1, 0, "4800 5-2-1 p1 dtr0 rts0 cts0 x11 2048/2048 11 13 bin1 err1 abort0"},
      {13, 0, 2, 0, 0, 0, 0, 1, ""},
      {13, 3, 1, 0, 0, 0, 0, 1, ""},
  };
  device.state.fAbortOnError = device.state.fErrorChar = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "Baud " << c.baud << " Bits " << c.bits << " Stop " << c.stop);
    ObjectRef serial = NewSerial();
    SerialFields* fields = F(serial.get());
    std::tie(fields->baud, fields->bits, fields->stop, fields->parity) = std::tie(c.baud, c.bits, c.stop, c.parity);
    std::tie(fields->dtrHandshake, fields->ctsFlow, fields->xonFlow, fields->rtsLine) = std::tie(c.dtr, c.cts, c.xon, c.rts);
    const size_t before = device.Calls("SetCommState").size();
    EXPECT_TRUE(serialOpen(serial.get()));
    const std::vector<CommCall> calls = device.Calls("SetCommState");
    if (!*c.block) {
      EXPECT_EQ(calls.size(), before);
      ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
      EXPECT_TRUE(ObjectIsADefinition(exception.get(), GetUnsupportedFormatExceptionClassDefinition()));
    } else {
      ASSERT_EQ(calls.size(), before + 1);
      EXPECT_EQ(Summary(calls.back().dcb), c.block);
      EXPECT_EQ(fields->baud, std::atoi(c.block));
    }
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
  device.Fail("WriteFile", {ERROR_IO_PENDING});
  device.Fail("GetOverlappedResult", {ERROR_IO_INCOMPLETE, ERROR_IO_INCOMPLETE});
  ObjectRef serial = OpenSerial();
  const ByteQueue& buffer = *F(serial.get())->writeBuffer;
  const size_t mark = device.Ops().size();
  serialWrite(serial.get(), Text("hello world").get());
  // The first incomplete answer comes while this write moves the buffer's bytes.
  serialWrite(serial.get(), Text(std::string(1 << 20, 'x')).get());
  EXPECT_EQ(SerialWriteAttempt(serial.get()), 0);
  EXPECT_EQ(buffer.Length(), 11u + (1 << 20)) << "nothing leaves before the completion";
  device.CompleteWrite(5);
  EXPECT_EQ(SerialWriteAttempt(serial.get()), 5);
  EXPECT_EQ(OpsSince(mark), (std::vector<std::string>{"WriteFile", "GetOverlappedResult",
                                                      "GetOverlappedResult", "GetOverlappedResult",
                                                      "ResetEvent"}));
  for (const CommCall& call : device.Calls("GetOverlappedResult")) EXPECT_EQ(call.value, 0u);
  EXPECT_EQ(device.written, "hello");
  ASSERT_EQ(buffer.Length(), 6u + (1 << 20));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Front()), 7), " worldx");
  EXPECT_TRUE(events.empty());
}

TEST_F(SerialTest, FailuresFireErrorWithTheirCodesAndNothingHangs) {
  ObjectRef serial = OpenSerial();
  device.Fail("WriteFile", {31, 0});
  device.Fail("ReadFile", {1167});
  serialWrite(serial.get(), Text("abc").get());
  EXPECT_EQ(F(serial.get())->writeBuffer->Length(), 3u);
  EXPECT_EQ(SerialWriteAttempt(serial.get()), -1);
  serialTick(serial.get());
  EXPECT_EQ(device.written, "abc");

  // XmitWait: at once on a closed port; after 5 s when nothing is accepted.
  serialClose(serial.get());
  F(serial.get())->writeBuffer->Append("x", 1);
  ULONGLONG start = GetTickCount64();
  serialXmitWait(serial.get());
  EXPECT_LT(GetTickCount64() - start, 100u);
  ASSERT_TRUE(serialOpen(serial.get()));
  device.Fail("WriteFile", {ERROR_IO_PENDING});
  start = GetTickCount64();
  serialXmitWait(serial.get());
  EXPECT_NEAR(double(GetTickCount64() - start), 5000, 400);
  EXPECT_EQ(events, (std::vector<std::string>{"Error 31", "Error 31", "Error 1167", "Error 1460"}));
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
  device.Fail("WriteFile", {ERROR_IO_PENDING});
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

TEST_F(SerialTest, WalksEnumerationAndNil) {
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

  device.ports = std::set<std::wstring>{L"\\\\.\\COM3"};
  EXPECT_EQ(getSerialPortCount(), 1);
  ObjectRef port = ObjectRef::Adopt(getSerialPort(0));
  ASSERT_NE(port.get(), nullptr);
  const SerialPortFields* fields = ObjectFields<SerialPortFields>(port.get());
  EXPECT_EQ(StringToStdUTF8(fields->name) + StringToStdUTF8(fields->inputDriverName), "COM3COM3");
  EXPECT_EQ(fields->ratedSpeed, 115200);
  EXPECT_EQ(getSerialPort(1), getSerialPort(-1));
  EXPECT_EQ(getSerialPort(1), nullptr);
  EXPECT_EQ(device.Calls("CreateFile").back().value, 0u) << "enumeration asks for no access";

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
    DWORD done = 0;
    for (size_t sent = 0; sent < bytes.size() && WriteFile(port_.get(), &bytes[sent], DWORD(bytes.size() - sent), &done, nullptr);) sent += done;
  }
  std::string Read(size_t count, DWORD timeoutMs) {
    std::string bytes(count, '\0');
    DWORD done = 0;
    size_t got = 0;
    for (ULONGLONG end = GetTickCount64() + timeoutMs; got < count && GetTickCount64() < end;) {
      if (ReadFile(port_.get(), &bytes[got], DWORD(count - got), &done, nullptr)) got += done;
    }
    return bytes.substr(0, got);
  }

 private:
  UniqueFile port_;
};

using PtySerial = SerialFixture;

TEST_F(PtySerial, AWaitingLoopWakesForTheLinesBytesAndClosesOverPendingReads) {
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

  events.clear();
  for (int i = 0; i < 200; ++i) {  // each close meets a pending read
    serialClose(serial.get());
    ASSERT_TRUE(serialOpen(serial.get()));
    serialTick(serial.get());
    ASSERT_TRUE(F(serial.get())->readPending);
  }
  EXPECT_EQ(events, std::vector<std::string>(200, "Error 50"));
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
    EXPECT_TRUE(RuntimeTestEnvironment::RunUntil([&] { return done && F(serial.get())->writeBuffer->Empty(); }, 70000));
    reader.Join();
    EXPECT_TRUE(sent == data) << sent.size() << " bytes";
  }
}

}  // namespace
