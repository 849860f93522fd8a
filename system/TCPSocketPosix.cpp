// Descriptor work of TCP sockets: connect, listen, accept and hand-off, the
// walk's shared readiness query, and the poll's receive and send.
#include "system/TCPSocketPosix.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "host/RuntimeMain.h"
#include "system/DescriptorSet.h"
#include "system/NetworkInterfaces.h"

namespace {

constexpr int32_t kBufferSize = 1024 * 1024;
constexpr int32_t kDefaultReceiveChunk = 8192;
// At most this much is taken per poll, in pieces of the receive chunk.
constexpr size_t kMostPerPoll = 1024 * 1024;
// As many waiting connections as the system keeps: with a short queue a
// burst of clients is refused, or (where the system drops the overflow
// silently) left connected with no server ever seeing it.
constexpr int kListenBacklog = SOMAXCONN;
constexpr int32_t kHighestPort = 65535;
constexpr int32_t kPermissionDenied = 13;
constexpr int32_t kInvalidArgument = 22;
constexpr int32_t kAddressInUse = 48;
constexpr int32_t kWinsockErrorBase = 10000;

bool PortInRange(int32_t port) { return port >= 0 && port <= kHighestPort; }

StringRecord* EmptyString() { return NewString(nullptr, 0, kEncodingASCII); }

// A waiting client gone before its accept: aborted, reset, or, as some
// systems answer an accept that asks for the address of a client that has
// reset, no longer connected. None of them is a fault of the server.
bool GoneBeforeAccept(int32_t error) {
  return error == kErrorConnectionAborted || error == kErrorConnectionReset ||
         error == kErrorNotConnected;
}

}  // namespace

sockaddr_in IPv4Address(uint32_t networkOrderAddress, int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = shim::htons(u_short(port));
  address.sin_addr.s_addr = networkOrderAddress;
  return address;
}

int32_t LocalPortOf(SOCKET descriptor) {
  if (descriptor == INVALID_SOCKET) return -1;
  sockaddr_in local{};
  int length = sizeof local;
  if (shim::getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
  return shim::htons(local.sin_port);
}

bool ResolveHostAddress(const char* text, uint32_t* networkOrder) {
  const unsigned long dotted = shim::inet_addr(text);
  if (dotted != INADDR_NONE) {
    *networkOrder = uint32_t(dotted);
    return true;
  }
  const hostent* host = shim::gethostbyname(text);
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
      !host->h_addr_list[0]) {
    return false;
  }
  std::memcpy(networkOrder, host->h_addr_list[0], 4);
  return true;
}

// The readiness of the walk's TCP sockets, asked once per walk.
class TCPReadiness {
 public:
  // Stamps every registered TCP socket with the walk, the descriptor and
  // interest asked about, and its answer. After a failed select nothing is
  // taken as asked, so that each socket asks alone and meets the failure.
  void Query(uint32_t walk);

 private:
  void Mark(DescriptorSet& ready, uint8_t bit);

  DescriptorSet readable_, writable_, failed_;
  std::vector<std::pair<SOCKET, TCPSocketPosix*>> sockets_;
};

void TCPReadiness::Query(uint32_t walk) {
  readable_.Clear();
  writable_.Clear();
  failed_.Clear();
  sockets_.clear();
  for (uint32_t i = 0; i < RegisteredSocketCount(); ++i) {
    auto* socket = dynamic_cast<TCPSocketPosix*>(RegisteredSocketAt(i));
    if (!socket) continue;
    const SOCKET descriptor = socket->descriptor_;
    socket->readyWalk_ = walk;
    socket->askedDescriptor_ = descriptor;
    socket->askedInterest_ = descriptor == INVALID_SOCKET ? 0 : socket->Interest();
    socket->ready_ = 0;
    if (socket->askedInterest_ == 0) continue;
    sockets_.emplace_back(descriptor, socket);
    if (socket->askedInterest_ & TCPSocketPosix::kReadable) readable_.Add(descriptor);
    if (socket->askedInterest_ & TCPSocketPosix::kWritable) writable_.Add(descriptor);
    if (socket->askedInterest_ & TCPSocketPosix::kFailed) failed_.Add(descriptor);
  }
  if (sockets_.empty()) return;
  const timeval noWait{0, 0};
  const int ready = shim::select(0, readable_.NativeOrNull(), writable_.NativeOrNull(),
                                 failed_.NativeOrNull(), &noWait);
  if (ready < 0) {
    for (auto& entry : sockets_) entry.second->askedInterest_ = 0;
    return;
  }
  if (ready == 0) return;
  std::sort(sockets_.begin(), sockets_.end());
  Mark(readable_, TCPSocketPosix::kReadable);
  Mark(writable_, TCPSocketPosix::kWritable);
  Mark(failed_, TCPSocketPosix::kFailed);
}

void TCPReadiness::Mark(DescriptorSet& ready, uint8_t bit) {
  for (SOCKET descriptor : ready) {
    const auto found =
        std::lower_bound(sockets_.begin(), sockets_.end(), descriptor,
                         [](const auto& entry, SOCKET wanted) { return entry.first < wanted; });
    if (found != sockets_.end() && found->first == descriptor) found->second->ready_ |= bit;
  }
}

namespace {

TCPReadiness& TheReadiness() {
  static TCPReadiness readiness;
  return readiness;
}

}  // namespace

TCPSocketImp* NewTCPSocketImp(SocketOwner* owner, SocketListener* listener) {
  return new TCPSocketPosix(owner, listener);
}

TCPSocketPosix::TCPSocketPosix(SocketOwner* owner, SocketListener* listener)
    : TCPSocketImp(owner, listener),
      receiveChunk_(kDefaultReceiveChunk),
      receiveLimit_(kBufferSize) {}

TCPSocketPosix::~TCPSocketPosix() { TCPSocketPosix::Close(true); }

int32_t TCPSocketPosix::GetPort() { return LocalPortOf(descriptor_); }

void TCPSocketPosix::Close(bool keepOwnerLock) {
  CloseDescriptor();
  TCPSocketImp::Close(keepOwnerLock);
}

void TCPSocketPosix::CloseDescriptor() {
  if (descriptor_ != INVALID_SOCKET) shim::closesocket(descriptor_);
  descriptor_ = INVALID_SOCKET;
  // Without its descriptor a server listens no more, even while the Error
  // of the failure that closed it waits for the next poll.
  acceptingConnections_ = false;
  listening_ = false;
  // Winsock reuses descriptor values: an answer about this one must not
  // reach the next descriptor the socket opens in the same walk.
  askedInterest_ = 0;
}

void TCPSocketPosix::Reset(bool full) {
  TCPSocketImp::Reset(full);
  acceptingConnections_ = false;
  sendPending_ = false;
  descriptor_ = INVALID_SOCKET;
  receiveChunk_ = kDefaultReceiveChunk;
  receiveLimit_ = kBufferSize;
  askedInterest_ = 0;
}

void TCPSocketPosix::PrepareForNewUse() {
  // Otherwise the old descriptor would stay open, the old owner lock held
  // and the socket registered twice.
  if (IsRegistered() || descriptor_ != INVALID_SOCKET) Close(false);
  Reset(true);
}

bool TCPSocketPosix::ReportError(int32_t code) {
  TCPSocketImp::ReportError(code);
  if (code == 0) return false;
  lastError_ = MapTCPSocketError(code);
  SetPending(kSocketError);
  if (owner_) owner_->SetLastErrorCode(lastError_);
  return true;
}

void TCPSocketPosix::Fail(int32_t bsdNumber) {
  ReportError(bsdNumber);
  if (SocketsStarted()) {
    CloseDescriptor();
  } else {
    Close(false);
  }
}

bool TCPSocketPosix::CreateSocketDescriptor() {
  descriptor_ = shim::socket(AF_INET, SOCK_STREAM, 0);
  if (descriptor_ == INVALID_SOCKET) {
    Fail(SocketErrno());
    return false;
  }
  SetBufferSizes(kBufferSize);
  SetBlocking(false);
  return true;
}

void TCPSocketPosix::SetBufferSizes(int32_t size) {
  // Each refusal of the send size tries three quarters of it.
  for (; size > kDefaultReceiveChunk; size = int32_t(int64_t(size) * 3 / 4)) {
    const char* value = reinterpret_cast<const char*>(&size);
    if (shim::setsockopt(descriptor_, SOL_SOCKET, SO_SNDBUF, value, sizeof size) != 0) continue;
    shim::setsockopt(descriptor_, SOL_SOCKET, SO_RCVBUF, value, sizeof size);
    receiveLimit_ = size;
    return;
  }
}

void TCPSocketPosix::SetBlocking(bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  shim::ioctlsocket(descriptor_, long(FIONBIO), &nonBlocking);
}

int32_t TCPSocketPosix::ChosenInterface() const {
  return owner_ ? owner_->NetworkInterfaceIndex() : -1;
}

int32_t TCPSocketPosix::BindError(int32_t interfaceIndex, int32_t port) {
  const uint32_t address = interfaceIndex == -1
                               ? shim::htonl(INADDR_ANY)
                               : shim::htonl(GetInterfaceIPAddress(interfaceIndex));
  const sockaddr_in local = IPv4Address(address, port);
  return shim::bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0
             ? 0
             : SocketErrno();
}

bool TCPSocketPosix::Bind(int32_t interfaceIndex, int32_t port) {
  const int32_t error = BindError(interfaceIndex, port);
  if (error != 0) Fail(error);
  return error == 0;
}

void TCPSocketPosix::Connect(const StringRecord* address, int32_t port) {
  OwnerPin pin(this);
  PrepareForNewUse();
  TCPSocketImp::Connect(address, port);
  if (!PortInRange(port)) {
    Fail(kInvalidArgument);
    return;
  }
  if (!CreateSocketDescriptor()) return;
  uint32_t remote = 0;
  if (!ResolveHostAddress(StringCStr(address), &remote)) {
    Fail(kSocketUnreachable);
    return;
  }
  const int32_t chosen = ChosenInterface();
  if (chosen != -1 && !Bind(chosen, 0)) return;
  const sockaddr_in target = IPv4Address(remote, port);
  if (shim::connect(descriptor_, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
    connected_ = true;
    SetPending(kSocketConnected);
    return;
  }
  const int32_t error = SocketErrno();
  if (!IsInProgressError(error)) Fail(error);
}

void TCPSocketPosix::Listen(int32_t port) {
  OwnerPin pin(this);
  PrepareForNewUse();
  TCPSocketImp::Listen(port);
  // A server that does not listen has no pool to fill.
  if (!OpenListeningDescriptor(port)) ClearPending(kSocketServerRefill);
}

bool TCPSocketPosix::OpenListeningDescriptor(int32_t port) {
  if (!PortInRange(port)) {
    Fail(kInvalidArgument);
    return false;
  }
  if (!CreateSocketDescriptor() || !BindListening(port)) return false;
  acceptingConnections_ = true;
  if (shim::listen(descriptor_, kListenBacklog) != 0) {
    Fail(SocketErrno());
    return false;
  }
  return true;
}

bool TCPSocketPosix::BindListening(int32_t port) {
  // Older systems of the NT line grant exclusive use to administrators only;
  // without it the plain bind still refuses a port in use.
  const int exclusive = 1;
  const bool askedExclusive =
      IsWindowsNT() && shim::setsockopt(descriptor_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                                        reinterpret_cast<const char*>(&exclusive),
                                        sizeof exclusive) == 0;
  int32_t error = BindError(ChosenInterface(), port);
  if (error == 0) return true;
  // Some systems refuse a bind beside a socket in exclusive use as a
  // permission; the port named is in use all the same.
  if (askedExclusive && port != 0 && error == kPermissionDenied) error = kAddressInUse;
  Fail(error);
  return false;
}

void TCPSocketPosix::Write(const StringRecord* data) {
  TCPSocketImp::Write(data);
  sendPending_ = true;
}

StringRecord* TCPSocketPosix::GetRemoteAddress() {
  if (!connected_ || descriptor_ == INVALID_SOCKET) return EmptyString();
  sockaddr_in peer{};
  int length = sizeof peer;
  if (shim::getpeername(descriptor_, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    Fail(SocketErrno());
    return EmptyString();
  }
  const char* text = shim::inet_ntoa(peer.sin_addr);
  return NewString(text, text ? std::strlen(text) : 0, kEncodingASCII);
}

void TCPSocketPosix::Poll() {
  OwnerPin pin(this);
  if (descriptor_ == INVALID_SOCKET) {
    // A failure closed the descriptor and left its Error to deliver.
    if (PendingEvents() != 0) DeliverEvents();
    return;
  }
  const uint8_t interest = Interest();
  uint8_t ready = 0;
  if (!SharedAnswer(interest, &ready)) {
    const int alone = AskAlone(interest);
    if (alone < 0) {
      Fail(SocketErrno());
    } else {
      ready = uint8_t(alone);
    }
  }
  ActOn(ready);
  DeliverEvents();
}

uint8_t TCPSocketPosix::Interest() const {
  // Winsock shows a failed non-blocking connect only in the exception set.
  const bool connecting = !connected_ && !acceptingConnections_;
  uint8_t interest = 0;
  if (connected_ || acceptingConnections_) interest |= kReadable;
  if (connecting || sendPending_) interest |= kWritable;
  if (connecting) interest |= kFailed;
  return interest;
}

bool TCPSocketPosix::SharedAnswer(uint8_t interest, uint8_t* ready) {
  const uint32_t walk = CurrentPollWalk();
  if (walk == 0 || !SharedReadinessEnabled()) return false;
  if (readyWalk_ != walk) TheReadiness().Query(walk);
  if (readyWalk_ != walk || askedDescriptor_ != descriptor_ ||
      (interest & ~askedInterest_) != 0) {
    return false;
  }
  *ready = ready_ & interest;
  return true;
}

int TCPSocketPosix::AskAlone(uint8_t interest) {
  fd_set readable, writable, failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  if (interest & kReadable) FD_SET(descriptor_, &readable);
  if (interest & kWritable) FD_SET(descriptor_, &writable);
  if (interest & kFailed) FD_SET(descriptor_, &failed);
  const timeval noWait{0, 0};
  const int ready = shim::select(0, &readable, &writable, &failed, &noWait);
  if (ready <= 0) return ready;
  return (shim::FDIsSet(descriptor_, &readable) ? kReadable : 0) |
         (shim::FDIsSet(descriptor_, &writable) ? kWritable : 0) |
         (shim::FDIsSet(descriptor_, &failed) ? kFailed : 0);
}

void TCPSocketPosix::ActOn(uint8_t ready) {
  if (ready == 0) return;
  if (!connected_ && !acceptingConnections_) {
    CompleteConnect();
  } else if (ready & kReadable) {
    if (acceptingConnections_) {
      AcceptWaiting();
    } else {
      RecvToBuffer();
    }
  }
  if ((ready & kWritable) && connected_ && descriptor_ != INVALID_SOCKET) {
    sendPending_ = false;
    SendFromBuffer();
  }
}

void TCPSocketPosix::CompleteConnect() {
  int error = 0;
  int length = sizeof error;
  if (shim::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                       &length) != 0) {
    Fail(SocketErrno());
  } else if (error != 0) {
    Fail(error - kWinsockErrorBase);
  } else {
    connected_ = true;
    SetPending(kSocketConnected);
  }
}

void TCPSocketPosix::RecvToBuffer() {
  size_t taken = 0;
  bool peerClosed = false;
  int32_t failure = 0;
  while (taken < kMostPerPoll) {
    size_t asked = std::min(size_t(receiveChunk_), kMostPerPoll - taken);
    // Room the queue already has is filled before it grows.
    const size_t room = receiveBuffer_.Room();
    if (room >= size_t(kDefaultReceiveChunk)) asked = std::min(asked, room);
    char* into = reinterpret_cast<char*>(receiveBuffer_.Reserve(asked));
    const int received = shim::recv(descriptor_, into, int(asked), 0);
    if (received > 0) {
      receiveBuffer_.Commit(size_t(received));
      taken += size_t(received);
      // A full chunk says more is waiting: the next receive asks for more.
      if (received == receiveChunk_) receiveChunk_ = std::min(receiveChunk_ * 2, receiveLimit_);
      continue;
    }
    if (received == 0) {
      peerClosed = true;
    } else if (const int32_t error = SocketErrno(); !IsInProgressError(error)) {
      failure = error;
    }
    break;
  }
  // Data taken before the peer closed (or the receive failed) is kept and
  // announced before the Error.
  if (taken > 0) {
    SetPending(kSocketDataAvailable);
    NoteSocketTraffic();
  }
  if (peerClosed) {
    // The descriptor stays open until the error delivery closes the socket.
    ReportError(kSocketConnectionLost);
  } else if (failure != 0) {
    Fail(failure);
  }
}

void TCPSocketPosix::SendFromBuffer() {
  const size_t waiting = sendBuffer_.Length();
  if (waiting == 0) return;
  const int asked = int(std::min(waiting, size_t(INT32_MAX)));
  const int sent =
      shim::send(descriptor_, reinterpret_cast<const char*>(sendBuffer_.Front()), asked, 0);
  if (sent < 0) {
    const int32_t error = SocketErrno();
    if (IsInProgressError(error)) {
      sendPending_ = true;
    } else {
      Fail(error);
    }
    return;
  }
  if (sent > 0) NoteSocketTraffic();
  sendBuffer_.Consume(size_t(sent));
  sendPending_ = !sendBuffer_.Empty();
  SetPending(kSocketSendProgress);
  bytesSent_ += sent;
}

void TCPSocketPosix::TakeConnection(TCPSocketImp* server, SOCKET accepted) {
  // A socket the application gives again still holds what its last
  // connection left unread, and may have had output queued while it
  // waited: none of it belongs to the new client, nor does the error that
  // ended it. The pool's reference stays as the registration's lock.
  Reset(true);
  if (owner_) owner_->SetLastErrorCode(0);
  AdoptOwnerReference();
  server_ = server;
  descriptor_ = accepted;
  connected_ = true;
  SetPending(kSocketConnected);
}

bool TCPSocketPosix::AwaitingStandby() const {
  return serverPool_ && serverPool_->StandbyCount() == 0 && IsPending(kSocketServerRefill);
}

void TCPSocketPosix::AcceptWaiting() {
  if (AwaitingStandby()) return;
  // Handlers of the handed-off sockets may stop this server or raise.
  while (DoAccept() && serverPool_ && acceptingConnections_ && !RuntimeExceptionPending() &&
         serverPool_->StandbyCount() > 0) {
  }
}

bool TCPSocketPosix::DoAccept() {
  sockaddr_in peer{};
  int length = sizeof peer;
  const SOCKET accepted = shim::accept(descriptor_, reinterpret_cast<sockaddr*>(&peer), &length);
  if (accepted == INVALID_SOCKET) {
    // A client that gave up between the readiness and the accept is
    // skipped; the server listens on.
    const int32_t error = SocketErrno();
    if (!IsInProgressError(error) && !GoneBeforeAccept(error)) Fail(error);
    return false;
  }
  if (!serverPool_) {
    // A plain socket that listened becomes that one connection.
    shim::closesocket(descriptor_);
    descriptor_ = accepted;
    connected_ = true;
    SetPending(kSocketConnected);
    acceptingConnections_ = false;
    return true;
  }
  NoteSocketTraffic();
  HandOff(accepted);
  return true;
}

void TCPSocketPosix::HandOff(SOCKET accepted) {
  SocketOwner* standby = serverPool_->TakeNewest();
  SocketImp* implementation = standby ? standby->Implementation() : nullptr;
  auto* socket = dynamic_cast<TCPSocketPosix*>(implementation);
  if (!socket) {
    // No socket waits: the connection is dropped.
    shim::closesocket(accepted);
    // A standby socket that cannot take it gives the pool's reference back.
    if (implementation) {
      implementation->Close(false);
    } else if (standby) {
      standby->Unlock();
    }
    return;
  }
  socket->TakeConnection(this, accepted);
  SetPending(kSocketServerRefill);
  // Its Connected comes before this server's events.
  socket->DeliverEvents();
}
