// The keyboard shortcut of a control's caption: Alt and the letter after a
// single "&" reach the control's native window, or the pane of a label or
// of a tab panel (one shortcut per tab).
#pragma once
#include <windows.h>

#include <cstdint>

struct StringRecord;

// Makes the caption's mnemonic the target's one shortcut of that kind
// ("Alt+" and the upper-cased character), replacing the shortcut of an
// earlier caption; a caption without a mnemonic ("A&&B", "Plain") leaves the
// target none of that kind. The entries go with the target (window or pane) when it goes.
void SetMnemonicShortcut(const void* target, uint32_t kind, const StringRecord* caption);
// The same for a control's native window (kShortcutControl).
void SetControlMnemonic(HWND window, const StringRecord* caption);
