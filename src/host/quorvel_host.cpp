// quorvel-host: does what a retail host does with the component, from a command line.
//
//   quorvel-host [--window] PROGID [Property=value ...] METHOD [argument ...]
//
// With --window it first opens a window of its own, as a till program has one, and says after
// the call whether that window took input while the call ran and whether it takes input again.
//
// It creates the class by its ProgID, sets each property, calls the method with the arguments
// as texts (late bound, through IDispatch, as script hosts call it) and prints the method's
// result, if any, as UTF-8. Examples:
//
//   quorvel-host QuorvelV11.ClsUse "ConnString=Driver={SQLite3};Database=/tmp/demo.db" Show
//   quorvel-host QuorvelV11.GetAnalyseBarCode "ConnString=..." ParseBarCode A 2012345678901
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text, int length) {
    if (length <= 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

// Wide text to a console as it is (the console's code page cannot spoil it); to a file or a pipe
// as UTF-8.
void Write(DWORD stream, const std::wstring& text) {
    HANDLE out = GetStdHandle(stream);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string s = Utf8(text.c_str(), static_cast<int>(text.size()));
    WriteFile(out, s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

void Print(const std::wstring& text) {
    Write(STD_OUTPUT_HANDLE, text);
}

// The strings a failed Invoke hands over belong to the caller.
struct ExcepInfo : EXCEPINFO {
    ExcepInfo() : EXCEPINFO{} {}
    ~ExcepInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
};

void Fail(const std::wstring& what, HRESULT hr, const EXCEPINFO* ex = nullptr) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = L"quorvel-host: " + what + L" failed (" + code + L")";
    if (ex && ex->bstrDescription) text += std::wstring(L": ") + ex->bstrDescription;
    Write(STD_ERROR_HANDLE, text + L"\n");
}

class Variant {
  public:
    Variant() { VariantInit(&v); }
    explicit Variant(const std::wstring& text) {
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT v;
};

DISPID IdOf(IDispatch* object, const std::wstring& name, HRESULT* hr) {
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name.c_str());
    *hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// The host's own window: a timer looks, while the component's windows run the thread's
// messages, whether the window would take input.
bool gSawDisabled = false;
bool gSawEnabled = false;

LRESULT CALLBACK HostProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        (IsWindowEnabled(h) ? gSawEnabled : gSawDisabled) = true;
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

HWND OpenHostWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"QuorvelHostWindow";
    RegisterClassW(&wc);
    HWND h = CreateWindowExW(0, wc.lpszClassName, L"quorvel-host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             0, 0, 240, 120, nullptr, nullptr, wc.hInstance, nullptr);
    if (h) SetTimer(h, 1, 50, nullptr);
    return h;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 3) {
        Print(L"usage: quorvel-host PROGID [Property=value ...] METHOD [argument ...]\n");
        return 2;
    }
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(argv[1], &clsid);
    if (FAILED(hr)) {
        Fail(std::wstring(L"looking up ") + argv[1], hr);
        return 1;
    }
    IDispatch* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        Fail(std::wstring(L"creating ") + argv[1], hr);
        return 1;
    }
    int status = 0;
    int i = 2;
    for (; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const size_t eq = arg.find(L'=');
        if (eq == std::wstring::npos) break;
        const std::wstring name = arg.substr(0, eq);
        DISPID id = IdOf(object, name, &hr);
        if (FAILED(hr)) {
            Fail(L"finding property " + name, hr);
            status = 1;
            break;
        }
        Variant value(arg.substr(eq + 1));
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value.v, &named, 1, 1};
        ExcepInfo ex;
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                            nullptr, &ex, nullptr);
        if (FAILED(hr)) {
            Fail(L"setting " + name, hr, &ex);
            status = 1;
            break;
        }
    }
    if (status == 0 && i >= argc) {
        Print(L"quorvel-host: no method given\n");
        status = 2;
    }
    if (status == 0) {
        const std::wstring method = argv[i];
        DISPID id = IdOf(object, method, &hr);
        if (FAILED(hr)) {
            Fail(L"finding method " + method, hr);
            status = 1;
        } else {
            // Arguments go in reverse order, as IDispatch expects them.
            std::vector<VARIANT> raw(static_cast<size_t>(argc - 1 - i));
            for (size_t k = 0; k < raw.size(); ++k) {
                const wchar_t* text = argv[argc - 1 - static_cast<int>(k)];
                VariantInit(&raw[k]);
                raw[k].vt = VT_BSTR;
                raw[k].bstrVal = SysAllocString(text);
            }
            DISPPARAMS params{raw.empty() ? nullptr : raw.data(), nullptr,
                              static_cast<UINT>(raw.size()), 0};
            Variant result;
            ExcepInfo ex;
            gSawDisabled = false;
            gSawEnabled = false;
            hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                &result.v, &ex, nullptr);
            if (FAILED(hr)) {
                Fail(L"calling " + method, hr, &ex);
                status = 1;
            } else if (result.v.vt != VT_EMPTY &&
                       SUCCEEDED(VariantChangeType(&result.v, &result.v, 0, VT_BSTR))) {
                Print(std::wstring(result.v.bstrVal, SysStringLen(result.v.bstrVal)) + L"\n");
            }
            for (auto& v : raw) VariantClear(&v);
        }
    }
    object->Release();  // for ClsUse this closes the shared connection
    return status;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 1;
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        Fail(L"starting COM", hr);
        LocalFree(argv);
        return 1;
    }
    HWND window = nullptr;
    std::vector<wchar_t*> args(argv, argv + argc);
    if (args.size() > 1 && std::wstring(args[1]) == L"--window") {
        window = OpenHostWindow();
        args.erase(args.begin() + 1);
    }
    const int status = Run(static_cast<int>(args.size()), args.data());
    if (window) {
        // Only the component's message loops ran while the call did.
        const bool disabledDuring = gSawDisabled && !gSawEnabled;
        Print(std::wstring(L"host window ") +
              (disabledDuring ? L"disabled during the call" : L"usable during the call") +
              (IsWindowEnabled(window) ? L", enabled after\n" : L", disabled after\n"));
        DestroyWindow(window);
    }
    CoUninitialize();
    LocalFree(argv);
    return status;
}
