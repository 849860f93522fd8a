// The Windows side of the serial ports: the device seam every kernel call
// goes through, the per-port overlapped requests, and the operations the
// Serial class is built from (open, set-up, write and read attempts, close),
// plus the entries that talk to the port's lines.
//
// Requests. Each port has its own write request and read request, made at
// its first open and freed at close. A request's OVERLAPPED comes first
// (20 bytes, its manual-reset event last), then the bytes the system reads
// into or writes from: while a request is pending the system owns those
// bytes, so they are never the program's buffers. A write sends a copy of the
// write buffer's front; the bytes leave the buffer only when the completion
// counts them.
//
// Failures. A failing call (other than one that merely starts, 997) stores
// its GetLastError code in LastErrorCode (31, ERROR_GEN_FAILURE, when the
// system gives 0) and fires Error.
//
// Everything here runs on the application thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct RuntimeObject;
struct SerialFields;

// ---- The device seam ----------------------------------------------------------
// The kernel calls of the serial ports, one method each, so that tests can
// stand in for the device (kernel32 itself cannot be replaced). The default
// calls the system: CreateFileW on the NT line, CreateFileA otherwise.
class CommDevice {
 public:
  virtual ~CommDevice() = default;
  virtual HANDLE CreateFile(const wchar_t* name, DWORD access, DWORD flags) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual BOOL GetCommState(HANDLE port, DCB* dcb) = 0;
  virtual BOOL SetCommState(HANDLE port, DCB* dcb) = 0;
  virtual BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL EscapeCommFunction(HANDLE port, DWORD function) = 0;
  virtual BOOL GetCommModemStatus(HANDLE port, DWORD* status) = 0;
  virtual BOOL SetCommBreak(HANDLE port) = 0;
  virtual BOOL ClearCommBreak(HANDLE port) = 0;
  virtual BOOL ReadFile(HANDLE port, void* bytes, DWORD count, DWORD* done,
                        OVERLAPPED* request) = 0;
  virtual BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, DWORD* done,
                         OVERLAPPED* request) = 0;
  virtual BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* request, DWORD* done, BOOL wait) = 0;
  virtual BOOL CancelIo(HANDLE port) = 0;
  // A manual-reset event, not signalled; null on failure.
  virtual HANDLE CreateEvent() = 0;
  virtual BOOL ResetEvent(HANDLE event) = 0;
  virtual DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
  virtual DWORD GetLastError() = 0;
};

// The device in use (never nil). The setter installs another for the whole
// process (nil puts the system's back) and gives the previous one; the
// caller keeps ownership of what it installs.
CommDevice* CurrentCommDevice();
CommDevice* SetCommDevice(CommDevice* device);

// ---- Requests -------------------------------------------------------------------
constexpr DWORD kSerialReadBlock = 1024;
// The most a write request carries at a time.
constexpr DWORD kSerialWriteBlock = 64 * 1024;

struct SerialReadRequest {
  OVERLAPPED overlapped;
  uint8_t block[kSerialReadBlock];
};

struct SerialWriteRequest {
  OVERLAPPED overlapped;
  // The copy of the write buffer's front being sent, and how many of those
  // bytes are still at the buffer's front (Flush empties the buffer under a
  // pending write: its completion then removes nothing).
  std::vector<uint8_t> block;
  size_t queued = 0;
};

// ---- Port names -----------------------------------------------------------------
// "COM" followed by 1 to 3 decimal digits (case ignored), as "\\.\COMn",
// the form that also reaches COM10 and above; false for any other name.
bool SerialDevicePath(const std::string& name, std::wstring* path);
// "COM" followed by n.
std::string SerialPortName(int32_t number);
// Whether "COMn" can be opened now (no access asked, nothing kept open).
bool SerialPortPresent(int32_t number);

// ---- Operations on a Serial object (the object checked by the caller) -------------
// Opens the named port ("COMn") unless open; true when it is open afterwards.
// An invalid name fires Error 123 (ERROR_INVALID_NAME) and opens nothing.
bool OpenSerialPort(RuntimeObject* serial, const std::string& name);
// Applies the properties to the open port (nothing when closed).
void ApplySerialSettings(RuntimeObject* serial);
// Cancels and waits out pending requests, closes the handle and the
// requests; the write buffer keeps what was not sent, the read buffer is
// emptied. Nothing fires.
void CloseSerialPort(SerialFields* fields);

// One write attempt of the write buffer's front. The bytes accepted (and
// removed from the buffer); 0 while pending or closed; -1 after an Error.
int32_t SerialWriteAttempt(RuntimeObject* serial);
// Read attempts into the read buffer until one gives less than a full block
// (at most 64). The bytes added; -1 after an Error.
int32_t SerialReadAvailable(RuntimeObject* serial);

extern "C" {
// Writes until the write buffer is empty, the port is closed or an Error
// fired, waiting on the write request between attempts. After 5 s without a
// byte accepted it sets LastErrorCode 1460 (ERROR_TIMEOUT) and fires Error.
void serialXmitWait(RuntimeObject* serial);
// Line index 0 DTR and 1 RTS (the states wanted, as stored); 2 CTS, 3 DCD,
// 4 RI and 5 DSR from the modem status (a failure fires Error and reads
// false); other indexes false.
bool LineStateGetter(RuntimeObject* serial, uint32_t index);
void serialSetBreak(RuntimeObject* serial);
void serialClearBreak(RuntimeObject* serial);
}
