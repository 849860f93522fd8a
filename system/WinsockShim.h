// The Winsock binding: the table of BSD-style socket calls the back-ends use,
// loaded by name from "wsock32.dll" when the socket layer starts; the older
// table of which only the host-name look-up is used; the last socket error as
// a BSD error number; and the language's socket error codes.
//
// <winsock2.h> gives the types, constants and the Winsock fd_set layout only:
// the run-time imports none of ws2_32, wsock32 or iphlpapi, and every call
// goes through an entry resolved at run time. A call through a missing entry
// (a shim that failed to load, or one shut down) does nothing and gives the
// call's failure value, and SocketErrno then gives 100, so every failure path
// reports "the socket layer cannot start" instead of crashing. Readiness in
// an fd_set is tested with shim::FDIsSet, never with FD_ISSET, which would
// import __WSAFDIsSet.
//
// The shim is either complete or empty: a load that misses any entry (or
// whose WSAStartup fails) leaves every entry null.
#pragma once
#include <winsock2.h>

#include <cstdint>

// ---- Language error codes ----------------------------------------------------
enum SocketErrorCode : int32_t {
  kSocketCannotStart = 100,     // the layer cannot start; a UDP descriptor cannot be made
  kSocketConnectionLost = 102,  // the peer closed, a mapped error, or a local Disconnect
  kSocketUnreachable = 103,     // the peer cannot be reached or refuses
  kSocketAddressInUse = 105,
  kSocketNotBound = 106,          // a UDP operation on a socket that is not bound
  kSocketPermissionDenied = 107,  // permission denied or address not available
  kSocketOutOfMemory = 108,       // out of memory or descriptors
};

// BSD error numbers the back-ends look at (the Winsock code minus 10000).
enum BSDErrorNumber : int32_t {
  kErrorWouldBlock = 35,
  kErrorInProgress = 36,
  kErrorAlready = 37,
  kErrorConnectionAborted = 53,
  kErrorConnectionReset = 54,
  kErrorNotConnected = 57,
};

// A BSD error number as the TCP back-end reports it, and as the UDP back-end
// does (which keeps 49, 52 and 54 apart). Numbers without a mapping pass
// through unchanged.
int32_t MapTCPSocketError(int32_t bsdNumber);
int32_t MapUDPSocketError(int32_t bsdNumber);
// 35, 36 and 37: a connect, send or receive that would block or is under way.
bool IsInProgressError(int32_t bsdNumber);

// ---- The shim -------------------------------------------------------------------
// Loads both libraries, resolves every entry and starts Winsock 1.1 once per
// process; later calls give the first outcome. False when a library or an
// entry is missing or WSAStartup fails.
bool LoadWinsockShim();
// Cleans Winsock up, frees both libraries and clears every entry. The shim
// is not loaded again: LoadWinsockShim gives false from now on.
void UnloadWinsockShim();
// The last socket error as a BSD number; 100 while the shim is empty.
int32_t SocketErrno();

namespace shim {
SOCKET socket(int family, int type, int protocol);
int bind(SOCKET descriptor, const sockaddr* address, int length);
int connect(SOCKET descriptor, const sockaddr* address, int length);
int listen(SOCKET descriptor, int backlog);
SOCKET accept(SOCKET descriptor, sockaddr* address, int* length);
int send(SOCKET descriptor, const char* bytes, int count, int flags);
int recv(SOCKET descriptor, char* bytes, int count, int flags);
int sendto(SOCKET descriptor, const char* bytes, int count, int flags, const sockaddr* to,
           int length);
int recvfrom(SOCKET descriptor, char* bytes, int count, int flags, sockaddr* from, int* length);
int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout);
// The readiness queries (select calls) made through the shim so far.
uint32_t ReadinessQueryCount();
bool FDIsSet(SOCKET descriptor, fd_set* set);
int closesocket(SOCKET descriptor);
int getsockname(SOCKET descriptor, sockaddr* address, int* length);
int getpeername(SOCKET descriptor, sockaddr* address, int* length);
int getsockopt(SOCKET descriptor, int level, int option, char* value, int* length);
int setsockopt(SOCKET descriptor, int level, int option, const char* value, int length);
hostent* gethostbyname(const char* name);
unsigned long inet_addr(const char* text);
// The dotted text lives in Winsock's per-thread buffer; null without a shim.
char* inet_ntoa(in_addr address);
u_short htons(u_short value);  // also serves as ntohs
u_long htonl(u_long value);
// The descriptor-mode switch (FIONBIO) and the bytes waiting (FIONREAD).
int ioctlsocket(SOCKET descriptor, long command, u_long* argument);
}  // namespace shim

// ---- The legacy table ---------------------------------------------------------
// Loads "wsock32.dll" and "ws2_32.dll" again and resolves the older table's
// 21 names from the first without testing them; true when both libraries
// loaded, or when the socket layer has already started.
bool LoadLegacyWinsockTable();
void UnloadLegacyWinsockTable();
// How many of the 21 names resolved (0 before the load and after the unload).
int32_t LegacyWinsockEntryCount();
// The host-name look-up, the only calls made through the legacy table; each
// gives its failure value (SOCKET_ERROR, null) when its entry is missing.
int LegacyGetHostName(char* name, int length);
hostent* LegacyGetHostByName(const char* name);
