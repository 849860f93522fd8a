// The language class "OLEObject": an automation server driven through its
// IDispatch. The constructors bind by programmatic identifier or by "{...}"
// class identifier, attaching to a running server or creating one; Invoke
// calls methods and Property reads and assigns properties by name, all on
// the main thread under the host's OleInitialize.
//
// Arguments: Invoke's parameters() array passes elements 1 to UBound in that
// order (element 0 is not passed; an empty array passes none). Variants
// become VARIANTs by type: Integer VT_I4, Double VT_R8, Date VT_DATE (the
// automation date: days since 1899-12-30, the time of day as the fraction),
// String VT_BSTR, an OLEObject VT_DISPATCH (no reference added: the array
// holds it for the call), Boolean VT_BOOL, anything else VT_EMPTY. Results
// convert as OLEVariantToVariant says.
//
// Errors raise OLEException, error number 1, with the text of the HRESULT
// (DISP_E_EXCEPTION adds the server's code and description when it gives
// one; unknown codes read "Unknown error: <signed decimal>") and, for a
// member, ', (failed on "<name>")'. An object without a server raises
// "No automation server present" on every call; a nil object raises
// NilObjectException.
#pragma once
#include <windows.h>
// after <windows.h>
#include <oaidl.h>

#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct RuntimeArray;
struct StringRecord;
class DispatchNameCache;

// Instance layout of OLEObject. CreateInstance gives one with no server; C++
// code may then store an IDispatch reference of its own in `dispatch`.
struct OLEObjectFields {
  RuntimeObject header;
  IDispatch* dispatch;       // one reference owned; nil when none
  HRESULT lastResult;        // of the last call; 0 after success
  DispatchNameCache* names;  // owned: DISPIDs of names looked up before
};

ObjectDefinition* GetOLEObjectClassDefinition();
// Start-up: registers "OLEObject" by name.
void RegisterOLEObjectClass();

extern "C" {
// Attaches to a running server of the class, else creates one.
void OLEObjectProgramIDConstructor(RuntimeObject* object, StringRecord* programID);
// Creates a new server when newInstance is non-zero; otherwise only attaches.
void OLEObjectNewInstanceConstructor(RuntimeObject* object, StringRecord* programID,
                                     uint8_t newInstance);

// A method or property get with a result; when the member takes no such
// call (not found, wrong argument count or type), once more as a method
// without a result, giving nil.
RuntimeObject* OLEObjectInvoke(RuntimeObject* object, StringRecord* name);
void OLEObjectInvokeNoReturnValue(RuntimeObject* object, StringRecord* name);
RuntimeObject* OLEObjectInvokeWithParams(RuntimeObject* object, StringRecord* name,
                                         RuntimeArray* parameters);
void OLEObjectInvokeWithParamsNoReturnValue(RuntimeObject* object, StringRecord* name,
                                            RuntimeArray* parameters);
RuntimeObject* OLEObjectPropertyGetter(RuntimeObject* object, StringRecord* name);
void OLEObjectPropertySetter(RuntimeObject* object, StringRecord* name, RuntimeObject* value);

// A new Variant (the caller's) of a VARIANT, which is borrowed; VT_BYREF is
// read through. VT_I2 and VT_I4 give an Integer; VT_R4, VT_R8 and VT_DATE a
// Double (a date as its automation date, the number a Date argument is sent
// as); VT_BSTR a String (UTF-8, embedded NULs kept); VT_BOOL a Boolean; a
// VT_DISPATCH a new OLEObject with its own reference to it. Nil for a null
// VT_DISPATCH and for every other type.
RuntimeObject* OLEVariantToVariant(const VARIANT* value);
}
