#include "ui/win32/native_control.h"

#include <commctrl.h>

namespace quorvel::ui::win32 {

namespace {

class StatusAdapter final : public NativeControl {
  public:
    StatusAdapter(FormSite& site, StatusBar& bar) : NativeControl(site, bar), bar_(bar) {}

  protected:
    Look Describe() const override {
        return Look{STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0, {}};
    }
    void Update() override {
        SendMessageW(hwnd_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(W(bar_.panelText)));
    }

  private:
    StatusBar& bar_;
};

}  // namespace

std::unique_ptr<NativeControl> MakeStatus(FormSite& site, StatusBar& c) {
    return std::make_unique<StatusAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
