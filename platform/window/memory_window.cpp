#include "platform/window/memory_window.h"

namespace ui {

void MemoryWindow::record(BoxRecord r) {
  boxes.push_back(r);
  if (on_box) on_box(boxes.back());
}

void MemoryWindow::warning_box(Owner owner, const std::string& caption, const std::string& text) {
  record({BoxRecord::Kind::kWarning, owner, caption, text});
}

Reply MemoryWindow::retry_cancel_box(Owner owner, const std::string& caption,
                                     const std::string& text) {
  BoxRecord r{BoxRecord::Kind::kQuestion, owner, caption, text};
  record(r);
  if (!replies.empty()) {
    Reply reply = replies.front();
    replies.pop_front();
    return reply;
  }
  return on_question ? on_question(r) : Reply::kCancel;
}

void MemoryWindow::info_box(Owner owner, const std::string& caption, const std::string& text) {
  record({BoxRecord::Kind::kInfo, owner, caption, text});
}

void MemoryWindow::error_box(Owner owner, const std::string& caption, const std::string& text) {
  record({BoxRecord::Kind::kError, owner, caption, text});
}

std::string MemoryWindow::choose_folder(Owner owner, const std::string& text) {
  record({BoxRecord::Kind::kFolder, owner, "", text});
  if (folders.empty()) return "";
  std::string f = folders.front();
  folders.pop_front();
  return f;
}

ControlState& MemoryWindow::control(std::string_view name) {
  auto it = controls_.find(name);
  if (it == controls_.end()) it = controls_.emplace(std::string(name), ControlState{}).first;
  return it->second;
}

namespace {
const ControlState& blank() {
  static const ControlState s;
  return s;
}
}  // namespace

const ControlState& MemoryWindow::find(std::string_view name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? blank() : it->second;
}

std::string MemoryWindow::text(std::string_view c) const { return find(c).text; }
void MemoryWindow::set_text(std::string_view c, const std::string& t) { control(c).text = t; }
bool MemoryWindow::checked(std::string_view c) const { return find(c).checked; }
void MemoryWindow::set_checked(std::string_view c, bool on) { control(c).checked = on; }
bool MemoryWindow::enabled(std::string_view c) const { return find(c).enabled; }
void MemoryWindow::set_enabled(std::string_view c, bool on) { control(c).enabled = on; }
bool MemoryWindow::visible(std::string_view c) const { return find(c).visible; }
void MemoryWindow::set_visible(std::string_view c, bool on) { control(c).visible = on; }
void MemoryWindow::set_text_limit(std::string_view c, int chars) { control(c).text_limit = chars; }
int MemoryWindow::text_limit(std::string_view c) const { return find(c).text_limit; }

void MemoryWindow::add_column(std::string_view name, const std::string& heading, int width_chars) {
  columns.push_back({std::string(name), heading, width_chars});
}

}  // namespace ui
