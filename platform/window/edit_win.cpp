// The single-line edit and the check box.
#include <windows.h>

#include "platform/window/controls_win.h"

namespace ui::win {

void Edit::set_limit(int chars) {
  SendMessageW(h_, EM_SETLIMITTEXT, static_cast<WPARAM>(chars), 0);
}
int Edit::limit() const { return static_cast<int>(SendMessageW(h_, EM_GETLIMITTEXT, 0, 0)); }

int Edit::caret() const {
  DWORD start = 0, end = 0;
  SendMessageW(h_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<int>(start);
}

bool CheckBox::checked() const { return SendMessageW(h_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckBox::set_checked(bool on) {
  SendMessageW(h_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace ui::win
