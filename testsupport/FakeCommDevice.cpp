#include "testsupport/FakeCommDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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

CommCall& FakeCommDevice::Log(const std::string& op, DWORD value, const DCB* dcb) {
  log_.push_back(CommCall{op, value});
  if (dcb) log_.back().dcb = *dcb;
  return log_.back();
}

BOOL FakeCommDevice::Answer(const CommCall& call) {
  std::deque<DWORD>& codes = failures_[call.op];
  if (codes.empty()) return TRUE;
  lastError_ = codes.front();
  codes.pop_front();
  return FALSE;
}

DWORD FakeCommDevice::Move(void* bytes, DWORD count, bool write) {
  if (write) {
    written.append(static_cast<const char*>(bytes), count);
    return count;
  }
  count = std::min<DWORD>(count, DWORD(incoming.size()));
  std::memcpy(bytes, incoming.data(), count);
  incoming.erase(0, count);
  return count;
}

BOOL FakeCommDevice::Transfer(CommCall& call, void* bytes, DWORD* done, OVERLAPPED* request,
                              bool write) {
  call.buffer = bytes;
  const bool failed = !Answer(call);
  if ((failed && lastError_ == ERROR_IO_PENDING) || (!failed && !write && incoming.empty())) {
    pending_[request] = Pending{bytes, call.value, write};
    lastError_ = ERROR_IO_PENDING;
    return FALSE;
  }
  if (failed) return FALSE;
  *done = Move(bytes, call.value, write);
  ::SetEvent(request->hEvent);
  return TRUE;
}

void FakeCommDevice::Complete(bool write, DWORD count) {
  for (auto& [request, pending] : pending_) {
    if (pending.write != write || pending.finished) continue;
    pending.count = Move(pending.buffer, std::min(count, pending.count), write);
    pending.finished = true;
    ::SetEvent(request->hEvent);
    return;
  }
  ADD_FAILURE() << "no pending " << (write ? "write" : "read") << " to complete";
}

HANDLE FakeCommDevice::CreateFile(const wchar_t* name, DWORD access, DWORD) {
  CommCall& call = Log("CreateFile", access);
  call.name = name;
  if (!Answer(call)) return INVALID_HANDLE_VALUE;
  if (ports && !ports->count(name)) {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE port = reinterpret_cast<HANDLE>(nextHandle_++);
  portHandles_.insert(port);
  return port;
}

BOOL FakeCommDevice::GetOverlappedResult(HANDLE, OVERLAPPED* request, DWORD* done, BOOL wait) {
  if (!Answer(Log("GetOverlappedResult", DWORD(wait)))) return FALSE;
  auto found = pending_.find(request);
  lastError_ = found == pending_.end() ? ERROR_INVALID_PARAMETER : ERROR_IO_INCOMPLETE;
  if (found == pending_.end() || !found->second.finished) {
    if (wait) ADD_FAILURE() << "a wait for a request that never completes";
    return FALSE;
  }
  const Pending finished = found->second;
  pending_.erase(found);
  lastError_ = finished.error;
  *done = finished.count;
  return finished.error == 0;
}

BOOL FakeCommDevice::CancelIo(HANDLE) {
  Log("CancelIo");
  for (auto& entry : pending_) {
    if (!entry.second.finished) entry.second = Pending{nullptr, 0, false, true, ERROR_OPERATION_ABORTED};
  }
  return TRUE;
}
