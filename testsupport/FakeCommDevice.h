// A stand-in for the serial device layer, installed for its lifetime (the
// previous device is put back when it goes: release every Serial object
// first). Every call is logged with its arguments. Scripted failures come
// first; otherwise every port exists, calls succeed, a write takes all, and a
// read takes what `incoming` holds or goes pending (997) when it is empty. A
// pending request stays incomplete (996) until the test completes it; a
// write's bytes are read from the caller's block only then. Events are real.
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
  DWORD value = 0;    // access, escape function, count asked or wait flag
  std::wstring name;  // CreateFile
  DCB dcb{};          // SetCommState
  COMMTIMEOUTS timeouts{};
  const void* buffer = nullptr;
};

class FakeCommDevice final : public CommDevice {
 public:
  FakeCommDevice() : previous_(SetCommDevice(this)) { state.DCBlength = sizeof state; }
  ~FakeCommDevice() override { SetCommDevice(previous_); }

  // The next calls of the operation ("WriteFile", ...) fail with these codes
  // (997 leaves a read or write pending).
  void Fail(const std::string& op, std::initializer_list<DWORD> codes) {
    failures_[op].insert(failures_[op].end(), codes);
  }
  void CompleteRead() { Complete(false, DWORD(incoming.size())); }
  void CompleteWrite(DWORD count) { Complete(true, count); }
  std::vector<std::string> Ops() const;
  std::vector<CommCall> Calls(const std::string& op) const;

  std::optional<std::set<std::wstring>> ports;  // only these exist
  DCB state{};                                  // what GetCommState gives
  DWORD modemStatus = 0;
  std::string incoming;  // bytes the line brings
  std::string written;   // bytes the device took

  HANDLE CreateFile(const wchar_t* name, DWORD access, DWORD flags) override;
  BOOL CloseHandle(HANDLE handle) override {
    Log("CloseHandle");
    return portHandles_.erase(handle) ? TRUE : ::CloseHandle(handle);
  }
  BOOL GetCommState(HANDLE, DCB* dcb) override {
    return Answer(Log("GetCommState")) && (*dcb = state, true);
  }
  BOOL SetCommState(HANDLE, DCB* dcb) override { return Answer(Log("SetCommState", 0, dcb)); }
  BOOL SetCommTimeouts(HANDLE, COMMTIMEOUTS* timeouts) override {
    CommCall& call = Log("SetCommTimeouts");
    call.timeouts = *timeouts;
    return Answer(call);
  }
  BOOL EscapeCommFunction(HANDLE, DWORD function) override {
    return Answer(Log("EscapeCommFunction", function));
  }
  BOOL GetCommModemStatus(HANDLE, DWORD* status) override {
    return Answer(Log("GetCommModemStatus")) && (*status = modemStatus, true);
  }
  BOOL SetCommBreak(HANDLE) override { return Answer(Log("SetCommBreak")); }
  BOOL ClearCommBreak(HANDLE) override { return Answer(Log("ClearCommBreak")); }
  BOOL ReadFile(HANDLE, void* bytes, DWORD count, DWORD* done, OVERLAPPED* request) override {
    return Transfer(Log("ReadFile", count), bytes, done, request, false);
  }
  BOOL WriteFile(HANDLE, const void* bytes, DWORD count, DWORD* done, OVERLAPPED* request) override {
    return Transfer(Log("WriteFile", count), const_cast<void*>(bytes), done, request, true);
  }
  BOOL GetOverlappedResult(HANDLE, OVERLAPPED* request, DWORD* done, BOOL wait) override;
  BOOL CancelIo(HANDLE) override;
  HANDLE CreateEvent() override {
    Log("CreateEvent");
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  BOOL ResetEvent(HANDLE event) override { return Log("ResetEvent"), ::ResetEvent(event); }
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override {
    return Log("WaitForSingleObject", milliseconds), ::WaitForSingleObject(object, milliseconds);
  }
  DWORD GetLastError() override { return lastError_; }

 private:
  struct Pending {
    void* buffer;
    DWORD count;  // asked, then done
    bool write;
    bool finished = false;
    DWORD error = 0;  // of a finished request
  };
  CommCall& Log(const std::string& op, DWORD value = 0, const DCB* dcb = nullptr);
  // False (with the last error set) when a failure is scripted for the call.
  BOOL Answer(const CommCall& call);
  BOOL Transfer(CommCall& call, void* bytes, DWORD* done, OVERLAPPED* request, bool write);
  DWORD Move(void* bytes, DWORD count, bool write);
  void Complete(bool write, DWORD count);

  CommDevice* previous_;
  std::map<std::string, std::deque<DWORD>> failures_;
  std::map<OVERLAPPED*, Pending> pending_;
  std::vector<CommCall> log_;
  std::set<HANDLE> portHandles_;
  uintptr_t nextHandle_ = 0x7E000000;
  DWORD lastError_ = 0;
};
