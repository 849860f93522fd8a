// Entries of members that exist so that applications naming them link and
// run, and do nothing: getters and functions give 0, 0.0, false, nil or the
// empty string; setters and procedures ignore what they are given. Each takes
// the object and ignores it; the arguments after it, which the caller passes
// and removes, are not read.
#pragma once
#include <cstdint>

struct RuntimeObject;
struct StringRecord;

int32_t InertInteger(RuntimeObject* object);
bool InertBoolean(RuntimeObject* object);
float InertSingle(RuntimeObject* object);
double InertDouble(RuntimeObject* object);
StringRecord* InertString(RuntimeObject* object);
RuntimeObject* InertObject(RuntimeObject* object);
void InertProcedure(RuntimeObject* object);

// A record's (function, name) pair for an inert entry under the name the
// member's entry has.
#define INERT_ENTRY(function, entryName) reinterpret_cast<void*>(&function), entryName
