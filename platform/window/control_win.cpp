// Text conversion between UTF-8 and UTF-16 and the calls every child control shares.
#include <windows.h>

#include "platform/window/controls_win.h"

namespace ui::win {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

int Control::id() const { return GetDlgCtrlID(h_); }

std::string Control::text() const {
  int n = GetWindowTextLengthW(h_);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h_, w.data(), n + 1);
  w.resize(static_cast<size_t>(n > 0 ? n : 0));
  return narrow(w);
}

void Control::set_text(const std::string& text) { SetWindowTextW(h_, widen(text).c_str()); }
bool Control::enabled() const { return IsWindowEnabled(h_) != FALSE; }

void Control::set_enabled(bool on) {
  // A control that loses its input while it has the focus would leave the dialog deaf to the
  // keyboard: the focus moves on first, as the dialog manager does for a disabled default.
  if (!on && GetFocus() == h_) {
    HWND dialog = GetParent(h_);
    SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
  }
  EnableWindow(h_, on ? TRUE : FALSE);
}

bool Control::visible() const { return (GetWindowLongW(h_, GWL_STYLE) & WS_VISIBLE) != 0; }
void Control::set_visible(bool on) { ShowWindow(h_, on ? SW_SHOWNA : SW_HIDE); }

void Control::focus() {
  HWND dialog = GetParent(h_);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(h_), TRUE);
}

void Control::update() { UpdateWindow(h_); }

}  // namespace ui::win
