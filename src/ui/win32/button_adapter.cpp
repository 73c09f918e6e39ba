#include "ui/win32/native_control.h"

namespace quorvel::ui::win32 {

namespace {

class ButtonAdapter final : public NativeControl {
  public:
    ButtonAdapter(FormSite& site, CommandButton& button)
        : NativeControl(site, button), button_(button) {}

    void OnCommand(int code) override {
        if (code == BN_CLICKED) site_.Form().ClickOn(button_);
    }

  protected:
    Look Describe() const override {
        return Look{L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, button_.Caption()};
    }
    void Update() override {
        const auto& caption = button_.Caption();
        if (WindowText(hwnd_) != caption) SetWindowTextW(hwnd_, W(caption));
    }

  private:
    CommandButton& button_;
};

}  // namespace

std::unique_ptr<NativeControl> MakeButton(FormSite& site, CommandButton& c) {
    return std::make_unique<ButtonAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
