#include "testsupport/SocketFakes.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/string.h"

namespace {

int32_t liveOwners = 0;
std::vector<std::string> pumpedExceptions;

std::string Flag(bool value) { return value ? "true" : "false"; }

}  // namespace

// ---- SocketJournal --------------------------------------------------------------

std::vector<std::string> SocketJournal::Take() { return std::exchange(entries_, {}); }

int SocketJournal::Count(const std::string& entry) const {
  return int(std::count(entries_.begin(), entries_.end(), entry));
}

std::vector<std::string> SocketJournal::With(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& entry : entries_) {
    if (entry.compare(0, prefix.size(), prefix) == 0) found.push_back(entry);
  }
  return found;
}

// ---- FakeSocketOwner ------------------------------------------------------------

FakeSocketOwner::FakeSocketOwner(Kind kind, std::string name, SocketJournal* journal)
    : kind_(kind), name_(std::move(name)), journal_(journal) {
  ++liveOwners;
}

FakeSocketOwner::~FakeSocketOwner() { --liveOwners; }

FakeSocketOwner* FakeSocketOwner::Create(Kind kind, std::string name, SocketJournal* journal,
                                         int32_t minimumSocketsAvailable) {
  auto* owner = new FakeSocketOwner(kind, std::move(name), journal);
  owner->minimumSocketsAvailable = minimumSocketsAvailable;
  if (kind == Kind::kTCPSocket || kind == Kind::kServerSocket) {
    owner->implementation_ = NewTCPSocketImp(owner, nullptr);
  }
  return owner;
}

int32_t FakeSocketOwner::LiveCount() { return liveOwners; }

FakeSocketOwner::AddSocketAnswer FakeSocketOwner::AnswerNil() {
  return [](FakeSocketOwner&) -> SocketOwner* { return nullptr; };
}

FakeSocketOwner::AddSocketAnswer FakeSocketOwner::AnswerThis() {
  return [](FakeSocketOwner& self) -> SocketOwner* {
    self.Lock();
    return &self;
  };
}

FakeSocketOwner::AddSocketAnswer FakeSocketOwner::AnswerNewSockets(SocketJournal* journal,
                                                                   std::string prefix,
                                                                   Callback prepare) {
  auto made = std::make_shared<int>(0);
  return [journal, prefix, prepare, made](FakeSocketOwner&) -> SocketOwner* {
    FakeSocketOwner* socket = Create(Kind::kTCPSocket, prefix + std::to_string(++*made), journal);
    if (prepare) prepare(*socket);
    return socket;
  };
}

void FakeSocketOwner::Unlock() {
  if (--references_ > 0) return;
  Record("destroyed");
  // The class's destruction hook: a ServerSocket stops listening first.
  if (kind_ == Kind::kServerSocket && implementation_) {
    implementation_->Close(false);
    implementation_->Reset(true);
  }
  delete implementation_;
  implementation_ = nullptr;
  delete this;
}

void FakeSocketOwner::Run(const Callback& callback, FakeSocketOwner& owner) {
  if (callback) callback(owner);
}

void FakeSocketOwner::FireConnected() {
  Record("Connected");
  Run(onConnected, *this);
}

void FakeSocketOwner::FireDataAvailable() {
  Record("DataAvailable");
  Run(onDataAvailable, *this);
}

void FakeSocketOwner::FireSendComplete(bool userAborted) {
  Record("SendComplete(" + Flag(userAborted) + ")");
  Run(onSendComplete, *this);
}

bool FakeSocketOwner::FireSendProgress(int32_t bytesSent, int32_t bytesLeft) {
  Record("SendProgress(" + std::to_string(bytesSent) + "," + std::to_string(bytesLeft) + ")");
  Run(onSendProgress, *this);
  return sendProgressAnswer;
}

void FakeSocketOwner::FireError(int32_t lastError) {
  lastErrorCode = lastError;
  Record("Error(" + std::to_string(lastError) + ")");
  Run(onError, *this);
}

void FakeSocketOwner::FireServerError(int32_t code) {
  Record("ServerError(" + std::to_string(code) + ")");
  Run(onServerError, *this);
}

SocketOwner* FakeSocketOwner::FireAddSocket() {
  Record("AddSocket");
  return addSocketAnswer ? addSocketAnswer(*this) : nullptr;
}

TCPSocketImp* FakeSocketOwner::TCP() const {
  return implementation_ ? implementation_->AsTCPSocket() : nullptr;
}

void FakeSocketOwner::SetImplementation(SocketImp* implementation) {
  delete implementation_;
  implementation_ = implementation;
}

// ---- RecordingSocketListener ----------------------------------------------------

void RecordingSocketListener::Connected(TCPSocketImp*) { Record("Connected"); }

void RecordingSocketListener::DataAvailable(TCPSocketImp* socket) {
  Record("DataAvailable");
  if (onDataAvailable) onDataAvailable(socket);
}

void RecordingSocketListener::SendComplete(TCPSocketImp*) { Record("SendComplete"); }

void RecordingSocketListener::Error(TCPSocketImp* socket, int32_t code) {
  Record("Error(" + std::to_string(code) + ")");
  if (onError) onError(socket);
}

void RecordingSocketListener::SendProgress(TCPSocketImp*, int32_t bytesSent, int32_t bytesLeft) {
  Record("SendProgress(" + std::to_string(bytesSent) + "," + std::to_string(bytesLeft) + ")");
}

// ---- FakeSocketImp and the pump -------------------------------------------------

void FakeSocketImp::Poll() {
  // Pinned as a real socket's poll is: closing it here cannot free it.
  OwnerPin pin(this);
  journal_->Record(name_ + " Poll");
  if (onPoll) onPoll(*this);
}

bool PumpSocketsUntil(const std::function<bool()>& predicate, uint32_t timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    PollRegisteredSockets(false);
    if (RuntimeExceptionPending()) {
      ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
      RuntimeClass* runtimeClass = ObjectClassOf(exception.get());
      pumpedExceptions.push_back(runtimeClass ? StringToStdUTF8(runtimeClass->name) : "");
    }
    if (predicate()) return true;
    if (GetTickCount64() >= deadline) return predicate();
    Sleep(1);
  }
}

std::vector<std::string> TakePumpedExceptions() { return std::exchange(pumpedExceptions, {}); }
