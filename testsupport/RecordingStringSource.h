// A string source for binding tests: one class implementing StringProvider
// (getString), StringInterface (setString), dataNotifier (add and remove a
// receiver) and DataAvailableProvider (DataAvailable). It holds a text and
// writes each call to the test log (UiTestSupport.h's Log):
//
//   "<tag>.setString(new text)"  "<tag>.addReceiver"  "<tag>.removeReceiver"
//
// getString and DataAvailable are not logged.
#pragma once

#include <string>

#include "core/SmartRef.h"

// A new source (the caller's reference) holding the text; DataAvailable
// answers `available`.
ObjectRef NewRecordingStringSource(const char* tag, const std::string& text,
                                   bool available = true);
// The text it holds now (UTF-8).
std::string StringSourceText(RuntimeObject* source);
// Sources alive now (for checks that one was freed).
int32_t LiveStringSourceCount();
