// Message boxes, the standard folder dialog and the mouse pointer.
// <windows.h> before the headers that build on it.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include "platform/window/controls_win.h"

namespace ui::win {
namespace {
bool g_busy = false;
}

int message_box(Hwnd owner, const std::string& caption, const std::string& text, unsigned style) {
  return MessageBoxW(owner, widen(text).c_str(), widen(caption).c_str(), style);
}

std::string browse_folder(Hwnd owner, const std::string& text) {
  // The dialog's tree needs COM on this thread; a second initialisation is harmless.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::wstring title = widen(text);
  BROWSEINFOW bi{};
  bi.hwndOwner = owner;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  std::string out;
  if (LPITEMIDLIST pidl = SHBrowseForFolderW(&bi)) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(pidl, path)) out = narrow(path);
    CoTaskMemFree(pidl);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return out;
}

void set_busy_pointer(bool busy) {
  g_busy = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool busy_pointer() { return g_busy; }

}  // namespace ui::win
