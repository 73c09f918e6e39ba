#include "com/registration.h"

#include <cwctype>
#include <vector>

namespace quorvel::com {

namespace {

constexpr wchar_t kLibid[] = L"{BBC0A775-1E55-47A0-9AB3-A307C083B909}";
constexpr wchar_t kLibVersion[] = L"1.0";

// The creatable classes. These identifiers never change: hosts have them in their registries.
struct CoClass {
    const wchar_t* name;
    const wchar_t* clsid;
    const wchar_t* progId;
    const wchar_t* versionedProgId;
    const wchar_t* interfaceName;
    const wchar_t* iid;
};
constexpr CoClass kClasses[] = {
    {L"GetAnalyseBarCode", L"{02337FEF-56B4-4301-A7BB-0745AF7DD627}",
     L"QuorvelV11.GetAnalyseBarCode", L"QuorvelV11.GetAnalyseBarCode.1", L"_GetAnalyseBarCode",
     L"{856798BF-AB42-4CDC-A32D-2A0E27C892A3}"},
    {L"ClsUse", L"{4C528F22-EE1B-42B4-8535-85F533DA15CE}", L"QuorvelV11.ClsUse",
     L"QuorvelV11.ClsUse.1", L"_ClsUse", L"{D289DB0A-EB43-4EFE-A8B9-8E71A91B1B7C}"},
};
// The standard marshaler for automation-compatible interfaces, driven by the type library.
constexpr wchar_t kOleAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
constexpr wchar_t kPlatform[] = L"win64";
#else
constexpr wchar_t kPlatform[] = L"win32";
#endif

struct Value {
    std::wstring key;   // below the classes key
    std::wstring name;  // empty: the key's default value
    std::wstring data;
};

std::wstring Directory(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::vector<Value> Values(const std::wstring& dllPath) {
    std::vector<Value> values;
    for (const CoClass& c : kClasses) {
        const std::wstring clsid = std::wstring(L"CLSID\\") + c.clsid;
        const std::wstring progId = c.progId;
        const std::wstring versioned = c.versionedProgId;
        const std::wstring iface = std::wstring(L"Interface\\") + c.iid;
        values.insert(values.end(),
                      {
                          {clsid, L"", c.name},
                          {clsid + L"\\InprocServer32", L"", dllPath},
                          {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
                          {clsid + L"\\ProgID", L"", versioned},
                          {clsid + L"\\VersionIndependentProgID", L"", progId},
                          {clsid + L"\\TypeLib", L"", kLibid},
                          {clsid + L"\\Version", L"", kLibVersion},
                          {clsid + L"\\Programmable", L"", L""},
                          {progId, L"", c.name},
                          {progId + L"\\CLSID", L"", c.clsid},
                          {progId + L"\\CurVer", L"", versioned},
                          {versioned, L"", c.name},
                          {versioned + L"\\CLSID", L"", c.clsid},
                          {iface, L"", c.interfaceName},
                          {iface + L"\\ProxyStubClsid", L"", kOleAutomationProxy},
                          {iface + L"\\ProxyStubClsid32", L"", kOleAutomationProxy},
                          {iface + L"\\TypeLib", L"", kLibid},
                          {iface + L"\\TypeLib", L"Version", kLibVersion},
                      });
    }
    const std::wstring lib = std::wstring(L"TypeLib\\") + kLibid + L"\\" + kLibVersion;
    values.insert(values.end(), {
                                    {lib, L"", L"QuorvelV11"},
                                    {lib + L"\\FLAGS", L"", L"0"},
                                    {lib + L"\\HELPDIR", L"", Directory(dllPath)},
                                    {lib + L"\\0\\" + kPlatform, L"", dllPath},
                                });
    return values;
}

HKEY Root(Scope scope) {
    return scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

LSTATUS OpenClasses(Scope scope, REGSAM access, HKEY* classes) {
    return RegCreateKeyExW(Root(scope), L"Software\\Classes", 0, nullptr, 0, access, nullptr,
                           classes, nullptr);
}

LSTATUS WriteValue(HKEY classes, const Value& v) {
    HKEY key = nullptr;
    LSTATUS rc = RegCreateKeyExW(classes, v.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                 &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key, v.name.empty() ? nullptr : v.name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(v.data.c_str()),
                        static_cast<DWORD>((v.data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc;
}

bool Missing(LSTATUS rc) {
    return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND;
}

LSTATUS DeleteTree(HKEY classes, const std::wstring& key) {
    LSTATUS rc = RegDeleteTreeW(classes, key.c_str());
    if (Missing(rc)) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegDeleteKeyW(classes, key.c_str());
    return Missing(rc) ? ERROR_SUCCESS : rc;
}

// Deletes the key if it has no subkeys left; its values go with it.
LSTATUS DeleteIfNoSubkeys(HKEY classes, const std::wstring& key) {
    HKEY k = nullptr;
    LSTATUS rc = RegOpenKeyExW(classes, key.c_str(), 0, KEY_READ, &k);
    if (Missing(rc)) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    DWORD subkeys = 0;
    rc = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return rc;
    if (subkeys > 0) return ERROR_SUCCESS;
    return DeleteTree(classes, key);
}

bool KeyExists(HKEY classes, const std::wstring& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(classes, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

LSTATUS Unregister(HKEY classes) {
    const std::wstring libRoot = std::wstring(L"TypeLib\\") + kLibid;
    const std::wstring lib = libRoot + L"\\" + kLibVersion;
    LSTATUS first = ERROR_SUCCESS;
    auto note = [&first](LSTATUS rc) {
        if (first == ERROR_SUCCESS && rc != ERROR_SUCCESS) first = rc;
    };
    for (const CoClass& c : kClasses) {
        note(DeleteTree(classes, std::wstring(L"CLSID\\") + c.clsid));
        note(DeleteTree(classes, c.versionedProgId));
        note(DeleteTree(classes, c.progId));
    }
    note(DeleteTree(classes, lib + L"\\0\\" + kPlatform));
    note(DeleteIfNoSubkeys(classes, lib + L"\\0"));
    // FLAGS and HELPDIR stay while the other architecture's entry under "0" is there.
    if (!KeyExists(classes, lib + L"\\0")) {
        note(DeleteTree(classes, lib));
        note(DeleteIfNoSubkeys(classes, libRoot));
        for (const CoClass& c : kClasses) {
            note(DeleteTree(classes, std::wstring(L"Interface\\") + c.iid));
        }
    }
    return first;
}

}  // namespace

HRESULT RegisterServer(Scope scope, const std::wstring& dllPath) {
    if (dllPath.empty()) return E_UNEXPECTED;
    HKEY classes = nullptr;
    LSTATUS rc = OpenClasses(scope, KEY_READ | KEY_WRITE, &classes);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    for (const Value& v : Values(dllPath)) {
        rc = WriteValue(classes, v);
        if (rc != ERROR_SUCCESS) break;
    }
    if (rc != ERROR_SUCCESS) Unregister(classes);
    RegCloseKey(classes);
    return HRESULT_FROM_WIN32(rc);
}

HRESULT UnregisterServer(Scope scope) {
    HKEY classes = nullptr;
    LSTATUS rc =
        RegOpenKeyExW(Root(scope), L"Software\\Classes", 0, KEY_READ | KEY_WRITE, &classes);
    if (Missing(rc)) return S_OK;  // nothing was ever registered there
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    rc = Unregister(classes);
    RegCloseKey(classes);
    return HRESULT_FROM_WIN32(rc);
}

bool ParseScope(const wchar_t* commandLine, Scope* scope) {
    std::wstring word;
    for (const wchar_t* p = commandLine; p && *p; ++p) {
        if (!std::iswspace(*p)) word += static_cast<wchar_t>(std::towlower(*p));
    }
    if (word.empty() || word == L"machine") {
        *scope = Scope::Machine;
        return true;
    }
    if (word == L"user") {
        *scope = Scope::User;
        return true;
    }
    return false;
}

}  // namespace quorvel::com
