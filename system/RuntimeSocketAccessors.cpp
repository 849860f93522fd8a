// The started-flag guards and the host's slots for them.
#include "system/RuntimeSocketAccessors.h"

#include "host/runtimemainloop.h"
#include "system/SocketImp.h"

void StartSocketLayer() {
  StartSockets();
  SetSocketPollHook(PollSocketsIfStarted);
  SetShutdownSocketsHook([] { ShutdownSocketsIfStarted(); });
}

bool PollSocketsIfStarted(bool ownerlessOnly) {
  return SocketsStarted() && PollRegisteredSockets(ownerlessOnly);
}

int32_t ShutdownSocketsIfStarted() { return SocketsStarted() ? ShutdownSockets() : 0; }
