// Figures of the automation client: OLEObject's Invoke with a parameter and
// a result on Scripting.Dictionary against raw IDispatch::Invoke with the
// DISPID looked up once and a BSTR made per call. Prints figures from one
// run; it checks nothing.
#include <windows.h>
// after <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

#include "bench/BenchClock.h"
#include "core/RuntimeArrayFoundation.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/Variant.h"
#include "core/diagnostics.h"
#include "host/RuntimeMain.h"
#include "runtime/RuntimeSetup.h"
#include "system/OLEObject.h"

namespace {

constexpr int kCalls = 100000;

StringRef Text(const char* text) { return StringRef::Adopt(StringFromASCII(text)); }

// Seconds for kCalls of Exists("k") through the entry point.
double ThroughOLEObject(const ObjectRef& dictionary) {
  ArrayRef parameters = ArrayRef::Adopt(CreateArray(1, kArrayObject, 1));
  ObjectArraySetElement(parameters.get(), 1,
                        ObjectRef::Adopt(stringToVariant(Text("k").get())).get());
  StringRef name = Text("Exists");
  const double start = Now();
  for (int i = 0; i < kCalls; ++i) {
    RuntimeUnlockObject(OLEObjectInvokeWithParams(dictionary.get(), name.get(), parameters.get()));
  }
  return Now() - start;
}

// The same calls made directly on the IDispatch.
double ThroughRawInvoke(IDispatch* dispatch) {
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"Exists");
  dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  const double start = Now();
  for (int i = 0; i < kCalls; ++i) {
    VARIANT argument, result;
    VariantInit(&result);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"k");
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                     &params, &result, nullptr, nullptr);
    SysFreeString(argument.bstrVal);
    VariantClear(&result);
  }
  return Now() - start;
}

}  // namespace

int main() {
  SetMessageBoxRecording(true);
  std::string error;
  InstallRuntimeSubsystems();
  if (!RuntimeHostStartup(GetModuleHandleW(nullptr), GetCommandLineA(), &error)) {
    std::fprintf(stderr, "start-up failed: %s\n", error.c_str());
    return 1;
  }
  ObjectRef dictionary = ObjectRef::Adopt(CreateInstance(GetOLEObjectClassDefinition()));
  OLEObjectProgramIDConstructor(dictionary.get(), Text("Scripting.Dictionary").get());
  IDispatch* dispatch = ObjectFields<OLEObjectFields>(dictionary.get())->dispatch;
  if (!dispatch) {
    std::fprintf(stderr, "Scripting.Dictionary is not available\n");
    return 1;
  }
  const double raw = ThroughRawInvoke(dispatch);
  const double ours = ThroughOLEObject(dictionary);
  std::printf(
      "Invoke(\"Exists\", [_, \"k\"]) x %d: OLEObject %.3f us per call, raw %.3f us per call\n",
      kCalls, ours / kCalls * 1e6, raw / kCalls * 1e6);
  std::printf("Invoke with a parameter and a result   %.2fx raw IDispatch::Invoke goal >= 0.25\n",
              raw / ours);
  if (RuntimeExceptionPending()) std::fprintf(stderr, "an exception was left pending\n");
  dictionary = ObjectRef();
  RuntimeHostFinish();
  return 0;
}
