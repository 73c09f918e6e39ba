// Labels, frames and the banner picture: windows that show something and take no input.
#include "ui/win32/images.h"
#include "ui/win32/native_control.h"

namespace quorvel::ui::win32 {

namespace {

class StaticAdapter final : public NativeControl {
  public:
    StaticAdapter(FormSite& site, Label& label) : NativeControl(site, label), label_(label) {}

  protected:
    Look Describe() const override {
        Look look;
        if (model_.Kind() == ControlKind::Label) {
            look.style = SS_LEFT | SS_NOPREFIX;
            look.text = label_.Caption();
        } else if (model_.rect.height < 200) {
            // A frame only a few pixels high is the separator line it is drawn as.
            look.style = SS_ETCHEDHORZ;
        } else {
            look.windowClass = L"BUTTON";
            look.style = BS_GROUPBOX;
            look.text = label_.Caption();
        }
        return look;
    }
    void Update() override {
        const auto& caption = label_.Caption();
        if (WindowText(hwnd_) != caption) SetWindowTextW(hwnd_, W(caption));
    }

  private:
    Label& label_;
};

class PictureAdapter final : public NativeControl {
  public:
    PictureAdapter(FormSite& site, PictureBox& picture)
        : NativeControl(site, picture), picture_(picture) {}
    ~PictureAdapter() override {
        if (banner_) DeleteObject(banner_);
    }

  protected:
    Look Describe() const override {
        Look look;
        look.style = SS_BITMAP;
        return look;
    }
    RECT Rect() const override {
        RECT r = NativeControl::Rect();
        const int dpi = site_.Dpi();
        if (picture_.pictureWidthPx > 0)
            r.right = r.left + MulDiv(picture_.pictureWidthPx, dpi, 96);
        if (picture_.pictureHeightPx > 0)
            r.bottom = r.top + MulDiv(picture_.pictureHeightPx, dpi, 96);
        return r;
    }
    void Created(const RECT& r) override {
        banner_ =
            CreateBanner(r.right - r.left, r.bottom - r.top, W(site_.Form().caption), site_.Dpi());
        SendMessageW(hwnd_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_));
    }
    void Update() override {}

  private:
    PictureBox& picture_;
    HBITMAP banner_ = nullptr;
};

}  // namespace

std::unique_ptr<NativeControl> MakeStatic(FormSite& site, Control& c) {
    return std::make_unique<StaticAdapter>(site, static_cast<Label&>(c));
}

std::unique_ptr<NativeControl> MakePicture(FormSite& site, PictureBox& c) {
    return std::make_unique<PictureAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
