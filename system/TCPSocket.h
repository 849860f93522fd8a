// TCPSocketImp: the portable half of a TCP socket. It keeps the send and
// receive queues, the pending events and a server socket's pool of standby
// sockets, and turns pending events into listener calls and language events
// in a fixed order. Its descriptor work is done by the back-end
// (TCPSocketPosix.h), the class NewTCPSocketImp makes.
//
// Strings handed out (Read, ReadAll, Lookahead, GetRemoteAddress) are new
// run-time strings of bytes, the caller's; strings passed in are borrowed.
#pragma once
#include <cstdint>
#include <memory>

#include "core/SmartRef.h"
#include "system/ByteQueue.h"
#include "system/SimpleVector.h"
#include "system/SocketImp.h"

// The standby sockets of a listening server socket: TCPSocket objects asked
// of the server's AddSocket event, waiting for a connection. The pool holds
// one reference on each, carried as the lock of its implementation's
// registration (standby sockets are registered and polled, without a
// descriptor, until a connection is handed to them). A standby socket the
// application closes, connects or makes listen leaves the pool at once, so
// that every socket on standby is a live, polled one.
class ServerSocketPool {
 public:
  enum class Fill {
    kEnough,   // the pool was looked at and needs nothing more now
    kShort,    // ten were added and it is still below its minimum
    kStopped,  // an exception is pending (AddSocket gave nil or a socket in use)
  };

  ServerSocketPool(SocketOwner* server, int32_t minimum) : server_(server), minimum_(minimum) {}
  // Gives the standby sockets back (ReleaseAll).
  ~ServerSocketPool();
  ServerSocketPool(const ServerSocketPool&) = delete;
  ServerSocketPool& operator=(const ServerSocketPool&) = delete;

  // The first fill (minimum + 10 sockets) when not made yet; otherwise ten
  // more when fewer than the minimum wait (none, for a minimum below one). A nil answer of AddSocket raises
  // NilObjectException, and so does an answer that is already registered (a
  // socket on standby or in use); either stops the fill at once. A pool
  // detached by its socket during the fill stops too and answers kShort, so
  // that the socket looks at the pool it holds now.
  Fill Refill();
  // The newest standby socket, taken off the pool with the pool's reference;
  // nil when none waits.
  SocketOwner* TakeNewest();
  // Takes a standby socket off the pool on its own use: the pool's reference
  // stays with it as its registration lock (its Close gives it back), and
  // the server looks at the pool in its next delivery, as after a hand-off.
  void Leave(TCPSocketImp* socket);
  // Each standby socket's implementation gets Close(false), newest first,
  // which gives the pool's reference back.
  void ReleaseAll();
  // Its socket let go of it (Close, Reset) while AddSocket handlers may still
  // be running in a fill.
  void Detach() { detached_ = true; }

  SocketOwner* Server() const { return server_; }
  int32_t Minimum() const { return minimum_; }
  void SetMinimum(int32_t minimum) { minimum_ = minimum; }
  bool Started() const { return started_; }
  uint32_t StandbyCount() const { return standby_.Count(); }
  SocketOwner* StandbyAt(uint32_t index) const { return standby_.At(index); }

 private:
  Fill Start();
  bool AddPooledSocket();

  SimplePointerVector<SocketOwner> standby_{0};
  SocketOwner* server_;
  int32_t minimum_;
  bool started_ = false;
  bool detached_ = false;
};

class TCPSocketImp : public SocketImp {
 public:
  TCPSocketImp(SocketOwner* owner, SocketListener* listener);
  // Close(true); a pool still held gives its standby sockets back.
  ~TCPSocketImp() override;

  // Registers; listening; a server refreshes its pool's minimum and asks for
  // the pool to be looked at in the next delivery.
  void Listen(int32_t port) override;
  // Connected, DataAvailable, SendComplete, the pool (repeated until it has
  // its minimum), SendProgress, Error, then the error tail, each listener
  // call before the owner's event, all under the owner pin. When the pool's
  // fill raises, the rest of the delivery waits for the next one.
  void DeliverEvents() override;
  bool IsSending() override;
  // Discards received data; queued output stays.
  void Purge() override;
  // A socket a server handed a connection to tells the server; a server
  // makes its handed-off sockets forget it and, without keepOwnerLock, gives
  // its standby sockets back and frees its pool; a standby socket closed
  // without keepOwnerLock leaves its pool. Listening ends.
  void Close(bool keepOwnerLock) override;
  // Also: not listening, send queue empty (receive queue too when full),
  // the server forgotten, a pool still held given back; a ServerSocket owner
  // gets a new empty pool with its MinimumSocketsAvailable.
  void Reset(bool full) override;
  TCPSocketImp* AsTCPSocket() override;

  // Registers; the owner (any kind) is locked for the registration.
  virtual void Connect(const StringRecord* address, int32_t port);
  virtual void Write(const StringRecord* data);
  virtual StringRecord* Read(int32_t count);
  virtual StringRecord* ReadAll();
  virtual StringRecord* GetRemoteAddress();
  // A non-zero code becomes lastError. Gives false (the back-end reports).
  virtual bool ReportError(int32_t code);
  // Called on a server by a socket it handed a connection to, when that one
  // closes: the pool is looked at in the next delivery.
  virtual void ConnectionReleased();
  virtual int32_t BytesAvailable();
  virtual StringRecord* Lookahead();

  bool IsListening() const { return listening_; }
  SocketListener* Listener() const { return listener_; }
  ServerSocketPool* Pool() const { return serverPool_.get(); }
  TCPSocketImp* Server() const { return server_; }
  const StringRecord* RemoteAddressText() const { return remoteAddress_.get(); }
  size_t SendQueueLength() const { return sendBuffer_.Length(); }

 protected:
  // Registers this socket as a standby socket of a pool, whose reference on
  // the owner becomes the registration's lock.
  void EnterStandby(ServerSocketPool* pool);
  // Off the pool this socket waits in, if any (ServerSocketPool::Leave).
  void LeaveStandby();
  // Lets go of the pool: it gives its standby sockets back as soon as no
  // fill under way holds it.
  void ReleasePool();

  StringRef remoteAddress_;
  ByteQueue sendBuffer_;
  ByteQueue receiveBuffer_;
  int32_t bytesSent_ = 0;  // since the last SendProgress delivery
  SocketListener* listener_;
  bool listening_ = false;
  // Shared with a fill under way, since AddSocket handlers may close or
  // reset this socket.
  std::shared_ptr<ServerSocketPool> serverPool_;
  TCPSocketImp* server_ = nullptr;
  // The pool this socket waits in; nil once taken off it.
  ServerSocketPool* standbyPool_ = nullptr;
  // The answer of this socket's last SendProgress handler, carried to its
  // next SendComplete.
  bool userAborted_ = false;

 private:
  friend class ServerSocketPool;

  void DeliverConnected();
  void DeliverDataAvailable();
  void DeliverSendComplete();
  // Connected, DataAvailable, SendComplete and the pool, repeated until the
  // pool needs nothing more; false when its fill raised an exception.
  bool DeliverThroughPool();
  void DeliverSendProgress();
  void DeliverError();
  void ForgetHandedOffSockets();
};
