// A web movie fetched into a temporary file through the platform's internet
// library (winhttp, found by name at run time), for the media backend.
//
// The fetch gives up once it has waited the stall bound, 30 seconds, for any
// one step: the connection, the reply's headers, or the next bytes of its
// body. A slow server that keeps delivering runs to its end however long
// that takes; one that sends part and then stalls costs at most that much
// more. Anything but a complete "200" reply leaves no file behind. It runs
// on the caller's thread, which it blocks while the bytes come.
#pragma once
#include <windows.h>

#include <string>

constexpr DWORD kMovieDownloadStallMs = 30000;

// The URL's resource in a new temporary file ("kvm*.tmp" in the temporary
// folder); empty when it cannot be fetched whole.
std::wstring DownloadMovieToTemporaryFile(const std::string& url);

// For tests: a shorter stall bound (0: the real one again).
void SetMovieDownloadStallBoundForTests(DWORD ms);
