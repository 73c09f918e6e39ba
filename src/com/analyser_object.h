// The COM face of the analyser: the vtable of _GetAnalyseBarCode, IDispatch through the type
// library, and nothing that escapes to the host.
#pragma once

#include <windows.h>

#include <atomic>

#include "QuorvelV11.h"
#include "service/analyser.h"

namespace quorvel::com {

class AnalyserObject final : public _GetAnalyseBarCode, public ISupportErrorInfo {
  public:
    // The type information of _GetAnalyseBarCode's vtable interface (one reference is kept).
    explicit AnalyserObject(ITypeInfo* typeInfo);
    AnalyserObject(const AnalyserObject&) = delete;
    AnalyserObject& operator=(const AnalyserObject&) = delete;

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

    // _GetAnalyseBarCode
    HRESULT STDMETHODCALLTYPE put_ConnString(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_TxmGZ(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_TXMName(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_ConnectionTime(short value) override;
    HRESULT STDMETHODCALLTYPE ParseBarCode(BSTR* lbid, BSTR* Txm, BSTR* Gzid,
                                           BSTR* result) override;
    HRESULT STDMETHODCALLTYPE StoreCode(BSTR* Gzid, BSTR* result) override;

  private:
    ~AnalyserObject();

    std::atomic<ULONG> refs_{1};
    ITypeInfo* typeInfo_;
    GetAnalyseBarCode core_;
};

// Loads the type information from the type library embedded in this DLL.
HRESULT LoadAnalyserTypeInfo(ITypeInfo** info);

}  // namespace quorvel::com
