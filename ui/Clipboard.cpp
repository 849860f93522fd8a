// The clipboard is opened for each access and closed at once; another
// program may hold it for a moment, so opening is tried a few times.
#include "ui/Clipboard.h"

#include <windows.h>

#include <cwchar>
#include <iterator>
#include <string>

#include "core/ObjectDefinition.h"
#include "core/string.h"
#include "ui/WinUtil.h"

namespace {

constexpr int kOpenAttempts = 5;
constexpr DWORD kOpenRetryMs = 10;

// A hidden message-only window of the run-time that owns what it puts.
HWND ClipboardOwnerWindow() {
  static HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  return owner;
}

class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) {
    for (int attempt = 0; attempt < kOpenAttempts && !open_; ++attempt) {
      open_ = OpenClipboard(owner) != FALSE;
      if (!open_) Sleep(kOpenRetryMs);
    }
  }
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  explicit operator bool() const { return open_; }

 private:
  bool open_ = false;
};

// The text of a clipboard handle, never reading past the block.
std::wstring WideTextOf(HANDLE data) {
  auto* text = static_cast<const wchar_t*>(GlobalLock(data));
  if (!text) return {};
  std::wstring result(text, wcsnlen(text, GlobalSize(data) / sizeof(wchar_t)));
  GlobalUnlock(data);
  return result;
}

std::wstring AnsiTextOf(HANDLE data) {
  auto* text = static_cast<const char*>(GlobalLock(data));
  if (!text) return {};
  const int length = int(strnlen(text, GlobalSize(data)));
  const UINT codePage = SystemEncodingCodePage();
  std::wstring result(size_t(MultiByteToWideChar(codePage, 0, text, length, nullptr, 0)), L'\0');
  if (!result.empty())
    MultiByteToWideChar(codePage, 0, text, length, &result[0], int(result.size()));
  GlobalUnlock(data);
  return result;
}

std::string Utf8Of(const std::wstring& text) {
  if (text.empty()) return {};
  const int count =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(size_t(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &result[0], count, nullptr,
                      nullptr);
  return result;
}

// A movable global block holding the bytes, or null.
HGLOBAL GlobalCopy(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  void* target = block ? GlobalLock(block) : nullptr;
  if (!target) {
    if (block) GlobalFree(block);
    return nullptr;
  }
  memcpy(target, bytes, size);
  GlobalUnlock(block);
  return block;
}

HGLOBAL TextBlock(const std::wstring& text, bool wide) {
  if (wide) return GlobalCopy(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  const UINT codePage = SystemEncodingCodePage();
  const int count = WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()) + 1, nullptr, 0,
                                        nullptr, nullptr);
  std::string bytes(size_t(count > 0 ? count : 1), '\0');
  if (count > 0) {
    WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()) + 1, &bytes[0], count, nullptr,
                        nullptr);
  }
  return GlobalCopy(bytes.data(), bytes.size());
}

}  // namespace

StringRecord* clipboardTextGetter(RuntimeObject*, uint32_t) {
  const bool wide = IsWindowsNT();
  std::wstring text;
  if (OpenedClipboard clipboard(nullptr); clipboard) {
    if (HANDLE data = GetClipboardData(wide ? CF_UNICODETEXT : CF_TEXT)) {
      text = wide ? WideTextOf(data) : AnsiTextOf(data);
    }
  }
  return StringFromUTF8(Utf8Of(text));
}

void clipboardTextSetter(RuntimeObject*, uint32_t, StringRecord* text) {
  const bool wide = IsWindowsNT();
  OpenedClipboard clipboard(ClipboardOwnerWindow());
  if (!clipboard) return;
  EmptyClipboard();
  HGLOBAL block = TextBlock(StringToWide(text), wide);
  if (block && !SetClipboardData(wide ? CF_UNICODETEXT : CF_TEXT, block)) GlobalFree(block);
}

bool clipboardTextAvailableGetter(RuntimeObject*, uint32_t) {
  return IsClipboardFormatAvailable(CF_UNICODETEXT) || IsClipboardFormatAvailable(CF_TEXT);
}

ObjectDefinition* GetClipboardClassDefinition() {
  static const PropertyRecord properties[] = {
      {0, "Text", &kStringType, RUNTIME_ENTRY(clipboardTextGetter),
       RUNTIME_ENTRY(clipboardTextSetter), 0},
      {kPropertyReadOnly, "TextAvailable", &kBooleanType,
       RUNTIME_ENTRY(clipboardTextAvailableGetter), nullptr, nullptr, 0},
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "Clipboard");
    BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
    return &definition;
  }();
  return made;
}

void RegisterClipboardClass() { RegisterIntrinsicClass(GetClipboardClassDefinition()); }
