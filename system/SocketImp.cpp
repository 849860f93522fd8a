// The registered list, the poll walk, start and shutdown of the layer, the
// error tail and the wake-up task.
#include "system/SocketImp.h"

// <winsock2.h> must come before <windows.h>.
#include "system/WinsockShim.h"

#include "core/RuntimeExceptionFoundation.h"
#include "host/RunTimer.h"
#include "system/SimpleVector.h"

namespace {

// Wakes a main loop that waits for messages once a tick, so that the
// registered sockets are polled about that often.
class SocketWakeupTask : public PeriodicTask {
 public:
  SocketWakeupTask() : PeriodicTask(1) {}
  void Run() override { WakeMainLoop(); }
};

SimplePointerVector<SocketImp>& Registered() {
  static SimplePointerVector<SocketImp> sockets;
  return sockets;
}

bool started = false;
bool shutDown = false;
SocketWakeupTask* wakeupTask = nullptr;
uint32_t currentWalk = 0;
uint32_t lastWalk = 0;
bool sharedReadiness = true;
bool trafficNoted = false;

void RemoveNewestEntryOf(const SocketImp* socket) {
  const int32_t index = Registered().LastIndexOf(socket);
  if (index >= 0) Registered().RemoveAt(uint32_t(index));
}

}  // namespace

void SocketListener::Connected(TCPSocketImp*) {}
void SocketListener::DataAvailable(TCPSocketImp*) {}
void SocketListener::SendComplete(TCPSocketImp*) {}
void SocketListener::Error(TCPSocketImp*, int32_t) {}
void SocketListener::SendProgress(TCPSocketImp*, int32_t, int32_t) {}

SocketImp::OwnerPin::OwnerPin(SocketImp* socket) : socket_(socket) {
  if (socket_->pinDepth_++ == 0 && socket_->owner_) socket_->owner_->Lock();
}

SocketImp::OwnerPin::~OwnerPin() {
  SocketOwner* owner = socket_->owner_;
  if (--socket_->pinDepth_ == 0 && owner) owner->Unlock();
}

SocketImp::SocketImp(SocketOwner* owner) : owner_(owner) {
  StartSockets();
  if (!wakeupTask && !shutDown) wakeupTask = new SocketWakeupTask;
}

SocketImp::~SocketImp() { SocketImp::Close(true); }

void SocketImp::Listen(int32_t port) {
  if (owner_ && owner_->OwnerKind() == SocketOwner::Kind::kTCPSocket) LockOwnerForRegistration();
  Register(this);
  port_ = port;
}

void SocketImp::Poll() {}

void SocketImp::DeliverEvents() {
  OwnerPin pin(this);
  RunErrorTail();
}

bool SocketImp::IsSending() { return false; }
bool SocketImp::IsBusy() { return false; }
void SocketImp::Purge() {}
int32_t SocketImp::GetPort() { return -1; }

void SocketImp::Close(bool keepOwnerLock) {
  RemoveNewestEntryOf(this);
  if (keepOwnerLock || !ownerLocked_) return;
  // The flag is cleared before the unlock, which may free this socket.
  SocketOwner* owner = owner_;
  ownerLocked_ = false;
  owner->Unlock();
}

void SocketImp::Reset(bool full) {
  connected_ = false;
  ownerLocked_ = false;
  lastError_ = 0;
  eventMask_ = 0;
  port_ = 0;
  pending_ &= full ? 0u : uint32_t(kSocketDataAvailable);
}

TCPSocketImp* SocketImp::AsTCPSocket() { return nullptr; }

bool SocketImp::IsRegistered() const { return Registered().Contains(this); }

uint32_t SocketImp::TakeEvents() {
  const uint32_t events = eventMask_;
  eventMask_ = 0;
  return events;
}

void SocketImp::Register(SocketImp* socket) { Registered().Append(socket); }

void SocketImp::LockOwnerForRegistration() {
  owner_->Lock();
  ownerLocked_ = true;
}

void SocketImp::RunErrorTail() {
  if (!(eventMask_ & kSocketError)) return;
  if (!owner_) {
    Close(false);
    Reset(false);
    return;
  }
  // Read before the close, which may drop the registration's reference.
  // Above 2 means that someone besides the registration and the pin holds
  // the object.
  const int32_t references = owner_->ReferenceCount();
  Close(false);
  if (references > 2) Reset(false);
}

bool SocketImpIsConnected(const SocketImp* socket) { return socket && socket->IsConnected(); }

uint32_t GetAndClearEvents(SocketImp* socket) { return socket ? socket->TakeEvents() : 0; }

bool SocketsStarted() { return started; }

int32_t StartSockets() {
  if (started) return 0;
  if (shutDown || !LoadWinsockShim() || !LoadLegacyWinsockTable()) return kSocketCannotStart;
  started = true;
  return 0;
}

bool PollRegisteredSockets(bool ownerlessOnly) {
  SimplePointerVector<SocketImp>& sockets = Registered();
  bool sending = false;
  const uint32_t outerWalk = currentWalk;
  if (++lastWalk == 0) ++lastWalk;
  currentWalk = lastWalk;
  // The index is unsigned: the walk ends after index 0, or as soon as the
  // list has shrunk below it.
  for (uint32_t index = sockets.Count() - 1; index < sockets.Count(); --index) {
    SocketImp* socket = sockets.At(index);
    if (ownerlessOnly && socket->Owner()) continue;
    socket->Poll();
    // The poll's handlers may have closed this socket or older ones.
    if (index < sockets.Count() && sockets.At(index)->IsSending()) sending = true;
    // The exception goes to the caller's turn before anything else runs.
    if (RuntimeExceptionPending()) break;
  }
  currentWalk = outerWalk;
  if (trafficNoted) {
    trafficNoted = false;
    WakeMainLoop();
  }
  return sending;
}

uint32_t CurrentPollWalk() { return currentWalk; }

void NoteSocketTraffic() { trafficNoted = true; }

bool SharedReadinessEnabled() { return sharedReadiness; }
void SetSharedReadiness(bool shared) { sharedReadiness = shared; }

int32_t ShutdownSockets() {
  if (!started) return 0;
  SimplePointerVector<SocketImp>& sockets = Registered();
  // Closed newest first, each taken off the list before its Close runs.
  while (sockets.Count() > 0) sockets.TakeLast()->Close(true);
  UnloadWinsockShim();
  UnloadLegacyWinsockTable();
  started = false;
  shutDown = true;
  delete wakeupTask;
  wakeupTask = nullptr;
  return 0;
}

uint32_t RegisteredSocketCount() { return Registered().Count(); }
SocketImp* RegisteredSocketAt(uint32_t index) { return Registered().At(index); }

bool SocketWakeupTaskExists() { return wakeupTask != nullptr; }
