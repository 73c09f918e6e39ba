// The DLL's exports: the class object and self-registration.
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <new>

#include "com/classes.h"
#include "com/module.h"
#include "com/registration.h"

namespace quorvel::com {
namespace {

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
    for (const quorvel::com::CoClass& c : quorvel::com::Classes()) {
        if (clsid == *c.clsid) return c.getClassObject(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
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
