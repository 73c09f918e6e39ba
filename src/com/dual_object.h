// What both creatable classes share: IUnknown, IDispatch through the embedded type library (made
// lenient for script hosts), ISupportErrorInfo, and their class object. Each class adds only the
// members of its own dual interface.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <new>
#include <string>

#include "com/dispatch.h"
#include "com/module.h"

namespace quorvel::com {

// Loads the vtable type information of a dual interface from this DLL's type library.
HRESULT LoadDualTypeInfo(REFIID iid, ITypeInfo** info);

// Text across the interface: a null BSTR is the empty text.
std::u16string FromBstr(BSTR text);

// Property puts store text or numbers; only running out of memory can fail, and the host then
// keeps the setting it had.
template <typename F>
HRESULT PutProperty(F&& store) noexcept {
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

// Derived is the concrete class (it is deleted as such); Interface its dual interface.
template <class Derived, class Interface, const IID& Iid>
class DualObject : public Interface, public ISupportErrorInfo {
  public:
    // The type information of the interface's vtable description (one reference is kept).
    explicit DualObject(ITypeInfo* typeInfo) : typeInfo_(typeInfo) {
        typeInfo_->AddRef();
        AddModuleRef();
        UseWindowMessageBoxes();
    }
    DualObject(const DualObject&) = delete;
    DualObject& operator=(const DualObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Iid) {
            *object = static_cast<Interface*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            UseWindowMessageBoxes();
            delete static_cast<Derived*>(this);  // the core's termination closes the connection
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        typeInfo_->AddRef();
        *info = typeInfo_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids) return E_POINTER;
        return typeInfo_->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argError) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        UseWindowMessageBoxes();
        return LenientInvoke(typeInfo_, static_cast<Interface*>(this), member, flags, params,
                             result, excepInfo, argError);
    }

    // The interfaces never report errors through error objects.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_FALSE; }

  protected:
    ~DualObject() {
        typeInfo_->Release();
        ReleaseModuleRef();
    }

  private:
    std::atomic<ULONG> refs_{1};
    ITypeInfo* typeInfo_;
};

// The class object of Object, whose default interface is Iid. A static object: its references
// only keep the module loaded.
template <class Object, const IID& Iid>
class ClassFactory final : public IClassFactory {
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
            HRESULT hr = LoadDualTypeInfo(Iid, &info);
            if (FAILED(hr)) return hr;
            auto* created = new (std::nothrow) Object(info);
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

    // What DllGetClassObject hands out for this class.
    static HRESULT Get(REFIID riid, void** object) {
        static ClassFactory factory;
        if (!object) return E_POINTER;
        *object = nullptr;
        return factory.QueryInterface(riid, object);
    }
};

}  // namespace quorvel::com
