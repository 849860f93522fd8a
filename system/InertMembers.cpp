#include "system/InertMembers.h"

int32_t InertInteger(RuntimeObject*) { return 0; }
bool InertBoolean(RuntimeObject*) { return false; }
float InertSingle(RuntimeObject*) { return 0.0f; }
double InertDouble(RuntimeObject*) { return 0.0; }
StringRecord* InertString(RuntimeObject*) { return nullptr; }
RuntimeObject* InertObject(RuntimeObject*) { return nullptr; }
void InertProcedure(RuntimeObject*) {}
