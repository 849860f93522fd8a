// Descriptor work of UDP sockets: bind, the shared readiness query, receive
// and send, and the IP-level options.
#include "system/UDPSocketPosix.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "core/string.h"
#include "system/DescriptorSet.h"
#include "system/NetworkInterfaces.h"
#include "system/SimpleVector.h"
#include "system/TCPSocketPosix.h"

namespace {

constexpr size_t kScratchSize = 65536;  // above the largest IPv4 datagram
constexpr int kDatagramsPerPoll = 64;
constexpr int32_t kHighestPort = 65535;
constexpr int32_t kInvalidArgument = 22;
constexpr int32_t kAddressNotAvailable = 49;
constexpr char kBroadcastText[] = "255.255.255.255";

// IP-level options as the Winsock 1.1 library numbers them (the shim's
// calls go through it), and its membership request.
enum WinsockOneIPOption : int {
  kMulticastTTL = 3,
  kMulticastLoop = 4,
  kAddMembership = 5,
  kDropMembership = 6,
};
struct MembershipRequest {
  uint32_t group;      // network order
  uint32_t localInterface;  // network order; 0 lets the system choose
};
static_assert(sizeof(MembershipRequest) == 8, "the request is two addresses");

// One receive buffer for every UDP socket.
char* ScratchBuffer() {
  static char scratch[kScratchSize];
  return scratch;
}

// The UDP sockets holding a descriptor, for the shared readiness query.
SimplePointerVector<UDPSocketPosix>& OpenSockets() {
  static SimplePointerVector<UDPSocketPosix> sockets;
  return sockets;
}

// 49 when the address is not one of the machine's, else 0. Asked of a
// stream socket: Wine binds a datagram socket asked for an address the
// machine lacks to every address instead of failing, and the socket would
// then take datagrams on interfaces it was kept from.
int32_t CheckLocalAddress(uint32_t networkOrder) {
  SOCKET probe = shim::socket(AF_INET, SOCK_STREAM, 0);
  if (probe == INVALID_SOCKET) return 0;
  const sockaddr_in local = IPv4Address(networkOrder, 0);
  const bool refused =
      shim::bind(probe, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 &&
      SocketErrno() == kAddressNotAvailable;
  shim::closesocket(probe);
  return refused ? kAddressNotAvailable : 0;
}

bool PortInDatagramRange(int32_t port) { return port >= 1 && port <= kHighestPort; }

// The destination of a host text: dotted text or a host name; the broadcast
// address only for its own dotted text, so that a name that fails to parse
// (inet_addr gives all ones) never broadcasts.
bool ResolveDestination(const char* host, uint32_t* networkOrder) {
  if (std::strcmp(host, kBroadcastText) == 0) {
    *networkOrder = INADDR_BROADCAST;
    return true;
  }
  return *host != '\0' && ResolveHostAddress(host, networkOrder) &&
         *networkOrder != INADDR_BROADCAST;
}

}  // namespace

// The readiness of the open UDP sockets, asked once per walk.
class UDPReadiness {
 public:
  // Stamps every open socket with the walk and its answer.
  void Query(uint32_t walk);
  // The answer for one socket alone.
  static void QueryOne(UDPSocketPosix* socket, bool* readable, bool* writable);

 private:
  void Mark(DescriptorSet& ready, bool UDPSocketPosix::*flag);

  DescriptorSet readable_, writable_;
  std::vector<std::pair<SOCKET, UDPSocketPosix*>> sockets_;
};

void UDPReadiness::Query(uint32_t walk) {
  readable_.Clear();
  writable_.Clear();
  sockets_.clear();
  SimplePointerVector<UDPSocketPosix>& open = OpenSockets();
  for (uint32_t i = 0; i < open.Count(); ++i) {
    UDPSocketPosix* socket = open.At(i);
    socket->readyWalk_ = walk;
    socket->readable_ = socket->writable_ = false;
    if (!socket->IsConnected()) continue;
    sockets_.emplace_back(socket->descriptor_, socket);
    readable_.Add(socket->descriptor_);
    if (socket->OutgoingCount() > 0) writable_.Add(socket->descriptor_);
  }
  if (sockets_.empty()) return;
  const timeval noWait{0, 0};
  const int ready =
      shim::select(0, readable_.NativeOrNull(), writable_.NativeOrNull(), nullptr, &noWait);
  if (ready == 0) return;
  if (ready < 0) {
    // Each socket's own receive and send then meet the failure and report
    // it (or find nothing to do).
    for (auto& [descriptor, socket] : sockets_) socket->readable_ = socket->writable_ = true;
    return;
  }
  std::sort(sockets_.begin(), sockets_.end());
  Mark(readable_, &UDPSocketPosix::readable_);
  Mark(writable_, &UDPSocketPosix::writable_);
}

void UDPReadiness::Mark(DescriptorSet& ready, bool UDPSocketPosix::*flag) {
  for (SOCKET descriptor : ready) {
    const auto found =
        std::lower_bound(sockets_.begin(), sockets_.end(), descriptor,
                         [](const auto& entry, SOCKET wanted) { return entry.first < wanted; });
    if (found != sockets_.end() && found->first == descriptor) found->second->*flag = true;
  }
}

void UDPReadiness::QueryOne(UDPSocketPosix* socket, bool* readable, bool* writable) {
  *readable = *writable = false;
  if (socket->descriptor_ == INVALID_SOCKET || !socket->IsConnected()) return;
  fd_set readSet, writeSet;
  FD_ZERO(&readSet);
  FD_ZERO(&writeSet);
  FD_SET(socket->descriptor_, &readSet);
  FD_SET(socket->descriptor_, &writeSet);
  const bool sending = socket->OutgoingCount() > 0;
  const timeval noWait{0, 0};
  const int ready = shim::select(0, &readSet, sending ? &writeSet : nullptr, nullptr, &noWait);
  *readable = ready != 0 && (ready < 0 || shim::FDIsSet(socket->descriptor_, &readSet));
  *writable = ready != 0 && sending && (ready < 0 || shim::FDIsSet(socket->descriptor_, &writeSet));
}

namespace {

UDPReadiness& TheReadiness() {
  static UDPReadiness readiness;
  return readiness;
}

}  // namespace

UDPSocketImp* NewUDPSocketImp(SocketOwner* owner, SocketListener*) {
  return new UDPSocketPosix(owner);
}

UDPSocketPosix::UDPSocketPosix(SocketOwner* owner) : UDPSocketImp(owner) {}

UDPSocketPosix::~UDPSocketPosix() { UDPSocketPosix::Close(true); }

void UDPSocketPosix::Poll() {
  const uint32_t walk = CurrentPollWalk();
  if (walk == 0 || !SharedReadinessEnabled()) {
    PollNow();
    return;
  }
  OwnerPin pin(this);
  if (descriptor_ != INVALID_SOCKET && readyWalk_ != walk) TheReadiness().Query(walk);
  const bool answered = readyWalk_ == walk;
  ActOn(answered && readable_, answered && writable_);
}

void UDPSocketPosix::PollNow() {
  OwnerPin pin(this);
  bool readable = false;
  bool writable = false;
  UDPReadiness::QueryOne(this, &readable, &writable);
  ActOn(readable, writable);
}

void UDPSocketPosix::ActOn(bool readable, bool writable) {
  if (readable) ReceiveDatagrams();
  if (writable) SendQueued();
  if (PendingEvents() != 0) DeliverEvents();
}

void UDPSocketPosix::ReceiveDatagrams() {
  char* scratch = ScratchBuffer();
  for (int i = 0; i < kDatagramsPerPoll && descriptor_ != INVALID_SOCKET; ++i) {
    sockaddr_in sender{};
    int length = sizeof sender;
    const int received = shim::recvfrom(descriptor_, scratch, int(kScratchSize), 0,
                                        reinterpret_cast<sockaddr*>(&sender), &length);
    if (received < 0) {
      const int32_t error = SocketErrno();
      if (!IsInProgressError(error)) ReportDatagramError(error);
      return;
    }
    // An empty datagram is taken off the socket and handed to no one.
    if (received == 0) continue;
    DatagramRecord record;
    record.address = StringRef::Adopt(DottedAddressText(shim::htonl(sender.sin_addr.s_addr)));
    record.port = shim::htons(sender.sin_port);
    record.data = StringRef::Adopt(NewString(scratch, size_t(received), kEncodingASCII));
    Received(std::move(record));
  }
}

void UDPSocketPosix::SendQueued() {
  while (!outgoing_.empty() && descriptor_ != INVALID_SOCKET) {
    const DatagramRecord& record = outgoing_.front();
    const sockaddr_in target = IPv4Address(record.destination, record.port);
    const StringRecord* data = record.data.get();
    const int sent = shim::sendto(descriptor_, reinterpret_cast<const char*>(StringData(data)),
                                  int(StringLength(data)), 0,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent >= 0) {
      Sent();
      continue;
    }
    // A send that would block waits, first in the queue, for the socket to
    // be writable; one that fails is dropped.
    const int32_t error = SocketErrno();
    if (IsInProgressError(error)) return;
    outgoing_.pop_front();
    ReportDatagramError(error);
    return;
  }
}

int32_t UDPSocketPosix::GetPort() { return LocalPortOf(descriptor_); }

void UDPSocketPosix::Close(bool keepOwnerLock) {
  CloseDescriptor();
  UDPSocketImp::Close(keepOwnerLock);
}

void UDPSocketPosix::Reset(bool full) {
  CloseDescriptor();
  UDPSocketImp::Reset(full);
}

void UDPSocketPosix::CloseDescriptor() {
  if (descriptor_ == INVALID_SOCKET) return;
  shim::closesocket(descriptor_);
  descriptor_ = INVALID_SOCKET;
  readyWalk_ = 0;
  SimplePointerVector<UDPSocketPosix>& open = OpenSockets();
  open.RemoveAt(uint32_t(open.LastIndexOf(this)));
}

void UDPSocketPosix::Bind(int32_t port) {
  OwnerPin pin(this);
  // Bound again: the old descriptor is closed and the socket registered once.
  if (IsRegistered() || descriptor_ != INVALID_SOCKET) Close(true);
  Reset(true);
  UDPSocketImp::Bind(port);
  if (StartSockets() != 0) {
    ReportDatagramError(kSocketCannotStart);
    return;
  }
  if (port < 0 || port > kHighestPort) {
    ReportDatagramError(kInvalidArgument);
    return;
  }
  descriptor_ = shim::socket(AF_INET, SOCK_DGRAM, 0);
  if (descriptor_ == INVALID_SOCKET) {
    ReportDatagramError(kSocketCannotStart);
    return;
  }
  OpenSockets().Append(this);
  const int32_t chosen = owner_ ? owner_->NetworkInterfaceIndex() : -1;
  const uint32_t address = chosen == -1 ? INADDR_ANY : GetInterfaceIPAddress(chosen);
  const sockaddr_in local = IPv4Address(shim::htonl(address), port);
  if (const int32_t unavailable = chosen == -1 ? 0 : CheckLocalAddress(local.sin_addr.s_addr)) {
    ReportDatagramError(unavailable);
    return;
  }
  const int allow = 1;
  u_long nonBlocking = 1;
  if (shim::bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      shim::setsockopt(descriptor_, SOL_SOCKET, SO_BROADCAST,
                       reinterpret_cast<const char*>(&allow), sizeof allow) != 0 ||
      shim::ioctlsocket(descriptor_, long(FIONBIO), &nonBlocking) != 0) {
    ReportDatagramError(SocketErrno());
    return;
  }
  connected_ = true;
}

void UDPSocketPosix::WriteDatagram(DatagramRecord record) {
  OwnerPin pin(this);
  int32_t failure = 0;
  if (!connected_ || descriptor_ == INVALID_SOCKET) {
    failure = kSocketNotBound;
  } else if (!PortInDatagramRange(record.port)) {
    failure = kInvalidArgument;
  } else if (!ResolveDestination(StringCStr(record.address.get()), &record.destination)) {
    failure = kSocketUnreachable;
  }
  if (failure != 0) {
    ReportDatagramError(failure);
    return;
  }
  UDPSocketImp::WriteDatagram(std::move(record));
  SendQueued();
}

bool UDPSocketPosix::JoinMulticastGroup(const char* group) {
  return ChangeMembership(kAddMembership, group);
}

void UDPSocketPosix::LeaveMulticastGroup(const char* group) {
  ChangeMembership(kDropMembership, group);
}

bool UDPSocketPosix::ChangeMembership(int option, const char* group) {
  OwnerPin pin(this);
  if (descriptor_ == INVALID_SOCKET || !connected_) {
    ReportDatagramError(kSocketNotBound);
    return false;
  }
  const int32_t chosen = owner_ ? owner_->NetworkInterfaceIndex() : -1;
  MembershipRequest request{};
  request.group = uint32_t(shim::inet_addr(group));
  request.localInterface = chosen == -1 ? 0 : uint32_t(shim::htonl(GetInterfaceIPAddress(chosen)));
  if (shim::setsockopt(descriptor_, IPPROTO_IP, option, reinterpret_cast<const char*>(&request),
                       sizeof request) != 0) {
    ReportDatagramError(SocketErrno());
    return false;
  }
  return true;
}

void UDPSocketPosix::SetLoopback(bool loopback) { SetMulticastOption(kMulticastLoop, loopback); }

void UDPSocketPosix::RouterHops(int32_t hops) { SetMulticastOption(kMulticastTTL, hops); }

void UDPSocketPosix::SetMulticastOption(int option, int32_t value) {
  if (GetPort() == -1) return;
  OwnerPin pin(this);
  if (!connected_) {
    ReportDatagramError(kSocketNotBound);
    return;
  }
  if (option == kMulticastTTL) routerHops_ = value;
  if (shim::setsockopt(descriptor_, IPPROTO_IP, option, reinterpret_cast<const char*>(&value),
                       sizeof value) != 0) {
    ReportDatagramError(SocketErrno());
  }
}

StringRecord* UDPSocketPosix::GetBroadcast() {
  const int32_t chosen = owner_ ? owner_->NetworkInterfaceIndex() : -1;
  return DottedAddressText(GetInterfaceBroadcastAddress(chosen));
}

void UDPSocketPosix::ReportDatagramError(int32_t bsdNumber) {
  if (bsdNumber != 0) FireErrorNow(MapUDPSocketError(bsdNumber));
}
