// The inter-application event classes: AppleEvent, AppleEventRecord,
// AppleEventDescList, AppleEventObjectSpecifier, AppleEventTemplate and
// AppleEventTarget, and the eight object-descriptor functions. This platform
// sends and receives no such event: the classes exist so that applications
// naming them link and run. Every member is inert (InertMembers.h) except
// AppleEvent's Timeout, which keeps what is assigned.
#pragma once
#include <cstdint>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"

struct AppleEventFields {
  RuntimeObject header;
  int32_t timeout;
};
static_assert(!kLayoutIs32Bit || sizeof(AppleEventFields) == 28, "Timeout follows the header");

// Builds the six classes, registers them by name and the functions in the
// entry table.
void RegisterAppleEventClasses();
