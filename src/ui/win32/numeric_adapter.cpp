#include "ui/win32/edit_adapter.h"

namespace quorvel::ui::win32 {

namespace {

class NumericAdapter final : public EditAdapter {
  public:
    NumericAdapter(FormSite& site, NumericBox& box) : EditAdapter(site, box), box_(box) {}

    void FocusLeft() override {
        // The numeric box keeps a number it is left with inside its limits.
        if (!box_.Enabled() || box_.Text().empty()) return;
        const double v = box_.Value();
        if (v < box_.min) box_.SetValue(box_.min);
        if (v > box_.max) box_.SetValue(box_.max);
    }

  protected:
    Look Describe() const override {
        Look look = EditAdapter::Describe();
        look.style |= ES_RIGHT;
        look.exStyle = box_.borderStyle != 0 ? WS_EX_CLIENTEDGE : 0;
        return look;
    }
    bool ShowsPlaceholder() const override { return box_.Text().empty() && box_.showZero; }

  private:
    NumericBox& box_;
};

}  // namespace

std::unique_ptr<NativeControl> MakeNumeric(FormSite& site, NumericBox& c) {
    return std::make_unique<NumericAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
