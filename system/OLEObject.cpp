// A call looks its name up once per object, builds the DISPPARAMS in the
// server's order (the last argument in slot 0) and frees on every way out
// what it made: the argument BSTRs, the result VARIANT and the exception
// information.
#include "system/OLEObject.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/Variant.h"
#include "core/string.h"
#include "ui/WinUtil.h"

// DISPIDs by name, as the name's bytes and encoding. An IDispatch keeps its
// DISPIDs for its life, so an answer never goes stale; a failed look-up is
// not kept.
class DispatchNameCache {
 public:
  bool Find(const std::string& key, DISPID* id) const {
    auto found = ids_.find(key);
    if (found == ids_.end()) return false;
    *id = found->second;
    return true;
  }
  void Add(const std::string& key, DISPID id) { ids_.emplace(key, id); }

 private:
  std::unordered_map<std::string, DISPID> ids_;
};

namespace {

// ---- Errors ---------------------------------------------------------------------------

const struct {
  HRESULT code;
  const char* text;
} kErrorTexts[] = {
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface"},
    {DISP_E_MEMBERNOTFOUND, "Member not found"},
    {DISP_E_PARAMNOTFOUND, "Parameter not found"},
    {DISP_E_TYPEMISMATCH, "Type mismatch"},
    {DISP_E_UNKNOWNNAME, "Unknown name"},
    {DISP_E_NONAMEDARGS, "No named arguments"},
    {DISP_E_BADVARTYPE, "Bad variable type"},
    {DISP_E_EXCEPTION, "Exception"},
    {DISP_E_OVERFLOW, "Out of present range"},
    {DISP_E_BADINDEX, "Invalid index"},
    {DISP_E_UNKNOWNLCID, "Unknown language"},
    {DISP_E_ARRAYISLOCKED, "Memory is locked"},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters"},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional"},
    {DISP_E_BADCALLEE, "Invalid callee"},
    {DISP_E_NOTACOLLECTION, "Does not support a collection"},
    {DISP_E_DIVBYZERO, "Division by zero"},
    {DISP_E_BUFFERTOOSMALL, "Buffer too small"},
};

std::string UTF8OfBSTR(BSTR text) {
  return encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

// What a call's exception information owns, freed when it goes; a deferred
// fill-in is run first.
class ExceptionInfo {
 public:
  ExceptionInfo() = default;
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  ~ExceptionInfo() { Clear(); }

  EXCEPINFO* get() { return &info_; }
  void Complete() {
    if (!info_.pfnDeferredFillIn) return;
    info_.pfnDeferredFillIn(&info_);
    info_.pfnDeferredFillIn = nullptr;
  }
  void Clear() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
    info_ = EXCEPINFO{};
  }

 private:
  EXCEPINFO info_{};
};

// Raises OLEException for the failure; the member name is left out when
// empty.
void Report(HRESULT result, const EXCEPINFO* info, const StringRecord* member) {
  std::string message = "Unknown error: " + std::to_string(long(result));
  for (const auto& entry : kErrorTexts) {
    if (entry.code == result) message = entry.text;
  }
  if (result == DISP_E_EXCEPTION && info && SysStringLen(info->bstrDescription) > 0) {
    message += " code " + std::to_string(info->wCode) + ": " + UTF8OfBSTR(info->bstrDescription);
  }
  if (StringLength(member) > 0) message += ", (failed on \"" + StringToStdUTF8(member) + "\")";
  RaiseExceptionWithMessage(GetOLEExceptionClassDefinition(), message.c_str(), 1);
}

// ---- Objects ----------------------------------------------------------------------------

OLEObjectFields* OLEArgument(RuntimeObject* object, int32_t line) {
  return InstanceArgument<OLEObjectFields>(object, GetOLEObjectClassDefinition(), "OLEObject", line,
                                           "ObjectIsADefinition(object, OLEObject)");
}

// The object when it has a server; nil otherwise, with NilObjectException
// or "No automation server present" raised.
OLEObjectFields* ServerOf(RuntimeObject* object, int32_t line) {
  OLEObjectFields* ole = OLEArgument(object, line);
  if (ole && !ole->dispatch) {
    RaiseExceptionWithMessage(GetOLEExceptionClassDefinition(), "No automation server present", 1);
    return nullptr;
  }
  return ole;
}
#define SERVER_OF(object) ServerOf(object, __LINE__)

void DropServer(OLEObjectFields* ole) {
  if (ole->dispatch) ole->dispatch->Release();
  ole->dispatch = nullptr;
  delete ole->names;
  ole->names = nullptr;
}

void DestroyOLEObject(RuntimeObject* object) { DropServer(ObjectFields<OLEObjectFields>(object)); }

// A new OLEObject Variant with its own reference to the dispatch; nil for
// none.
RuntimeObject* DispatchVariant(IDispatch* dispatch) {
  if (!dispatch) return nullptr;
  ObjectRef object = ObjectRef::Adopt(CreateInstance(GetOLEObjectClassDefinition()));
  if (!object) return nullptr;
  dispatch->AddRef();
  ObjectFields<OLEObjectFields>(object.get())->dispatch = dispatch;
  return objectToVariant(object.get());
}

enum class Binding { kAttachOrCreate, kCreate, kAttach };

void Bind(RuntimeObject* object, const StringRecord* identifier, Binding binding) {
  OLEObjectFields* ole = OLEArgument(object, __LINE__);
  if (!ole) return;
  DropServer(ole);
  std::wstring text = StringToWide(identifier);
  CLSID classID;
  HRESULT result = text.compare(0, 1, L"{") == 0 ? CLSIDFromString(&text[0], &classID)
                                                 : CLSIDFromProgID(text.c_str(), &classID);
  IUnknown* unknown = nullptr;
  if (SUCCEEDED(result)) {
    if (binding != Binding::kCreate) result = GetActiveObject(classID, nullptr, &unknown);
    if (binding == Binding::kCreate || (FAILED(result) && binding == Binding::kAttachOrCreate)) {
      result = CoCreateInstance(classID, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IUnknown, reinterpret_cast<void**>(&unknown));
    }
  }
  if (SUCCEEDED(result)) {
    result = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ole->dispatch));
    unknown->Release();
    if (FAILED(result)) ole->dispatch = nullptr;
  }
  ole->lastResult = result;
  if (FAILED(result)) Report(result, nullptr, nullptr);
}

// ---- Calls ---------------------------------------------------------------------------------

HRESULT LookUp(OLEObjectFields* ole, const StringRecord* name, DISPID* id) {
  std::string key(reinterpret_cast<const char*>(StringData(name)), StringLength(name));
  const uint32_t encoding = StringEncoding(name);
  key.append(reinterpret_cast<const char*>(&encoding), sizeof encoding);
  if (!ole->names) ole->names = new (std::nothrow) DispatchNameCache;
  if (ole->names && ole->names->Find(key, id)) return S_OK;
  std::wstring wide = StringToWide(name);
  LPOLESTR names[] = {&wide[0]};
  HRESULT result = ole->dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  if (SUCCEEDED(result) && ole->names) ole->names->Add(key, *id);
  return result;
}

// A date's seconds since 1904 as an automation date: days since 1899-12-30
// (1904-01-01 is day 1462) with the time of day as the fraction. The sum is
// formed in seconds, so a whole second is rounded once. Before day 0 the
// whole days count back while the fraction still counts forward:
// 1899-12-29 06:00 is -1.25.
double OLEDateOfSeconds(double seconds) {
  constexpr double kSecondsPerDay = 86400;
  constexpr double kDaysFrom1899To1904 = 1462;
  const double days = (seconds + kDaysFrom1899To1904 * kSecondsPerDay) / kSecondsPerDay;
  if (days >= 0) return days;
  const double day = std::floor(days);
  return day - (days - day);
}

VARIANT OLEVariantOf(RuntimeObject* variant) {
  VARIANT value;
  VariantInit(&value);
  switch (VarType(variant)) {
    case kVariantInteger:
      value.vt = VT_I4;
      value.lVal = variantToInt(variant);
      break;
    case kVariantDouble:
      value.vt = VT_R8;
      value.dblVal = variantToDouble(variant);
      break;
    case kVariantDate:
      value.vt = VT_DATE;
      value.date = OLEDateOfSeconds(variantToDouble(variant));
      break;
    case kVariantString: {
      StringRef text = StringRef::Adopt(variantToString(variant));
      std::wstring wide = StringToWide(text.get());
      value.bstrVal = SysAllocStringLen(wide.data(), UINT(wide.size()));
      if (value.bstrVal) value.vt = VT_BSTR;
      break;
    }
    case kVariantObject: {
      ObjectRef object = ObjectRef::Adopt(variantToObject(variant));
      if (!ObjectIsADefinition(object.get(), GetOLEObjectClassDefinition())) break;
      value.vt = VT_DISPATCH;
      value.pdispVal = ObjectFields<OLEObjectFields>(object.get())->dispatch;
      break;
    }
    case kVariantBoolean:
      value.vt = VT_BOOL;
      value.boolVal = variantToBoolean(variant) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      break;
  }
  return value;
}

// The arguments of a call. The Variants they come from are held for the
// call, which keeps every OLEObject passed alive without adding a reference
// to its IDispatch; only the BSTRs made here are freed afterwards.
class Arguments {
 public:
  Arguments() = default;
  // Elements 1 .. UBound, element UBound in slot 0, so that the server sees
  // them in the array's order.
  explicit Arguments(RuntimeArray* parameters) {
    const int32_t count = std::max(RuntimeUBound(parameters), 0);
    for (int32_t element = count; element >= 1; --element) {
      Add(ObjectRef::Adopt(RuntimeDirectReadObjectArray(parameters, element)));
    }
  }
  // The value of a property assignment.
  explicit Arguments(RuntimeObject* value) {
    Add(ObjectRef::Retain(value));
    params_.rgdispidNamedArgs = &propertyPut_;
    params_.cNamedArgs = 1;
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  ~Arguments() {
    for (VARIANT& slot : slots_) {
      if (slot.vt == VT_BSTR) SysFreeString(slot.bstrVal);
    }
  }

  DISPPARAMS* Params() {
    params_.rgvarg = slots_.data();
    params_.cArgs = UINT(slots_.size());
    return &params_;
  }

 private:
  void Add(ObjectRef variant) {
    slots_.push_back(OLEVariantOf(variant.get()));
    held_.push_back(std::move(variant));
  }

  std::vector<VARIANT> slots_;
  std::vector<ObjectRef> held_;
  DISPID propertyPut_ = DISPID_PROPERTYPUT;
  DISPPARAMS params_{};
};

// Failures after which a call with a result is tried again as a plain
// method: the member never ran.
bool TakesNoSuchCall(HRESULT result) {
  return result == DISP_E_MEMBERNOTFOUND || result == DISP_E_BADPARAMCOUNT ||
         result == DISP_E_TYPEMISMATCH;
}

HRESULT CallMember(OLEObjectFields* ole, const StringRecord* name, WORD flags, Arguments& arguments,
                   VARIANT* result, ExceptionInfo* info) {
  DISPID id = DISPID_UNKNOWN;
  HRESULT outcome = LookUp(ole, name, &id);
  if (FAILED(outcome)) return outcome;
  UINT argumentError = 0;
  outcome = ole->dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, arguments.Params(),
                                  result, info->get(), &argumentError);
  if (outcome == DISP_E_EXCEPTION) info->Complete();
  return outcome;
}

enum class Retry { kNo, kAsMethod };

// Calls the member; gives the result as a new Variant when one is wanted,
// nil after a failure (reported) and for an object without a server.
RuntimeObject* Call(RuntimeObject* object, const StringRecord* name, WORD flags,
                    Arguments& arguments, bool wantResult, Retry retry = Retry::kNo) {
  OLEObjectFields* ole = SERVER_OF(object);
  if (!ole) return nullptr;
  VARIANT result;
  VariantInit(&result);
  ExceptionInfo info;
  HRESULT outcome = CallMember(ole, name, flags, arguments, wantResult ? &result : nullptr, &info);
  if (retry == Retry::kAsMethod && TakesNoSuchCall(outcome)) {
    VariantClear(&result);
    info.Clear();
    wantResult = false;
    outcome = CallMember(ole, name, DISPATCH_METHOD, arguments, nullptr, &info);
  }
  ole->lastResult = outcome;
  RuntimeObject* converted = nullptr;
  if (FAILED(outcome)) {
    Report(outcome, info.get(), name);
  } else if (wantResult) {
    converted = OLEVariantToVariant(&result);
  }
  VariantClear(&result);
  return converted;
}

// Invoke with parameters: nil parameters raise NilObjectException and call
// nothing.
RuntimeObject* CallWithParameters(RuntimeObject* object, const StringRecord* name,
                                  RuntimeArray* parameters, bool wantResult) {
  if (!parameters) {
    RaiseNilObjectException();
    return nullptr;
  }
  Arguments arguments(parameters);
  const WORD flags = wantResult ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_METHOD;
  return Call(object, name, flags, arguments, wantResult);
}

ObjectDefinition* MakeOLEObjectDefinition() {
  static ObjectDefinition definition;
  static const ParameterRecord programID[] = {{"programID", &kStringType, 0}};
  static const ParameterRecord newInstance[] = {{"programID", &kStringType, 0},
                                                {"newInstance", &kBooleanType, 0}};
  static const ParameterRecord name[] = {{"name", &kStringType, 0}};
  static const ParameterRecord call[] = {{"nameOfFunction", &kStringType, 0},
                                         {"parameters", nullptr, 0}};
  ObjectDefinition* variant = GetVariantClassDefinition();
  static const MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, programID, 1,
                       RUNTIME_ENTRY(OLEObjectProgramIDConstructor)),
      MakeMethodRecord("Constructor", nullptr, newInstance, 2,
                       RUNTIME_ENTRY(OLEObjectNewInstanceConstructor)),
      MakeMethodRecord("Invoke", variant, name, 1, RUNTIME_ENTRY(OLEObjectInvoke)),
      MakeMethodRecord("Invoke", nullptr, name, 1, RUNTIME_ENTRY(OLEObjectInvokeNoReturnValue)),
      MakeMethodRecord("Invoke", variant, call, 2, RUNTIME_ENTRY(OLEObjectInvokeWithParams)),
      MakeMethodRecord("Invoke", nullptr, call, 2,
                       RUNTIME_ENTRY(OLEObjectInvokeWithParamsNoReturnValue)),
      MakeMethodRecord("Property", variant, name, 1, RUNTIME_ENTRY(OLEObjectPropertyGetter),
                       RUNTIME_ENTRY(OLEObjectPropertySetter)),
  };
  ObjectDefinitionSetName(&definition, "OLEObject");
  definition.instanceSize = sizeof(OLEObjectFields);
  definition.destructor = DestroyOLEObject;
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

}  // namespace

ObjectDefinition* GetOLEObjectClassDefinition() {
  static ObjectDefinition* const definition = MakeOLEObjectDefinition();
  return definition;
}

void RegisterOLEObjectClass() { RegisterIntrinsicClass(GetOLEObjectClassDefinition()); }

extern "C" {

void OLEObjectProgramIDConstructor(RuntimeObject* object, StringRecord* programID) {
  Bind(object, programID, Binding::kAttachOrCreate);
}

void OLEObjectNewInstanceConstructor(RuntimeObject* object, StringRecord* programID,
                                     uint8_t newInstance) {
  Bind(object, programID, newInstance ? Binding::kCreate : Binding::kAttach);
}

RuntimeObject* OLEObjectInvoke(RuntimeObject* object, StringRecord* name) {
  Arguments none;
  return Call(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, true, Retry::kAsMethod);
}

void OLEObjectInvokeNoReturnValue(RuntimeObject* object, StringRecord* name) {
  Arguments none;
  Call(object, name, DISPATCH_METHOD, none, false);
}

RuntimeObject* OLEObjectInvokeWithParams(RuntimeObject* object, StringRecord* name,
                                         RuntimeArray* parameters) {
  return CallWithParameters(object, name, parameters, true);
}

void OLEObjectInvokeWithParamsNoReturnValue(RuntimeObject* object, StringRecord* name,
                                            RuntimeArray* parameters) {
  CallWithParameters(object, name, parameters, false);
}

RuntimeObject* OLEObjectPropertyGetter(RuntimeObject* object, StringRecord* name) {
  Arguments none;
  return Call(object, name, DISPATCH_PROPERTYGET, none, true);
}

void OLEObjectPropertySetter(RuntimeObject* object, StringRecord* name, RuntimeObject* value) {
  Arguments assigned(value);
  Call(object, name, DISPATCH_PROPERTYPUT, assigned, false);
}

RuntimeObject* OLEVariantToVariant(const VARIANT* value) {
  if (!value) return nullptr;
  const bool byReference = (value->vt & VT_BYREF) != 0;
  if (byReference && !value->byref) return nullptr;
  switch (value->vt & ~VT_BYREF) {
    case VT_I2:
      return intToVariant(byReference ? *value->piVal : value->iVal);
    case VT_I4:
      return intToVariant(byReference ? *value->plVal : value->lVal);
    case VT_R4:
      return doubleToVariant(byReference ? *value->pfltVal : value->fltVal);
    case VT_R8:
      return doubleToVariant(byReference ? *value->pdblVal : value->dblVal);
    case VT_DATE:
      return doubleToVariant(byReference ? *value->pdate : value->date);
    case VT_BSTR: {
      StringRef text = StringRef::Adopt(
          StringFromUTF8(UTF8OfBSTR(byReference ? *value->pbstrVal : value->bstrVal)));
      return stringToVariant(text.get());
    }
    case VT_BOOL:
      return booleanToVariant((byReference ? *value->pboolVal : value->boolVal) != VARIANT_FALSE);
    case VT_DISPATCH:
      return DispatchVariant(byReference ? *value->ppdispVal : value->pdispVal);
    case VT_VARIANT:  // only by reference, to a VARIANT that is not itself one
      return byReference && value->pvarVal->vt != (VT_VARIANT | VT_BYREF)
                 ? OLEVariantToVariant(value->pvarVal)
                 : nullptr;
    default:
      return nullptr;
  }
}

}  // extern "C"
