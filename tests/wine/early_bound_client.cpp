// An early-bound host: binds to _GetAnalyseBarCode through the generated header's vtable, and
// checks that the slots the type library describes are the slots the DLL implements.
//
//   early_bound_client typelib FILE        checks the type library embedded in FILE
//   early_bound_client object [CONNSTRING] creates the class and calls it through the vtable;
//                                          with a connection string also on a demo store
//
// Message boxes the DLL shows are caught on this thread, recorded and answered with OK.
// Prints one line per check; the exit status is the number of failed checks.
#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "QuorvelV11.h"

extern "C" int HeaderSlot(const char* name);

namespace {

int gFailures = 0;

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++gFailures;
}

void CheckText(const std::wstring& got, const std::wstring& want, const std::string& what) {
    Check(got == want, what + ": got [" + Utf8(got) + "] want [" + Utf8(want) + "]");
}

// ---- the type library -------------------------------------------------------------------

struct Expected {
    const wchar_t* name;
    const char* narrow;
    INVOKEKIND kind;
    int slot;
};

constexpr Expected kMembers[] = {
    {L"ConnString", "ConnString", INVOKE_PROPERTYPUT, 7},
    {L"TxmGZ", "TxmGZ", INVOKE_PROPERTYPUT, 8},
    {L"TXMName", "TXMName", INVOKE_PROPERTYPUT, 9},
    {L"ConnectionTime", "ConnectionTime", INVOKE_PROPERTYPUT, 10},
    {L"ParseBarCode", "ParseBarCode", INVOKE_FUNC, 11},
    {L"StoreCode", "StoreCode", INVOKE_FUNC, 12},
};

std::wstring NameOf(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return L"";
    std::wstring out(name ? name : L"");
    SysFreeString(name);
    return out;
}

// An optional text parameter that defaults to the empty text.
bool DefaultsToEmptyText(const ELEMDESC& e) {
    const PARAMDESC& p = e.paramdesc;
    USHORT want = PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
    if ((p.wParamFlags & want) != want || !p.pparamdescex) return false;
    const VARIANT& v = p.pparamdescex->varDefaultValue;
    return V_VT(&v) == VT_BSTR && SysStringLen(V_BSTR(&v)) == 0;
}

bool IsTextByRef(const ELEMDESC& e) {
    return e.tdesc.vt == VT_PTR && e.tdesc.lptdesc && e.tdesc.lptdesc->vt == VT_BSTR;
}

std::wstring VersionString(const std::vector<char>& block, const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
    void* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &len) || !value) return L"";
    return static_cast<const wchar_t*>(value);
}

void CheckVersionResource(const wchar_t* file) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    Check(size > 0, "version resource present");
    if (size == 0) return;
    std::vector<char> block(size);
    GetFileVersionInfoW(file, 0, size, block.data());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len);
    Check(fixed && HIWORD(fixed->dwFileVersionMS) == 1 && LOWORD(fixed->dwFileVersionMS) == 0,
          "file version 1.0");
    CheckText(VersionString(block, L"ProductName"), L"QuorvelV11", "product name");
    CheckText(VersionString(block, L"OriginalFilename"), L"QuorvelV11.dll", "original file name");
    void* flag = nullptr;
    Check(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404B0\\OLESelfRegister", &flag,
                         &len) != 0,
          "marked as self-registering (OLESelfRegister)");
}

void CheckTypeLibrary(const wchar_t* file) {
    CheckVersionResource(file);
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(file, REGKIND_NONE, &lib);
    Check(SUCCEEDED(hr), "type library loads from " + Utf8(file));
    if (FAILED(hr)) return;

    TLIBATTR* la = nullptr;
    lib->GetLibAttr(&la);
    Check(la->guid == LIBID_QuorvelV11 && la->wMajorVerNum == 1 && la->wMinorVerNum == 0,
          "library QuorvelV11 version 1.0");
    const int pointer = la->syskind == SYS_WIN64 ? 8 : 4;
    std::printf("info syskind %s\n", la->syskind == SYS_WIN64 ? "win64" : "win32");
    lib->ReleaseTLibAttr(la);

    BSTR libName = nullptr;
    lib->GetDocumentation(-1, &libName, nullptr, nullptr, nullptr);
    CheckText(libName ? libName : L"", L"QuorvelV11", "library name");
    SysFreeString(libName);

    ITypeInfo* coclass = nullptr;
    hr = lib->GetTypeInfoOfGuid(CLSID_GetAnalyseBarCode, &coclass);
    Check(SUCCEEDED(hr), "coclass GetAnalyseBarCode present");
    if (SUCCEEDED(hr)) {
        TYPEATTR* ta = nullptr;
        coclass->GetTypeAttr(&ta);
        Check(ta->typekind == TKIND_COCLASS && (ta->wTypeFlags & TYPEFLAG_FCANCREATE) != 0,
              "GetAnalyseBarCode is a creatable coclass");
        coclass->ReleaseTypeAttr(ta);
        INT flags = 0;
        HREFTYPE ref = 0;
        ITypeInfo* def = nullptr;
        coclass->GetImplTypeFlags(0, &flags);
        coclass->GetRefTypeOfImplType(0, &ref);
        if (SUCCEEDED(coclass->GetRefTypeInfo(ref, &def))) {
            TYPEATTR* da = nullptr;
            def->GetTypeAttr(&da);
            Check(da->guid == IID__GetAnalyseBarCode && (flags & IMPLTYPEFLAG_FDEFAULT) != 0,
                  "its default interface is _GetAnalyseBarCode");
            def->ReleaseTypeAttr(da);
            def->Release();
        } else {
            Check(false, "its default interface resolves");
        }
        coclass->Release();
    }

    ITypeInfo* disp = nullptr;
    ITypeInfo* vt = nullptr;
    hr = lib->GetTypeInfoOfGuid(IID__GetAnalyseBarCode, &disp);
    Check(SUCCEEDED(hr), "interface _GetAnalyseBarCode present");
    if (FAILED(hr)) {
        lib->Release();
        return;
    }
    TYPEATTR* dattr = nullptr;
    disp->GetTypeAttr(&dattr);
    Check((dattr->wTypeFlags & TYPEFLAG_FDUAL) != 0, "_GetAnalyseBarCode is dual");
    disp->ReleaseTypeAttr(dattr);
    HREFTYPE vref = 0;
    disp->GetRefTypeOfImplType(static_cast<UINT>(-1), &vref);
    hr = disp->GetRefTypeInfo(vref, &vt);
    Check(SUCCEEDED(hr), "its vtable interface resolves");
    if (FAILED(hr)) {
        disp->Release();
        lib->Release();
        return;
    }

    TYPEATTR* vattr = nullptr;
    vt->GetTypeAttr(&vattr);
    Check(vattr->cFuncs == 6, "six members, got " + std::to_string(vattr->cFuncs));
    Check(vattr->cbSizeVft == 13 * pointer, "vtable of 13 slots");
    for (UINT i = 0; i < vattr->cFuncs && i < 6; ++i) {
        FUNCDESC* fd = nullptr;
        vt->GetFuncDesc(i, &fd);
        const Expected& e = kMembers[i];
        std::wstring name = NameOf(vt, fd->memid);
        // oleaut32 reports vtable offsets for the pointers of the process that loaded the
        // library, whatever platform the library was built for.
        int slot = fd->oVft / static_cast<int>(sizeof(void*));
        Check(name == e.name && fd->invkind == e.kind && slot == e.slot,
              "slot " + std::to_string(e.slot) + " is " + e.narrow +
                  " (type library: " + Utf8(name) + " at " + std::to_string(slot) + ")");
        if (pointer == static_cast<int>(sizeof(void*))) {
            Check(HeaderSlot(e.narrow) == slot,
                  std::string("generated header puts ") + e.narrow + " at the same slot");
        }
        if (i == 3) {
            Check(fd->cParams == 1 && fd->lprgelemdescParam[0].tdesc.vt == VT_I2,
                  "ConnectionTime takes a 16-bit integer");
        }
        if (i == 4) {
            bool shape = fd->cParams == 4 && IsTextByRef(fd->lprgelemdescParam[0]) &&
                         (fd->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FOPT) == 0 &&
                         DefaultsToEmptyText(fd->lprgelemdescParam[1]) &&
                         DefaultsToEmptyText(fd->lprgelemdescParam[2]) &&
                         IsTextByRef(fd->lprgelemdescParam[1]) &&
                         (fd->lprgelemdescParam[3].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
            Check(shape, "ParseBarCode(lbid, [Txm = \"\"], [Gzid = \"\"]) as text");
        }
        if (i == 5) {
            bool shape = fd->cParams == 2 && IsTextByRef(fd->lprgelemdescParam[0]) &&
                         DefaultsToEmptyText(fd->lprgelemdescParam[0]) &&
                         (fd->lprgelemdescParam[1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
            Check(shape, "StoreCode([Gzid = \"\"]) as text");
        }
        vt->ReleaseFuncDesc(fd);
    }
    vt->ReleaseTypeAttr(vattr);
    vt->Release();
    disp->Release();
    lib->Release();
}

// ---- message boxes ------------------------------------------------------------------------

struct Box {
    std::wstring title;
    std::wstring text;
    HICON icon = nullptr;
    HWND owner = nullptr;
};
std::vector<Box> gBoxes;
HHOOK gHook = nullptr;

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
    Box& box = *reinterpret_cast<Box*>(param);
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") != 0) return TRUE;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        box.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        return TRUE;
    }
    wchar_t text[1024] = {};
    GetWindowTextW(child, text, 1024);
    if (text[0]) box.text = text;
    return TRUE;
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (lstrcmpW(cls, L"#32770") == 0) {
            Box box;
            wchar_t title[256] = {};
            GetWindowTextW(hwnd, title, 256);
            box.title = title;
            box.owner = GetWindow(hwnd, GW_OWNER);
            EnumChildWindows(hwnd, ReadChild, reinterpret_cast<LPARAM>(&box));
            gBoxes.push_back(box);
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(gHook, code, wParam, lParam);
}

// Checks that exactly one box appeared since the last call, with this title and icon.
void CheckOneBox(const std::wstring& title, LPCWSTR icon, const std::wstring& text,
                 const std::string& what) {
    Check(gBoxes.size() == 1, what + ": one message box, got " + std::to_string(gBoxes.size()));
    if (gBoxes.size() == 1) {
        CheckText(gBoxes[0].title, title, what + ": box title");
        Check(gBoxes[0].icon == LoadIconW(nullptr, icon), what + ": box icon");
        if (!text.empty()) CheckText(gBoxes[0].text, text, what + ": box text");
    }
    gBoxes.clear();
}

// ---- the object ----------------------------------------------------------------------------

struct Bstr {
    BSTR s = nullptr;
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : s(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(s); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    std::wstring str() const { return std::wstring(s ? s : L"", s ? SysStringLen(s) : 0); }
};

_GetAnalyseBarCode* Create() {
    _GetAnalyseBarCode* p = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_GetAnalyseBarCode, nullptr, CLSCTX_INPROC_SERVER,
                                  IID__GetAnalyseBarCode, reinterpret_cast<void**>(&p));
    Check(SUCCEEDED(hr) && p, "CoCreateInstance of QuorvelV11.GetAnalyseBarCode");
    return SUCCEEDED(hr) ? p : nullptr;
}

HRESULT CanUnload() {
    auto fn = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"QuorvelV11.dll"), "DllCanUnloadNow")));
    return fn ? fn() : E_FAIL;
}

void CheckWithoutStore() {
    _GetAnalyseBarCode* o = Create();
    if (!o) return;
    Check(CanUnload() == S_FALSE, "the DLL stays loaded while an object lives");

    // The calling thread's active window owns the boxes.
    HWND owner = CreateWindowExW(0, L"STATIC", L"host window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(owner);

    Bstr gz(L"R01"), result;
    HRESULT hr = o->StoreCode(&gz.s, &result.s);
    Check(hr == S_OK, "StoreCode on a never opened connection returns S_OK");
    CheckText(result.str(), L"", "StoreCode on a never opened connection");
    Check(gBoxes.size() == 1 && gBoxes[0].owner == owner, "the box is owned by the active window");
    CheckOneBox(L"系统提示", IDI_EXCLAMATION, L"", "StoreCode on a never opened connection");
    DestroyWindow(owner);

    // An omitted optional argument (a null pointer) is the empty text.
    Bstr none;
    hr = o->StoreCode(nullptr, &none.s);
    Check(hr == S_OK && none.str().empty(), "StoreCode with Gzid left out returns S_OK and \"\"");
    gBoxes.clear();

    Check(o->StoreCode(&gz.s, nullptr) == E_POINTER, "no place for the result: E_POINTER");
    Check(o->ParseBarCode(nullptr, nullptr, nullptr, nullptr) == E_POINTER,
          "ParseBarCode without a place for the result: E_POINTER");
    Check(gBoxes.empty(), "no box when the call cannot return its text");

    // A connection string no driver accepts: the connection box, and the empty text.
    Bstr cs(L"Driver={No Such Driver};Database=C:\\nowhere.db");
    Check(o->put_ConnString(cs.s) == S_OK, "put ConnString");
    Check(o->put_ConnectionTime(3) == S_OK, "put ConnectionTime");
    Bstr lbid(L"A,B"), parsed;
    hr = o->ParseBarCode(&lbid.s, nullptr, nullptr, &parsed.s);
    Check(hr == S_OK, "ParseBarCode on a failing connection returns S_OK");
    CheckText(parsed.str(), L"", "ParseBarCode on a failing connection");
    CheckOneBox(L"错误：", IDI_EXCLAMATION, L"数据库连接失败,请与管理员联系!",
                "ParseBarCode on a failing connection");

    o->Release();
    Check(CanUnload() == S_OK, "the DLL may unload once the last object is gone");
}

void CheckOnStore(const wchar_t* connString) {
    _GetAnalyseBarCode* o = Create();
    if (!o) return;
    // Each put goes to its own slot: swapped slots would give another answer below.
    Bstr cs(connString), rule(L"R01"), barcode(L"2100123004567");
    o->put_ConnString(cs.s);
    o->put_TxmGZ(rule.s);
    o->put_TXMName(barcode.s);
    o->put_ConnectionTime(5);

    Bstr lbid(L"A,B"), r1;
    Check(o->ParseBarCode(&lbid.s, nullptr, nullptr, &r1.s) == S_OK, "ParseBarCode S_OK");
    CheckText(r1.str(), L"00123,004.56", "worked example with the defaults of TXMName and TxmGZ");

    Bstr lbid2(L"A,C,B"), txm(L"2100123004567"), gzid(L"R01"), r2;
    o->ParseBarCode(&lbid2.s, &txm.s, &gzid.s, &r2.s);
    CheckText(r2.str(), L"00123,,004.56", "worked example with a category the rule lacks");
    CheckText(lbid2.str(), L"A,C,B", "ParseBarCode leaves its arguments unchanged");

    Bstr r3;
    o->StoreCode(&gzid.s, &r3.s);
    CheckText(r3.str(), L"21", "StoreCode of R01");
    Check(gBoxes.empty(), "no message box on the store");
    gBoxes.clear();

    // Two objects share the connection: releasing one closes it for the other.
    _GetAnalyseBarCode* second = Create();
    if (second) {
        Bstr r4;
        second->StoreCode(&gzid.s, &r4.s);
        CheckText(r4.str(), L"21", "a second object uses the shared connection");
        o->Release();
        o = nullptr;
        Bstr r5;
        Check(second->StoreCode(&gzid.s, &r5.s) == S_OK, "StoreCode after the release: S_OK");
        CheckText(r5.str(), L"", "StoreCode after the other object's release");
        CheckOneBox(L"系统提示", IDI_EXCLAMATION, L"", "StoreCode on the closed connection");
        second->Release();
    }
    if (o) o->Release();
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: early_bound_client typelib FILE | object [CONNSTRING]\n");
        return 100;
    }
    std::wstring mode = argv[1];
    if (mode == L"typelib" && argc == 3) {
        CheckTypeLibrary(argv[2]);
        return gFailures;
    }
    if (mode != L"object") return 100;

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    gHook = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
    Check(gHook != nullptr, "message box hook installed");
    CheckWithoutStore();
    // With no object left the DLL may be unloaded while this thread lives on; its per-thread
    // state must neither crash that nor stop a later object from working.
    CoFreeUnusedLibrariesEx(0, 0);
    if (argc >= 3) CheckOnStore(argv[2]);
    UnhookWindowsHookEx(gHook);
    CoUninitialize();
    return gFailures;
}
