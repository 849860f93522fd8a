// The entry-point table.
#include "host/relocentry.h"

#include <string>
#include <unordered_map>

#include "core/diagnostics.h"
#include "core/string.h"
#include "host/RunTimer.h"
#include "host/application.h"
#include "host/runtimemainloop.h"

namespace {

std::unordered_map<std::string, const EntryPoint*>& Table() {
  static std::unordered_map<std::string, const EntryPoint*> table;
  return table;
}

template <class Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

void ReportRejected(const char* reason, const char* name) {
  AssertionFailed(131, 4, __FILE__, __LINE__, reason, name ? name : "(no name)");
}

}  // namespace

void RegisterEntryPoints(const EntryPoint* records, size_t count) {
  if (!records) return;
  for (size_t i = 0; i < count; ++i) {
    const EntryPoint& record = records[i];
    if (!record.name || !record.function) {
      ReportRejected("entry point has a name and a function", record.name);
      continue;
    }
    const auto entered = Table().emplace(record.name, &record);
    // The same record again (start-up may run more than once) is no clash.
    if (!entered.second && entered.first->second != &record) {
      ReportRejected("entry point name is not registered yet", record.name);
    }
  }
}

void* LookupEntryPoint(const char* name) {
  if (!name) return nullptr;
  auto found = Table().find(name);
  return found == Table().end() ? nullptr : found->second->function;
}

void RegisterHostEntryPoints() {
  static const EntryPoint hostEntries[] = {
      {"RuntimeInit", Address(&RuntimeInit)},
      {"RuntimeRegisterAppObject", Address(&RuntimeRegisterAppObject)},
      {"RuntimeRun", Address(&RuntimeRun)},
      {"RuntimeBackgroundTask", Address(&RuntimeBackgroundTask)},
      {"WakeMainLoop", Address(&WakeMainLoop)},
      {"LogErrorMessage", Address(&LogErrorMessage)},
      {"TOVALockString", Address(&TOVALockString)},
      {"TOVAUnlockString", Address(&TOVAUnlockString)},
      {"ApplicationQuit", Address(&ApplicationQuit)},
  };
  RegisterEntryPoints(hostEntries, sizeof hostEntries / sizeof hostEntries[0]);
}

extern "C" void TOVALockString(StringRecord* string) { RuntimeLockString(string); }
extern "C" void TOVAUnlockString(StringRecord* string) { RuntimeUnlockString(string); }
