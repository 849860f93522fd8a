// TCPSocketPosix: the TCP back-end on BSD socket calls through the Winsock
// shim, the class of every TCP socket the run-time makes. A non-blocking
// connect, listen, accept with hand-off to a server's standby socket, and a
// zero-time-out select in Poll that drives connect completion, receive and
// send. Nothing here waits (the host-name look-up of Connect aside).
//
// Readiness: the TCP sockets polled in one walk of the socket manager share
// one zero-time-out select over every TCP descriptor (read interest while
// connected or listening, write interest while connecting or with data
// waiting to go, the exception set while connecting), asked by the first of
// them to be polled. Each then acts on its own answer; a socket whose
// descriptor or interest changed since the query (a handler of an earlier
// socket wrote to it, say), a failed query, a Poll outside a walk and the
// per-socket mode of the manager ask about the one descriptor instead.
//
// Transfers: a readable socket receives straight into its receive queue,
// up to 1 MiB per poll, in chunks that start at 8 KiB and double each time
// a receive fills one, up to the size the buffers were given (1 MiB unless
// refused); Reset puts the chunk back to 8 KiB. A writable socket offers
// its whole send queue in one send; what the system does not take waits
// for the next poll. A
// readable server accepts as many waiting connections as its pool has
// standby sockets (one at least, as a plain listener does); its delivery
// refills the pool.
//
// Socket options: every descriptor asks for 1 MiB send and receive buffers
// (less when refused). A listening descriptor never sets SO_REUSEADDR: on
// Windows that option lets a second socket bind a port already listened on
// and take its connections. On the NT line it asks for SO_EXCLUSIVEADDRUSE
// instead, so that no other socket, even one asking for reuse, can bind the
// port while it listens (older systems grant that to administrators only;
// the plain bind of the other line, and of a refused request, still refuses
// a port in use). Some systems answer a bind beside a socket in exclusive
// use with "permission denied"; for a listening bind that asked for it and
// named a port, that is reported as the port in use. So a Listen on a port
// another socket listens on fails with 105, while a port whose listener was
// closed can be listened on again at once.
//
// Failures are reported with ReportError (the TCP mapping of WinsockShim.h)
// and end in an Error event at the next delivery, whose error tail closes
// the socket. While the layer is started a failure only closes the
// descriptor, and the socket stays registered so that its poll delivers the
// Error; without the layer nothing polls, so the socket is closed at once.
#pragma once
#include <cstdint>

#include "system/TCPSocket.h"
#include "system/WinsockShim.h"

class TCPSocketPosix : public TCPSocketImp {
 public:
  TCPSocketPosix(SocketOwner* owner, SocketListener* listener);
  ~TCPSocketPosix() override;

  // A socket still registered or holding a descriptor is closed first (a
  // server gives its standby sockets back, a standby socket leaves its
  // pool). Then: registered, listening on
  // the port (the owner's chosen interface, or every address), as many
  // connections waiting as the system keeps.
  void Listen(int32_t port) override;
  // The pending I/O once, then the delivery. Without a descriptor it only
  // delivers, and only when an event is pending.
  void Poll() override;
  int32_t GetPort() override;
  // Also closes the descriptor.
  void Close(bool keepOwnerLock) override;
  // Also: no descriptor (an open one is not closed here), not accepting,
  // nothing to send, receive chunk 8192 and its bound 1 MiB.
  void Reset(bool full) override;
  // A socket still registered or holding a descriptor is closed first (a
  // standby socket leaves its pool). A dotted address is used as it is, other text is looked up (an unknown
  // host reports 103). The connect does not wait: Poll sees it complete.
  void Connect(const StringRecord* address, int32_t port) override;
  void Write(const StringRecord* data) override;
  // The peer's dotted address while connected; "" otherwise, with no side
  // effect. A connected descriptor whose peer cannot be read reports.
  StringRecord* GetRemoteAddress() override;
  // A non-zero code, mapped, becomes lastError and a pending Error, and the
  // owner's LastErrorCode at once; gives whether it was reported.
  bool ReportError(int32_t code) override;

  SOCKET Descriptor() const { return descriptor_; }
  // The size of the next receive call.
  int32_t ReceiveChunk() const { return receiveChunk_; }
  bool AcceptingConnections() const { return acceptingConnections_; }

 private:
  bool CreateSocketDescriptor();
  void SetBufferSizes(int32_t size);
  void SetBlocking(bool blocking);
  // Reports the error and closes: the descriptor only while the layer is
  // started (the error tail unregisters), the whole socket otherwise.
  void Fail(int32_t bsdNumber);
  void CloseDescriptor();
  // Closes a socket still registered or holding a descriptor, then Reset.
  void PrepareForNewUse();
  // The owner's chosen interface index; -1 when none is chosen.
  int32_t ChosenInterface() const;
  // Binds to the interface's address (every address for -1) and the port;
  // BindError gives the BSD number of a failure (0 for none) and reports
  // nothing, Bind reports it.
  int32_t BindError(int32_t interfaceIndex, int32_t port);
  bool Bind(int32_t interfaceIndex, int32_t port);
  // The listening bind with the options of the file's head.
  bool BindListening(int32_t port);
  bool OpenListeningDescriptor(int32_t port);
  // Readiness bits of the descriptor.
  enum Readiness : uint8_t { kReadable = 1, kWritable = 2, kFailed = 4 };
  // What this socket's state asks select about.
  uint8_t Interest() const;
  // The walk's shared answer when it still fits the socket; false when the
  // socket must ask alone.
  bool SharedAnswer(uint8_t interest, uint8_t* ready);
  // A select over this descriptor alone; -1 when select failed.
  int AskAlone(uint8_t interest);
  void ActOn(uint8_t ready);
  void CompleteConnect();
  void RecvToBuffer();
  void SendFromBuffer();
  // A server with no standby socket but a fill pending (the first one after
  // Listen, or one after hand-offs) leaves a new connection waiting in the
  // backlog for the fill this poll's delivery makes, instead of dropping it.
  bool AwaitingStandby() const;
  // Accepts while connections wait and standby sockets are left.
  void AcceptWaiting();
  // One accept; false when no connection was taken (a client gone before
  // its accept is skipped without an error).
  bool DoAccept();
  void HandOff(SOCKET accepted);
  // A standby socket takes the server's accepted connection, starting empty
  // as after Connect: no received bytes, events, output or LastErrorCode of
  // its last use.
  void TakeConnection(TCPSocketImp* server, SOCKET accepted);

  friend class TCPReadiness;

  SOCKET descriptor_ = INVALID_SOCKET;
  int32_t receiveChunk_;
  int32_t receiveLimit_;
  // The walk whose shared answer this socket holds, the descriptor and
  // interest it was asked for, and the answer.
  uint32_t readyWalk_ = 0;
  SOCKET askedDescriptor_ = INVALID_SOCKET;
  uint8_t askedInterest_ = 0;
  uint8_t ready_ = 0;
  bool acceptingConnections_ = false;
  bool sendPending_ = false;
};

// A host text as a network-order IPv4 address: dotted text as it is, other
// text through the host-name look-up; false when neither gives one.
bool ResolveHostAddress(const char* text, uint32_t* networkOrder);
// An IPv4 socket address of a network-order address and a port.
sockaddr_in IPv4Address(uint32_t networkOrderAddress, int32_t port);
// The local port (host order) a descriptor is bound to; -1 without one.
int32_t LocalPortOf(SOCKET descriptor);
