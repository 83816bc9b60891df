// App:Start on Win32: the table layer's and the locale's settings, the Insert toggle, the
// program folder, and the modal dialog "HlavniSDI" whose end ends the program.
// <windows.h> before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <memory>

#include "app/edit_keys.h"
#include "app/hlavni_sdi.h"
#include "app/main_window_win.h"
#include "app/program_folder.h"
#include "app/startup.h"
#include "app/window_trace.h"
#include "data/program_state.h"
#include "platform/table/settings.h"

namespace app {
namespace {

constexpr UINT_PTR kTraceTimer = 1;

struct Dialog {
  std::unique_ptr<MainWindowWin> win;
  std::unique_ptr<HlavniSDI> sdi;
};

std::string locale_text(LCTYPE what) {
  wchar_t buf[128] = {};
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, what, buf, 128);
  return n > 1 ? ui::win::narrow(std::wstring_view(buf, static_cast<size_t>(n - 1))) : "";
}

void read_international() {
  International& i = international();
  i.decimal = locale_text(LOCALE_SDECIMAL);
  i.thousands = locale_text(LOCALE_STHOUSAND);
  i.time_separator = locale_text(LOCALE_STIME);
  i.am_pm = locale_text(LOCALE_ITIME) == "0";
  i.am = locale_text(LOCALE_S1159);
  i.pm = locale_text(LOCALE_S2359);
  i.digits = locale_digits(locale_text(LOCALE_IDIGITS));
  i.locale_date_format = locale_text(LOCALE_SSHORTDATE);
}

// NASTINS: the Insert toggle of this thread's keyboard state on. Results are not checked.
void nastins(int* before, int* after) {
  BYTE state[256] = {};
  GetKeyboardState(state);
  *before = state[VK_INSERT] & 1;
  if (insert_toggle_on(state)) SetKeyboardState(state);
  *after = GetKeyState(VK_INSERT) & 1;
}

// The preview sits in the system menu: the template's controls stay as they are.
constexpr UINT kPreviewCommand = 0x0110;  // below 0xF000, a multiple of 16
constexpr const char* kPreviewMenuText = "Zkušební import (bez zápisu)";

const char* name_of_button(int id) {
  const ControlDef* d = control_by_id(id);
  return d && d->kind == ControlKind::kButton ? d->name : nullptr;
}

INT_PTR CALLBACK dialog_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* dlg = reinterpret_cast<Dialog*>(GetWindowLongPtrW(h, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      dlg = reinterpret_cast<Dialog*>(lp);
      SetWindowLongPtrW(h, DWLP_USER, reinterpret_cast<LONG_PTR>(dlg));
      // Init: the control objects, their tooltips, the text limits, the list's grid lines.
      dlg->win = std::make_unique<MainWindowWin>(h);
      for (const ControlDef& d : control_defs())
        if (d.kind == ControlKind::kMySLE) AttachMySLE(GetDlgItem(h, d.id));
      dlg->win->add_tooltips();
      dlg->sdi = std::make_unique<HlavniSDI>(*dlg->win);
      ui::set_boxes(dlg->win.get());
      dlg->sdi->Init();
      SetWindowTextW(h, ui::win::widen(kWindowCaption).c_str());
      // PostInit, its first step here: the icon from resource 101.
      HINSTANCE inst = GetModuleHandleW(nullptr);
      auto big = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), 0));
      auto small = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
      SendMessageW(h, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
      SendMessageW(h, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
      dlg->sdi->Guarded([&] { dlg->sdi->PostInit(); });
      if (HMENU sys = GetSystemMenu(h, FALSE)) {
        AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(sys, MF_STRING, kPreviewCommand, ui::win::widen(kPreviewMenuText).c_str());
      }
      WindowTrace& t = WindowTrace::instance();
      if (t.on()) {
        RECT r{};
        GetWindowRect(h, &r);
        std::string rects = "{";
        for (const ControlDef& d : control_defs()) {
          RECT c{};
          GetWindowRect(GetDlgItem(h, d.id), &c);
          rects += std::string(rects.size() > 1 ? "," : "") + json_string(d.name) + ":[" +
                   std::to_string(c.left) + "," + std::to_string(c.top) + "," +
                   std::to_string(c.right) + "," + std::to_string(c.bottom) + "]";
        }
        t.write("window", {jnum("left", r.left),
                           jnum("top", r.top),
                           jnum("right", r.right),
                           jnum("bottom", r.bottom),
                           jnum("style", GetWindowLongW(h, GWL_STYLE)),
                           jbool("icon", big != nullptr),
                           jnum("tools", dlg->win->tooltips().count()),
                           {"rects", rects + "}"}});
        dlg->win->trace_state("ready");
        SetTimer(h, kTraceTimer, 30, nullptr);
      }
      return TRUE;  // the dialog manager gives the first tab stop the focus
    }
    case WM_TIMER:
      if (wp == kTraceTimer && dlg) dlg->win->trace_if_changed();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED && dlg) {
        if (const char* button = name_of_button(LOWORD(wp))) {
          WindowTrace::instance().write("click", {jtext("c", button)});
          dlg->sdi->Click(button);
          if (dlg->win) dlg->win->trace_if_changed();
          if (dlg->sdi->ended()) EndDialog(h, 0);
          return TRUE;
        }
      }
      // IDOK (Enter with no default button) and IDCANCEL (Escape) do nothing: the window ends
      // only by "Konec" or its close box.
      return TRUE;
    case WM_SYSCOMMAND:
      // Only while the run's own button is enabled: a preview started under a run would
      // open the tables the run holds.
      if ((wp & 0xFFF0) == kPreviewCommand && dlg && dlg->win->enabled("SPUSTIT")) {
        WindowTrace::instance().write("click", {jtext("c", "ZKUSEBNI")});
        dlg->sdi->Guarded([&] { dlg->sdi->Zkusebni(); });
        if (dlg->win) dlg->win->trace_if_changed();
        SetWindowLongPtrW(h, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      // The close box while a run has disabled "Konec" would end the window under the run.
      if (dlg && dlg->win->enabled("ENDDIALOG")) {
        WindowTrace::instance().write("close_box");
        dlg->sdi->Click("ENDDIALOG");
        EndDialog(h, 0);
      }
      return TRUE;
    case WM_SETCURSOR:
      if (ui::win::busy_pointer()) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        SetWindowLongPtrW(h, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const NMHDR* n = reinterpret_cast<const NMHDR*>(lp);
      if (n->code == TTN_SHOW && dlg) {
        std::string name = dlg->win->name_of(reinterpret_cast<HWND>(n->idFrom));
        WindowTrace::instance().write("tooltip", {jtext("c", name)});
      }
      return FALSE;
    }
    case WM_DESTROY:
      ui::set_main_window(nullptr);
      ui::set_boxes(nullptr);
      return FALSE;
  }
  return FALSE;
}

}  // namespace

International& international() {
  static International i;
  return i;
}

int Start(bool trace) {
  // Steps 1, 2, 4, 5, 7 and 8: shared opens, deleted records hidden, DBFNTX, the locale's
  // collation, OEM text, dates "DD.MM.YYYY" with the century and epoch 1910.
  xbase::apply_startup_table_settings();
  // Step 3: the controls' look (Common Controls 6 through the manifest).
  INITCOMMONCONTROLSEX icc{sizeof icc,
                           ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  // Step 6: the user locale's numbers and times; the date format stays the table layer's.
  read_international();
  // Step 9: the program folder, and the target data folder equal to it.
  data::set_program_folder(executable_folder());
  data::set_target_folder(data::program_folder());
  // Step 10: NASTINS.
  int insert_before = 0, insert_after = 0;
  nastins(&insert_before, &insert_after);
  if (trace) {
    WindowTrace& t = WindowTrace::instance();
    t.open(data::program_folder() + "importobj-trace.jsonl");
    const International& i = international();
    t.write("start", {jtext("folder", data::program_folder()), jnum("insert_before", insert_before),
                      jnum("insert_after", insert_after), jtext("decimal", i.decimal),
                      jtext("thousands", i.thousands), jtext("time", i.time_separator),
                      jbool("am_pm", i.am_pm), jtext("date", xbase::table_settings().date_format)});
  }
  // Step 11: the modal window; step 12: its end is the program's.
  Dialog dlg;
  INT_PTR r = DialogBoxParamW(GetModuleHandleW(nullptr), ui::win::widen(kDialogName).c_str(),
                              nullptr, dialog_proc, reinterpret_cast<LPARAM>(&dlg));
  if (trace) WindowTrace::instance().write("end", {jnum("result", static_cast<long long>(r))});
  return r < 0 ? 1 : 0;
}

}  // namespace app
