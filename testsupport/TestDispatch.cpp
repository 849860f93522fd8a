#include "testsupport/TestDispatch.h"

#include <oleauto.h>

#include <cwchar>

namespace {

std::wstring ArgumentText(const VARIANT& argument) {
  std::wstring text = std::to_wstring(argument.vt) + L":";
  VARIANT copy;
  VariantInit(&copy);
  if (argument.vt != VT_DISPATCH &&
      SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&argument), 0, VT_BSTR))) {
    text.append(copy.bstrVal, SysStringLen(copy.bstrVal));
  }
  VariantClear(&copy);
  return text;
}

}  // namespace

TestDispatch::~TestDispatch() {
  if (tableCookie_) RevokeActiveObject(tableCookie_, nullptr);
}

void TestDispatch::Member(const std::wstring& name, Answer answer) {
  members_.push_back({name, std::move(answer)});
}

HRESULT TestDispatch::EnterRunningObjectTable(const CLSID& classID) {
  return RegisterActiveObject(this, classID, ACTIVEOBJECT_STRONG, &tableCookie_);
}

HRESULT TestDispatch::QueryInterface(REFIID iid, void** object) {
  if (iid != IID_IUnknown && iid != IID_IDispatch) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

HRESULT TestDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  for (size_t i = 0; count == 1 && i < members_.size(); ++i) {
    if (_wcsicmp(members_[i].name.c_str(), names[0]) == 0) {
      ids[0] = DISPID(i + 1);
      return S_OK;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT TestDispatch::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* info, UINT*) {
  if (member < 1 || size_t(member) > members_.size()) return DISP_E_MEMBERNOTFOUND;
  Call call{members_[size_t(member) - 1].name, flags, {}, {}};
  for (UINT i = 0; i < params->cArgs; ++i)
    call.arguments.push_back(ArgumentText(params->rgvarg[i]));
  call.named.assign(params->rgdispidNamedArgs, params->rgdispidNamedArgs + params->cNamedArgs);
  calls_.push_back(call);
  VARIANT unwanted;
  VariantInit(&unwanted);
  HRESULT outcome = members_[size_t(member) - 1].answer(result ? result : &unwanted, info);
  VariantClear(&unwanted);
  return outcome;
}

void SetBSTRResult(VARIANT* result, const std::wstring& text) {
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
}
