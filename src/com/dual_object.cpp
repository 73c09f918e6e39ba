#include "com/dual_object.h"

namespace quorvel::com {

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
    // A dual interface is described twice; Invoke must go through the vtable description,
    // since the dispatch one would call back into our own Invoke.
    HREFTYPE vtableRef = 0;
    hr = dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef);
    if (SUCCEEDED(hr)) hr = dispatchInfo->GetRefTypeInfo(vtableRef, info);
    dispatchInfo->Release();
    return hr;
}

std::u16string FromBstr(BSTR text) {
    if (!text) return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

}  // namespace quorvel::com
