// The edit control behind a text box, and behind the numeric box that builds on it.
#pragma once

#include "ui/win32/native_control.h"

namespace quorvel::ui::win32 {

class EditAdapter : public NativeControl {
  public:
    EditAdapter(FormSite& site, TextBox& box) : NativeControl(site, box), box_(box) {}

    void OnCommand(int code) override;
    bool Color(HDC dc, HBRUSH& brush) override;
    void ReadSelection() override;

  protected:
    Look Describe() const override;
    void Update() override;
    // Whether the box shows a zero that stands for no number, rather than its text.
    virtual bool ShowsPlaceholder() const { return false; }

  private:
    TextBox& box_;
};

}  // namespace quorvel::ui::win32
