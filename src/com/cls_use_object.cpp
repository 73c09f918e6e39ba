#include "com/cls_use_object.h"

#include "ui/win32/native_windows.h"

namespace quorvel::com {

HRESULT ClsUseObject::put_ConnString(BSTR value) {
    return PutProperty([&] { core_.ConnString(FromBstr(value)); });
}

HRESULT ClsUseObject::put_ConnectionTime(short value) {
    return PutProperty([&] { core_.ConnectionTime(value); });
}

HRESULT ClsUseObject::Show() {
    // The host may release its last reference from a window of its own while the browser is
    // open; the object, and the windows it owns, stay until the browser has closed.
    AddRef();
    struct Hold {
        ClsUseObject* self;
        ~Hold() { self->Release(); }
    } hold{this};
    try {
        // The windows and boxes of this thread are the real ones from here on; the core keeps
        // both per thread.
        UseWindowMessageBoxes();
        ui::win32::UseNativeWindows();
        core_.Show();  // shows its own failures; returns when the user closes the browser
    } catch (...) {
    }
    return S_OK;
}

}  // namespace quorvel::com
