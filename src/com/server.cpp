// The DLL's exports: the class object and self-registration.
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <new>

#include "QuorvelV11.h"
#include "com/analyser_object.h"
#include "com/cls_use_object.h"
#include "com/module.h"
#include "com/registration.h"

namespace quorvel::com {
namespace {

class AnalyserFactory final : public IClassFactory {
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
    // The factory is a static object: its references only keep the module loaded.
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
            HRESULT hr = LoadAnalyserTypeInfo(&info);
            if (FAILED(hr)) return hr;
            auto* created = new (std::nothrow) AnalyserObject(info);
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

AnalyserFactory gFactory;

HRESULT Install(bool install, Scope scope) {
    try {
        if (install) return RegisterServer(scope, ModulePath());
        return UnregisterServer(scope);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace
}  // namespace quorvel::com

using quorvel::com::Scope;

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == CLSID_ClsUse) return quorvel::com::GetClsUseClassObject(riid, object);
    if (clsid != CLSID_GetAnalyseBarCode) return CLASS_E_CLASSNOTAVAILABLE;
    return quorvel::com::gFactory.QueryInterface(riid, object);
}

HRESULT WINAPI DllCanUnloadNow() {
    return quorvel::com::ModuleRefs() == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
    return quorvel::com::Install(true, Scope::Machine);
}

HRESULT WINAPI DllUnregisterServer() {
    return quorvel::com::Install(false, Scope::Machine);
}

// regsvr32 /i:user (with /n: without the machine-wide DllRegisterServer) registers for the
// current user only, which needs no administrator rights; /u /i:user undoes it.
HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    Scope scope = Scope::Machine;
    if (!quorvel::com::ParseScope(commandLine, &scope)) return E_INVALIDARG;
    return quorvel::com::Install(install != FALSE, scope);
}

}  // extern "C"
