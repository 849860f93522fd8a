// What a socket implementation knows of the language object it serves.
//
// A SocketImp reaches its object only through this interface; internal users
// (the debugger connection) have none and pass nil. The socket classes bind
// it to their objects as they choose; the tests use a fake.
//
// Unlock may free the owner, and the owner's destruction deletes its
// implementation: a caller touches neither after an Unlock.
#pragma once
#include <cstdint>

class SocketImp;

class SocketOwner {
 public:
  enum class Kind {
    kTCPSocket,  // TCPSocket or a subclass of it
    kServerSocket,
    kUDPSocket,
    kOther,
  };

  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  virtual int32_t ReferenceCount() const = 0;
  virtual Kind OwnerKind() const = 0;

  virtual void SetLastErrorCode(int32_t code) = 0;
  // The index of the chosen network interface; -1 when none is chosen.
  virtual int32_t NetworkInterfaceIndex() const = 0;
  // A server's MinimumSocketsAvailable.
  virtual int32_t MinimumSocketsAvailable() const = 0;
  // The object's socket implementation; nil when it has none.
  virtual SocketImp* Implementation() const = 0;

  // The language events. FireError copies lastError into LastErrorCode
  // before the handler runs; FireSendProgress gives the handler's answer
  // (true: abort the send).
  virtual void FireConnected() = 0;
  virtual void FireDataAvailable() = 0;
  virtual void FireSendComplete(bool userAborted) = 0;
  virtual bool FireSendProgress(int32_t bytesSent, int32_t bytesLeft) = 0;
  virtual void FireError(int32_t lastError) = 0;
  // A server's Error(ErrorCode) event.
  virtual void FireServerError(int32_t code) = 0;
  // A server's AddSocket event: the socket the handler gave, with one
  // reference for the caller; nil when it gave none.
  virtual SocketOwner* FireAddSocket() = 0;

 protected:
  ~SocketOwner() = default;
};
