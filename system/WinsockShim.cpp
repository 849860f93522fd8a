// The shim's entries, resolved from "wsock32.dll", and the calls through them.
#include "system/WinsockShim.h"

#include <initializer_list>
#include <optional>

#include "system/DynLib.h"
#include "system/SocketImp.h"

namespace {

constexpr WORD kWinsockVersion = 0x0101;
constexpr int32_t kWinsockErrorBase = 10000;

struct ShimEntries {
  decltype(&::WSAGetLastError) WSAGetLastError;
  decltype(&::WSAStartup) WSAStartup;
  decltype(&::WSACleanup) WSACleanup;
  decltype(&::__WSAFDIsSet) FDIsSet;
  decltype(&::gethostbyname) gethostbyname;
  decltype(&::htons) htons;
  decltype(&::htonl) htonl;
  decltype(&::inet_ntoa) inet_ntoa;
  decltype(&::select) select;
  decltype(&::send) send;
  decltype(&::bind) bind;
  decltype(&::connect) connect;
  decltype(&::listen) listen;
  decltype(&::accept) accept;
  decltype(&::recv) recv;
  decltype(&::socket) socket;
  decltype(&::getpeername) getpeername;
  decltype(&::getsockname) getsockname;
  decltype(&::getsockopt) getsockopt;
  decltype(&::setsockopt) setsockopt;
  decltype(&::recvfrom) recvfrom;
  decltype(&::sendto) sendto;
  decltype(&::inet_addr) inet_addr;
  decltype(&::ioctlsocket) ioctlsocket;
  decltype(&::closesocket) closesocket;
};

struct Shim {
  DynLib wsock32{"wsock32.dll"};
  DynLib ws2_32{"ws2_32.dll"};  // held while the shim lives; nothing is taken from it
  ShimEntries entries{};
  bool attempted = false;
  bool result = false;
};

Shim& TheShim() {
  static Shim shim;
  return shim;
}

template <class Function>
bool Resolve(DynLib& library, Function& entry, const char* name) {
  entry = library.Find<Function>(name);
  return entry != nullptr;
}

// The entries every other one depends on: errors, start-up and readiness.
bool ResolveCore(DynLib& library, ShimEntries& e) {
  return Resolve(library, e.WSAGetLastError, "WSAGetLastError") &&
         Resolve(library, e.WSAStartup, "WSAStartup") &&
         Resolve(library, e.WSACleanup, "WSACleanup") &&
         Resolve(library, e.FDIsSet, "__WSAFDIsSet");
}

bool ResolveCalls(DynLib& library, ShimEntries& e) {
  bool all = true;
  all &= Resolve(library, e.gethostbyname, "gethostbyname");
  all &= Resolve(library, e.htons, "htons");
  all &= Resolve(library, e.htonl, "htonl");
  all &= Resolve(library, e.inet_ntoa, "inet_ntoa");
  all &= Resolve(library, e.select, "select");
  all &= Resolve(library, e.send, "send");
  all &= Resolve(library, e.bind, "bind");
  all &= Resolve(library, e.connect, "connect");
  all &= Resolve(library, e.listen, "listen");
  all &= Resolve(library, e.accept, "accept");
  all &= Resolve(library, e.recv, "recv");
  all &= Resolve(library, e.socket, "socket");
  all &= Resolve(library, e.getpeername, "getpeername");
  all &= Resolve(library, e.getsockname, "getsockname");
  all &= Resolve(library, e.getsockopt, "getsockopt");
  all &= Resolve(library, e.setsockopt, "setsockopt");
  all &= Resolve(library, e.recvfrom, "recvfrom");
  all &= Resolve(library, e.sendto, "sendto");
  all &= Resolve(library, e.inet_addr, "inet_addr");
  all &= Resolve(library, e.ioctlsocket, "ioctlsocket");
  all &= Resolve(library, e.closesocket, "closesocket");
  return all;
}

bool StartWinsock(ShimEntries& e) {
  WSADATA data;
  return e.WSAStartup(kWinsockVersion, &data) == 0;
}

bool LoadShimOnce(Shim& shim) {
  if (!shim.wsock32.Load() || !shim.ws2_32.Load()) return false;
  return ResolveCore(shim.wsock32, shim.entries) && ResolveCalls(shim.wsock32, shim.entries) &&
         StartWinsock(shim.entries);
}

void FreeShim(Shim& shim) {
  shim.entries = ShimEntries{};
  shim.wsock32.Free();
  shim.ws2_32.Free();
}

const ShimEntries& Entries() { return TheShim().entries; }

// A call through an entry, or the failure value when the entry is missing.
template <class Function, class Result, class... Arguments>
Result Call(Function entry, Result failure, Arguments... arguments) {
  return entry ? entry(arguments...) : failure;
}

// ---- The legacy table ---------------------------------------------------------

struct LegacyEntries {
  decltype(&::WSAStartup) WSAStartup;
  decltype(&::WSACleanup) WSACleanup;
  decltype(&::socket) socket;
  decltype(&::closesocket) closesocket;
  decltype(&::inet_addr) inet_addr;
  decltype(&::connect) connect;
  decltype(&::bind) bind;
  decltype(&::send) send;
  decltype(&::recv) recv;
  decltype(&::ioctlsocket) ioctlsocket;
  decltype(&::gethostbyname) gethostbyname;
  decltype(&::WSAAsyncSelect) WSAAsyncSelect;
  decltype(&::WSAGetLastError) WSAGetLastError;
  decltype(&::accept) accept;
  decltype(&::listen) listen;
  decltype(&::getsockname) getsockname;
  decltype(&::gethostname) gethostname;
  decltype(&::setsockopt) setsockopt;
  decltype(&::getpeername) getpeername;
  decltype(&::recvfrom) recvfrom;
  decltype(&::sendto) sendto;
};

struct LegacyTable {
  // Made afresh by every load that is not skipped (a DynLib loads once), so
  // that a table that failed is tried again on the next start.
  std::optional<DynLib> wsock32;
  std::optional<DynLib> ws2_32;
  LegacyEntries entries{};
  int32_t resolved = 0;
};

LegacyTable& TheLegacyTable() {
  static LegacyTable table;
  return table;
}

template <class Function>
void ResolveCounted(DynLib& library, Function& entry, const char* name, int32_t& count) {
  if (Resolve(library, entry, name)) ++count;
}

int32_t ResolveLegacy(DynLib& library, LegacyEntries& e) {
  int32_t count = 0;
  ResolveCounted(library, e.WSAStartup, "WSAStartup", count);
  ResolveCounted(library, e.WSACleanup, "WSACleanup", count);
  ResolveCounted(library, e.socket, "socket", count);
  ResolveCounted(library, e.closesocket, "closesocket", count);
  ResolveCounted(library, e.inet_addr, "inet_addr", count);
  ResolveCounted(library, e.connect, "connect", count);
  ResolveCounted(library, e.bind, "bind", count);
  ResolveCounted(library, e.send, "send", count);
  ResolveCounted(library, e.recv, "recv", count);
  ResolveCounted(library, e.ioctlsocket, "ioctlsocket", count);
  ResolveCounted(library, e.gethostbyname, "gethostbyname", count);
  ResolveCounted(library, e.WSAAsyncSelect, "WSAAsyncSelect", count);
  ResolveCounted(library, e.WSAGetLastError, "WSAGetLastError", count);
  ResolveCounted(library, e.accept, "accept", count);
  ResolveCounted(library, e.listen, "listen", count);
  ResolveCounted(library, e.getsockname, "getsockname", count);
  ResolveCounted(library, e.gethostname, "gethostname", count);
  ResolveCounted(library, e.setsockopt, "setsockopt", count);
  ResolveCounted(library, e.getpeername, "getpeername", count);
  ResolveCounted(library, e.recvfrom, "recvfrom", count);
  ResolveCounted(library, e.sendto, "sendto", count);
  return count;
}

void FreeLegacyLibraries(LegacyTable& table) {
  for (std::optional<DynLib>* library : {&table.wsock32, &table.ws2_32}) {
    if (*library) (*library)->Free();
    library->reset();
  }
  table.entries = LegacyEntries{};
  table.resolved = 0;
}

}  // namespace

int32_t MapTCPSocketError(int32_t bsdNumber) {
  switch (bsdNumber) {
    case 1:   // EPERM
    case 13:  // EACCES
      return kSocketPermissionDenied;
    case 49:  // EADDRNOTAVAIL: a TCP socket keeps the number
      return 49;
    case 12:  // ENOMEM
    case 23:  // ENFILE
    case 55:  // ENOBUFS
      return kSocketOutOfMemory;
    case 32:  // EPIPE
    case 52:  // ENETRESET
    case 53:  // ECONNABORTED
    case 54:  // ECONNRESET
      return kSocketConnectionLost;
    case 48:  // EADDRINUSE
      return kSocketAddressInUse;
    case 51:  // ENETUNREACH
    case 57:  // ENOTCONN
    case 60:  // ETIMEDOUT
    case 61:  // ECONNREFUSED
      return kSocketUnreachable;
    default:
      return bsdNumber;
  }
}

int32_t MapUDPSocketError(int32_t bsdNumber) {
  switch (bsdNumber) {
    case 49:
      return kSocketPermissionDenied;
    case 52:
    case 54:
      return bsdNumber;
    default:
      return MapTCPSocketError(bsdNumber);
  }
}

bool IsInProgressError(int32_t bsdNumber) {
  return bsdNumber == kErrorWouldBlock || bsdNumber == kErrorInProgress ||
         bsdNumber == kErrorAlready;
}

bool LoadWinsockShim() {
  Shim& shim = TheShim();
  if (shim.attempted) return shim.result;
  shim.attempted = true;
  shim.result = LoadShimOnce(shim);
  if (!shim.result) FreeShim(shim);
  return shim.result;
}

void UnloadWinsockShim() {
  Shim& shim = TheShim();
  if (shim.entries.WSACleanup) shim.entries.WSACleanup();
  FreeShim(shim);
  shim.attempted = true;
  shim.result = false;
}

int32_t SocketErrno() {
  const auto lastError = Entries().WSAGetLastError;
  return lastError ? lastError() - kWinsockErrorBase : kSocketCannotStart;
}

namespace shim {

namespace {
uint32_t readinessQueries = 0;
}  // namespace

uint32_t ReadinessQueryCount() { return readinessQueries; }

SOCKET socket(int family, int type, int protocol) {
  return Call(Entries().socket, INVALID_SOCKET, family, type, protocol);
}
int bind(SOCKET descriptor, const sockaddr* address, int length) {
  return Call(Entries().bind, SOCKET_ERROR, descriptor, address, length);
}
int connect(SOCKET descriptor, const sockaddr* address, int length) {
  return Call(Entries().connect, SOCKET_ERROR, descriptor, address, length);
}
int listen(SOCKET descriptor, int backlog) {
  return Call(Entries().listen, SOCKET_ERROR, descriptor, backlog);
}
SOCKET accept(SOCKET descriptor, sockaddr* address, int* length) {
  return Call(Entries().accept, INVALID_SOCKET, descriptor, address, length);
}
int send(SOCKET descriptor, const char* bytes, int count, int flags) {
  return Call(Entries().send, SOCKET_ERROR, descriptor, bytes, count, flags);
}
int recv(SOCKET descriptor, char* bytes, int count, int flags) {
  return Call(Entries().recv, SOCKET_ERROR, descriptor, bytes, count, flags);
}
int sendto(SOCKET descriptor, const char* bytes, int count, int flags, const sockaddr* to,
           int length) {
  return Call(Entries().sendto, SOCKET_ERROR, descriptor, bytes, count, flags, to, length);
}
int recvfrom(SOCKET descriptor, char* bytes, int count, int flags, sockaddr* from, int* length) {
  return Call(Entries().recvfrom, SOCKET_ERROR, descriptor, bytes, count, flags, from, length);
}
int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout) {
  ++readinessQueries;
  // Winsock declares the time-out writable but only reads it.
  return Call(Entries().select, SOCKET_ERROR, count, readable, writable, failed,
              const_cast<timeval*>(timeout));
}
bool FDIsSet(SOCKET descriptor, fd_set* set) {
  return Call(Entries().FDIsSet, 0, descriptor, set) != 0;
}
int closesocket(SOCKET descriptor) { return Call(Entries().closesocket, SOCKET_ERROR, descriptor); }
int getsockname(SOCKET descriptor, sockaddr* address, int* length) {
  return Call(Entries().getsockname, SOCKET_ERROR, descriptor, address, length);
}
int getpeername(SOCKET descriptor, sockaddr* address, int* length) {
  return Call(Entries().getpeername, SOCKET_ERROR, descriptor, address, length);
}
int getsockopt(SOCKET descriptor, int level, int option, char* value, int* length) {
  return Call(Entries().getsockopt, SOCKET_ERROR, descriptor, level, option, value, length);
}
int setsockopt(SOCKET descriptor, int level, int option, const char* value, int length) {
  return Call(Entries().setsockopt, SOCKET_ERROR, descriptor, level, option, value, length);
}
hostent* gethostbyname(const char* name) {
  return Call(Entries().gethostbyname, static_cast<hostent*>(nullptr), name);
}
unsigned long inet_addr(const char* text) {
  return Call(Entries().inet_addr, static_cast<unsigned long>(INADDR_NONE), text);
}
char* inet_ntoa(in_addr address) {
  return Call(Entries().inet_ntoa, static_cast<char*>(nullptr), address);
}
u_short htons(u_short value) { return Call(Entries().htons, u_short(0), value); }
u_long htonl(u_long value) { return Call(Entries().htonl, u_long(0), value); }
int ioctlsocket(SOCKET descriptor, long command, u_long* argument) {
  return Call(Entries().ioctlsocket, SOCKET_ERROR, descriptor, command, argument);
}

}  // namespace shim

bool LoadLegacyWinsockTable() {
  if (SocketsStarted()) return true;
  LegacyTable& table = TheLegacyTable();
  FreeLegacyLibraries(table);
  table.wsock32.emplace("wsock32.dll");
  table.ws2_32.emplace("ws2_32.dll");
  if (!table.wsock32->Load() || !table.ws2_32->Load()) {
    FreeLegacyLibraries(table);
    return false;
  }
  table.resolved = ResolveLegacy(*table.wsock32, table.entries);
  return true;
}

void UnloadLegacyWinsockTable() { FreeLegacyLibraries(TheLegacyTable()); }

int32_t LegacyWinsockEntryCount() { return TheLegacyTable().resolved; }

int LegacyGetHostName(char* name, int length) {
  return Call(TheLegacyTable().entries.gethostname, SOCKET_ERROR, name, length);
}

hostent* LegacyGetHostByName(const char* name) {
  return Call(TheLegacyTable().entries.gethostbyname, static_cast<hostent*>(nullptr), name);
}
