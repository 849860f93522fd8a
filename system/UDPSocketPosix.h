// UDPSocketPosix: the UDP back-end on BSD socket calls through the Winsock
// shim, the class of every UDP socket the run-time makes. Descriptors are
// non-blocking and allow broadcast; nothing here waits (the host-name
// look-up of WriteDatagram aside).
//
// Readiness: the sockets polled in one walk of the socket manager share one
// zero-time-out select over every bound UDP descriptor (read interest while
// bound, write interest while a datagram waits), asked by the first of them
// to be polled; each then acts on its answer only, so an idle socket costs
// no system call of its own. PollNow asks for its descriptor alone. A
// readable socket takes datagrams until none is left, at most 64 per poll;
// a writable one sends its queue until the system would block, the datagram
// that would block staying first in the queue.
//
// Failures fire Error at once with the code mapped by the UDP table of
// WinsockShim.h; the socket stays registered and, once bound, bound.
#pragma once
#include <cstdint>

#include "system/UDPSocket.h"
#include "system/WinsockShim.h"

class UDPSocketPosix : public UDPSocketImp {
 public:
  explicit UDPSocketPosix(SocketOwner* owner);
  ~UDPSocketPosix() override;

  // Acts on the walk's readiness answer (its own query outside a walk),
  // then delivers when an event is pending.
  void Poll() override;
  void PollNow() override;
  int32_t GetPort() override;
  // Also closes the descriptor.
  void Close(bool keepOwnerLock) override;
  // Also closes a descriptor still open.
  void Reset(bool full) override;
  // A socket still registered or holding a descriptor is closed first. Then:
  // registered, a descriptor bound to the port on the owner's chosen
  // interface (every address when none is chosen), broadcast allowed,
  // non-blocking; bound. Failures: 100 when the layer cannot start or no
  // descriptor is made; a failed bind leaves the socket registered with its
  // descriptor, not bound.
  void Bind(int32_t port) override;
  // Unbound: 106. A port outside 1 to 65535: 22. A host that resolves to no
  // address (only the text "255.255.255.255" gives the broadcast address):
  // 103. Nothing is queued after a failure. Otherwise queued and sent at
  // once as far as the system takes it.
  void WriteDatagram(DatagramRecord record) override;
  bool JoinMulticastGroup(const char* group) override;
  void LeaveMulticastGroup(const char* group) override;
  // Without a local port nothing happens; unbound: 106.
  void SetLoopback(bool loopback) override;
  void RouterHops(int32_t hops) override;
  StringRecord* GetBroadcast() override;

  // A non-zero BSD error number, mapped, fires Error now.
  void ReportDatagramError(int32_t bsdNumber);

  SOCKET Descriptor() const { return descriptor_; }

 private:
  friend class UDPReadiness;

  void CloseDescriptor();
  void ActOn(bool readable, bool writable);
  void ReceiveDatagrams();
  void SendQueued();
  bool ChangeMembership(int option, const char* group);
  // Sets an IP-level option of a bound socket (nothing without a local
  // port, 106 when unbound).
  void SetMulticastOption(int option, int32_t value);

  SOCKET descriptor_ = INVALID_SOCKET;
  // The walk whose readiness answer this socket holds, and the answer.
  uint32_t readyWalk_ = 0;
  bool readable_ = false;
  bool writable_ = false;
};
