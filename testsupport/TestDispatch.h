// A scripted automation object for tests: members are added by name (their
// DISPIDs are 1, 2, ... in that order) with a function that answers each
// call; every Invoke is logged; references are counted but the object is the
// test's own (it starts at 1 and is never deleted by Release). It can enter
// the running object table, which it leaves when it goes.
#pragma once
#include <windows.h>
// after <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

class TestDispatch : public IDispatch {
 public:
  // Fills the result (when the caller wants one) and the exception
  // information; gives the HRESULT of the call.
  using Answer = std::function<HRESULT(VARIANT* result, EXCEPINFO* info)>;

  struct Call {
    std::wstring member;
    WORD flags;
    // Slot 0 first, each "<VARTYPE>:<value>" ("11:-1", "8:b", "9:" for a
    // dispatch).
    std::vector<std::wstring> arguments;
    std::vector<DISPID> named;
  };

  TestDispatch() = default;
  TestDispatch(const TestDispatch&) = delete;
  TestDispatch& operator=(const TestDispatch&) = delete;
  ~TestDispatch();

  void Member(const std::wstring& name, Answer answer);
  const std::vector<Call>& Calls() const { return calls_; }
  ULONG References() const { return references_; }
  // Registers the object as the running instance of the class.
  HRESULT EnterRunningObjectTable(const CLSID& classID);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* argumentError) override;

 private:
  struct Entry {
    std::wstring name;
    Answer answer;
  };
  std::vector<Entry> members_;
  std::vector<Call> calls_;
  ULONG references_ = 1;
  DWORD tableCookie_ = 0;
};

// A BSTR VARIANT of the text (for answers).
void SetBSTRResult(VARIANT* result, const std::wstring& text);
