// The window interface over the real controls of the dialog "HlavniSDI" on Win32, with the
// test build's record of every change and box.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/window_layout.h"
#include "platform/window/controls_win.h"
#include "platform/window/window.h"

namespace app {

class MainWindowWin : public ui::WindowInterface {
 public:
  // Attaches a control object to every template control of the layout table.
  explicit MainWindowWin(ui::win::Hwnd dialog);
  ui::win::Hwnd hwnd() const { return dialog_; }

  // Boxes
  void warning_box(ui::Owner owner, const std::string& caption, const std::string& text) override;
  ui::Reply retry_cancel_box(ui::Owner owner, const std::string& caption,
                             const std::string& text) override;
  void info_box(ui::Owner owner, const std::string& caption, const std::string& text) override;
  void error_box(ui::Owner owner, const std::string& caption, const std::string& text) override;
  std::string choose_folder(ui::Owner owner, const std::string& text) override;

  // Controls
  std::string text(std::string_view control) const override;
  void set_text(std::string_view control, const std::string& text) override;
  bool checked(std::string_view control) const override;
  void set_checked(std::string_view control, bool on) override;
  bool enabled(std::string_view control) const override;
  void set_enabled(std::string_view control, bool on) override;
  bool visible(std::string_view control) const override;
  void set_visible(std::string_view control, bool on) override;
  void set_text_limit(std::string_view control, int chars) override;
  void focus(std::string_view control) override;
  void add_column(std::string_view name, const std::string& heading, int width_chars) override;
  void add_row(const std::vector<std::string>& cells) override;
  std::vector<std::vector<std::string>> rows() const override;
  void set_busy(bool busy) override;
  void refresh() override;

  // The tooltips of the layout table (the controls that show one).
  void add_tooltips();
  const ui::win::Tooltips& tooltips() const { return tooltips_; }
  // The control that has the keyboard focus; empty when none of ours.
  std::string focused_name() const;
  std::string name_of(ui::win::Hwnd control) const;

  // The test build's records: one line with every control's state, and one only when
  // something changed since the last.
  void trace_state(const char* event);
  void trace_if_changed();

 private:
  int box(const char* kind, ui::Owner owner, const std::string& caption, const std::string& text,
          unsigned style);
  const ui::win::Control& control(std::string_view name) const;
  ui::win::Hwnd owner_hwnd(ui::Owner owner) const;
  std::string state_json() const;

  ui::win::Hwnd dialog_;
  std::map<std::string, ui::win::Control, std::less<>> controls_;
  ui::win::ListView lv_;
  ui::win::Tooltips tooltips_;
  std::string last_state_;
};

// Makes a single-line edit of the dialog a MySLE field (app/edit_keys.h): subclassed for its
// keys, clicks and focus; the state lives as long as the edit.
void AttachMySLE(ui::win::Hwnd edit);

}  // namespace app
