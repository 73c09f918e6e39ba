// The COM face of rule maintenance: the vtable of _ClsUse, IDispatch through the type library,
// and the windows shown natively on the calling thread.
#pragma once

#include <windows.h>

#include <atomic>

#include "QuorvelV11.h"
#include "ui/cls_use.h"

namespace quorvel::com {

class ClsUseObject final : public _ClsUse, public ISupportErrorInfo {
  public:
    // The type information of _ClsUse's vtable interface (one reference is kept).
    explicit ClsUseObject(ITypeInfo* typeInfo);
    ClsUseObject(const ClsUseObject&) = delete;
    ClsUseObject& operator=(const ClsUseObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argError) override;

    // ISupportErrorInfo: the interface never reports errors through error objects.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // _ClsUse
    HRESULT STDMETHODCALLTYPE put_ConnString(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_ConnectionTime(short value) override;
    HRESULT STDMETHODCALLTYPE Show() override;

  private:
    ~ClsUseObject();

    std::atomic<ULONG> refs_{1};
    ITypeInfo* typeInfo_;
    ui::ClsUse core_;
};

// The class object of ClsUse, as DllGetClassObject hands it out.
HRESULT GetClsUseClassObject(REFIID riid, void** object);

// Loads the vtable type information of a dual interface from this DLL's type library.
HRESULT LoadDualTypeInfo(REFIID iid, ITypeInfo** info);

}  // namespace quorvel::com
