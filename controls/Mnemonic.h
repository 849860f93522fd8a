// The keyboard shortcut of a control's caption: Alt and the letter after a
// single "&" reach the control's native window.
#pragma once
#include <windows.h>

struct StringRecord;

// Makes the caption's mnemonic the window's one shortcut ("Alt+" and the
// upper-cased character), replacing the shortcut of an earlier caption; a
// caption without a mnemonic ("A&&B", "Plain") leaves the window none. The
// entries go with the window when it is destroyed.
void SetControlMnemonic(HWND window, const StringRecord* caption);
