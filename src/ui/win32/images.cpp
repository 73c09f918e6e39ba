#include "ui/win32/images.h"

#include <array>
#include <cwchar>

namespace quorvel::ui::win32 {

namespace {

constexpr int kSize = 16;
constexpr int kImages = 6;
constexpr COLORREF kMask = RGB(255, 0, 255);

class Gdi {
  public:
    Gdi(HDC dc, COLORREF pen, int width, COLORREF fill) : dc_(dc) {
        pen_ = CreatePen(PS_SOLID, width, pen);
        brush_ = CreateSolidBrush(fill);
        oldPen_ = SelectObject(dc_, pen_);
        oldBrush_ = SelectObject(dc_, brush_);
    }
    ~Gdi() {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
        DeleteObject(pen_);
        DeleteObject(brush_);
    }
    Gdi(const Gdi&) = delete;
    Gdi& operator=(const Gdi&) = delete;

  private:
    HDC dc_;
    HPEN pen_;
    HBRUSH brush_;
    HGDIOBJ oldPen_;
    HGDIOBJ oldBrush_;
};

void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void Page(HDC dc, int x) {
    Gdi g(dc, RGB(64, 64, 64), 1, RGB(255, 255, 255));
    std::array<POINT, 5> p{{{x + 2, 1}, {x + 10, 1}, {x + 13, 4}, {x + 13, 14}, {x + 2, 14}}};
    Polygon(dc, p.data(), static_cast<int>(p.size()));
    Line(dc, x + 10, 1, x + 10, 4);
    Line(dc, x + 10, 4, x + 13, 4);
}

void DrawDefine(HDC dc, int x) {
    Page(dc, x);
    Gdi g(dc, RGB(0, 140, 0), 3, RGB(0, 140, 0));
    Line(dc, x + 7, 6, x + 7, 13);
    Line(dc, x + 4, 9, x + 11, 9);
}

void DrawAmend(HDC dc, int x) {
    Page(dc, x);
    {
        Gdi g(dc, RGB(200, 140, 0), 3, RGB(200, 140, 0));
        Line(dc, x + 5, 12, x + 13, 4);
    }
    Gdi g(dc, RGB(40, 40, 40), 1, RGB(40, 40, 40));
    Line(dc, x + 3, 14, x + 5, 12);
}

void DrawDelete(HDC dc, int x) {
    Gdi g(dc, RGB(200, 0, 0), 3, RGB(200, 0, 0));
    Line(dc, x + 3, 3, x + 12, 12);
    Line(dc, x + 12, 3, x + 3, 12);
}

void DrawSave(HDC dc, int x) {
    {
        Gdi g(dc, RGB(0, 0, 96), 1, RGB(40, 80, 170));
        Rectangle(dc, x + 1, 1, x + 15, 15);
    }
    {
        Gdi g(dc, RGB(0, 0, 96), 1, RGB(255, 255, 255));
        Rectangle(dc, x + 4, 1, x + 12, 7);
    }
    Gdi g(dc, RGB(0, 0, 96), 1, RGB(200, 200, 200));
    Rectangle(dc, x + 4, 10, x + 12, 15);
}

void DrawRefresh(HDC dc, int x) {
    {
        Gdi g(dc, RGB(0, 120, 0), 2, RGB(0, 120, 0));
        Arc(dc, x + 2, 2, x + 14, 14, x + 14, 8, x + 8, 2);
    }
    Gdi g(dc, RGB(0, 120, 0), 1, RGB(0, 120, 0));
    std::array<POINT, 3> head{{{x + 8, 0}, {x + 8, 5}, {x + 5, 2}}};
    Polygon(dc, head.data(), static_cast<int>(head.size()));
}

void DrawExit(HDC dc, int x) {
    {
        Gdi g(dc, RGB(90, 50, 10), 1, RGB(160, 100, 40));
        Rectangle(dc, x + 2, 1, x + 10, 15);
    }
    {
        Gdi g(dc, RGB(255, 220, 0), 1, RGB(255, 220, 0));
        Rectangle(dc, x + 7, 7, x + 9, 9);
    }
    Gdi g(dc, RGB(0, 0, 160), 2, RGB(0, 0, 160));
    Line(dc, x + 9, 11, x + 15, 11);
    std::array<POINT, 3> head{{{x + 15, 11}, {x + 12, 8}, {x + 12, 14}}};
    Polygon(dc, head.data(), static_cast<int>(head.size()));
}

}  // namespace

HIMAGELIST CreateToolbarImages() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP strip = CreateCompatibleBitmap(screen, kSize * kImages, kSize);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, strip);
    RECT all{0, 0, kSize * kImages, kSize};
    HBRUSH mask = CreateSolidBrush(kMask);
    FillRect(dc, &all, mask);
    DeleteObject(mask);
    using Draw = void (*)(HDC, int);
    const std::array<Draw, kImages> draws{DrawDefine, DrawAmend,   DrawDelete,
                                          DrawSave,   DrawRefresh, DrawExit};
    for (int i = 0; i < kImages; ++i) draws[static_cast<size_t>(i)](dc, i * kSize);
    SelectObject(dc, old);
    DeleteDC(dc);
    HIMAGELIST list = ImageList_Create(kSize, kSize, ILC_COLOR24 | ILC_MASK, kImages, 0);
    if (list) ImageList_AddMasked(list, strip, kMask);
    DeleteObject(strip);
    return list;
}

HBITMAP CreateBanner(int width, int height, const wchar_t* text, int dpi) {
    if (width <= 0 || height <= 0) return nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    for (int x = 0; x < width; ++x) {
        const int t = width > 1 ? x * 255 / (width - 1) : 0;
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(20 + t * 180 / 255, 60 + t * 170 / 255, 140 + t / 3));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        Line(dc, x, 0, x, height);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }
    HFONT font = CreateFontW(-MulDiv(15, dpi, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                             GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    // The banner's left part lies outside the window: the text sits in its visible right part.
    RECT r{width / 4, 0, width - 8, height};
    DrawTextW(dc, text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, old);
    DeleteDC(dc);
    return bmp;
}

}  // namespace quorvel::ui::win32
