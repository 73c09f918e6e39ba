#include "com/cls_use_object.h"

#include <new>
#include <string>

#include "com/dispatch.h"
#include "com/module.h"
#include "ui/win32/native_windows.h"

namespace quorvel::com {

namespace {

// The windows and boxes of this thread are the real ones from here on; every entry point sets
// them, since the core keeps both per thread.
void UseRealWindows() {
    UseWindowMessageBoxes();
    ui::win32::UseNativeWindows();
}

}  // namespace

HRESULT LoadDualTypeInfo(REFIID iid, ITypeInfo** info) {
    *info = nullptr;
    std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* dispatchInfo = nullptr;
    hr = lib->GetTypeInfoOfGuid(iid, &dispatchInfo);
    lib->Release();
    if (FAILED(hr)) return hr;
    // Invoke must go through the vtable description of the dual interface; the dispatch one
    // would call back into our own Invoke.
    HREFTYPE vtableRef = 0;
    hr = dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef);
    if (SUCCEEDED(hr)) hr = dispatchInfo->GetRefTypeInfo(vtableRef, info);
    dispatchInfo->Release();
    return hr;
}

ClsUseObject::ClsUseObject(ITypeInfo* typeInfo) : typeInfo_(typeInfo) {
    typeInfo_->AddRef();
    AddModuleRef();
}

ClsUseObject::~ClsUseObject() {
    typeInfo_->Release();
    ReleaseModuleRef();
}

HRESULT ClsUseObject::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__ClsUse) {
        *object = static_cast<_ClsUse*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *object = static_cast<ISupportErrorInfo*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG ClsUseObject::AddRef() {
    return ++refs_;
}

ULONG ClsUseObject::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        UseWindowMessageBoxes();
        delete this;  // closes the shared connection of the thread; cannot throw
    }
    return left;
}

HRESULT ClsUseObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT ClsUseObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
}

HRESULT ClsUseObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    return typeInfo_->GetIDsOfNames(names, count, ids);
}

HRESULT ClsUseObject::Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    UseWindowMessageBoxes();
    return LenientInvoke(typeInfo_, static_cast<_ClsUse*>(this), member, flags, params, result,
                         excepInfo, argError);
}

HRESULT ClsUseObject::InterfaceSupportsErrorInfo(REFIID) {
    return S_FALSE;
}

HRESULT ClsUseObject::put_ConnString(BSTR value) {
    try {
        UseWindowMessageBoxes();
        core_.ConnString(
            value ? std::u16string(reinterpret_cast<const char16_t*>(value), SysStringLen(value))
                  : std::u16string());
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return S_OK;
    }
}

HRESULT ClsUseObject::put_ConnectionTime(short value) {
    try {
        UseWindowMessageBoxes();
        core_.ConnectionTime(value);
    } catch (...) {
    }
    return S_OK;
}

HRESULT ClsUseObject::Show() {
    try {
        UseRealWindows();
        core_.Show();  // shows its own failures; returns when the user closes the browser
    } catch (...) {
    }
    return S_OK;
}

namespace {

class ClsUseFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: its references only keep the module loaded.
    ULONG STDMETHODCALLTYPE AddRef() override {
        AddModuleRef();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ReleaseModuleRef();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            ITypeInfo* info = nullptr;
            HRESULT hr = LoadDualTypeInfo(IID__ClsUse, &info);
            if (FAILED(hr)) return hr;
            auto* created = new (std::nothrow) ClsUseObject(info);
            info->Release();
            if (!created) return E_OUTOFMEMORY;
            hr = created->QueryInterface(riid, object);
            created->Release();
            return hr;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            AddModuleRef();
        } else {
            ReleaseModuleRef();
        }
        return S_OK;
    }
};

ClsUseFactory gClsUseFactory;

}  // namespace

HRESULT GetClsUseClassObject(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return gClsUseFactory.QueryInterface(riid, object);
}

}  // namespace quorvel::com
