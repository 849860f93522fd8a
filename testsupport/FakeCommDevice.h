// A stand-in for the serial device layer, installed for its lifetime (the
// previous device is put back when it goes; release every Serial object
// first). Every call is logged with its arguments; answers follow a script,
// then the defaults: every port exists, state calls succeed, a write takes
// everything, a read takes what `incoming` holds or goes pending (997) when
// it is empty. A pending request completes only when the test says so (or a
// scripted GetOverlappedResult success names its count); a write's bytes are
// read from the caller's block only then. Events are real.
#pragma once
#include <windows.h>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "system/win32serial.h"

struct CommCall {
  std::string op;
  std::wstring name;      // CreateFile
  DWORD value = 0;        // access, escape function, count asked or wait flag
  DCB dcb{};              // SetCommState
  COMMTIMEOUTS timeouts{};
  const void* buffer = nullptr;
  OVERLAPPED* request = nullptr;
};

struct CommAnswer {
  DWORD error;  // 0xFFFFFFFF: success
  DWORD bytes;
};
inline CommAnswer Succeeds(DWORD bytes = 0) { return {0xFFFFFFFF, bytes}; }
inline CommAnswer Fails(DWORD error) { return {error, 0}; }

class FakeCommDevice final : public CommDevice {
 public:
  FakeCommDevice();
  ~FakeCommDevice() override;

  // The next answers of one operation ("WriteFile", "GetOverlappedResult", ...).
  void Script(const std::string& op, std::vector<CommAnswer> answers);
  void CompleteRead();  // with what `incoming` holds
  void CompleteWrite(DWORD count);
  std::vector<std::string> Ops() const;
  std::vector<CommCall> Calls(const std::string& op) const;

  std::optional<std::set<std::wstring>> ports;  // only these exist
  DCB state{};                                  // what GetCommState gives
  DWORD modemStatus = 0;
  std::string incoming;  // bytes the line brings
  std::string written;   // bytes the device took

  HANDLE CreateFile(const wchar_t* name, DWORD access, DWORD flags) override;
  BOOL CloseHandle(HANDLE handle) override;
  BOOL GetCommState(HANDLE port, DCB* dcb) override;
  BOOL SetCommState(HANDLE port, DCB* dcb) override;
  BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override;
  BOOL EscapeCommFunction(HANDLE port, DWORD function) override;
  BOOL GetCommModemStatus(HANDLE port, DWORD* status) override;
  BOOL SetCommBreak(HANDLE port) override;
  BOOL ClearCommBreak(HANDLE port) override;
  BOOL ReadFile(HANDLE port, void* bytes, DWORD count, DWORD* done, OVERLAPPED* request) override;
  BOOL WriteFile(HANDLE port, const void* bytes, DWORD count, DWORD* done,
                 OVERLAPPED* request) override;
  BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* request, DWORD* done, BOOL wait) override;
  BOOL CancelIo(HANDLE port) override;
  HANDLE CreateEvent() override;
  BOOL ResetEvent(HANDLE event) override;
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override;
  DWORD GetLastError() override { return lastError_; }

 private:
  struct Pending {
    void* buffer;
    DWORD count;
    bool write;
    std::optional<CommAnswer> result;
  };
  CommCall& Log(const std::string& op, const void* buffer = nullptr, OVERLAPPED* request = nullptr);
  // A scripted failure sets the last error and gives true.
  bool ScriptedFailure(const std::string& op, std::optional<CommAnswer>* success = nullptr);
  BOOL Fail(DWORD error);
  DWORD Finish(Pending& pending, DWORD count);
  void Complete(bool write, DWORD count);

  CommDevice* previous_;
  std::map<std::string, std::deque<CommAnswer>> script_;
  std::map<OVERLAPPED*, Pending> pending_;
  std::vector<CommCall> log_;
  std::set<HANDLE> portHandles_;
  uintptr_t nextHandle_ = 0x7E000000;
  DWORD lastError_ = 0;
};
