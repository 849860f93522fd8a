#include "system/DialUp.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/Win32Handles.h"
#include "system/RasRecords.h"

namespace {

constexpr const char* kRasApi = "RasApi32.dll";
constexpr const char* kRasDlg = "RasDlg.dll";
// Calls of an enumeration that keeps answering "buffer too small".
constexpr int kEnumerationAttempts = 3;
// An answer asking room for more records than this is not believed.
constexpr DWORD kMostRecords = 4096;

enum DialStatus : int32_t { kNotConnected = 0, kDialling = 4, kConnected = 5 };

// Written by the dial notifier on a Remote Access thread as well.
std::atomic<int32_t> dialStatus{kNotConnected};
std::atomic<uintptr_t> heldConnection{0};
std::atomic<bool> dialFailed{false};

void ShowRasErrorBox(const std::string& text) { RuntimeMessageBox(text, "RAS Error", kBoxOK); }
RasErrorReporter errorReporter = ShowRasErrorBox;

// A Remote Access library loaded for one operation and freed at its end.
class RasLibrary {
 public:
  explicit RasLibrary(const char* name) : module_(LoadLibraryA(name)) {}
  bool Loaded() const { return module_ != nullptr; }
  template <class Function>
  Function Find(const char* name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
  }

 private:
  UniqueModule module_;
};

void ReportRasError(const RasLibrary& ras, DWORD error) {
  char text[RAS_ERROR_TEXT_BUFFER] = {};
  std::string message;
  auto errorText = ras.Find<RasGetErrorStringFunction>("RasGetErrorStringA");
  if (errorText && errorText(error, text, sizeof text) == 0) {
    StringRef system =
        StringRef::Adopt(NewString(text, strnlen(text, sizeof text), GetSystemTextEncoding()));
    message = StringToStdUTF8(system.get());
  }
  if (message.empty()) message = "RAS error " + std::to_string(error);
  errorReporter(message);
}

// Ends a dial with the status 0 and the error reported.
void FailDial(const RasLibrary& ras, DWORD error) {
  dialStatus = kNotConnected;
  ReportRasError(ras, error);
}

// Calls an enumeration (records, bytes, count) into a buffer of one record,
// grown to the size the library asks for while it answers "buffer too
// small". Gives the library's answer; on success the records found, the
// count capped at what the buffer holds.
template <class Record, class Enumeration>
DWORD EnumerateRecords(Enumeration enumerate, std::vector<Record>* found) {
  DWORD capacity = 1;
  for (int attempt = 0; attempt < kEnumerationAttempts; ++attempt) {
    std::vector<Record> records(capacity);
    for (Record& record : records) record.dwSize = sizeof(Record);
    DWORD bytes = DWORD(capacity * sizeof(Record));
    DWORD count = 0;
    const DWORD answer = enumerate(records.data(), &bytes, &count);
    if (answer == RAS_ERROR_BUFFER_TOO_SMALL) {
      const DWORD asked = DWORD((bytes + sizeof(Record) - 1) / sizeof(Record));
      if (asked > kMostRecords) return answer;
      capacity = std::max(asked, capacity + 1);
      continue;
    }
    if (answer != 0) return answer;
    records.resize(std::min(count, capacity));
    *found = std::move(records);
    return 0;
  }
  return RAS_ERROR_BUFFER_TOO_SMALL;
}

// The handles of the connections up now (none when the enumeration is
// missing or fails); *answer, when asked for, gets the library's answer.
std::vector<uintptr_t> ConnectionsUp(const RasLibrary& ras, DWORD* answer = nullptr) {
  std::vector<RasConnection> connections;
  DWORD result = 0;
  if (auto enumerate = ras.Find<RasEnumConnectionsFunction>("RasEnumConnectionsA")) {
    result = EnumerateRecords<RasConnection>(enumerate, &connections);
  }
  if (answer) *answer = result;
  std::vector<uintptr_t> handles;
  for (const RasConnection& connection : connections) handles.push_back(connection.handle);
  return handles;
}

void HangUp(const RasLibrary& ras, uintptr_t connection) {
  if (auto hangUp = ras.Find<RasHangUpFunction>("RasHangUpA")) hangUp(connection);
}

// A dial the notifier reported failed leaves its connection to the main
// thread: the notifier may not call the library back.
void HangUpFailedDial(const RasLibrary& ras) {
  if (!dialFailed.exchange(false)) return;
  if (uintptr_t connection = heldConnection.exchange(0)) HangUp(ras, connection);
}

bool HeldConnectionUp(const RasLibrary& ras) {
  const uintptr_t connection = heldConnection;
  auto connectStatus = ras.Find<RasGetConnectStatusFunction>("RasGetConnectStatusA");
  if (!connection || !connectStatus) return false;
  RasConnectionStatus status{};
  status.dwSize = sizeof status;
  return connectStatus(connection, &status) == 0 && status.state == RAS_STATE_CONNECTED;
}

// The notifier of a dial (type 0).
void WINAPI DialNotifier(UINT, DWORD state, DWORD error) {
  if (error != 0) {
    dialFailed = true;
    dialStatus = kNotConnected;
  } else if (state == RAS_STATE_CONNECTED) {
    dialStatus = kConnected;
  } else if (state == RAS_STATE_DISCONNECTED) {
    dialStatus = kNotConnected;
    heldConnection = 0;
  }
}

// A dial under way calls its notifier in the library: it stays loaded.
void KeepLoadedForNotifier() {
  static bool kept = false;
  if (!kept) kept = LoadLibraryA(kRasApi) != nullptr;
}

// Runs the phonebook dialog, where the user dials, and takes the first
// connection up afterwards. False when there is no dialog to run.
bool DialThroughPhonebook(const RasLibrary& ras) {
  RasLibrary dialogs(kRasDlg);
  auto phonebook = dialogs.Find<RasPhonebookDlgFunction>("RasPhonebookDlgA");
  if (!phonebook) return false;
  dialStatus = kDialling;
  RasPhonebookDialog info{};
  info.dwSize = sizeof info;
  if (!phonebook(nullptr, nullptr, &info)) {
    dialStatus = kNotConnected;
    return true;
  }
  DWORD answer = 0;
  const std::vector<uintptr_t> up = ConnectionsUp(ras, &answer);
  if (answer != 0) {
    FailDial(ras, answer);
  } else if (up.empty()) {
    dialStatus = kNotConnected;
  } else {
    heldConnection = up.front();
    dialStatus = kConnected;
  }
  return true;
}

// Dials the default phonebook's first entry with its saved parameters.
void DialFirstEntry(const RasLibrary& ras) {
  auto enumerate = ras.Find<RasEnumEntriesFunction>("RasEnumEntriesA");
  auto savedParameters = ras.Find<RasGetEntryDialParamsFunction>("RasGetEntryDialParamsA");
  auto dial = ras.Find<RasDialFunction>("RasDialA");
  if (!enumerate || !savedParameters || !dial) return;
  std::vector<RasEntryName> entries;
  const DWORD answer = EnumerateRecords<RasEntryName>(
      [enumerate](RasEntryName* records, DWORD* bytes, DWORD* count) {
        return enumerate(nullptr, nullptr, records, bytes, count);
      },
      &entries);
  if (answer != 0) return FailDial(ras, answer);
  if (entries.empty()) return FailDial(ras, RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);

  RasDialParams parameters{};
  parameters.dwSize = sizeof parameters;
  const char* name = entries.front().entryName;
  std::memcpy(parameters.entryName, name, strnlen(name, RAS_ENTRY_NAME_FIELD - 1));
  BOOL passwordSaved = FALSE;
  if (DWORD error = savedParameters(nullptr, &parameters, &passwordSaved)) {
    return FailDial(ras, error);
  }
  dialStatus = kDialling;
  uintptr_t connection = 0;
  if (DWORD error = dial(nullptr, nullptr, &parameters, 0, reinterpret_cast<void*>(&DialNotifier),
                         &connection)) {
    // The system keeps a connection it handed out until it is hung up.
    if (connection) HangUp(ras, connection);
    heldConnection = 0;
    return FailDial(ras, error);
  }
  KeepLoadedForNotifier();
  heldConnection = connection;
}

}  // namespace

RasErrorReporter SetRasErrorReporter(RasErrorReporter reporter) {
  RasErrorReporter previous = errorReporter;
  errorReporter = reporter ? reporter : ShowRasErrorBox;
  return previous;
}

extern "C" {

void socketPPPConnect(RuntimeObject*, uint8_t userInteraction) {
  RasLibrary ras(kRasApi);
  if (!ras.Loaded()) return;
  HangUpFailedDial(ras);
  if (HeldConnectionUp(ras)) {
    dialStatus = kConnected;
    return;
  }
  dialStatus = kNotConnected;
  if (userInteraction && DialThroughPhonebook(ras)) return;
  DialFirstEntry(ras);
}

int32_t socketPPPDisconnect(RuntimeObject*) {
  RasLibrary ras(kRasApi);
  if (!ras.Loaded()) return 0;
  HangUpFailedDial(ras);
  const std::vector<uintptr_t> up = ConnectionsUp(ras);
  for (uintptr_t connection : up) HangUp(ras, connection);
  const uintptr_t held = heldConnection.exchange(0);
  if (held && std::find(up.begin(), up.end(), held) == up.end()) HangUp(ras, held);
  dialStatus = kNotConnected;
  return int32_t(up.size());
}

int32_t socketPPPStatus(RuntimeObject*) {
  RasLibrary ras(kRasApi);
  if (ras.Loaded()) {
    HangUpFailedDial(ras);
    int32_t notConnected = kNotConnected;
    if (dialStatus == kNotConnected && !ConnectionsUp(ras).empty()) {
      dialStatus.compare_exchange_strong(notConnected, kConnected);
    }
  }
  return dialStatus;
}

}  // extern "C"
