// The socket layer's links to the application host: its start at start-up,
// the main loop's per-turn poll and the exit step that shuts it down. The
// language's socket classes add their entries here.
#pragma once
#include <cstdint>

// Start-up's step for the sockets: starts the layer (which loads Winsock)
// and fills the host's socket-poll slot and its sockets exit step. A layer
// that cannot start leaves sockets failing with 100; start-up goes on.
void StartSocketLayer();

// When the layer is started, polls the registered sockets (ownerless ones
// only when asked) and gives whether one still has data to send; otherwise
// false. The main loop calls it once per turn with false; the background
// task and the debugger's wait loop with true.
bool PollSocketsIfStarted(bool ownerlessOnly);
// When the layer is started, shuts it down; gives the shutdown's result (0).
int32_t ShutdownSocketsIfStarted();
