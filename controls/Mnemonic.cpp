#include "controls/Mnemonic.h"

#include <string>

#include "core/SmartRef.h"
#include "core/string.h"
#include "ui/WindowKeys.h"

void SetControlMnemonic(HWND window, const StringRecord* caption) {
  RemoveWindowShortcuts(window);
  const uint32_t mnemonic = CaptionMnemonicChar(caption);
  if (mnemonic == 0) return;
  StringRef key = StringRef::Adopt(StringFromCodePoint(mnemonic, kEncodingUTF8));
  RegisterWindowShortcut(window, kShortcutControl, "Alt+" + StringToStdUTF8(key.get()));
}
