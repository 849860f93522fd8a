// UDPSocketImp: the portable half of a UDP socket. It keeps the queues of
// datagrams received and waiting to be sent, and turns what the back-end
// posted into the owner's events. Its descriptor work is done by the
// back-end (UDPSocketPosix.h), the class NewUDPSocketImp makes.
//
// Events: DataAvailable fires once for each datagram received, until the
// queue is empty (a handler that reads one datagram per event sees each; one
// that drains the queue sees one event); SendComplete(false) once for each
// datagram sent, at a delivery after the one that sent it; Error at once,
// inside the call that failed. A UDP error never closes or unbinds the
// socket. Each pending flag is cleared before its event, every delivery runs
// under the owner pin, and a delivery nested in a DataAvailable handler
// leaves the rest of the datagrams to the delivery that is running.
//
// The registration holds no lock on the owner: a UDPSocket object lives by
// its references alone, and its destruction deletes the socket.
#pragma once
#include <cstdint>
#include <deque>

#include "core/SmartRef.h"
#include "system/SocketImp.h"

// One datagram. Received: the sender's dotted address and port (host order)
// and the bytes (a string in the default encoding). Outgoing: the host text
// as written, the destination port and address (network order, resolved
// when it was queued) and the bytes. The record holds its own references.
struct DatagramRecord {
  StringRef address;
  int32_t port = 0;
  StringRef data;
  uint32_t destination = 0;
};

class UDPSocketImp : public SocketImp {
 public:
  explicit UDPSocketImp(SocketOwner* owner);
  ~UDPSocketImp() override;

  // DataAvailable events while datagrams are unannounced and the queue holds
  // any, else the SendComplete events owed when it began; completions passed
  // over by one DataAvailable delivery follow the next one. Nothing else.
  void DeliverEvents() override;
  bool IsSending() override;
  // Drops the received datagrams.
  void Purge() override;
  // Also drops the datagrams waiting to be sent.
  void Close(bool keepOwnerLock) override;
  // Also: hop limit 0, nothing waiting to be sent or announced; the received
  // datagrams go only when full.
  void Reset(bool full) override;

  // Registers the socket with the port; the back-end opens and binds.
  virtual void Bind(int32_t port);
  // Queues a datagram to send.
  virtual void WriteDatagram(DatagramRecord record);
  // The oldest datagram received, taken off the queue; false when none.
  bool ReadDatagram(DatagramRecord* record);
  virtual bool JoinMulticastGroup(const char* group);
  virtual void LeaveMulticastGroup(const char* group);
  virtual void SetLoopback(bool loopback);
  virtual void RouterHops(int32_t hops);
  // The broadcast address as dotted text, a new string; "" in the base.
  virtual StringRecord* GetBroadcast();
  // Polls with a readiness query of its own, whatever walk is under way.
  virtual void PollNow();
  int32_t PacketsAvailable() const;

  int32_t RouterHopsValue() const { return routerHops_; }
  size_t OutgoingCount() const { return outgoing_.size(); }

 protected:
  // A datagram arrived: queued and counted for a DataAvailable.
  void Received(DatagramRecord record);
  // The oldest outgoing datagram left: one SendComplete owed.
  void Sent();
  // The error, mapped, becomes lastError and LastErrorCode, and the owner's
  // Error fires now.
  void FireErrorNow(int32_t code);

  std::deque<DatagramRecord> incoming_;
  std::deque<DatagramRecord> outgoing_;
  int32_t routerHops_ = 0;

 private:
  void DeliverDataAvailable();
  // At most `owed` of the SendCompletes owed.
  void DeliverSendComplete(uint32_t owed);

  uint32_t unannounced_ = 0;   // datagrams received, DataAvailable not yet fired
  uint32_t completesOwed_ = 0;  // datagrams sent, SendComplete not yet fired
  // Completions were owed at a delivery that fired only DataAvailable.
  bool completesWaiting_ = false;
  bool deliveringData_ = false;
};

// A new UDP socket for the owner (nil allowed); the caller deletes it (the
// owner's destruction does). The language passes no listener.
UDPSocketImp* NewUDPSocketImp(SocketOwner* owner, SocketListener* listener);
