#include "controls/Mnemonic.h"

#include <string>

#include "core/SmartRef.h"
#include "core/string.h"
#include "ui/WindowKeys.h"

void SetMnemonicShortcut(const void* target, uint32_t kind, const StringRecord* caption) {
  RemoveWindowShortcut(target, kind);
  const uint32_t mnemonic = CaptionMnemonicChar(caption);
  if (mnemonic == 0) return;
  StringRef key = StringRef::Adopt(StringFromCodePoint(mnemonic, kEncodingUTF8));
  RegisterWindowShortcut(target, kind, "Alt+" + StringToStdUTF8(key.get()));
}

void SetControlMnemonic(HWND window, const StringRecord* caption) {
  SetMnemonicShortcut(window, kShortcutControl, caption);
}
