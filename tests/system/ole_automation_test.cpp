// OLEObject against Wine's Scripting.Dictionary (the one real server) and
// the scripted TestDispatch: binding, argument order and types as the
// server receives them, results, error texts, and memory over many calls.
#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>
#include <oleauto.h>
#include <psapi.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/Date.h"
#include "core/RuntimeArrayFoundation.h"
#include "system/OLEObject.h"
#include "tests/system/VariantTestSupport.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/TestDispatch.h"

namespace {

class OLETest : public HostTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(Raised(), "");
    HostTest::TearDown();
  }
};

ObjectRef Bound(const std::string& identifier, int newInstance = -1) {
  ObjectRef object = ObjectRef::Adopt(CreateInstance(GetOLEObjectClassDefinition()));
  if (newInstance < 0) {
    OLEObjectProgramIDConstructor(object.get(), UTF8(identifier).get());
  } else {
    OLEObjectNewInstanceConstructor(object.get(), UTF8(identifier).get(), uint8_t(newInstance));
  }
  return object;
}

// An OLEObject over the test's server, as the OLE container makes one.
ObjectRef Wrapping(TestDispatch& server) {
  ObjectRef object = ObjectRef::Adopt(CreateInstance(GetOLEObjectClassDefinition()));
  server.AddRef();
  ObjectFields<OLEObjectFields>(object.get())->dispatch = &server;
  return object;
}

// A parameters() array: element 0 nil, then the Variants.
ArrayRef Parameters(std::initializer_list<RuntimeObject*> owned) {
  ArrayRef array = ArrayRef::Adopt(CreateArray(1, kArrayObject, int32_t(owned.size())));
  int32_t index = 0;
  for (RuntimeObject* element : owned) {
    ObjectArraySetElement(array.get(), ++index, ObjectRef::Adopt(element).get());
  }
  return array;
}

RuntimeObject* Text(const std::string& utf8) { return stringToVariant(UTF8(utf8).get()); }

std::string Call(const ObjectRef& object, const char* name, const ArrayRef& parameters) {
  return Shown(OLEObjectInvokeWithParams(object.get(), UTF8(name).get(), parameters.get()));
}
std::string Call(const ObjectRef& object, const char* name) {
  return Shown(OLEObjectInvoke(object.get(), UTF8(name).get()));
}

HRESULT STDAPICALLTYPE FillInBoom(EXCEPINFO* info) {
  info->wCode = 1001;
  info->bstrDescription = SysAllocString(L"boom");
  return S_OK;
}

TEST_F(OLETest, TheDictionaryTakesArgumentsInOrderAndAFailedAddRunsOnce) {
  ObjectRef dictionary = Bound("Scripting.Dictionary");
  ASSERT_EQ(Raised(), "");
  ArrayRef add = Parameters({Text("k"), Text("v")});
  EXPECT_EQ(Call(dictionary, "Add", add), "nil");
  EXPECT_EQ(Call(dictionary, "Item", Parameters({Text("k")})), "8:v");
  OLEObjectInvokeWithParamsNoReturnValue(dictionary.get(), UTF8("Add").get(), add.get());
  EXPECT_EQ(Raised(), "OLEException 1: Exception, (failed on \"Add\")");
  EXPECT_EQ(Call(dictionary, "Count"), "2:1");
  EXPECT_EQ(Call(dictionary, "Frob"), "nil");
  EXPECT_EQ(Raised(), "OLEException 1: Unknown name, (failed on \"Frob\")");
}

// The dictionary's Item of a key as the VARIANT the server holds.
VARIANT HeldItem(const ObjectRef& dictionary, const wchar_t* key) {
  IDispatch* server = ObjectFields<OLEObjectFields>(dictionary.get())->dispatch;
  LPOLESTR name = const_cast<LPOLESTR>(L"Item");
  DISPID item = 0;
  VARIANT argument, result;
  VariantInit(&result);
  if (FAILED(server->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &item))) return result;
  argument.vt = VT_BSTR;
  argument.bstrVal = SysAllocString(key);
  DISPPARAMS parameters{&argument, nullptr, 1, 0};
  server->Invoke(item, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &parameters, &result,
                 nullptr, nullptr);
  SysFreeString(argument.bstrVal);
  return result;
}

// The platform's own text of a VARIANT, as United States English writes it;
// "" when it refuses.
std::wstring FormattedAsText(VARIANT* value) {
  VARIANT text;
  VariantInit(&text);
  const LCID english = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
  if (FAILED(VariantChangeTypeEx(&text, value, english, 0, VT_BSTR))) return L"";
  std::wstring shown(text.bstrVal, SysStringLen(text.bstrVal));
  VariantClear(&text);
  return shown;
}

TEST_F(OLETest, DatesReachTheServerAsDaysSince1899AndComeBackAsThatNumber) {
  const struct {
    DateFields date;
    double days;
    const wchar_t* text;
  } cases[] = {
      {{2000, 1, 1, 12, 0, 0}, 36526.5, L"1/1/2000 12:00:00 PM"},
      {{1904, 1, 1, 0, 0, 0}, 1462, L"1/1/1904"},
      {{2026, 12, 7, 8, 13, 19}, 46363 + 29599 / 86400.0, L"12/7/2026 8:13:19 AM"},
      {{1899, 12, 31, 0, 0, 1}, 1 + 1 / 86400.0, L"12/31/1899 12:00:01 AM"},
      {{1899, 12, 29, 6, 0, 0}, -1.25, L"12/29/1899 6:00:00 AM"},
  };
  ObjectRef dictionary = Bound("Scripting.Dictionary");
  ASSERT_EQ(Raised(), "");
  for (const auto& c : cases) {
    const std::wstring key = c.text;
    const std::string narrowKey(key.begin(), key.end());
    const DateFields& d = c.date;
    Call(dictionary, "Add",
         Parameters({Text(narrowKey),
                     DateToVariant(ObjectRef::Adopt(NewDateFromFields(d.year, d.month, d.day, d.hour,
                                                                      d.minute, d.second))
                                       .get())}));
    ObjectRef back = ObjectRef::Adopt(
        OLEObjectInvokeWithParams(dictionary.get(), UTF8("Item").get(),
                                  Parameters({Text(narrowKey)}).get()));
    ASSERT_EQ(VarType(back.get()), kVariantDouble) << narrowKey;
    EXPECT_DOUBLE_EQ(variantToDouble(back.get()), c.days) << narrowKey;

    VARIANT held = HeldItem(dictionary, key.c_str());
    EXPECT_EQ(held.vt, VT_DATE) << narrowKey;
    EXPECT_EQ(FormattedAsText(&held), key);
    VariantClear(&held);
  }
}

TEST_F(OLETest, ObjectsAttachOnlyToRunningServersWhenAskedAndGiveTheirReferencesBack) {
  ObjectRef detached = Bound("Scripting.Dictionary", 0);
  EXPECT_EQ(Raised(), "OLEException 1: Unknown error: -2147221021");
  EXPECT_EQ(Call(detached, "Count"), "nil");
  EXPECT_EQ(Raised(), "OLEException 1: No automation server present");

  TestDispatch server;
  GUID classID;
  wchar_t text[40];
  ASSERT_EQ(CoCreateGuid(&classID), S_OK);
  StringFromGUID2(classID, text, 40);
  ASSERT_EQ(server.EnterRunningObjectTable(classID), S_OK);
  const ULONG references = server.References();
  for (int form : {-1, 0}) {
    ObjectRef attached = Bound(std::string(text, text + wcslen(text)), form);
    ASSERT_EQ(Raised(), "") << form;
    EXPECT_EQ(ObjectFields<OLEObjectFields>(attached.get())->dispatch, &server) << form;
  }
  EXPECT_EQ(server.References(), references);
}

TEST_F(OLETest, ServersSeeArgumentsInOrderAndResultsConvert) {
  static LONG byReference = 42;
  const struct {
    const char* name;
    void (*fill)(VARIANT*);
    std::string shown;
  } results[] = {
      {"I2", [](VARIANT* v) { v->vt = VT_I2, v->iVal = -3; }, "2:-3"},
      {"R4", [](VARIANT* v) { v->vt = VT_R4, v->fltVal = 1.5f; }, "5:1.5"},
      {"Date", [](VARIANT* v) { v->vt = VT_DATE, v->date = 36526.25; }, "5:36526.25"},
      {"Bool", [](VARIANT* v) { v->vt = VT_BOOL, v->boolVal = VARIANT_TRUE; }, "11:True"},
      {"ByRef", [](VARIANT* v) { v->vt = VT_BYREF | VT_I4, v->plVal = &byReference; }, "2:42"},
      {"Text", [](VARIANT* v) { SetBSTRResult(v, L"Gr\u00F6\u00DFe \u03A9"); },
       "8:Gr\xC3\xB6\xC3\x9F"
       "e \xCE\xA9"},
      {"I8", [](VARIANT* v) { v->vt = VT_I8, v->llVal = 5; }, "nil"},
      {"Nothing", [](VARIANT* v) { v->vt = VT_DISPATCH, v->pdispVal = nullptr; }, "nil"},
  };
  TestDispatch server, child;
  for (const auto& result : results) {
    server.Member(std::wstring(result.name, result.name + strlen(result.name)),
                  [fill = result.fill](VARIANT* v, EXCEPINFO*) { return fill(v), S_OK; });
  }
  server.Member(L"Args", [](VARIANT*, EXCEPINFO*) { return S_OK; });
  server.Member(L"Value", [](VARIANT*, EXCEPINFO*) { return S_OK; });
  server.Member(L"Child", [&child](VARIANT* v, EXCEPINFO*) {
    v->vt = VT_DISPATCH, v->pdispVal = &child, child.AddRef();
    return S_OK;
  });
  server.Member(L"Fail", [](VARIANT*, EXCEPINFO* info) {
    info->pfnDeferredFillIn = FillInBoom;
    return DISP_E_EXCEPTION;
  });
  child.Member(L"Ping", [](VARIANT* v, EXCEPINFO*) { return SetBSTRResult(v, L"pong"), S_OK; });
  ObjectRef object = Wrapping(server);

  for (const auto& result : results) {
    EXPECT_EQ(Shown(OLEObjectPropertyGetter(object.get(), UTF8(result.name).get())), result.shown)
        << result.name;
  }
  ObjectRef childVariant = ObjectRef::Adopt(OLEObjectInvoke(object.get(), UTF8("Child").get()));
  EXPECT_EQ(Call(ObjectRef::Adopt(variantToObject(childVariant.get())), "Ping"), "8:pong");
  childVariant = ObjectRef();
  EXPECT_EQ(child.References(), 1u);

  const size_t before = server.Calls().size();
  Call(object, "Args",
       Parameters({intToVariant(1), Text("b"), doubleToVariant(2.5), booleanToVariant(true)}));
  OLEObjectPropertySetter(object.get(), UTF8("Value").get(),
                          ObjectRef::Adopt(intToVariant(5)).get());
  Call(object, "Args", ArrayRef::Adopt(CreateArray(1, kArrayObject, -1)));
  Call(object, "Fail");
  EXPECT_EQ(Raised(), "OLEException 1: Exception code 1001: boom, (failed on \"Fail\")");

  const std::vector<TestDispatch::Call>& calls = server.Calls();
  ASSERT_EQ(calls.size(), before + 4);  // the failed call was not made again
  EXPECT_EQ(calls[before].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  EXPECT_EQ(calls[before].arguments,
            (std::vector<std::wstring>{L"11:-1", L"5:2.5", L"8:b", L"3:1"}));
  EXPECT_EQ(calls[before + 1].flags, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(calls[before + 1].arguments, std::vector<std::wstring>{L"3:5"});
  EXPECT_EQ(calls[before + 1].named, std::vector<DISPID>{DISPID_PROPERTYPUT});
  EXPECT_TRUE(calls[before + 2].arguments.empty());
}

size_t WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.WorkingSetSize;
}

TEST_F(OLETest, ResultsAndFailuresLeaveNothingBehind) {
  static const std::wstring big(4096, L'x');
  TestDispatch server;
  server.Member(L"Big", [](VARIANT* v, EXCEPINFO*) { return SetBSTRResult(v, big), S_OK; });
  server.Member(L"Fails", [](VARIANT*, EXCEPINFO* info) {
    info->bstrDescription = SysAllocString(big.c_str());
    return DISP_E_EXCEPTION;
  });
  ObjectRef object = Wrapping(server);
  const size_t before = WorkingSet();
  for (int i = 0; i < 5000; ++i) Call(object, "Big");
  for (int i = 0; i < 5000; ++i) {
    OLEObjectInvokeNoReturnValue(object.get(), UTF8("Fails").get());
    RuntimeUnlockObject(RuntimeTakePendingException());
  }
  EXPECT_LT(WorkingSet() - before, size_t(8) << 20);
}

}  // namespace
