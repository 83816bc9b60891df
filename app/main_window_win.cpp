// The window interface on the dialog's controls; boxes owned by the dialog or by none.
#include "app/main_window_win.h"

#include <windows.h>

#include <stdexcept>

#include "app/window_trace.h"

namespace app {

using ui::win::CheckBox;
using ui::win::Edit;

MainWindowWin::MainWindowWin(ui::win::Hwnd dialog) : dialog_(dialog) {
  for (const ControlDef& d : control_defs()) {
    HWND h = GetDlgItem(dialog, d.id);
    if (!h) throw std::runtime_error(std::string("dialog template lacks control ") + d.name);
    controls_.emplace(d.name, ui::win::Control(h));
    if (d.kind == ControlKind::kListView) lv_ = ui::win::ListView(h);
  }
  lv_.set_grid_lines();
}

void MainWindowWin::add_tooltips() {
  tooltips_.create(dialog_);
  for (const ControlDef& d : control_defs())
    if (d.tooltip) tooltips_.add(control(d.name).hwnd(), d.tooltip);
}

const ui::win::Control& MainWindowWin::control(std::string_view name) const {
  if (const ControlDef* d = control_by_name(name)) {
    auto it = controls_.find(d->name);
    if (it != controls_.end()) return it->second;
  }
  throw std::invalid_argument("no control named " + std::string(name));
}

ui::win::Hwnd MainWindowWin::owner_hwnd(ui::Owner owner) const {
  return owner == ui::Owner::kMain ? dialog_ : nullptr;
}

std::string MainWindowWin::name_of(ui::win::Hwnd h) const {
  for (const auto& [name, c] : controls_)
    if (c.hwnd() == h) return name;
  return {};
}

std::string MainWindowWin::focused_name() const { return name_of(GetFocus()); }

// --- boxes

int MainWindowWin::box(const char* kind, ui::Owner owner, const std::string& caption,
                       const std::string& text, unsigned style) {
  WindowTrace& t = WindowTrace::instance();
  t.write("box", {jtext("kind", kind), jbool("owned", owner == ui::Owner::kMain),
                  jtext("caption", caption), jtext("text", text), jnum("style", style),
                  jbool("busy", ui::win::busy_pointer())});
  // The box takes the arrow pointer while it is open; a run goes on busy after it.
  int r = ui::win::message_box(owner_hwnd(owner), caption, text, style);
  t.write("box_closed", {jtext("caption", caption), jnum("reply", r)});
  return r;
}

void MainWindowWin::warning_box(ui::Owner owner, const std::string& caption,
                                const std::string& text) {
  box("warning", owner, caption, text, ui::win::kStyleWarning);
}

ui::Reply MainWindowWin::retry_cancel_box(ui::Owner owner, const std::string& caption,
                                          const std::string& text) {
  int r = box("question", owner, caption, text, ui::win::kStyleRetryCancel);
  return r == ui::win::kIdRetry ? ui::Reply::kRetry : ui::Reply::kCancel;
}

void MainWindowWin::info_box(ui::Owner owner, const std::string& caption, const std::string& text) {
  box("info", owner, caption, text, ui::win::kStyleInformation);
}

void MainWindowWin::error_box(ui::Owner owner, const std::string& caption,
                              const std::string& text) {
  box("error", owner, caption, text, ui::win::kStyleError);
}

std::string MainWindowWin::choose_folder(ui::Owner owner, const std::string& text) {
  WindowTrace& t = WindowTrace::instance();
  t.write("box", {jtext("kind", "folder"), jbool("owned", owner == ui::Owner::kMain),
                  jtext("caption", ""), jtext("text", text)});
  std::string folder = ui::win::browse_folder(owner_hwnd(owner), text);
  t.write("box_closed", {jtext("caption", ""), jtext("folder", folder)});
  return folder;
}

// --- controls

std::string MainWindowWin::text(std::string_view c) const { return control(c).text(); }

void MainWindowWin::set_text(std::string_view c, const std::string& text) {
  ui::win::Control ctl = control(c);
  ctl.set_text(text);
  WindowTrace::instance().write("set_text", {jtext("c", c), jtext("v", text)});
}

bool MainWindowWin::checked(std::string_view c) const {
  return CheckBox(control(c).hwnd()).checked();
}

void MainWindowWin::set_checked(std::string_view c, bool on) {
  CheckBox(control(c).hwnd()).set_checked(on);
  WindowTrace::instance().write("set_checked", {jtext("c", c), jbool("v", on)});
}

bool MainWindowWin::enabled(std::string_view c) const { return control(c).enabled(); }

void MainWindowWin::set_enabled(std::string_view c, bool on) {
  ui::win::Control ctl = control(c);
  ctl.set_enabled(on);
  WindowTrace::instance().write("set_enabled", {jtext("c", c), jbool("v", on)});
}

bool MainWindowWin::visible(std::string_view c) const { return control(c).visible(); }

void MainWindowWin::set_visible(std::string_view c, bool on) {
  ui::win::Control ctl = control(c);
  ctl.set_visible(on);
  WindowTrace::instance().write("set_visible", {jtext("c", c), jbool("v", on)});
}

void MainWindowWin::set_text_limit(std::string_view c, int chars) {
  Edit(control(c).hwnd()).set_limit(chars);
}

void MainWindowWin::focus(std::string_view c) {
  ui::win::Control ctl = control(c);
  ctl.focus();
}

void MainWindowWin::add_column(std::string_view name, const std::string& heading, int width_chars) {
  lv_.add_column(heading, width_chars);
  WindowTrace::instance().write(
      "add_column",
      {jtext("name", name), jtext("heading", heading), jnum("chars", width_chars),
       jnum("px", lv_.column_width(lv_.column_count() - 1)), jnum("char_px", lv_.char_width())});
}

void MainWindowWin::add_row(const std::vector<std::string>& cells) {
  lv_.add_row(cells);
  std::string arr = "[";
  for (size_t i = 0; i < cells.size(); ++i) arr += (i ? "," : "") + json_string(cells[i]);
  WindowTrace::instance().write("add_row", {{"cells", arr + "]"}});
}

std::vector<std::vector<std::string>> MainWindowWin::rows() const {
  std::vector<std::vector<std::string>> out;
  for (int i = 0; i < lv_.row_count(); ++i) out.push_back(lv_.row(i));
  return out;
}

void MainWindowWin::set_busy(bool busy) {
  ui::win::set_busy_pointer(busy);
  WindowTrace::instance().write("set_busy", {jbool("v", busy)});
}

void MainWindowWin::refresh() {
  RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// --- the test build's state records

std::string MainWindowWin::state_json() const {
  std::string focus = focused_name();
  std::string s = "{";
  bool first = true;
  for (const ControlDef& d : control_defs()) {
    const ui::win::Control& c = control(d.name);
    s += std::string(first ? "" : ",") + json_string(d.name) + ":{\"t\":" + json_string(c.text()) +
         ",\"e\":" + (c.enabled() ? "true" : "false") +
         ",\"v\":" + (c.visible() ? "true" : "false");
    if (d.kind == ControlKind::kCheckBox)
      s += std::string(",\"c\":") + (CheckBox(c.hwnd()).checked() ? "true" : "false");
    if (d.kind == ControlKind::kMySLE || d.kind == ControlKind::kEdit)
      s += ",\"caret\":" + std::to_string(Edit(c.hwnd()).caret()) +
           ",\"limit\":" + std::to_string(Edit(c.hwnd()).limit());
    s += "}";
    first = false;
  }
  s += "}";
  return "\"focus\":" + json_string(focus) + ",\"controls\":" + s +
         ",\"rows\":" + std::to_string(lv_.row_count()) +
         ",\"busy\":" + (ui::win::busy_pointer() ? "true" : "false");
}

void MainWindowWin::trace_state(const char* event) {
  WindowTrace& t = WindowTrace::instance();
  if (!t.on()) return;
  last_state_ = state_json();
  // The state goes in as one raw JSON member list.
  std::string line = WindowTrace::line(event, {});
  line.pop_back();  // "\n"
  line.pop_back();  // "}"
  t.write_raw(line + "," + last_state_ + "}\n");
}

void MainWindowWin::trace_if_changed() {
  if (!WindowTrace::instance().on()) return;
  if (state_json() != last_state_) trace_state("state");
}

}  // namespace app
