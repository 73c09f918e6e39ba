#include "ui/win32/images.h"
#include "ui/win32/native_control.h"

#include <commctrl.h>

#include <vector>

namespace quorvel::ui::win32 {

namespace {

class ToolbarAdapter final : public NativeControl {
  public:
    ToolbarAdapter(FormSite& site, Toolbar& bar) : NativeControl(site, bar), bar_(bar) {}
    ~ToolbarAdapter() override {
        if (images_) ImageList_Destroy(images_);
    }

    void OnButton(int id) override {
        const auto index = static_cast<size_t>(id - kFirstToolbarId);
        if (index < bar_.buttons.size()) site_.Form().ClickToolbar(bar_, bar_.buttons[index].key);
    }

  protected:
    Look Describe() const override {
        return Look{TOOLBARCLASSNAMEW,
                    TBSTYLE_FLAT | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                    0,
                    {}};
    }
    void Created(const RECT& r) override {
        SendMessageW(hwnd_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        images_ = CreateToolbarImages();
        SendMessageW(hwnd_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
        std::vector<TBBUTTON> buttons;
        for (size_t i = 0; i < bar_.buttons.size(); ++i) {
            const ToolbarButton& b = bar_.buttons[i];
            TBBUTTON tb{};
            if (b.separator) {
                tb.fsStyle = BTNS_SEP;
                tb.iBitmap = 8;
            } else {
                std::u16string s = b.caption;
                s.push_back(u'\0');  // the list of strings ends with an empty one
                tb.iString = SendMessageW(hwnd_, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(W(s)));
                tb.iBitmap = b.image > 0 && b.image <= bar_.imageCount ? b.image - 1 : I_IMAGENONE;
                tb.idCommand = kFirstToolbarId + static_cast<int>(i);
                tb.fsState = TBSTATE_ENABLED;
                tb.fsStyle = BTNS_BUTTON;
            }
            buttons.push_back(tb);
        }
        SendMessageW(hwnd_, TB_ADDBUTTONSW, buttons.size(),
                     reinterpret_cast<LPARAM>(buttons.data()));
        SendMessageW(hwnd_, TB_AUTOSIZE, 0, 0);
        // Keep the designed rectangle: the toolbar would otherwise fit itself to the buttons.
        SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void Update() override {}

  private:
    Toolbar& bar_;
    HIMAGELIST images_ = nullptr;
};

}  // namespace

std::unique_ptr<NativeControl> MakeToolbar(FormSite& site, Toolbar& c) {
    return std::make_unique<ToolbarAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
