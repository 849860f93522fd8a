// The fetch of a web movie: winhttp's calls, their timeouts and the file
// the body goes to.
#include "graphics/PlatformMediaDownload.h"

#include <winhttp.h>

#include <cstdint>
#include <vector>

#include "graphics/LibraryCalls.h"
#include "graphics/PictureImporter.h"
#include "host/Win32Handles.h"

namespace {

DWORD stallBoundForTests = 0;

DWORD StallBound() { return stallBoundForTests ? stallBoundForTests : kMovieDownloadStallMs; }

struct HttpCalls {
  HINTERNET(WINAPI* open)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
  BOOL(WINAPI* crackURL)(LPCWSTR, DWORD, DWORD, LPURL_COMPONENTS);
  HINTERNET(WINAPI* connect)(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD);
  HINTERNET(WINAPI* openRequest)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD);
  BOOL(WINAPI* setTimeouts)(HINTERNET, int, int, int, int);
  BOOL(WINAPI* setOption)(HINTERNET, DWORD, LPVOID, DWORD);
  BOOL(WINAPI* send)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR);
  BOOL(WINAPI* receive)(HINTERNET, LPVOID);
  BOOL(WINAPI* queryHeaders)(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD);
  BOOL(WINAPI* read)(HINTERNET, LPVOID, DWORD, LPDWORD);
  BOOL(WINAPI* close)(HINTERNET);
};

// Nil when the library or one of its calls is missing; loaded once, kept.
const HttpCalls* Calls() {
  static const HttpCalls* found = []() -> const HttpCalls* {
    static HttpCalls calls{};
    HMODULE library = LoadLibraryW(L"winhttp.dll");
    const bool all = library && FindCall(library, "WinHttpOpen", &calls.open) &&
                     FindCall(library, "WinHttpCrackUrl", &calls.crackURL) &&
                     FindCall(library, "WinHttpConnect", &calls.connect) &&
                     FindCall(library, "WinHttpOpenRequest", &calls.openRequest) &&
                     FindCall(library, "WinHttpSetTimeouts", &calls.setTimeouts) &&
                     FindCall(library, "WinHttpSetOption", &calls.setOption) &&
                     FindCall(library, "WinHttpSendRequest", &calls.send) &&
                     FindCall(library, "WinHttpReceiveResponse", &calls.receive) &&
                     FindCall(library, "WinHttpQueryHeaders", &calls.queryHeaders) &&
                     FindCall(library, "WinHttpReadData", &calls.read) &&
                     FindCall(library, "WinHttpCloseHandle", &calls.close);
    return all ? &calls : nullptr;
  }();
  return found;
}

class HttpHandle {
 public:
  HttpHandle(const HttpCalls& calls, HINTERNET handle) : calls_(calls), handle_(handle) {}
  ~HttpHandle() {
    if (handle_) calls_.close(handle_);
  }
  HttpHandle(const HttpHandle&) = delete;
  HttpHandle& operator=(const HttpHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  const HttpCalls& calls_;
  HINTERNET handle_;
};

// The URL's host, port, path with query, and whether it is "https:".
struct URLParts {
  std::wstring host, path;
  INTERNET_PORT port = 0;
  bool secure = false;
};

bool Cracked(const HttpCalls& calls, const std::wstring& url, URLParts* parts) {
  URL_COMPONENTS components{};
  components.dwStructSize = sizeof components;
  components.dwHostNameLength = components.dwUrlPathLength = components.dwExtraInfoLength = DWORD(-1);
  if (!calls.crackURL(url.c_str(), DWORD(url.size()), 0, &components)) return false;
  parts->host.assign(components.lpszHostName, components.dwHostNameLength);
  parts->path.assign(components.lpszUrlPath, components.dwUrlPathLength);
  parts->path.append(components.lpszExtraInfo, components.dwExtraInfoLength);
  parts->port = components.nPort;
  parts->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  return !parts->host.empty();
}

bool HeaderNumber(const HttpCalls& calls, HINTERNET request, DWORD header, DWORD* value) {
  DWORD size = sizeof *value;
  return calls.queryHeaders(request, header | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                            value, &size, WINHTTP_NO_HEADER_INDEX);
}

// The body to the file; false on a read that fails or times out, or a body
// that ends short of the length its headers gave.
bool CopyBody(const HttpCalls& calls, HINTERNET request, HANDLE file) {
  DWORD announced = 0;
  const bool hasLength = HeaderNumber(calls, request, WINHTTP_QUERY_CONTENT_LENGTH, &announced);
  std::vector<char> buffer(65536);
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0, written = 0;
    if (!calls.read(request, buffer.data(), DWORD(buffer.size()), &got)) return false;
    if (got == 0) return !hasLength || total == announced;
    if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) return false;
    total += got;
  }
}

bool Fetch(const std::wstring& url, const std::wstring& path) {
  const HttpCalls* calls = Calls();
  URLParts parts;
  if (!calls || !Cracked(*calls, url, &parts)) return false;
  HttpHandle session(*calls, calls->open(L"Mozilla/4.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.get()) return false;
  HttpHandle connection(*calls, calls->connect(session.get(), parts.host.c_str(), parts.port, 0));
  if (!connection.get()) return false;
  HttpHandle request(*calls, calls->openRequest(connection.get(), L"GET", parts.path.c_str(),
                                                nullptr, WINHTTP_NO_REFERER,
                                                WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                parts.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request.get()) return false;
  // Each wait bounded, on the request, whose sending makes them all: the
  // name, the connection, the sending, and every receive, of the headers as
  // of each piece of the body.
  const int bound = int(StallBound());
  DWORD responseBound = StallBound();
  calls->setTimeouts(request.get(), bound, bound, bound, bound);
  calls->setOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseBound,
                   sizeof responseBound);
  DWORD status = 0;
  if (!calls->send(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                   0) ||
      !calls->receive(request.get(), nullptr) ||
      !HeaderNumber(*calls, request.get(), WINHTTP_QUERY_STATUS_CODE, &status) || status != 200) {
    return false;
  }
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!file.valid()) return false;
  const bool copied = CopyBody(*calls, request.get(), file.get());
  return file.Close() && copied;
}

}  // namespace

std::wstring DownloadMovieToTemporaryFile(const std::string& url) {
  wchar_t folder[MAX_PATH + 1], path[MAX_PATH + 1];
  const std::wstring wideURL = WidePathOf(url.c_str());
  if (wideURL.empty() || !GetTempPathW(MAX_PATH + 1, folder) ||
      !GetTempFileNameW(folder, L"kvm", 0, path)) {
    return std::wstring();
  }
  if (!Fetch(wideURL, path)) {
    DeleteFileW(path);
    return std::wstring();
  }
  return path;
}

void SetMovieDownloadStallBoundForTests(DWORD ms) { stallBoundForTests = ms; }
