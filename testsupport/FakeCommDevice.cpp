#include "testsupport/FakeCommDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

FakeCommDevice::FakeCommDevice() : previous_(SetCommDevice(this)) { state.DCBlength = sizeof state; }

FakeCommDevice::~FakeCommDevice() { SetCommDevice(previous_); }

void FakeCommDevice::Script(const std::string& op, std::vector<CommAnswer> answers) {
  script_[op].insert(script_[op].end(), answers.begin(), answers.end());
}

std::vector<std::string> FakeCommDevice::Ops() const {
  std::vector<std::string> ops;
  for (const CommCall& call : log_) ops.push_back(call.op);
  return ops;
}

std::vector<CommCall> FakeCommDevice::Calls(const std::string& op) const {
  std::vector<CommCall> calls;
  std::copy_if(log_.begin(), log_.end(), std::back_inserter(calls),
               [&](const CommCall& call) { return call.op == op; });
  return calls;
}

CommCall& FakeCommDevice::Log(const std::string& op, const void* buffer, OVERLAPPED* request) {
  log_.push_back(CommCall{op});
  log_.back().buffer = buffer;
  log_.back().request = request;
  return log_.back();
}

bool FakeCommDevice::ScriptedFailure(const std::string& op, std::optional<CommAnswer>* success) {
  std::deque<CommAnswer>& answers = script_[op];
  if (answers.empty()) return false;
  const CommAnswer answer = answers.front();
  answers.pop_front();
  if (answer.error == Succeeds().error) {
    if (success) *success = answer;
    return false;
  }
  lastError_ = answer.error;
  return true;
}

BOOL FakeCommDevice::Fail(DWORD error) {
  lastError_ = error;
  return FALSE;
}

DWORD FakeCommDevice::Finish(Pending& pending, DWORD count) {
  count = std::min(count, pending.count);
  if (pending.write) {
    written.append(static_cast<const char*>(pending.buffer), count);
  } else {
    count = std::min<DWORD>(count, DWORD(incoming.size()));
    std::memcpy(pending.buffer, incoming.data(), count);
    incoming.erase(0, count);
  }
  pending.result = Succeeds(count);
  return count;
}

void FakeCommDevice::Complete(bool write, DWORD count) {
  for (auto& [request, pending] : pending_) {
    if (pending.write != write || pending.result) continue;
    Finish(pending, count);
    ::SetEvent(request->hEvent);
    return;
  }
  ADD_FAILURE() << "no pending " << (write ? "write" : "read") << " to complete";
}

void FakeCommDevice::CompleteRead() { Complete(false, DWORD(incoming.size())); }
void FakeCommDevice::CompleteWrite(DWORD count) { Complete(true, count); }

HANDLE FakeCommDevice::CreateFile(const wchar_t* name, DWORD access, DWORD) {
  CommCall& call = Log("CreateFile");
  call.name = name;
  call.value = access;
  if (ScriptedFailure("CreateFile")) return INVALID_HANDLE_VALUE;
  if (ports && !ports->count(name)) {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE port = reinterpret_cast<HANDLE>(nextHandle_++);
  portHandles_.insert(port);
  return port;
}

BOOL FakeCommDevice::CloseHandle(HANDLE handle) {
  Log("CloseHandle");
  return portHandles_.erase(handle) ? TRUE : ::CloseHandle(handle);
}

BOOL FakeCommDevice::GetCommState(HANDLE, DCB* dcb) {
  Log("GetCommState");
  if (ScriptedFailure("GetCommState")) return FALSE;
  *dcb = state;
  return TRUE;
}

BOOL FakeCommDevice::SetCommState(HANDLE, DCB* dcb) {
  Log("SetCommState").dcb = *dcb;
  return !ScriptedFailure("SetCommState");
}

BOOL FakeCommDevice::SetCommTimeouts(HANDLE, COMMTIMEOUTS* timeouts) {
  Log("SetCommTimeouts").timeouts = *timeouts;
  return !ScriptedFailure("SetCommTimeouts");
}

BOOL FakeCommDevice::EscapeCommFunction(HANDLE, DWORD function) {
  Log("EscapeCommFunction").value = function;
  return !ScriptedFailure("EscapeCommFunction");
}

BOOL FakeCommDevice::GetCommModemStatus(HANDLE, DWORD* status) {
  Log("GetCommModemStatus");
  if (ScriptedFailure("GetCommModemStatus")) return FALSE;
  *status = modemStatus;
  return TRUE;
}

BOOL FakeCommDevice::SetCommBreak(HANDLE) {
  Log("SetCommBreak");
  return !ScriptedFailure("SetCommBreak");
}

BOOL FakeCommDevice::ClearCommBreak(HANDLE) {
  Log("ClearCommBreak");
  return !ScriptedFailure("ClearCommBreak");
}

BOOL FakeCommDevice::ReadFile(HANDLE, void* bytes, DWORD count, DWORD* done,
                              OVERLAPPED* request) {
  Log("ReadFile", bytes, request).value = count;
  std::optional<CommAnswer> scripted;
  const bool failed = ScriptedFailure("ReadFile", &scripted);
  if ((failed && lastError_ == ERROR_IO_PENDING) || (!failed && !scripted && incoming.empty())) {
    pending_[request] = Pending{bytes, count, false, {}};
    return Fail(ERROR_IO_PENDING);
  }
  if (failed) return FALSE;
  Pending now{bytes, scripted ? std::min(count, scripted->bytes) : count, false, {}};
  *done = Finish(now, count);
  ::SetEvent(request->hEvent);
  return TRUE;
}

BOOL FakeCommDevice::WriteFile(HANDLE, const void* bytes, DWORD count, DWORD* done,
                               OVERLAPPED* request) {
  Log("WriteFile", bytes, request).value = count;
  std::optional<CommAnswer> scripted;
  if (ScriptedFailure("WriteFile", &scripted)) {
    if (lastError_ == ERROR_IO_PENDING) {
      pending_[request] = Pending{const_cast<void*>(bytes), count, true, {}};
    }
    return FALSE;
  }
  Pending now{const_cast<void*>(bytes), scripted ? std::min(count, scripted->bytes) : count, true, {}};
  *done = Finish(now, count);
  ::SetEvent(request->hEvent);
  return TRUE;
}

BOOL FakeCommDevice::GetOverlappedResult(HANDLE, OVERLAPPED* request, DWORD* done, BOOL wait) {
  Log("GetOverlappedResult", nullptr, request).value = DWORD(wait);
  std::optional<CommAnswer> scripted;
  if (ScriptedFailure("GetOverlappedResult", &scripted)) return FALSE;
  auto found = pending_.find(request);
  if (found == pending_.end()) return Fail(ERROR_INVALID_PARAMETER);
  Pending& pending = found->second;
  if (scripted) Finish(pending, scripted->bytes);
  if (!pending.result) {
    if (wait) ADD_FAILURE() << "a wait for a request that never completes";
    return Fail(ERROR_IO_INCOMPLETE);
  }
  const CommAnswer result = *pending.result;
  pending_.erase(found);
  if (result.error != Succeeds().error) return Fail(result.error);
  *done = result.bytes;
  return TRUE;
}

BOOL FakeCommDevice::CancelIo(HANDLE) {
  Log("CancelIo");
  for (auto& entry : pending_) {
    if (!entry.second.result) entry.second.result = Fails(ERROR_OPERATION_ABORTED);
  }
  return TRUE;
}

HANDLE FakeCommDevice::CreateEvent() {
  Log("CreateEvent");
  return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

BOOL FakeCommDevice::ResetEvent(HANDLE event) {
  Log("ResetEvent");
  return ::ResetEvent(event);
}

DWORD FakeCommDevice::WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  Log("WaitForSingleObject").value = milliseconds;
  return ::WaitForSingleObject(object, milliseconds);
}
