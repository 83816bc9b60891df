// A window interface held in memory: the tests' window and the console front-end's base.
// Every box is recorded; questions are answered from a script (Cancel when it runs dry).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/window/window.h"

namespace ui {

struct BoxRecord {
  enum class Kind { kWarning, kQuestion, kInfo, kError, kFolder } kind;
  Owner owner;
  std::string caption;
  std::string text;
};

struct ControlState {
  std::string text;
  bool checked = false;
  bool enabled = true;
  bool visible = true;
  int text_limit = 0;  // 0: none
};

class MemoryWindow : public WindowInterface {
 public:
  // Boxes
  void warning_box(Owner owner, const std::string& caption, const std::string& text) override;
  Reply retry_cancel_box(Owner owner, const std::string& caption, const std::string& text) override;
  void info_box(Owner owner, const std::string& caption, const std::string& text) override;
  void error_box(Owner owner, const std::string& caption, const std::string& text) override;
  std::string choose_folder(Owner owner, const std::string& text) override;

  // Controls (an unknown name is created on first use)
  std::string text(std::string_view control) const override;
  void set_text(std::string_view control, const std::string& text) override;
  bool checked(std::string_view control) const override;
  void set_checked(std::string_view control, bool on) override;
  bool enabled(std::string_view control) const override;
  void set_enabled(std::string_view control, bool on) override;
  bool visible(std::string_view control) const override;
  void set_visible(std::string_view control, bool on) override;
  void set_text_limit(std::string_view control, int chars) override;
  void focus(std::string_view control) override { focused = std::string(control); }
  void add_column(std::string_view name, const std::string& heading, int width_chars) override;
  void add_row(const std::vector<std::string>& cells) override { rows_.push_back(cells); }
  std::vector<std::vector<std::string>> rows() const override { return rows_; }
  void set_busy(bool on) override {
    busy = on;
    busy_changes.push_back(on);
  }

  ControlState& control(std::string_view name);
  int text_limit(std::string_view control) const;

  // Scripted answers. A question with no scripted reply asks on_question (if set), else Cancel.
  std::deque<Reply> replies;
  std::function<Reply(const BoxRecord&)> on_question;
  std::deque<std::string> folders;
  // Called after each box is recorded (a test can act "while the box is open").
  std::function<void(const BoxRecord&)> on_box;

  std::vector<BoxRecord> boxes;
  struct Column {
    std::string name, heading;
    int width_chars;
  };
  std::vector<Column> columns;
  bool busy = false;
  std::vector<bool> busy_changes;
  std::string focused;

 private:
  void record(BoxRecord r);
  const ControlState& find(std::string_view name) const;
  std::map<std::string, ControlState, std::less<>> controls_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace ui
