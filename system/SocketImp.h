// The socket implementation interface and the socket manager.
//
// Every network socket of the run-time is a SocketImp: the TCP sockets
// (TCPSocket.h, TCPSocketPosix.h) and the UDP sockets. A socket registered by
// Listen, Bind or Connect stays on one process-wide list until Close; the
// main loop polls that list once per turn, newest socket first, and each
// socket's poll does its pending I/O and delivers its events. Everything runs
// on the main thread; event handlers run inside the poll and may close, reset
// or free sockets.
//
// Ownership: a socket serves an owner (its language object, SocketOwner.h) or
// none. While registered it may hold one lock on its owner (ownerLocked),
// which keeps the object alive; Poll and DeliverEvents pin the owner for
// their whole run (nested runs share one lock), so that nothing the handlers
// do frees the socket under them: releasing the pin is their last action,
// and it may free the owner and, through the owner's destruction, the socket.
#pragma once
#include <cstdint>

#include "system/SocketMemory.h"
#include "system/SocketOwner.h"

class TCPSocketImp;

// Event bits: the pending flags and the event mask the language reads.
enum SocketEvent : uint32_t {
  kSocketConnected = 1,
  kSocketError = 2,
  kSocketDataAvailable = 4,
  kSocketSendComplete = 8,
  kSocketServerRefill = 16,  // the server pool is looked at
  kSocketSendProgress = 32,
};

// Callbacks of an internal (non-language) user of a TCP socket; the base
// operations do nothing. Not owned by the socket.
class SocketListener {
 public:
  virtual ~SocketListener() = default;
  virtual void Connected(TCPSocketImp* socket);
  virtual void DataAvailable(TCPSocketImp* socket);
  virtual void SendComplete(TCPSocketImp* socket);
  virtual void Error(TCPSocketImp* socket, int32_t code);
  virtual void SendProgress(TCPSocketImp* socket, int32_t bytesSent, int32_t bytesLeft);
};

class SocketImp : public SocketBlock {
 public:
  // Starts the socket layer when it has not started (the result is not
  // looked at: operations fail later with 100) and makes the wake-up task
  // when none exists. The socket is not registered yet.
  explicit SocketImp(SocketOwner* owner);
  // Close(true): unregisters, leaves the owner's count alone.
  virtual ~SocketImp();
  SocketImp(const SocketImp&) = delete;
  SocketImp& operator=(const SocketImp&) = delete;

  // Registers the socket; a TCPSocket owner is locked for the registration.
  virtual void Listen(int32_t port);
  // The pending I/O once, then DeliverEvents. Base: nothing.
  virtual void Poll();
  // Reports the pending events, then runs the error tail. Base: the tail.
  virtual void DeliverEvents();
  // Data is waiting to be sent.
  virtual bool IsSending();
  // Always false; the poll walk's result does not ask it.
  virtual bool IsBusy();
  // Discards received data not yet read.
  virtual void Purge();
  // The local port of the open descriptor; -1 without one.
  virtual int32_t GetPort();
  // Unregisters (nothing when not registered); without keepOwnerLock,
  // releases the registration's lock on the owner, as the last thing it
  // does: the owner and this socket may be gone afterwards.
  virtual void Close(bool keepOwnerLock);
  // Back to idle: not connected, no error, no events, port 0, the lock
  // forgotten (not released). Received data is kept unless full.
  virtual void Reset(bool full);
  virtual TCPSocketImp* AsTCPSocket();  // nil unless a TCP socket

  SocketOwner* Owner() const { return owner_; }
  int32_t Port() const { return port_; }
  int32_t LastError() const { return lastError_; }
  bool IsConnected() const { return connected_; }
  bool OwnerLocked() const { return ownerLocked_; }
  bool IsRegistered() const;

  // Events delivered since the language last asked, and posting one
  // without a delivery (the server's maximum setter posts 16).
  uint32_t EventMask() const { return eventMask_; }
  void PostEvents(uint32_t events) { eventMask_ |= events; }
  uint32_t TakeEvents();
  bool IsPending(uint32_t events) const { return (pending_ & events) != 0; }
  uint32_t PendingEvents() const { return pending_; }
  void SetPending(uint32_t events) { pending_ |= events; }

  // Takes over a reference the caller holds on the owner as the lock of the
  // registration (a server pool hands its reference on this way).
  void AdoptOwnerReference() { ownerLocked_ = true; }

 protected:
  // Holds one lock on the owner (none for an ownerless socket) while any
  // pin of the socket lives.
  class OwnerPin {
   public:
    explicit OwnerPin(SocketImp* socket);
    ~OwnerPin();
    OwnerPin(const OwnerPin&) = delete;
    OwnerPin& operator=(const OwnerPin&) = delete;

   private:
    SocketImp* socket_;
  };

  static void Register(SocketImp* socket);
  void LockOwnerForRegistration();
  void ClearPending(uint32_t events) { pending_ &= ~events; }
  // Run under a pin, at the end of every delivery: with the Error bit in the
  // event mask, Close(false) and, when the owner is referenced beyond the
  // registration and the pin, Reset(false). An ownerless socket is closed
  // and reset.
  void RunErrorTail();

  SocketOwner* owner_;
  int32_t port_ = 0;
  uint32_t pending_ = 0;
  int32_t lastError_ = 0;
  uint32_t eventMask_ = 0;
  bool connected_ = false;
  bool ownerLocked_ = false;

 private:
  int32_t pinDepth_ = 0;
};

bool SocketImpIsConnected(const SocketImp* socket);  // false for nil
uint32_t GetAndClearEvents(SocketImp* socket);       // 0 for nil

bool SocketsStarted();
// 0 when the layer is started (now or before); 100 when it cannot start,
// which includes every call after ShutdownSockets.
int32_t StartSockets();
// Polls the registered sockets, newest first (ownerless ones only when
// asked); a socket registered during the walk waits for the next one, and
// the walk ends early when a handler left an exception pending. True when a
// polled socket still has data to send.
bool PollRegisteredSockets(bool ownerlessOnly);
// The number of the poll walk under way, new for each walk (a walk nested in
// a handler has its own); 0 outside any. Sockets polled in one walk may share
// one readiness query.
uint32_t CurrentPollWalk();
// Told by a socket's poll that it moved bytes or took a connection: the
// walk then wakes the main loop, so that its next turn comes at once
// instead of at the next tick while a transfer goes on.
void NoteSocketTraffic();
// Whether the sockets of a walk share one readiness query (the default);
// switched off, each socket asks about its own descriptor as its Poll does
// outside a walk. The events and bytes are the same either way; the switch
// lets the two be compared on one run.
bool SharedReadinessEnabled();
void SetSharedReadiness(bool shared);
// Closes every registered socket (keeping owner locks), cleans Winsock up,
// frees the libraries and deletes the wake-up task. The layer does not start
// again in this process. Gives 0.
int32_t ShutdownSockets();

// The registered list, newest last.
uint32_t RegisteredSocketCount();
SocketImp* RegisteredSocketAt(uint32_t index);

// The task that wakes a waiting main loop once a tick while sockets exist.
bool SocketWakeupTaskExists();

// A new TCP socket for the owner (nil allowed) with an optional listener
// (not owned); the caller deletes it (the owner's destruction does).
TCPSocketImp* NewTCPSocketImp(SocketOwner* owner, SocketListener* listener);
