// The Clipboard class: the system clipboard's text.
//
// Text reads CF_UNICODETEXT on the W line and CF_TEXT (in the system
// encoding) on the A line, and answers UTF-8; "" when no text is offered or
// the clipboard cannot be opened. Setting Text empties the clipboard and puts
// the text as CF_UNICODETEXT (CF_TEXT on the A line); the clipboard is opened
// with a window of the run-time's own, since an ownerless clipboard refuses
// new data. TextAvailable answers whether text is offered.
#pragma once
#include <cstdint>

struct ObjectDefinition;
struct RuntimeObject;
struct StringRecord;

// Step 11.
void RegisterClipboardClass();
// "Clipboard", made with CreateInstance.
ObjectDefinition* GetClipboardClassDefinition();

extern "C" {
// A new UTF-8 string (the caller's reference). The object and index are the
// accessor's and are not read.
StringRecord* clipboardTextGetter(RuntimeObject* clipboard, uint32_t index);
void clipboardTextSetter(RuntimeObject* clipboard, uint32_t index, StringRecord* text);
bool clipboardTextAvailableGetter(RuntimeObject* clipboard, uint32_t index);
}
