#include "com/analyser_object.h"

#include <new>
#include <string>

#include "com/dispatch.h"
#include "com/module.h"

namespace quorvel::com {

namespace {

std::u16string FromBstr(BSTR text) {
    if (!text) return std::u16string();  // a null BSTR is the empty text
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

std::u16string Arg(const BSTR* text) {
    return text ? FromBstr(*text) : std::u16string();
}

HRESULT ReturnText(const std::u16string& text, BSTR* result) {
    *result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                static_cast<UINT>(text.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

// Property puts store text or numbers; only running out of memory can fail, and the host then
// keeps the setting it had.
template <typename F>
HRESULT Put(F&& store) noexcept {
    try {
        UseWindowMessageBoxes();
        store();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return S_OK;
    }
}

}  // namespace

HRESULT LoadAnalyserTypeInfo(ITypeInfo** info) {
    *info = nullptr;
    std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* dispatchInfo = nullptr;
    hr = lib->GetTypeInfoOfGuid(IID__GetAnalyseBarCode, &dispatchInfo);
    lib->Release();
    if (FAILED(hr)) return hr;
    // A dual interface is described twice; Invoke must go through the vtable description,
    // since the dispatch one would call back into our own Invoke.
    HREFTYPE vtableRef = 0;
    hr = dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef);
    if (SUCCEEDED(hr)) hr = dispatchInfo->GetRefTypeInfo(vtableRef, info);
    dispatchInfo->Release();
    return hr;
}

AnalyserObject::AnalyserObject(ITypeInfo* typeInfo) : typeInfo_(typeInfo) {
    typeInfo_->AddRef();
    AddModuleRef();
    UseWindowMessageBoxes();
}

AnalyserObject::~AnalyserObject() {
    typeInfo_->Release();
    ReleaseModuleRef();
}

HRESULT AnalyserObject::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__GetAnalyseBarCode) {
        *object = static_cast<_GetAnalyseBarCode*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG AnalyserObject::AddRef() {
    return ++refs_;
}

ULONG AnalyserObject::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        UseWindowMessageBoxes();
        delete this;  // the core's termination closes the shared connection; it cannot throw
    }
    return left;
}

HRESULT AnalyserObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT AnalyserObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
}

HRESULT AnalyserObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    return typeInfo_->GetIDsOfNames(names, count, ids);
}

HRESULT AnalyserObject::Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    UseWindowMessageBoxes();
    return LenientInvoke(typeInfo_, static_cast<_GetAnalyseBarCode*>(this), member, flags, params,
                         result, excepInfo, argError);
}

HRESULT AnalyserObject::InterfaceSupportsErrorInfo(REFIID) {
    return S_FALSE;
}

HRESULT AnalyserObject::put_ConnString(BSTR value) {
    return Put([&] { core_.ConnString(FromBstr(value)); });
}

HRESULT AnalyserObject::put_TxmGZ(BSTR value) {
    return Put([&] { core_.TxmGZ(FromBstr(value)); });
}

HRESULT AnalyserObject::put_TXMName(BSTR value) {
    return Put([&] { core_.TXMName(FromBstr(value)); });
}

HRESULT AnalyserObject::put_ConnectionTime(short value) {
    return Put([&] { core_.ConnectionTime(value); });
}

HRESULT AnalyserObject::ParseBarCode(BSTR* lbid, BSTR* Txm, BSTR* Gzid, BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    std::u16string text;
    try {
        UseWindowMessageBoxes();
        text = core_.ParseBarCode(Arg(lbid), Arg(Txm), Arg(Gzid));
    } catch (...) {
        text.clear();  // copying the arguments ran out of memory: the answer is the empty text
    }
    return ReturnText(text, result);
}

HRESULT AnalyserObject::StoreCode(BSTR* Gzid, BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    std::u16string text;
    try {
        UseWindowMessageBoxes();
        text = core_.StoreCode(Arg(Gzid));
    } catch (...) {
        text.clear();
    }
    return ReturnText(text, result);
}

}  // namespace quorvel::com
