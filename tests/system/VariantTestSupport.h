// What the registry and automation tests read back: Variants and raised
// exceptions as text.
#pragma once
#include <string>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/string.h"

inline StringRef UTF8(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

// "<type>:<text as UTF-8>" of a Variant (the reference is taken over);
// "nil" for none.
inline std::string Shown(RuntimeObject* owned) {
  ObjectRef variant = ObjectRef::Adopt(owned);
  if (!variant) return "nil";
  StringRef text = StringRef::Adopt(variantToString(variant.get()));
  return std::to_string(VarType(variant.get())) + ":" + StringToStdUTF8(text.get());
}

// "<class> <error number>: <message>" (or only the class) of the exception
// the last call left pending, which is taken; "" when none.
inline std::string Raised(bool withMessage = true) {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  if (!exception) return "";
  if (!withMessage) return StringCStr(ObjectClassOf(exception.get())->name);
  StringRef message = StringRef::Adopt(exceptionMessageGetter(exception.get(), 0));
  return std::string(StringCStr(ObjectClassOf(exception.get())->name)) + " " +
         std::to_string(exceptionErrorNumberGetter(exception.get(), 0)) + ": " +
         StringToStdUTF8(message.get());
}
