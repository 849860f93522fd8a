#include "system/win32serial.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "host/RunTimer.h"
#include "host/RuntimeMain.h"
#include "system/ByteQueue.h"
#include "system/runSerial.h"

namespace {

class SystemCommDevice final : public CommDevice {
 public:
  HANDLE CreateFile(const wchar_t* name, DWORD access, DWORD flags) override {
    if (IsWindowsNT()) {
      return ::CreateFileW(name, access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    // Port names are plain ASCII.
    const std::string narrow(name, name + wcslen(name));
    return ::CreateFileA(narrow.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  }
  BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
  BOOL GetCommState(HANDLE port, DCB* dcb) override { return ::GetCommState(port, dcb); }
  BOOL SetCommState(HANDLE port, DCB* dcb) override { return ::SetCommState(port, dcb); }
  BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override {
    return ::SetCommTimeouts(port, timeouts);
  }
  BOOL EscapeCommFunction(HANDLE port, DWORD function) override {
    return ::EscapeCommFunction(port, function);
  }
  BOOL GetCommModemStatus(HANDLE port, DWORD* status) override {
    return ::GetCommModemStatus(port, status);
  }
  BOOL SetCommBreak(HANDLE port) override { return ::SetCommBreak(port); }
  BOOL ClearCommBreak(HANDLE port) override { return ::ClearCommBreak(port); }
  BOOL ReadFile(HANDLE port, void* bytes, DWORD count, DWORD* done,
                OVERLAPPED* request) override {
    return ::ReadFile(port, bytes, count, done, request);
  }
  BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, DWORD* done,
                 OVERLAPPED* request) override {
    return ::WriteFile(port, bytes, count, done, request);
  }
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* request, DWORD* done, BOOL wait) override {
    return ::GetOverlappedResult(port, request, done, wait);
  }
  BOOL CancelIo(HANDLE port) override { return ::CancelIo(port); }
  HANDLE CreateEvent() override { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  BOOL ResetEvent(HANDLE event) override { return ::ResetEvent(event); }
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override {
    return ::WaitForSingleObject(object, milliseconds);
  }
  DWORD GetLastError() override { return ::GetLastError(); }
};

SystemCommDevice systemDevice;
CommDevice* device = &systemDevice;

SerialFields* FieldsOf(RuntimeObject* serial) { return ObjectFields<SerialFields>(serial); }

void ReportFailure(RuntimeObject* serial) { ReportSerialError(serial, device->GetLastError()); }

// ---- The wake-up ----
// A main loop waiting for messages would never see a port's bytes: while a
// port is open, a task of one tick wakes it.
class SerialWakeupTask final : public PeriodicTask {
 public:
  SerialWakeupTask() : PeriodicTask(1) {}
  void Run() override { WakeMainLoop(); }
};

int32_t openPorts = 0;
std::unique_ptr<SerialWakeupTask> wakeupTask;

void CountOpenedPort() {
  if (openPorts++ == 0) wakeupTask = std::make_unique<SerialWakeupTask>();
}

void CountClosedPort() {
  if (--openPorts == 0) wakeupTask.reset();
}

// ---- Requests ----
template <class Request>
bool MakeRequest(Request** request) {
  if (*request) return true;
  auto made = std::make_unique<Request>();
  made->overlapped = OVERLAPPED{};
  made->overlapped.hEvent = device->CreateEvent();
  if (!made->overlapped.hEvent) return false;
  *request = made.release();
  return true;
}

template <class Request>
void FreeRequest(Request** request) {
  if (!*request) return;
  device->CloseHandle((*request)->overlapped.hEvent);
  delete std::exchange(*request, nullptr);
}

// The completion counted `done` bytes of the in-flight block: they leave
// the write buffer's front, unless Flush emptied it meanwhile.
int32_t AcceptWritten(SerialFields* fields, DWORD done) {
  SerialWriteRequest* request = fields->writeRequest;
  fields->writeBuffer->Consume(std::min<size_t>(done, request->queued));
  request->queued = 0;
  return int32_t(done);
}

// ---- Set-up ----
DWORD BitRateOf(int32_t baud) {
  static const DWORD kRates[] = {300,   600,   1200,  1800,  2400,  3600,   4800,   7200,
                                 9600,  14400, 19200, 28800, 38400, 57600, 115200, 256000};
  if (baud >= 50) return DWORD(baud);
  if (baud >= 0 && size_t(baud) < std::size(kRates)) return kRates[baud];
  return 57600;
}

// The properties in the block; false for data bits and stop bits that do
// not go together.
bool FillDeviceControlBlock(const SerialFields& fields, DCB* dcb) {
  dcb->BaudRate = BitRateOf(fields.baud);
  dcb->StopBits = fields.stop == 1 ? ONE5STOPBITS : fields.stop == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb->Parity = fields.parity == 1 ? ODDPARITY : fields.parity == 2 ? EVENPARITY : NOPARITY;
  dcb->fParity = dcb->Parity != NOPARITY;
  dcb->fBinary = 1;
  dcb->ByteSize = BYTE(fields.bits >= 0 && fields.bits <= 2 ? 5 + fields.bits : 8);
  if ((dcb->ByteSize == 5 && dcb->StopBits == TWOSTOPBITS) ||
      (dcb->ByteSize > 5 && dcb->StopBits == ONE5STOPBITS)) {
    return false;
  }
  dcb->fDtrControl = fields.dtrHandshake ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
  dcb->fOutxCtsFlow = fields.ctsFlow != 0;
  dcb->fOutX = dcb->fInX = fields.xonFlow != 0;
  if (fields.xonFlow) dcb->XonLim = dcb->XoffLim = 0x800;
  dcb->fRtsControl = fields.rtsLine ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  dcb->fAbortOnError = 0;
  dcb->XonChar = 0x11;
  dcb->XoffChar = 0x13;
  return true;
}

// One read into the port's block; the bytes read (appended to the read
// buffer), 0 while pending, -1 after an Error.
int32_t SerialReadAttempt(RuntimeObject* serial) {
  SerialFields* fields = FieldsOf(serial);
  SerialReadRequest* request = fields->readRequest;
  DWORD done = 0;
  const bool wasPending = fields->readPending;
  const BOOL finished =
      wasPending ? device->GetOverlappedResult(fields->handle, &request->overlapped, &done, FALSE)
                 : device->ReadFile(fields->handle, request->block, kSerialReadBlock, &done,
                                    &request->overlapped);
  if (finished) {
    fields->readPending = 0;
    device->ResetEvent(request->overlapped.hEvent);
    done = std::min(done, kSerialReadBlock);
    fields->readBuffer->Append(request->block, done);
    if (done) fields->dataArrived = 1;
    return int32_t(done);
  }
  const DWORD error = device->GetLastError();
  if (error == (wasPending ? ERROR_IO_INCOMPLETE : ERROR_IO_PENDING)) {
    fields->readPending = 1;
    return 0;
  }
  fields->readPending = 0;
  ReportSerialError(serial, error);
  return -1;
}

}  // namespace

CommDevice* CurrentCommDevice() { return device; }

CommDevice* SetCommDevice(CommDevice* replacement) {
  return std::exchange(device, replacement ? replacement : &systemDevice);
}

// ---- Port names ----

bool SerialDevicePath(const std::string& name, std::wstring* path) {
  if (name.size() < 4 || name.size() > 6) return false;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
  }
  std::wstring digits;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    digits += wchar_t(name[i]);
  }
  *path = L"\\\\.\\COM" + digits;
  return true;
}

std::string SerialPortName(int32_t number) { return "COM" + std::to_string(number); }

bool SerialPortPresent(int32_t number) {
  std::wstring path;
  if (!SerialDevicePath(SerialPortName(number), &path)) return false;
  HANDLE port = device->CreateFile(path.c_str(), 0, 0);
  if (port == INVALID_HANDLE_VALUE) return false;
  device->CloseHandle(port);
  return true;
}

// ---- Operations ----

bool OpenSerialPort(RuntimeObject* serial, const std::string& name) {
  SerialFields* fields = FieldsOf(serial);
  if (fields->open) return true;
  std::wstring path;
  if (!SerialDevicePath(name, &path)) {
    ReportSerialError(serial, ERROR_INVALID_NAME);
    return false;
  }
  if (!MakeRequest(&fields->writeRequest) || !MakeRequest(&fields->readRequest)) {
    ReportFailure(serial);
    return false;
  }
  fields->writePending = fields->readPending = 0;
  HANDLE port = device->CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  if (port == INVALID_HANDLE_VALUE) {
    ReportFailure(serial);
    return false;
  }
  fields->handle = port;
  fields->open = 1;
  CountOpenedPort();
  ApplySerialSettings(serial);
  // A read gives at once what the driver holds.
  COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  if (fields->open && !device->SetCommTimeouts(fields->handle, &timeouts)) ReportFailure(serial);
  return fields->open != 0;
}

void ApplySerialSettings(RuntimeObject* serial) {
  SerialFields* fields = FieldsOf(serial);
  if (!fields->open) return;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!device->GetCommState(fields->handle, &dcb)) return ReportFailure(serial);
  if (!FillDeviceControlBlock(*fields, &dcb)) {
    RaiseExceptionOfDefinition(GetUnsupportedFormatExceptionClassDefinition());
    return;
  }
  if (!device->SetCommState(fields->handle, &dcb)) return ReportFailure(serial);
  if (!device->EscapeCommFunction(fields->handle, fields->dtrLine ? SETDTR : CLRDTR)) {
    return ReportFailure(serial);
  }
  if (!device->EscapeCommFunction(fields->handle, fields->rtsLine ? SETRTS : CLRRTS)) {
    return ReportFailure(serial);
  }
  fields->baud = int32_t(dcb.BaudRate);
}

void CloseSerialPort(SerialFields* fields) {
  if (fields->open) {
    // The system writes into the requests until they are finished: cancel
    // them and wait for each before anything is freed.
    if (fields->writePending || fields->readPending) device->CancelIo(fields->handle);
    DWORD done = 0;
    if (fields->writePending &&
        device->GetOverlappedResult(fields->handle, &fields->writeRequest->overlapped, &done, TRUE)) {
      AcceptWritten(fields, done);
    }
    if (fields->readPending) {
      device->GetOverlappedResult(fields->handle, &fields->readRequest->overlapped, &done, TRUE);
    }
    fields->writePending = fields->readPending = 0;
    device->CloseHandle(fields->handle);
    fields->handle = INVALID_HANDLE_VALUE;
    fields->open = 0;
    CountClosedPort();
  }
  FreeRequest(&fields->writeRequest);
  FreeRequest(&fields->readRequest);
  fields->readBuffer->Clear();
  fields->dataArrived = 0;
}

int32_t SerialWriteAttempt(RuntimeObject* serial) {
  SerialFields* fields = FieldsOf(serial);
  if (!fields->open) return 0;
  SerialWriteRequest* request = fields->writeRequest;
  DWORD done = 0;
  const bool wasPending = fields->writePending;
  BOOL finished;
  if (wasPending) {
    finished = device->GetOverlappedResult(fields->handle, &request->overlapped, &done, FALSE);
  } else {
    if (fields->writeBuffer->Empty()) return 0;
    const size_t count = std::min<size_t>(fields->writeBuffer->Length(), kSerialWriteBlock);
    const uint8_t* front = fields->writeBuffer->Front();
    request->block.assign(front, front + count);
    request->queued = count;
    finished = device->WriteFile(fields->handle, request->block.data(), DWORD(count), &done,
                                 &request->overlapped);
  }
  if (finished) {
    fields->writePending = 0;
    device->ResetEvent(request->overlapped.hEvent);
    return AcceptWritten(fields, done);
  }
  const DWORD error = device->GetLastError();
  if (error == (wasPending ? ERROR_IO_INCOMPLETE : ERROR_IO_PENDING)) {
    fields->writePending = 1;
    return 0;
  }
  fields->writePending = 0;
  request->queued = 0;
  ReportSerialError(serial, error);
  return -1;
}

int32_t SerialReadAvailable(RuntimeObject* serial) {
  // A full block means the driver may hold more: reading on in the same
  // tick keeps up with fast lines.
  constexpr int kMostReadsPerTick = 64;
  int32_t total = 0;
  for (int i = 0; i < kMostReadsPerTick && FieldsOf(serial)->open; ++i) {
    const int32_t got = SerialReadAttempt(serial);
    if (got < 0) return -1;
    total += got;
    if (DWORD(got) < kSerialReadBlock) break;
  }
  return total;
}

// ---- Entries ----

extern "C" {

void serialXmitWait(RuntimeObject* serial) {
  SerialFields* fields = SerialArgument(serial, "win32serial", 527, "serial");
  if (!fields) return;
  constexpr DWORD kGiveUpMs = 5000;
  constexpr DWORD kLongestWaitMs = 100;
  ObjectRef hold = ObjectRef::Retain(serial);
  DWORD lastProgress = GetTickCount();
  while (fields->open && !fields->writeBuffer->Empty()) {
    const int32_t accepted = SerialWriteAttempt(serial);
    if (accepted < 0) return;
    const DWORD now = GetTickCount();
    if (accepted > 0) {
      lastProgress = now;
      continue;
    }
    const DWORD waited = now - lastProgress;
    if (waited >= kGiveUpMs) return ReportSerialError(serial, ERROR_TIMEOUT);
    device->WaitForSingleObject(fields->writeRequest->overlapped.hEvent,
                                std::min(kGiveUpMs - waited, kLongestWaitMs));
  }
}

bool LineStateGetter(RuntimeObject* serial, uint32_t index) {
  SerialFields* fields = SerialArgument(serial, "win32serial", 555, "serial");
  if (!fields) return false;
  // The states wanted are the program's own; asking the device for them
  // would turn a modem-status failure into a wrong answer.
  if (index == 0) return fields->dtrLine != 0;
  if (index == 1) return fields->rtsLine != 0;
  static const DWORD kStatusBits[] = {MS_CTS_ON, MS_RLSD_ON, MS_RING_ON, MS_DSR_ON};
  if (index > 5) return false;
  DWORD status = 0;
  if (!device->GetCommModemStatus(fields->handle, &status)) {
    ReportFailure(serial);
    return false;
  }
  return (status & kStatusBits[index - 2]) != 0;
}

void serialSetBreak(RuntimeObject* serial) {
  SerialFields* fields = SerialArgument(serial, "win32serial", 593, "serial");
  if (!fields) return;
  fields->breakOn = 1;
  if (!device->SetCommBreak(fields->handle)) ReportFailure(serial);
}

void serialClearBreak(RuntimeObject* serial) {
  SerialFields* fields = SerialArgument(serial, "win32serial", 607, "serial");
  if (!fields) return;
  fields->breakOn = 0;
  if (!device->ClearCommBreak(fields->handle)) ReportFailure(serial);
}

}  // extern "C"
