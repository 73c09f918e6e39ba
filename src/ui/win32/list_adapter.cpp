#include "ui/win32/native_control.h"

#include <vector>

namespace quorvel::ui::win32 {

namespace {

class ListAdapter final : public NativeControl {
  public:
    ListAdapter(FormSite& site, ListBox& list) : NativeControl(site, list), list_(list) {}

    void OnCommand(int code) override {
        if (code == LBN_SELCHANGE) {
            const auto sel = static_cast<int32_t>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
            current_ = -2;
            Safely([&] {
                if (list_.CanFocus() && !list_.HasFocus()) site_.Form().SetFocus(list_);
                if (sel != list_.ListIndex()) list_.SetListIndex(sel);
            });
            site_.Push(list_);
        } else if (code == LBN_DBLCLK) {
            site_.Form().DoubleClickOn(list_);
        }
    }

    void NativeKey(MSG& m) override {
        // Its selection changes come back as LBN_SELCHANGE, as a click's do.
        if (!ModelKey(m.wParam)) PassKey(m);
    }

  protected:
    Look Describe() const override {
        return Look{L"LISTBOX",
                    WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                    WS_EX_CLIENTEDGE,
                    {}};
    }
    void Update() override {
        // The model's list only grows item by item or is cleared, and every change comes here:
        // items added after those shown are appended, so that filling a list costs one native
        // call per item rather than a rebuild per item.
        const auto count = static_cast<size_t>(list_.ListCount());
        const size_t shown = items_.size();
        if (count < shown ||
            (shown > 0 && list_.List(static_cast<int32_t>(shown - 1)) != items_.back())) {
            SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
            items_.clear();
            current_ = -2;
        }
        for (size_t i = items_.size(); i < count; ++i) {
            items_.push_back(list_.List(static_cast<int32_t>(i)));
            SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(items_.back())));
            current_ = -2;
        }
        if (current_ != list_.ListIndex()) {
            SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(list_.ListIndex()), 0);
            current_ = list_.ListIndex();
        }
    }

  private:
    ListBox& list_;
    std::vector<std::u16string> items_;  // what the native list shows, to push only what changed
    int32_t current_ = -2;
};

}  // namespace

std::unique_ptr<NativeControl> MakeList(FormSite& site, ListBox& c) {
    return std::make_unique<ListAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
