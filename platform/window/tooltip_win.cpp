// One tooltip window per dialog; every tool is a control (TTF_IDISHWND) that the tooltip
// subclasses to see the mouse.
// <windows.h> before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "platform/window/controls_win.h"

namespace ui::win {

void Tooltips::create(Hwnd dialog) {
  owner_ = dialog;
  h_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
  // Long descriptions wrap instead of running off the screen.
  SendMessageW(h_, TTM_SETMAXTIPWIDTH, 0, 400);
}

void Tooltips::add(Hwnd control, const std::string& text) {
  texts_.reserve(32);  // pointers into texts_ must stay valid
  texts_.push_back(widen(text));
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = owner_;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = texts_.back().data();
  SendMessageW(h_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

int Tooltips::count() const { return static_cast<int>(SendMessageW(h_, TTM_GETTOOLCOUNT, 0, 0)); }

}  // namespace ui::win
