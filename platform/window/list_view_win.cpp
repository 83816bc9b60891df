// The list view in report view: columns sized in characters of its font, rows of texts.
// <windows.h> before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "platform/window/controls_win.h"

namespace ui::win {

void ListView::set_grid_lines() {
  ListView_SetExtendedListViewStyleEx(h_, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
}

bool ListView::grid_lines() const {
  return (ListView_GetExtendedListViewStyle(h_) & LVS_EX_GRIDLINES) != 0;
}

int ListView::char_width() const {
  HDC dc = GetDC(h_);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(h_, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  if (old) SelectObject(dc, old);
  ReleaseDC(h_, dc);
  return tm.tmAveCharWidth > 0 ? tm.tmAveCharWidth : 8;
}

void ListView::add_column(const std::string& heading, int width_chars) {
  std::wstring text = widen(heading);
  LVCOLUMNW c{};
  c.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  c.fmt = LVCFMT_LEFT;
  c.cx = width_chars * char_width();
  c.pszText = text.data();
  c.iSubItem = column_count();
  ListView_InsertColumn(h_, c.iSubItem, &c);
}

int ListView::column_count() const {
  HWND header = ListView_GetHeader(h_);
  return header ? Header_GetItemCount(header) : 0;
}

int ListView::column_width(int column) const { return ListView_GetColumnWidth(h_, column); }

void ListView::add_row(const std::vector<std::string>& cells) {
  if (cells.empty()) return;
  std::wstring first = widen(cells[0]);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row_count();
  item.pszText = first.data();
  int at = ListView_InsertItem(h_, &item);
  for (size_t i = 1; i < cells.size(); ++i) {
    std::wstring cell = widen(cells[i]);
    ListView_SetItemText(h_, at, static_cast<int>(i), cell.data());
  }
  ListView_EnsureVisible(h_, at, FALSE);
}

int ListView::row_count() const { return ListView_GetItemCount(h_); }

std::vector<std::string> ListView::row(int index) const {
  std::vector<std::string> out;
  for (int c = 0; c < column_count(); ++c) {
    wchar_t buf[512] = {};
    ListView_GetItemText(h_, index, c, buf, 511);
    out.push_back(narrow(buf));
  }
  return out;
}

}  // namespace ui::win
