#include "ui/win32/native_control.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace quorvel::ui::win32 {

namespace {

class GridAdapter final : public NativeControl {
  public:
    GridAdapter(FormSite& site, Grid& grid) : NativeControl(site, grid), grid_(grid) {}

    LRESULT OnNotify(NMHDR* nm) override {
        if (nm->code == LVN_ITEMCHANGED) {
            // The list view moved its selection itself (paging, Home, End): the model follows.
            const auto* lv = reinterpret_cast<NMLISTVIEW*>(nm);
            if (lv->iItem >= 0 && (lv->uNewState & LVIS_SELECTED) &&
                !(lv->uOldState & LVIS_SELECTED) && lv->iItem + 1 != grid_.Row()) {
                current_ = lv->iItem + 1;
                Safely([&] {
                    if (lv->iItem + 1 < grid_.Rows()) grid_.SetRow(lv->iItem + 1);
                });
            }
            return 0;
        }
        if (nm->code != NM_CLICK && nm->code != NM_DBLCLK) return 0;
        Window& form = site_.Form();
        const int item = reinterpret_cast<NMITEMACTIVATE*>(nm)->iItem;
        Safely([&] {
            if (item >= 0 && item + 1 < grid_.Rows()) grid_.SetRow(item + 1);
        });
        current_ = -2;
        if (nm->code == NM_CLICK) {
            form.ClickOn(grid_);
        } else if (item >= 0) {
            form.DoubleClickOn(grid_);
        }
        if (form.IsOpen()) site_.Push(grid_);
        return 0;
    }

    void NativeKey(MSG& m) override {
        if (ModelKey(m.wParam)) return;
        if (m.wParam == VK_LEFT || m.wParam == VK_RIGHT) {
            // Sideways through wide levels; a list view in report view does not do it itself
            // everywhere.
            ListView_Scroll(hwnd_, m.wParam == VK_LEFT ? -Px(600) : Px(600), 0);
            return;
        }
        PassKey(m);
    }

    bool RefusesPress(const MSG& m) const override {
        // A grid whose columns the user may not resize takes no press on a divider of its
        // header: neither the drag that resizes nor the double click that fits a column.
        if (grid_.userResize || m.hwnd != ListView_GetHeader(hwnd_)) return false;
        HDHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))};
        SendMessageW(m.hwnd, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        return (hit.flags & (HHT_ONDIVIDER | HHT_ONDIVOPEN)) != 0;
    }

  protected:
    Look Describe() const override {
        return Look{
            WC_LISTVIEWW,
            WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_HSCROLL | WS_VSCROLL,
            WS_EX_CLIENTEDGE,
            {}};
    }
    void Created(const RECT& /*r*/) override {
        ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    }
    void Update() override;

  private:
    void Fill(const std::vector<std::vector<std::u16string>>& cells);

    Grid& grid_;
    std::vector<std::vector<std::u16string>> cells_;  // what the list view shows
    int32_t current_ = -2;
};

void GridAdapter::Update() {
    std::vector<std::vector<std::u16string>> cells(static_cast<size_t>(grid_.Rows()));
    for (int32_t r = 0; r < grid_.Rows(); ++r) {
        for (int32_t k = 0; k < grid_.Cols(); ++k)
            cells[static_cast<size_t>(r)].push_back(grid_.TextMatrix(r, k));
    }
    if (cells != cells_) {
        Fill(cells);
        cells_ = std::move(cells);
        current_ = -2;
    }
    if (current_ != grid_.Row()) {
        ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (grid_.Row() >= 1) {
            ListView_SetItemState(hwnd_, grid_.Row() - 1, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(hwnd_, grid_.Row() - 1, FALSE);
        }
        current_ = grid_.Row();
    }
}

void GridAdapter::Fill(const std::vector<std::vector<std::u16string>>& cells) {
    HWND h = hwnd_;
    SendMessageW(h, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(h);
    while (ListView_DeleteColumn(h, 0)) {
    }
    const auto& header = cells.empty() ? std::vector<std::u16string>{} : cells[0];
    for (size_t k = 0; k < header.size(); ++k) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.fmt = LVCFMT_LEFT;
        col.pszText = const_cast<wchar_t*>(W(header[k]));
        col.cx = Px(180);
        SendMessageW(h, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&col));
    }
    for (size_t r = 1; r < cells.size(); ++r) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(r - 1);
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(h, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (size_t k = 1; k < cells[r].size(); ++k) {
            LVITEMW sub{};
            sub.iSubItem = static_cast<int>(k);
            sub.pszText = const_cast<wchar_t*>(W(cells[r][k]));
            SendMessageW(h, LVM_SETITEMTEXTW, r - 1, reinterpret_cast<LPARAM>(&sub));
        }
    }
    // Each column as wide as its widest text, heading included; the leading column is the
    // grid's fixed column: narrow and empty.
    HDC dc = GetDC(h);
    HGDIOBJ oldFont = SelectObject(dc, site_.FontFor(grid_.font));
    for (size_t k = 1; k < header.size(); ++k) {
        int widest = 0;
        for (const auto& row : cells) {
            if (k >= row.size()) continue;
            SIZE size{};
            GetTextExtentPoint32W(dc, W(row[k]), static_cast<int>(row[k].size()), &size);
            widest = std::max(widest, static_cast<int>(size.cx));
        }
        ListView_SetColumnWidth(h, static_cast<int>(k), widest + Px(240));
    }
    SelectObject(dc, oldFont);
    ReleaseDC(h, dc);
    if (!header.empty()) ListView_SetColumnWidth(h, 0, Px(225));
    SendMessageW(h, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(h, nullptr, TRUE);
}

}  // namespace

std::unique_ptr<NativeControl> MakeGrid(FormSite& site, Grid& c) {
    return std::make_unique<GridAdapter>(site, c);
}

}  // namespace quorvel::ui::win32
