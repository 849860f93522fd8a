// The event delivery of TCP sockets and the server socket pool.
#include "system/TCPSocket.h"

#include <algorithm>

#include "core/RuntimeExceptionFoundation.h"
#include "core/diagnostics.h"
#include "core/string.h"

namespace {

constexpr int32_t kPoolBatch = 10;

// One lock on an owner for a scope.
class ScopedOwnerLock {
 public:
  explicit ScopedOwnerLock(SocketOwner* owner) : owner_(owner) { owner_->Lock(); }
  ~ScopedOwnerLock() { owner_->Unlock(); }
  ScopedOwnerLock(const ScopedOwnerLock&) = delete;
  ScopedOwnerLock& operator=(const ScopedOwnerLock&) = delete;

 private:
  SocketOwner* owner_;
};

void RaiseSocketInUse() {
  RaiseExceptionWithMessage(GetNilObjectExceptionClassDefinition(),
                            "The socket given by AddSocket is already in use.", 0);
}

}  // namespace

// ---- ServerSocketPool -------------------------------------------------------------

ServerSocketPool::~ServerSocketPool() { ReleaseAll(); }

ServerSocketPool::Fill ServerSocketPool::Refill() {
  if (!started_) return Start();
  // A minimum below one still has the pool filled again once it runs dry:
  // with no socket on standby every connection would be dropped.
  const int32_t wanted = std::max(minimum_, int32_t(1));
  if (int32_t(standby_.Count()) >= wanted) return Fill::kEnough;
  for (int32_t i = 0; i < kPoolBatch; ++i) {
    if (!AddPooledSocket()) return Fill::kStopped;
    if (detached_) return Fill::kShort;
  }
  return int32_t(standby_.Count()) >= wanted ? Fill::kEnough : Fill::kShort;
}

ServerSocketPool::Fill ServerSocketPool::Start() {
  if (!server_) {
    AssertionFailed(131, 4, "TCPSocket", 393, "ss->mServerSocketControl",
                    "Trying to fill the server socket up, but there was no control specified");
    return Fill::kEnough;
  }
  ScopedOwnerLock lock(server_);
  for (int64_t i = 0; i < int64_t(minimum_) + kPoolBatch; ++i) {
    if (!AddPooledSocket()) return Fill::kStopped;
    if (detached_) return Fill::kShort;
  }
  started_ = true;
  return Fill::kEnough;
}

bool ServerSocketPool::AddPooledSocket() {
  if (RuntimeExceptionPending()) return false;
  SocketOwner* answer = server_->FireAddSocket();
  if (!answer) {
    RaiseNilObjectException();
    return false;
  }
  SocketImp* implementation = answer->Implementation();
  TCPSocketImp* socket = implementation ? implementation->AsTCPSocket() : nullptr;
  // A socket already registered is on standby or in use: appending it again
  // would register one implementation twice.
  if (!socket || answer->OwnerKind() != SocketOwner::Kind::kTCPSocket || socket->IsRegistered()) {
    answer->Unlock();
    RaiseSocketInUse();
    return false;
  }
  standby_.Append(answer);
  socket->EnterStandby(this);
  return true;
}

SocketOwner* ServerSocketPool::TakeNewest() {
  if (standby_.Count() == 0) return nullptr;
  SocketOwner* taken = standby_.TakeLast();
  if (SocketImp* implementation = taken->Implementation()) {
    if (TCPSocketImp* socket = implementation->AsTCPSocket()) socket->standbyPool_ = nullptr;
  }
  return taken;
}

void ServerSocketPool::Leave(TCPSocketImp* socket) {
  socket->standbyPool_ = nullptr;
  const int32_t index = standby_.LastIndexOf(socket->Owner());
  if (index >= 0) standby_.RemoveAt(uint32_t(index));
  if (detached_) return;
  if (SocketImp* server = server_->Implementation()) server->SetPending(kSocketServerRefill);
}

void ServerSocketPool::ReleaseAll() {
  while (SocketOwner* standby = TakeNewest()) {
    // The implementation's Close gives the pool's reference back, and may
    // free the object and its implementation with it.
    if (SocketImp* implementation = standby->Implementation()) {
      implementation->Close(false);
    } else {
      standby->Unlock();
    }
  }
}

// ---- TCPSocketImp -----------------------------------------------------------------

TCPSocketImp::TCPSocketImp(SocketOwner* owner, SocketListener* listener)
    : SocketImp(owner), listener_(listener) {
  if (owner_ && owner_->OwnerKind() == SocketOwner::Kind::kServerSocket) {
    serverPool_ = std::make_shared<ServerSocketPool>(owner_, owner_->MinimumSocketsAvailable());
  }
}

TCPSocketImp::~TCPSocketImp() {
  LeaveStandby();
  TCPSocketImp::Close(true);
  if (serverPool_) ReleasePool();
}

void TCPSocketImp::Listen(int32_t port) {
  SocketImp::Listen(port);
  listening_ = true;
  if (serverPool_) {
    serverPool_->SetMinimum(owner_->MinimumSocketsAvailable());
    SetPending(kSocketServerRefill);
  }
}

void TCPSocketImp::DeliverEvents() {
  OwnerPin pin(this);
  if (!DeliverThroughPool()) return;
  DeliverSendProgress();
  DeliverError();
  RunErrorTail();
}

bool TCPSocketImp::DeliverThroughPool() {
  // A loop rather than a new delivery per batch, keeping the order.
  for (;;) {
    DeliverConnected();
    DeliverDataAvailable();
    DeliverSendComplete();
    if (!IsPending(kSocketServerRefill)) return true;
    eventMask_ |= kSocketServerRefill;
    const std::shared_ptr<ServerSocketPool> pool = serverPool_;
    const ServerSocketPool::Fill fill = pool ? pool->Refill() : ServerSocketPool::Fill::kEnough;
    if (fill == ServerSocketPool::Fill::kStopped) return false;
    if (fill == ServerSocketPool::Fill::kEnough) {
      ClearPending(kSocketServerRefill);
      return true;
    }
  }
}

void TCPSocketImp::DeliverConnected() {
  if (!IsPending(kSocketConnected)) return;
  ClearPending(kSocketConnected);
  connected_ = true;
  eventMask_ |= kSocketConnected;
  if (listener_) listener_->Connected(this);
  if (owner_) owner_->FireConnected();
}

void TCPSocketImp::DeliverDataAvailable() {
  if (!IsPending(kSocketDataAvailable)) return;
  ClearPending(kSocketDataAvailable);
  eventMask_ |= kSocketDataAvailable;
  if (listener_) listener_->DataAvailable(this);
  if (owner_) owner_->FireDataAvailable();
}

void TCPSocketImp::DeliverSendComplete() {
  if (!IsPending(kSocketSendComplete)) return;
  ClearPending(kSocketSendComplete);
  eventMask_ |= kSocketSendComplete;
  const bool aborted = userAborted_;
  userAborted_ = false;
  if (listener_) listener_->SendComplete(this);
  if (owner_) owner_->FireSendComplete(aborted);
}

void TCPSocketImp::DeliverSendProgress() {
  if (!IsPending(kSocketSendProgress)) return;
  ClearPending(kSocketSendProgress);
  eventMask_ |= kSocketSendProgress;
  const int32_t bytesSent = bytesSent_;
  const auto bytesLeft = int32_t(sendBuffer_.Length());
  bytesSent_ = 0;
  if (listener_) listener_->SendProgress(this, bytesSent, bytesLeft);
  if (owner_) userAborted_ = owner_->FireSendProgress(bytesSent, bytesLeft);
  if (bytesLeft != 0 && !userAborted_) return;
  if (userAborted_) sendBuffer_.Clear();
  SetPending(kSocketSendComplete);
  eventMask_ |= kSocketSendComplete;
}

void TCPSocketImp::DeliverError() {
  if (!IsPending(kSocketError)) return;
  eventMask_ |= kSocketError;
  ClearPending(kSocketError);
  if (listener_) listener_->Error(this, lastError_);
  if (owner_) owner_->FireError(lastError_);
  if (serverPool_) serverPool_->Server()->FireServerError(lastError_);
}

bool TCPSocketImp::IsSending() { return !sendBuffer_.Empty(); }

void TCPSocketImp::Purge() { receiveBuffer_.Clear(); }

void TCPSocketImp::Close(bool keepOwnerLock) {
  // Kept in the pool, a closed standby socket would be handed connections
  // it never polls, and the pool would reach it after its object is freed.
  if (!keepOwnerLock) LeaveStandby();
  listening_ = false;
  if (!serverPool_) {
    if (TCPSocketImp* server = server_) {
      server_ = nullptr;
      server->ConnectionReleased();
    }
  } else {
    ForgetHandedOffSockets();
    if (!keepOwnerLock) ReleasePool();
  }
  SocketImp::Close(keepOwnerLock);
}

void TCPSocketImp::ForgetHandedOffSockets() {
  for (uint32_t i = 0; i < RegisteredSocketCount(); ++i) {
    TCPSocketImp* socket = RegisteredSocketAt(i)->AsTCPSocket();
    if (socket && socket->server_ == this) socket->server_ = nullptr;
  }
}

void TCPSocketImp::ReleasePool() {
  // Off the socket before the standby sockets go: their release may run
  // code that looks at this socket.
  std::shared_ptr<ServerSocketPool> pool = std::move(serverPool_);
  pool->Detach();
}

void TCPSocketImp::Reset(bool full) {
  SocketImp::Reset(full);
  listening_ = false;
  sendBuffer_.Clear();
  if (full) receiveBuffer_.Clear();
  bytesSent_ = 0;
  userAborted_ = false;
  server_ = nullptr;
  if (serverPool_) ReleasePool();
  if (owner_ && owner_->OwnerKind() == SocketOwner::Kind::kServerSocket) {
    serverPool_ = std::make_shared<ServerSocketPool>(owner_, owner_->MinimumSocketsAvailable());
  }
}

TCPSocketImp* TCPSocketImp::AsTCPSocket() { return this; }

void TCPSocketImp::Connect(const StringRecord* address, int32_t port) {
  if (owner_) LockOwnerForRegistration();
  Register(this);
  listening_ = false;
  port_ = port;
  remoteAddress_ = StringRef::Retain(const_cast<StringRecord*>(address));
}

void TCPSocketImp::Write(const StringRecord* data) { sendBuffer_.Append(data); }

StringRecord* TCPSocketImp::Read(int32_t count) { return receiveBuffer_.Read(count); }

StringRecord* TCPSocketImp::ReadAll() { return receiveBuffer_.ReadAll(); }

StringRecord* TCPSocketImp::GetRemoteAddress() { return NewString(nullptr, 0, kEncodingASCII); }

bool TCPSocketImp::ReportError(int32_t code) {
  if (code != 0) lastError_ = code;
  return false;
}

void TCPSocketImp::ConnectionReleased() {
  if (serverPool_) SetPending(kSocketServerRefill);
}

int32_t TCPSocketImp::BytesAvailable() {
  const size_t length = receiveBuffer_.Length();
  return length > size_t(INT32_MAX) ? INT32_MAX : int32_t(length);
}

StringRecord* TCPSocketImp::Lookahead() { return receiveBuffer_.Lookahead(); }

void TCPSocketImp::EnterStandby(ServerSocketPool* pool) {
  standbyPool_ = pool;
  AdoptOwnerReference();
  Register(this);
}

void TCPSocketImp::LeaveStandby() {
  if (standbyPool_) standbyPool_->Leave(this);
}
