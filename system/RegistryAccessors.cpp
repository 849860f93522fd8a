// Keys and values work in UTF-16 throughout; the few functions at the top
// are the only ones that call the registry, taking the W form on the NT line
// and the A form, with text in the system encoding, elsewhere.
#include "system/RegistryAccessors.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/Variant.h"
#include "core/string.h"
#include "host/relocentry.h"
#include "system/DynLib.h"
#include "ui/WinUtil.h"

namespace {

// ---- Text of the line ---------------------------------------------------------

std::string SystemText(const std::wstring& text) {
  return encoding::FromUTF16(reinterpret_cast<const char16_t*>(text.data()), text.size(),
                             GetSystemTextEncoding());
}

std::wstring WideOfSystemText(const char* bytes, size_t count) {
  std::u16string units =
      encoding::ToUTF16(reinterpret_cast<const uint8_t*>(bytes), count, GetSystemTextEncoding());
  return std::wstring(units.begin(), units.end());
}

// The text as the application reads it: UTF-8 on the NT line, the system
// encoding elsewhere.
StringRecord* LineString(const std::wstring& text) {
  if (IsWindowsNT()) {
    return StringFromUTF8(
        encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text.data()), text.size()));
  }
  return NewString(SystemText(text), GetSystemTextEncoding());
}

// ---- The registry calls -------------------------------------------------------

// Opens (or creates) the subkey with full access, else for reading; nil when
// neither works.
HKEY OpenSubkey(HKEY parent, const std::wstring& name, bool create) {
  const std::string systemName = IsWindowsNT() ? std::string() : SystemText(name);
  for (REGSAM access : {REGSAM(KEY_ALL_ACCESS), REGSAM(KEY_READ)}) {
    HKEY key = nullptr;
    LONG result;
    if (IsWindowsNT()) {
      result = create ? RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, access, nullptr, &key,
                                        nullptr)
                      : RegOpenKeyExW(parent, name.c_str(), 0, access, &key);
    } else {
      result = create ? RegCreateKeyExA(parent, systemName.c_str(), 0, nullptr, 0, access, nullptr,
                                        &key, nullptr)
                      : RegOpenKeyExA(parent, systemName.c_str(), 0, access, &key);
    }
    if (result == ERROR_SUCCESS) return key;
  }
  return nullptr;
}

DynLib& ShellLibrary() {
  static DynLib library("Shlwapi.dll");
  return library;
}

// Deletes the value of that name, or else the subkey of that name with its
// whole tree (only the subkey itself when the shell library is missing). A
// name without a component of its own ("", "\\") names no subkey and deletes
// no key: the key deletes would take the key itself, with everything in it.
void DeleteValueOrTree(HKEY key, const std::wstring& name, bool namesSubkey) {
  using DeleteTreeW = LONG(WINAPI*)(HKEY, LPCWSTR);
  using DeleteTreeA = LONG(WINAPI*)(HKEY, LPCSTR);
  if (IsWindowsNT()) {
    if (RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS || !namesSubkey) return;
    static DynFunction<DeleteTreeW> deleteTree(ShellLibrary(), "SHDeleteKeyW");
    if (!deleteTree.Get() || deleteTree.Get()(key, name.c_str()) != ERROR_SUCCESS) {
      RegDeleteKeyW(key, name.c_str());
    }
    return;
  }
  const std::string systemName = SystemText(name);
  if (RegDeleteValueA(key, systemName.c_str()) == ERROR_SUCCESS || !namesSubkey) return;
  static DynFunction<DeleteTreeA> deleteTree(ShellLibrary(), "SHDeleteKeyA");
  if (!deleteTree.Get() || deleteTree.Get()(key, systemName.c_str()) != ERROR_SUCCESS) {
    RegDeleteKeyA(key, systemName.c_str());
  }
}

struct KeyInfo {
  DWORD subkeys = 0;
  DWORD longestSubkey = 0;  // characters, without the NUL
  DWORD values = 0;
  DWORD longestValueName = 0;
};

bool QueryKeyInfo(HKEY key, KeyInfo* info) {
  LONG result = IsWindowsNT()
                    ? RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info->subkeys,
                                       &info->longestSubkey, nullptr, &info->values,
                                       &info->longestValueName, nullptr, nullptr, nullptr)
                    : RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &info->subkeys,
                                       &info->longestSubkey, nullptr, &info->values,
                                       &info->longestValueName, nullptr, nullptr, nullptr);
  return result == ERROR_SUCCESS;
}

enum class Listing { kValues, kSubkeys };

// The name at index in the key's values or subkeys, with a buffer as long as
// the longest name; false when the index names none.
bool NameAt(HKEY key, Listing listing, int32_t index, std::wstring* name) {
  KeyInfo info;
  if (index < 0 || !QueryKeyInfo(key, &info)) return false;
  const bool values = listing == Listing::kValues;
  DWORD length = (values ? info.longestValueName : info.longestSubkey) + 1;
  LONG result;
  if (IsWindowsNT()) {
    name->assign(length, L'\0');
    result = values ? RegEnumValueW(key, DWORD(index), &(*name)[0], &length, nullptr, nullptr,
                                    nullptr, nullptr)
                    : RegEnumKeyExW(key, DWORD(index), &(*name)[0], &length, nullptr, nullptr,
                                    nullptr, nullptr);
    name->resize(result == ERROR_SUCCESS ? length : 0);
  } else {
    length *= 2;  // the longest name counts characters; a double-byte one takes two bytes each
    std::string bytes(length, '\0');
    result = values ? RegEnumValueA(key, DWORD(index), &bytes[0], &length, nullptr, nullptr,
                                    nullptr, nullptr)
                    : RegEnumKeyExA(key, DWORD(index), &bytes[0], &length, nullptr, nullptr,
                                    nullptr, nullptr);
    *name = WideOfSystemText(bytes.data(), result == ERROR_SUCCESS ? length : 0);
  }
  return result == ERROR_SUCCESS;
}

// The value's type and data. A value that grows between the size query and
// the read is read again, three times at most (then ERROR_MORE_DATA).
LONG QueryValue(HKEY key, const std::wstring& name, DWORD* type, std::vector<BYTE>* data) {
  const std::string systemName = IsWindowsNT() ? std::string() : SystemText(name);
  auto query = [&](BYTE* bytes, DWORD* size) {
    return IsWindowsNT() ? RegQueryValueExW(key, name.c_str(), nullptr, type, bytes, size)
                         : RegQueryValueExA(key, systemName.c_str(), nullptr, type, bytes, size);
  };
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    LONG result = query(nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    data->assign(size, 0);
    result = query(data->data(), &size);
    if (result != ERROR_MORE_DATA) {
      data->resize(size);
      return result;
    }
  }
  return ERROR_MORE_DATA;
}

LONG SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t size) {
  const auto* bytes = static_cast<const BYTE*>(data);
  if (IsWindowsNT()) return RegSetValueExW(key, name.c_str(), 0, type, bytes, DWORD(size));
  return RegSetValueExA(key, SystemText(name).c_str(), 0, type, bytes, DWORD(size));
}

// REG_SZ data as text: a terminating NUL is dropped when there is one.
std::wstring TextOfData(const std::vector<BYTE>& data) {
  if (IsWindowsNT()) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], data.data(), text.size() * sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
  }
  size_t count = data.size();
  if (count > 0 && data[count - 1] == 0) --count;
  return WideOfSystemText(reinterpret_cast<const char*>(data.data()), count);
}

LONG SetText(HKEY key, const std::wstring& name, const std::wstring& text) {
  if (IsWindowsNT()) return SetValue(key, name, REG_SZ, text.c_str(), (text.size() + 1) * 2);
  const std::string bytes = SystemText(text);
  return SetValue(key, name, REG_SZ, bytes.c_str(), bytes.size() + 1);
}

int32_t DWORDOfData(const std::vector<BYTE>& data) {
  if (data.size() != sizeof(int32_t)) return -1;
  int32_t value;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

std::wstring RunningModuleName() {
  std::wstring path;
  if (IsWindowsNT()) {
    wchar_t buffer[1024];
    path.assign(buffer, GetModuleFileNameW(RuntimeInstanceHandle(), buffer, 1024));
  } else {
    char buffer[1024];
    path = WideOfSystemText(buffer, GetModuleFileNameA(RuntimeInstanceHandle(), buffer, 1024));
  }
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  return name.substr(0, name.find(L'.'));
}

// ---- Keys ---------------------------------------------------------------------------

// The root a path names as its first component (any case), and the rest.
bool SplitRoot(const std::wstring& path, HKEY* root, std::wstring* rest) {
  static const struct {
    const wchar_t* name;
    HKEY key;
  } kRoots[] = {{L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
                {L"HKEY_USERS", HKEY_USERS}};
  const size_t end = path.find(L'\\');
  const std::wstring first = path.substr(0, end);
  for (const auto& candidate : kRoots) {
    if (_wcsicmp(first.c_str(), candidate.name) != 0) continue;
    *root = candidate.key;
    *rest = end == std::wstring::npos ? std::wstring() : path.substr(end + 1);
    return true;
  }
  return false;
}

// The path without empty components: "a\\b\\" names the key "a\b", so the
// path kept, its parent and its children agree with the key opened.
std::wstring WithoutEmptyComponents(const std::wstring& path) {
  std::wstring kept;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start) {
      if (!kept.empty()) kept += L'\\';
      kept.append(path, start, end - start);
    }
    start = end + 1;
  }
  return kept;
}

// A handle opened on a root itself may be the predefined key, never closed.
void CloseUnlessRoot(HKEY handle, HKEY root) {
  if (handle && handle != root) RegCloseKey(handle);
}

// Takes over the open handle (the key's earlier contents released first).
void SetKey(RegistryKey* key, HKEY root, HKEY handle, const std::wstring& path) {
  RegistryKeyDestruct(key);
  key->root = root;
  key->handle = handle;
  key->path = LineString(path);
  const size_t slash = path.rfind(L'\\');
  key->parentPath =
      LineString(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
}

bool OpenPath(RegistryKey* key, const std::wstring& path, bool create) {
  RegistryKeyDestruct(key);
  HKEY root = nullptr;
  std::wstring rest;
  if (!SplitRoot(path, &root, &rest)) return false;
  rest = WithoutEmptyComponents(rest);
  HKEY handle = OpenSubkey(root, rest, create);
  if (!handle) return false;
  SetKey(key, root, handle, rest);
  return true;
}

std::wstring ChildPath(const RegistryKey& key, const std::wstring& name) {
  std::wstring path = StringToWide(key.path);
  if (path.empty() || name.empty()) return path + name;
  return path + L'\\' + name;
}

struct KeyDeleter {
  void operator()(RegistryKey* key) const {
    RegistryKeyDestruct(key);
    delete key;
  }
};
using KeyHolder = std::unique_ptr<RegistryKey, KeyDeleter>;

// A new, empty key; nil with OutOfMemoryException pending when there is no
// room.
KeyHolder NewKey() {
  KeyHolder key(new (std::nothrow) RegistryKey);
  if (!key) {
    RaiseExceptionOfDefinition(GetOutOfMemoryExceptionClassDefinition());
    return key;
  }
  RegistryKeyInit(key.get());
  return key;
}

void RaiseRegistryAccessError() {
  RaiseExceptionOfDefinition(GetRegistryAccessErrorExceptionClassDefinition());
}

// ---- Items ----------------------------------------------------------------------------

RegistryItemObject* ItemArgument(RuntimeObject* item, int32_t line) {
  return InstanceArgument<RegistryItemObject>(item, GetRegistryItemClassDefinition(),
                                              "RegistryAccessors", line,
                                              "ObjectIsADefinition(item, RegistryItem)");
}
#define ITEM_ARGUMENT(item) ItemArgument(item, __LINE__)

// The item's key; for an item that holds none, a key that is not open. Nil
// for a nil item.
const RegistryKey* KeyOf(RuntimeObject* item, int32_t line) {
  static const RegistryKey kNoKey{};
  RegistryItemObject* fields = ItemArgument(item, line);
  if (!fields) return nullptr;
  return fields->key ? fields->key : &kNoKey;
}
#define KEY_OF(item) KeyOf(item, __LINE__)

// Gives the item the key, dropping the one it held.
void InstallKey(RegistryItemObject* item, KeyHolder key) {
  KeyHolder old(item->key);
  item->key = key.release();
}

// Gives the item a key over the open handle; false (the handle closed) when
// there is no room.
bool AdoptHandle(RegistryItemObject* item, HKEY root, HKEY handle, const std::wstring& path) {
  KeyHolder key = NewKey();
  if (!key) {
    CloseUnlessRoot(handle, root);
    return false;
  }
  SetKey(key.get(), root, handle, path);
  InstallKey(item, std::move(key));
  return true;
}

RuntimeObject* NewItem(RuntimeClass* itemClass, HKEY root, HKEY handle, const std::wstring& path) {
  ObjectRef item = ObjectRef::Adopt(RuntimeNewObject(itemClass));
  if (!item) {
    CloseUnlessRoot(handle, root);
    return nullptr;
  }
  return AdoptHandle(ObjectFields<RegistryItemObject>(item.get()), root, handle, path)
             ? item.release()
             : nullptr;
}

// Opens the path, with creation, into the item's key.
void OpenItemPath(RegistryItemObject* item, const std::wstring& path) {
  KeyHolder key = NewKey();
  if (!key) return;
  if (!OpenPath(key.get(), path, true)) {
    RaiseRegistryAccessError();
    return;
  }
  InstallKey(item, std::move(key));
}

KeyInfo InfoOf(RuntimeObject* item, int32_t line) {
  const RegistryKey* key = KeyOf(item, line);
  KeyInfo info;
  if (key) QueryKeyInfo(key->handle, &info);
  return info;
}

RuntimeObject* OpenChild(RuntimeObject* item, const RegistryKey& key, const std::wstring& name,
                         bool create) {
  const std::wstring child = WithoutEmptyComponents(name);
  HKEY handle = OpenSubkey(key.handle, child, create);
  if (!handle) return nullptr;
  return NewItem(ObjectClassOf(item), key.root, handle, ChildPath(key, child));
}

RuntimeObject* ReadValue(const RegistryKey& key, const std::wstring& name) {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (QueryValue(key.handle, name, &type, &data) != ERROR_SUCCESS) return nullptr;
  if (type == REG_DWORD) return intToVariant(DWORDOfData(data));
  if (type != REG_SZ) return nullptr;
  StringRef text = StringRef::Adopt(LineString(TextOfData(data)));
  return stringToVariant(text.get());
}

void WriteValue(const RegistryKey& key, const std::wstring& name, RuntimeObject* value) {
  LONG result;
  switch (VarType(value)) {
    case kVariantInteger:
    case kVariantBoolean:
    case kVariantColor: {
      const DWORD number = DWORD(variantToInt(value));  // Boolean 1 / 0, a colour's bits
      result = SetValue(key.handle, name, REG_DWORD, &number, sizeof number);
      break;
    }
    case kVariantDouble:
    case kVariantDate:
    case kVariantString: {
      StringRef text = StringRef::Adopt(variantToString(value));
      result = SetText(key.handle, name, StringToWide(text.get()));
      break;
    }
    default:
      return;
  }
  if (result != ERROR_SUCCESS) RaiseRegistryAccessError();
}

// The name of the value at index, for Value(index); false with the exception
// pending when the index is out of range or names no value.
bool IndexedValueName(const RegistryKey& key, int32_t index, std::wstring* name) {
  KeyInfo info;
  QueryKeyInfo(key.handle, &info);
  if (index < 0 || uint32_t(index) >= info.values) {
    RaiseOutOfBoundsException();
    return false;
  }
  if (NameAt(key.handle, Listing::kValues, index, name)) return true;
  RaiseRegistryAccessError();
  return false;
}

void DestroyRegistryItem(RuntimeObject* item) {
  KeyHolder key(ObjectFields<RegistryItemObject>(item)->key);
}

ObjectDefinition* MakeRegistryItemDefinition() {
  static ObjectDefinition definition;
  static const ParameterRecord path[] = {{"Path", &kStringType, 0}};
  static const ParameterRecord source[] = {{"Source", &definition, 0}};
  static const ParameterRecord name[] = {{"Name", &kStringType, 0}};
  static const ParameterRecord index[] = {{"Index", &kIntegerType, 0}};
  ObjectDefinition* variant = GetVariantClassDefinition();
  static const MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, path, 1, RUNTIME_ENTRY(RegistryItemPathCtor)),
      MakeMethodRecord("Constructor", nullptr, source, 1, RUNTIME_ENTRY(RegistryItemCopyCtor)),
      MakeMethodRecord("AddFolder", &definition, name, 1, RUNTIME_ENTRY(RegistryItemAddFolder)),
      MakeMethodRecord("Delete", nullptr, name, 1, RUNTIME_ENTRY(RegistryItemDelete)),
      MakeMethodRecord("Value", variant, name, 1, RUNTIME_ENTRY(RegistryItemValueGetter),
                       RUNTIME_ENTRY(RegistryItemValueSetter)),
      MakeMethodRecord("Value", variant, index, 1, RUNTIME_ENTRY(RegistryItemNumValueGetter),
                       RUNTIME_ENTRY(RegistryItemNumValueSetter)),
      MakeMethodRecord("Child", &definition, name, 1, RUNTIME_ENTRY(RegistryItemChild)),
      MakeMethodRecord("Item", &definition, index, 1, RUNTIME_ENTRY(RegistryItemItem)),
      MakeMethodRecord("Name", &kStringType, index, 1, RUNTIME_ENTRY(RegistryItemNameGetter)),
  };
  static const PropertyRecord properties[] = {
      {0, "DefaultValue", variant, RUNTIME_ENTRY(RegistryItemDefaultValueGetter),
       RUNTIME_ENTRY(RegistryItemDefaultValueSetter), 0},
      {kPropertyReadOnly, "Parent", &definition, RUNTIME_ENTRY(RegistryParentGetter), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "KeyCount", &kIntegerType, RUNTIME_ENTRY(RegistryItemKeyCountGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "FolderCount", &kIntegerType,
       RUNTIME_ENTRY(RegistryItemFolderCountGetter), nullptr, nullptr, 0},
      {kPropertyReadOnly, "Path", &kStringType, RUNTIME_ENTRY(RegistryItemPathGetter), nullptr,
       nullptr, 0},
  };
  ObjectDefinitionSetName(&definition, "RegistryItem");
  definition.instanceSize = sizeof(RegistryItemObject);
  definition.destructor = DestroyRegistryItem;
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

}  // namespace

// ---- The key object -----------------------------------------------------------------

void RegistryKeyInit(RegistryKey* key) { *key = RegistryKey{}; }

bool RegistryKeyOpenPath(RegistryKey* key, const StringRecord* path, bool create) {
  return OpenPath(key, StringToWide(path), create);
}

int32_t RegistryKeyGetDWORD(const RegistryKey* key, const StringRecord* name) {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (QueryValue(key->handle, StringToWide(name), &type, &data) != ERROR_SUCCESS) return -1;
  return type == REG_DWORD ? DWORDOfData(data) : -1;
}

void RegistryKeyDestruct(RegistryKey* key) {
  CloseUnlessRoot(key->handle, key->root);
  RuntimeUnlockString(key->path);
  RuntimeUnlockString(key->parentPath);
  RegistryKeyInit(key);
}

// ---- The class ------------------------------------------------------------------------

ObjectDefinition* GetRegistryItemClassDefinition() {
  static ObjectDefinition* const definition = MakeRegistryItemDefinition();
  return definition;
}

void RegisterRegistryItemClass() {
  static const EntryPoint entries[] = {
      {"RuntimeGetDefaultApplicationRegistryItem",
       reinterpret_cast<void*>(&RuntimeGetDefaultApplicationRegistryItem)}};
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterIntrinsicClass(GetRegistryItemClassDefinition());
  RegisterEntryPoints(entries, std::size(entries));
}

extern "C" {

void RegistryItemPathCtor(RuntimeObject* item, StringRecord* path) {
  RegistryItemObject* fields = ITEM_ARGUMENT(item);
  if (fields) OpenItemPath(fields, StringToWide(path));
}

void RegistryItemCopyCtor(RuntimeObject* item, RuntimeObject* source) {
  RegistryItemObject* fields = ITEM_ARGUMENT(item);
  const RegistryKey* from = fields ? KEY_OF(source) : nullptr;
  if (!from) return;
  HKEY handle = OpenSubkey(from->handle, std::wstring(), false);
  if (handle) {
    AdoptHandle(fields, from->root, handle, StringToWide(from->path));
  } else {
    RaiseRegistryAccessError();
  }
}

RuntimeObject* RegistryItemAddFolder(RuntimeObject* item, StringRecord* name) {
  const RegistryKey* key = KEY_OF(item);
  if (!key) return nullptr;
  RuntimeObject* folder = OpenChild(item, *key, StringToWide(name), true);
  if (!folder) RaiseRegistryAccessError();
  return folder;
}

RuntimeObject* RegistryItemChild(RuntimeObject* item, StringRecord* name) {
  const RegistryKey* key = KEY_OF(item);
  return key ? OpenChild(item, *key, StringToWide(name), false) : nullptr;
}

RuntimeObject* RegistryItemItem(RuntimeObject* item, int32_t index) {
  const RegistryKey* key = KEY_OF(item);
  std::wstring name;
  if (!key || !NameAt(key->handle, Listing::kSubkeys, index, &name)) return nullptr;
  return OpenChild(item, *key, name, false);
}

RuntimeObject* RegistryParentGetter(RuntimeObject* item, uint32_t) {
  const RegistryKey* key = KEY_OF(item);
  if (!key || StringLength(key->path) == 0) return nullptr;
  const std::wstring parentPath = StringToWide(key->parentPath);
  HKEY handle = OpenSubkey(key->root, parentPath, false);
  return handle ? NewItem(ObjectClassOf(item), key->root, handle, parentPath) : nullptr;
}

void RegistryItemDelete(RuntimeObject* item, StringRecord* name) {
  const RegistryKey* key = KEY_OF(item);
  if (!key) return;
  const std::wstring text = StringToWide(name);
  DeleteValueOrTree(key->handle, text, !WithoutEmptyComponents(text).empty());
}

RuntimeObject* RegistryItemValueGetter(RuntimeObject* item, StringRecord* name) {
  const RegistryKey* key = KEY_OF(item);
  return key ? ReadValue(*key, StringToWide(name)) : nullptr;
}

void RegistryItemValueSetter(RuntimeObject* item, StringRecord* name, RuntimeObject* value) {
  const RegistryKey* key = KEY_OF(item);
  if (key) WriteValue(*key, StringToWide(name), value);
}

RuntimeObject* RegistryItemNumValueGetter(RuntimeObject* item, int32_t index) {
  const RegistryKey* key = KEY_OF(item);
  std::wstring name;
  return key && IndexedValueName(*key, index, &name) ? ReadValue(*key, name) : nullptr;
}

void RegistryItemNumValueSetter(RuntimeObject* item, int32_t index, RuntimeObject* value) {
  const RegistryKey* key = KEY_OF(item);
  std::wstring name;
  if (key && IndexedValueName(*key, index, &name)) WriteValue(*key, name, value);
}

RuntimeObject* RegistryItemDefaultValueGetter(RuntimeObject* item, uint32_t) {
  const RegistryKey* key = KEY_OF(item);
  return key ? ReadValue(*key, std::wstring()) : nullptr;
}

void RegistryItemDefaultValueSetter(RuntimeObject* item, uint32_t, RuntimeObject* value) {
  const RegistryKey* key = KEY_OF(item);
  if (key) WriteValue(*key, std::wstring(), value);
}

StringRecord* RegistryItemNameGetter(RuntimeObject* item, int32_t index) {
  const RegistryKey* key = KEY_OF(item);
  std::wstring name;
  if (key) NameAt(key->handle, Listing::kValues, index, &name);
  return LineString(name);
}

int32_t RegistryItemKeyCountGetter(RuntimeObject* item, uint32_t) {
  return int32_t(InfoOf(item, __LINE__).values);
}

int32_t RegistryItemFolderCountGetter(RuntimeObject* item, uint32_t) {
  return int32_t(InfoOf(item, __LINE__).subkeys);
}

StringRecord* RegistryItemPathGetter(RuntimeObject* item, uint32_t) {
  const RegistryKey* key = KEY_OF(item);
  return key ? StringAddRef(key->path) : nullptr;
}

RuntimeObject* RuntimeGetDefaultApplicationRegistryItem() {
  ObjectRef item = ObjectRef::Adopt(CreateInstance(GetRegistryItemClassDefinition()));
  if (!item) return nullptr;
  auto* fields = ObjectFields<RegistryItemObject>(item.get());
  OpenItemPath(fields,
               L"HKEY_LOCAL_MACHINE\\Software\\Made With Varenquil\\" + RunningModuleName());
  return fields->key ? item.release() : nullptr;
}

}  // extern "C"
