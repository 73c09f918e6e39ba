#include "com/registration.h"

#include <cwctype>
#include <vector>

#include "QuorvelV11.h"
#include "com/classes.h"
#include "com/registration_plan.h"

namespace quorvel::com {

namespace {

constexpr wchar_t kLibVersion[] = L"1.0";
// The standard marshaler for automation-compatible interfaces, driven by the type library.
constexpr wchar_t kOleAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
constexpr wchar_t kPlatform[] = L"win64";
constexpr wchar_t kOtherPlatform[] = L"win32";
#else
constexpr wchar_t kPlatform[] = L"win32";
constexpr wchar_t kOtherPlatform[] = L"win64";
#endif
constexpr wchar_t kClassesKey[] = L"Software\\Classes\\";

std::wstring Text(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Registry names here are ASCII (GUIDs, ProgIDs, platform names).
std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}
std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

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
    const std::wstring libid = Text(LIBID_QuorvelV11);
    std::vector<Value> values;
    for (const CoClass& c : Classes()) {
        const std::wstring clsidText = Text(*c.clsid);
        const std::wstring clsid = L"CLSID\\" + clsidText;
        const std::wstring progId = c.progId;
        const std::wstring versioned = c.versionedProgId;
        const std::wstring iface = L"Interface\\" + Text(*c.iid);
        values.insert(values.end(),
                      {
                          {clsid, L"", c.name},
                          {clsid + L"\\InprocServer32", L"", dllPath},
                          {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
                          {clsid + L"\\ProgID", L"", versioned},
                          {clsid + L"\\VersionIndependentProgID", L"", progId},
                          {clsid + L"\\TypeLib", L"", libid},
                          {clsid + L"\\Version", L"", kLibVersion},
                          {clsid + L"\\Programmable", L"", L""},
                          {progId, L"", c.name},
                          {progId + L"\\CLSID", L"", clsidText},
                          {progId + L"\\CurVer", L"", versioned},
                          {versioned, L"", c.name},
                          {versioned + L"\\CLSID", L"", clsidText},
                          {iface, L"", c.interfaceName},
                          {iface + L"\\ProxyStubClsid", L"", kOleAutomationProxy},
                          {iface + L"\\ProxyStubClsid32", L"", kOleAutomationProxy},
                          {iface + L"\\TypeLib", L"", libid},
                          {iface + L"\\TypeLib", L"Version", kLibVersion},
                      });
    }
    const std::wstring lib = L"TypeLib\\" + libid + L"\\" + kLibVersion;
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

// The access flag that reaches the other architecture's view, or 0 where there is none: a
// 32-bit DLL on 32-bit Windows.
REGSAM OtherViewAccess() {
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
#endif
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// Deletes the key at path (below root) with its subkeys, in the given view. Each key is deleted
// through a handle to its parent opened in that view, so the view holds at every level.
LSTATUS DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    LSTATUS rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key);
    if (Missing(rc)) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];  // the longest key name is 255 characters
        DWORD length = 256;
        rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        children.emplace_back(name, length);
    }
    RegCloseKey(key);
    if (rc != ERROR_NO_MORE_ITEMS) return rc;
    for (const std::wstring& child : children) {
        rc = DeleteTree(root, path + L"\\" + child, view);
        if (rc != ERROR_SUCCESS) return rc;
    }
    const size_t slash = path.find_last_of(L'\\');
    HKEY parent = nullptr;
    rc =
        RegOpenKeyExW(root, path.substr(0, slash).c_str(), 0, KEY_READ | KEY_WRITE | view, &parent);
    if (rc != ERROR_SUCCESS) return Missing(rc) ? ERROR_SUCCESS : rc;
    rc = RegDeleteKeyW(parent, path.c_str() + slash + 1);
    RegCloseKey(parent);
    return Missing(rc) ? ERROR_SUCCESS : rc;
}

LSTATUS DeleteIfNoSubkeys(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY k = nullptr;
    LSTATUS rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &k);
    if (Missing(rc)) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    DWORD subkeys = 0;
    rc = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return rc;
    return subkeys > 0 ? ERROR_SUCCESS : DeleteTree(root, path, view);
}

LSTATUS Unregister(Scope scope) {
    const HKEY root = Root(scope);
    const std::wstring classesKey = kClassesKey;
    const std::wstring libid = Text(LIBID_QuorvelV11);
    const REGSAM other = OtherViewAccess();

    std::vector<ClassNames> names;
    OtherView state;
    for (const CoClass& c : Classes()) {
        const std::wstring clsid = Text(*c.clsid);
        names.push_back(
            {Narrow(clsid), Narrow(c.progId), Narrow(c.versionedProgId), Narrow(Text(*c.iid))});
        state.registersClass.push_back(
            other != 0 &&
            KeyExists(root, classesKey + L"CLSID\\" + clsid + L"\\InprocServer32", other));
    }
    state.hasTypeLibEntry = other != 0 && KeyExists(root,
                                                    classesKey + L"TypeLib\\" + libid + L"\\" +
                                                        kLibVersion + L"\\0\\" + kOtherPlatform,
                                                    other);
    const LibraryNames library{Narrow(libid), Narrow(kLibVersion), Narrow(kPlatform),
                               Narrow(kOtherPlatform)};

    LSTATUS first = ERROR_SUCCESS;
    for (const RemovalStep& step : UnregisterSteps(names, library, state)) {
        std::vector<REGSAM> views{0};
        if (step.views == Views::Both && other != 0) views.push_back(other);
        for (REGSAM view : views) {
            const std::wstring path = classesKey + Widen(step.key);
            LSTATUS rc = step.how == Removal::Tree ? DeleteTree(root, path, view)
                                                   : DeleteIfNoSubkeys(root, path, view);
            if (first == ERROR_SUCCESS) first = rc;
        }
    }
    return first;
}

}  // namespace

HRESULT RegisterServer(Scope scope, const std::wstring& dllPath) {
    if (dllPath.empty()) return E_UNEXPECTED;
    HKEY classes = nullptr;
    LSTATUS rc = RegCreateKeyExW(Root(scope), L"Software\\Classes", 0, nullptr, 0,
                                 KEY_READ | KEY_WRITE, nullptr, &classes, nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    for (const Value& v : Values(dllPath)) {
        rc = WriteValue(classes, v);
        if (rc != ERROR_SUCCESS) break;
    }
    RegCloseKey(classes);
    if (rc != ERROR_SUCCESS) Unregister(scope);
    return HRESULT_FROM_WIN32(rc);
}

HRESULT UnregisterServer(Scope scope) {
    return HRESULT_FROM_WIN32(Unregister(scope));
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
