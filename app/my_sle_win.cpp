// MySLE on Win32: the edit subclassed so that EditKeys decides each message and the effects
// are carried out as the window layer would: posts to the field, keys injected into the input
// stream, the saved text restored.
// <windows.h> before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "app/edit_keys.h"
#include "app/main_window_win.h"
#include "app/window_trace.h"

namespace app {
namespace {

constexpr UINT_PTR kSubclassId = 0x4D53;  // "MS"

struct MySLE {
  EditKeys keys;
};

std::wstring text_of(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring w(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h, w.data(), n + 1);
  w.resize(static_cast<size_t>(n > 0 ? n : 0));
  return w;
}

bool blank(HWND h) { return text_of(h).find_first_not_of(L' ') == std::wstring::npos; }

void key(BYTE vk, bool up) {
  keybd_event(vk, static_cast<BYTE>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)), up ? KEYEVENTF_KEYUP : 0,
              0);
}

void carry_out(HWND h, MySLE& f, EditEffect effect) {
  switch (effect) {
    case EditEffect::kNone:
      break;
    case EditEffect::kPostHome:
      PostMessageW(h, WM_KEYDOWN, VK_HOME, 0);
      PostMessageW(h, WM_KEYUP, VK_HOME, static_cast<LPARAM>(0xC0000001u));
      break;
    case EditEffect::kInjectTab:
      key(VK_TAB, false);
      break;
    case EditEffect::kInjectBackTab:
      key(VK_SHIFT, false);
      key(VK_TAB, false);
      key(VK_SHIFT, true);
      break;
    case EditEffect::kInjectPeriod: {
      // The key that types "." on the current layout (VK_OEM_PERIOD on most).
      SHORT vk = VkKeyScanW(L'.');
      key(vk == -1 ? VK_OEM_PERIOD : LOBYTE(vk), false);
      break;
    }
    case EditEffect::kRestoreText:
      SetWindowTextW(h, ui::win::widen(f.keys.saved_text()).c_str());
      break;
  }
  if (effect != EditEffect::kNone)
    WindowTrace::instance().write(
        "edit_effect", {jnum("effect", static_cast<int>(effect)), jnum("id", GetDlgCtrlID(h))});
}

LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  MySLE& f = *reinterpret_cast<MySLE*>(ref);
  EditDecision d;
  switch (msg) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(h, proc, kSubclassId);
      delete &f;
      return DefSubclassProc(h, msg, wp, lp);
    case WM_SETFOCUS: {
      LRESULT r = DefSubclassProc(h, msg, wp, lp);
      f.keys.focus_gained(ui::win::narrow(text_of(h)));
      return r;
    }
    case WM_LBUTTONDOWN:
      d = f.keys.dispatch(EditMessage::kLeftButtonDown, 0, blank(h));
      break;
    case WM_GETDLGCODE: {
      // Only the key-down of Enter: its character message asks again and must not move twice.
      const MSG* m = reinterpret_cast<const MSG*>(lp);
      if (m && m->message == WM_KEYDOWN)
        d = f.keys.dispatch(EditMessage::kWantKeys, static_cast<int>(wp), false);
      if (d.handled) {
        carry_out(h, f, d.effect);
        return DefSubclassProc(h, msg, wp, lp) | DLGC_WANTALLKEYS;
      }
      return DefSubclassProc(h, msg, wp, lp);
    }
    case WM_CHAR:
      d = f.keys.dispatch(EditMessage::kChar, static_cast<int>(wp), false);
      break;
    case WM_KEYDOWN:
      d = f.keys.dispatch(EditMessage::kKeyDown, static_cast<int>(wp), false);
      break;
    case WM_KEYUP:
      d = f.keys.dispatch(EditMessage::kKeyUp, static_cast<int>(wp), false);
      break;
    default:
      return DefSubclassProc(h, msg, wp, lp);
  }
  carry_out(h, f, d.effect);
  if (d.handled) return 0;
  return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

void AttachMySLE(ui::win::Hwnd edit) {
  auto* f = new MySLE;
  SetWindowSubclass(edit, proc, kSubclassId, reinterpret_cast<DWORD_PTR>(f));
}

}  // namespace app
