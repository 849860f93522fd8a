// Receivers for the binding notifications that write to the test log
// (UiTestSupport.h's Log): a dataNotificationReceiver logs
// "<tag>.DataChanged" and an actionNotificationReceiver "<tag>.PerformAction".
// One class implements both interfaces, as an application class may.
#pragma once

#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"

// "RecordingReceiver", implementing dataNotificationReceiver and
// actionNotificationReceiver.
ObjectDefinition* GetRecordingReceiverClassDefinition();
// A new receiver (the caller's reference) logging under the tag.
ObjectRef NewRecordingReceiver(const char* tag);
