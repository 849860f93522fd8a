// The datagram queues of UDP sockets and their event delivery.
#include "system/UDPSocket.h"

#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"

UDPSocketImp::UDPSocketImp(SocketOwner* owner) : SocketImp(owner) {}

UDPSocketImp::~UDPSocketImp() { UDPSocketImp::Close(true); }

void UDPSocketImp::DeliverEvents() {
  OwnerPin pin(this);
  // Only the completions owed now: a datagram a handler writes (and the
  // system sends at once) completes at a later delivery, so a writer paced
  // by its completions does not keep a delivery going for ever.
  const uint32_t owed = completesOwed_;
  if (IsPending(kSocketDataAvailable)) {
    // A delivery nested in a DataAvailable handler leaves the datagrams to
    // the loop that is running.
    if (deliveringData_) return;
    // Completions wait behind one DataAvailable delivery and follow the
    // next: datagrams arriving at every poll would hold them back for ever.
    const bool waitedOnce = completesWaiting_;
    completesWaiting_ = owed > 0;
    DeliverDataAvailable();
    if (!waitedOnce) return;
  }
  completesWaiting_ = false;
  if (IsPending(kSocketSendComplete)) DeliverSendComplete(owed);
}

void UDPSocketImp::DeliverDataAvailable() {
  deliveringData_ = true;
  while (unannounced_ > 0 && !incoming_.empty() && !RuntimeExceptionPending()) {
    if (--unannounced_ == 0) ClearPending(kSocketDataAvailable);
    eventMask_ |= kSocketDataAvailable;
    if (owner_) owner_->FireDataAvailable();
  }
  // A handler that drained the queue has seen what the rest announced.
  if (incoming_.empty()) {
    unannounced_ = 0;
    ClearPending(kSocketDataAvailable);
  }
  deliveringData_ = false;
}

void UDPSocketImp::DeliverSendComplete(uint32_t owed) {
  for (; owed > 0 && completesOwed_ > 0 && !RuntimeExceptionPending(); --owed) {
    if (--completesOwed_ == 0) ClearPending(kSocketSendComplete);
    eventMask_ |= kSocketSendComplete;
    if (owner_) owner_->FireSendComplete(false);
  }
}

bool UDPSocketImp::IsSending() { return !outgoing_.empty(); }

void UDPSocketImp::Purge() {
  incoming_.clear();
  incoming_.shrink_to_fit();
}

void UDPSocketImp::Close(bool keepOwnerLock) {
  outgoing_.clear();
  SocketImp::Close(keepOwnerLock);
}

void UDPSocketImp::Reset(bool full) {
  SocketImp::Reset(full);
  routerHops_ = 0;
  if (full) {
    Purge();
    unannounced_ = 0;
  }
  outgoing_.clear();
  completesOwed_ = 0;
  completesWaiting_ = false;
}

void UDPSocketImp::Bind(int32_t port) { SocketImp::Listen(port); }

void UDPSocketImp::WriteDatagram(DatagramRecord record) { outgoing_.push_back(std::move(record)); }

bool UDPSocketImp::ReadDatagram(DatagramRecord* record) {
  if (incoming_.empty()) return false;
  *record = std::move(incoming_.front());
  incoming_.pop_front();
  return true;
}

bool UDPSocketImp::JoinMulticastGroup(const char*) { return false; }
void UDPSocketImp::LeaveMulticastGroup(const char*) {}
void UDPSocketImp::SetLoopback(bool) {}
void UDPSocketImp::RouterHops(int32_t hops) { routerHops_ = hops; }
StringRecord* UDPSocketImp::GetBroadcast() { return NewString(nullptr, 0, kEncodingASCII); }
void UDPSocketImp::PollNow() { Poll(); }

int32_t UDPSocketImp::PacketsAvailable() const {
  return incoming_.size() > size_t(INT32_MAX) ? INT32_MAX : int32_t(incoming_.size());
}

void UDPSocketImp::Received(DatagramRecord record) {
  incoming_.push_back(std::move(record));
  ++unannounced_;
  SetPending(kSocketDataAvailable);
}

void UDPSocketImp::Sent() {
  outgoing_.pop_front();
  ++completesOwed_;
  SetPending(kSocketSendComplete);
}

void UDPSocketImp::FireErrorNow(int32_t code) {
  OwnerPin pin(this);
  lastError_ = code;
  eventMask_ |= kSocketError;
  if (owner_) {
    owner_->SetLastErrorCode(code);
    owner_->FireError(code);
  }
}
