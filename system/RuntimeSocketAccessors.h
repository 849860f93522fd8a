// The socket layer's links to the application host (its start at start-up,
// the main loop's per-turn poll and the exit step that shuts it down) and
// the entry points of the language's socket classes (SocketClasses.h).
//
// Entries: a nil object, an object of another class or one without an
// implementation makes an entry do nothing and give 0, false, nil or "",
// unless said otherwise. Strings given are new (the caller's); strings and
// objects passed in are borrowed. Events fire from inside the entries that
// say so, and from the socket manager's poll.
#pragma once
#include <cstdint>

struct RuntimeObject;
struct StringRecord;

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

extern "C" {
// ---- SocketCore ----------------------------------------------------------------
// Close(false), then Reset(true).
void socketClose(RuntimeObject* socket);
// The implementation's poll (a UDP socket asks its own readiness).
void socketPoll(RuntimeObject* socket);
void SocketPurge(RuntimeObject* socket);
// TCPSocket: pending events are delivered, the socket closed and reset,
// LastErrorCode cleared, then a connect to Address ("localhost" in any case
// connects to 127.0.0.1; Address keeps its text) on Port. UDPSocket:
// LastErrorCode cleared, bound to Port and, once bound, SendToSelf and
// RouterHops applied.
void SocketConnect(RuntimeObject* socket);
// The bound port, else the Port field. The object must not be nil
// (asserted).
int32_t SocketPortGetter(RuntimeObject* socket, uint32_t parameter);
void SocketPortSetter(RuntimeObject* socket, uint32_t parameter, int32_t port);
// The address of the chosen interface (the default one without) as dotted
// text; "" when it has none. Also a ServerSocket's.
StringRecord* socketLocalAddressGetter(RuntimeObject* socket);
int32_t socketLastErrorCode(RuntimeObject* socket);
bool SocketIsConnected(RuntimeObject* socket);
// The events delivered since the last call; the mask is cleared.
uint32_t socketGetEvents(RuntimeObject* socket);

// ---- TCPSocket --------------------------------------------------------------------
// Delivers pending events, closes and resets, clears LastErrorCode, then
// listens on Port.
void SocketListen(RuntimeObject* socket);
// Received bytes, tagged with the encoding (the default one for nil).
StringRecord* socketRead(RuntimeObject* socket, int32_t count, RuntimeObject* encoding);
StringRecord* SocketReadAll(RuntimeObject* socket, RuntimeObject* encoding);
StringRecord* socketLookahead(RuntimeObject* socket, RuntimeObject* encoding);
void SocketWrite(RuntimeObject* socket, StringRecord* text);
// A connected socket is closed and fires Error with LastErrorCode 102.
void SocketDisconnect(RuntimeObject* socket);
// Dials without asking the user (DialUp.h).
void TCPSocketPPPConnect(RuntimeObject* socket);
int32_t SocketBytesAvailable(RuntimeObject* socket);
StringRecord* socketRemoteAddressGetter(RuntimeObject* socket);
// For compiled code and plug-ins: a TCPSocket's Address and Port set, then
// Connect; Listen; reads with the default encoding.
void socketDirectConnect(RuntimeObject* socket, StringRecord* address, int32_t port);
void pluginSocketListen(RuntimeObject* socket);
StringRecord* pluginSocketRead(RuntimeObject* socket, int32_t count);
StringRecord* pluginSocketReadAll(RuntimeObject* socket);
StringRecord* pluginSocketLookahead(RuntimeObject* socket);

// ---- UDPSocket ----------------------------------------------------------------------
bool SocketJoinMulticastGroup(RuntimeObject* socket, StringRecord* group);
void SocketLeaveMulticastGroup(RuntimeObject* socket, StringRecord* group);
void UDPSocketRouterHops(RuntimeObject* socket, uint32_t parameter, int32_t hops);
void UDPSocketSetLoopback(RuntimeObject* socket, uint32_t parameter, uint8_t sendToSelf);
int32_t PacketsAvailableGetter(RuntimeObject* socket);
StringRecord* UDPSocketGetBroadcast(RuntimeObject* socket);
// A new Datagram of the two, written.
void UDPSocketWrite(RuntimeObject* socket, StringRecord* address, StringRecord* data);
// Sends Data to Address: "host:port" (exactly one colon) names the port,
// the fraction of its number dropped; any other text is the host, sent to
// on the socket's Port. Failures fire Error inside the call (UDPSocketPosix.h).
void UDPSocketWriteDatagram(RuntimeObject* socket, RuntimeObject* datagram);
// The oldest datagram received as a new Datagram (the caller's), its Address
// and Data tagged with the encoding (the default one for nil); nil when none
// waits.
RuntimeObject* UDPReadDatagram(RuntimeObject* socket, RuntimeObject* encoding);

// ---- ServerSocket -----------------------------------------------------------------
// Closes and resets first after a failure; then listens on Port.
void ServerSocketListen(RuntimeObject* server);
// StopListening: Close(false), then Reset(true).
void ServerSocketClose(RuntimeObject* server);
bool serverSocketIsListening(RuntimeObject* server);
void ServerSocketSetMinSockets(RuntimeObject* server, uint32_t parameter, int32_t minimum);
// Also has the pool looked at when the server is listening.
void ServerSocketSetMaxSockets(RuntimeObject* server, uint32_t parameter, int32_t maximum);
}
