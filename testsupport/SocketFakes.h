// Stand-ins for the socket layer's users in tests: owners (the language
// objects a socket serves), internal listeners, sockets that only record
// their polls, a journal that keeps what all of them saw in one order, and
// a pump that polls the registered sockets until something happens.
//
//   SocketJournal journal;
//   FakeSocketOwner* client = FakeSocketOwner::Create(Kind::kTCPSocket, "C", &journal);
//   client->TCP()->Connect(...);
//   PumpSocketsUntil([&] { return journal.Count("C Connected") > 0; }, 5000);
//   client->Unlock();  // the test's reference
//
// Journal entries read "<name> <Event>" with the arguments in parentheses:
// "C Connected", "C SendComplete(false)", "C SendProgress(5,0)",
// "C Error(102)", "S ServerError(102)", "S AddSocket", "C destroyed",
// "F Poll"; a listener's read the same under its own name.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "system/SocketImp.h"
#include "system/SocketMemory.h"
#include "system/TCPSocket.h"

class SocketJournal {
 public:
  void Record(std::string entry) { entries_.push_back(std::move(entry)); }
  const std::vector<std::string>& Entries() const { return entries_; }
  std::vector<std::string> Take();
  int Count(const std::string& entry) const;
  // Entries that begin with the prefix ("C " gives everything C saw).
  std::vector<std::string> With(const std::string& prefix) const;

 private:
  std::vector<std::string> entries_;
};

// An owner of any kind. Its count starts at 1, the test's reference; at 0 it
// does what the class's destruction hook does (a ServerSocket stops
// listening first), deletes its implementation, records "<name> destroyed"
// and frees itself. Its block is a socket block, poisoned when freed in the
// test flavour.
class FakeSocketOwner final : public SocketOwner, public SocketBlock {
 public:
  using Callback = std::function<void(FakeSocketOwner&)>;
  using AddSocketAnswer = std::function<SocketOwner*(FakeSocketOwner&)>;

  // A TCPSocket or ServerSocket gets a new TCP implementation (no listener).
  static FakeSocketOwner* Create(Kind kind, std::string name, SocketJournal* journal,
                                 int32_t minimumSocketsAvailable = 1);
  // Owners alive now (for leak checks).
  static int32_t LiveCount();

  // Answers for AddSocket: nil; this very object; new TCPSocket fakes named
  // prefix + 1, 2 ... (each handed over with its count of 1), made ready by
  // `prepare` when given.
  static AddSocketAnswer AnswerNil();
  static AddSocketAnswer AnswerThis();
  static AddSocketAnswer AnswerNewSockets(SocketJournal* journal, std::string prefix,
                                          Callback prepare = nullptr);

  void Lock() override { ++references_; }
  void Unlock() override;
  int32_t ReferenceCount() const override { return references_; }
  Kind OwnerKind() const override { return kind_; }
  void SetLastErrorCode(int32_t code) override { lastErrorCode = code; }
  int32_t NetworkInterfaceIndex() const override { return networkInterface; }
  int32_t MinimumSocketsAvailable() const override { return minimumSocketsAvailable; }
  SocketImp* Implementation() const override { return implementation_; }
  void FireConnected() override;
  void FireDataAvailable() override;
  void FireSendComplete(bool userAborted) override;
  bool FireSendProgress(int32_t bytesSent, int32_t bytesLeft) override;
  void FireError(int32_t lastError) override;
  void FireServerError(int32_t code) override;
  SocketOwner* FireAddSocket() override;

  TCPSocketImp* TCP() const;
  // Takes ownership, deleting the implementation held before.
  void SetImplementation(SocketImp* implementation);
  const std::string& Name() const { return name_; }

  // What the object's properties hold.
  int32_t lastErrorCode = 0;
  int32_t networkInterface = -1;
  int32_t minimumSocketsAvailable = 1;
  // SendProgress answers this (true: abort).
  bool sendProgressAnswer = false;
  AddSocketAnswer addSocketAnswer = AnswerNil();
  // Handlers run after the event is recorded; they may close, read, write.
  Callback onConnected, onDataAvailable, onSendComplete, onSendProgress, onError, onServerError;

 private:
  FakeSocketOwner(Kind kind, std::string name, SocketJournal* journal);
  ~FakeSocketOwner();
  void Record(const std::string& event) { journal_->Record(name_ + " " + event); }
  static void Run(const Callback& callback, FakeSocketOwner& owner);

  Kind kind_;
  std::string name_;
  SocketJournal* journal_;
  int32_t references_ = 1;
  SocketImp* implementation_ = nullptr;
};

// An internal user's callbacks, recorded under its name; an optional handler
// runs after each.
class RecordingSocketListener : public SocketListener {
 public:
  RecordingSocketListener(std::string name, SocketJournal* journal)
      : name_(std::move(name)), journal_(journal) {}
  void Connected(TCPSocketImp* socket) override;
  void DataAvailable(TCPSocketImp* socket) override;
  void SendComplete(TCPSocketImp* socket) override;
  void Error(TCPSocketImp* socket, int32_t code) override;
  void SendProgress(TCPSocketImp* socket, int32_t bytesSent, int32_t bytesLeft) override;

  std::function<void(TCPSocketImp*)> onDataAvailable, onError;

 private:
  void Record(const std::string& event) { journal_->Record(name_ + " " + event); }

  std::string name_;
  SocketJournal* journal_;
};

// A socket without I/O: its Poll pins the owner, records "<name> Poll" and
// runs onPoll, which may close it or other sockets; IsSending and IsBusy
// answer what the test sets. Listen(port) registers it (locking a TCPSocket
// owner).
class FakeSocketImp : public SocketImp {
 public:
  FakeSocketImp(SocketOwner* owner, std::string name, SocketJournal* journal)
      : SocketImp(owner), name_(std::move(name)), journal_(journal) {}
  void Poll() override;
  bool IsSending() override { return sending; }
  bool IsBusy() override { return busy; }

  bool sending = false;
  bool busy = false;
  std::function<void(FakeSocketImp&)> onPoll;

 private:
  std::string name_;
  SocketJournal* journal_;
};

// Polls the registered sockets (as a main-loop turn does) until the
// predicate holds or timeoutMs have passed, yielding 1 ms between polls; an
// exception left pending is taken and recorded. Gives the predicate's value.
bool PumpSocketsUntil(const std::function<bool()>& predicate, uint32_t timeoutMs);
// The classes of the exceptions the pump took since the last call.
std::vector<std::string> TakePumpedExceptions();
