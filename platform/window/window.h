// The window interface: what the import run and the main window's logic need from a window,
// with controls addressed by their names ("WKAM", "FTPC", "LV", ...). The Win32 dialog, the
// console front-end and the tests each implement it; the logic is written once against it.
// All texts are UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ui {

// The owner of a box: the main window (when its reference is set) or none.
enum class Owner { kNone, kMain };
enum class Reply { kRetry, kCancel };

// Modal boxes. A closed question box (Esc, close button) counts as Cancel.
class Boxes {
 public:
  virtual ~Boxes() = default;
  // Warning icon, OK button.
  virtual void warning_box(Owner owner, const std::string& caption, const std::string& text) = 0;
  // Retry/Cancel buttons with the question icon (message-box style 0x25).
  virtual Reply retry_cancel_box(Owner owner, const std::string& caption,
                                 const std::string& text) = 0;
  // Information icon, OK button (the closing notice of a run).
  virtual void info_box(Owner owner, const std::string& caption, const std::string& text) = 0;
  // An unexpected error (the platform's default error handling), stop icon.
  virtual void error_box(Owner owner, const std::string& caption, const std::string& text) = 0;
  // The standard folder dialog; empty when cancelled.
  virtual std::string choose_folder(Owner owner, const std::string& text) = 0;
};

class Controls {
 public:
  virtual ~Controls() = default;
  virtual std::string text(std::string_view control) const = 0;
  virtual void set_text(std::string_view control, const std::string& text) = 0;
  virtual bool checked(std::string_view control) const = 0;
  virtual void set_checked(std::string_view control, bool on) = 0;
  virtual bool enabled(std::string_view control) const = 0;
  virtual void set_enabled(std::string_view control, bool on) = 0;
  virtual bool visible(std::string_view control) const = 0;
  virtual void set_visible(std::string_view control, bool on) = 0;
  virtual void set_text_limit(std::string_view control, int chars) = 0;
  virtual void focus(std::string_view control) = 0;
  // The list view "LV".
  virtual void add_column(std::string_view name, const std::string& heading, int width_chars) = 0;
  virtual void add_row(const std::vector<std::string>& cells) = 0;
  virtual std::vector<std::vector<std::string>> rows() const = 0;
  // Busy (hourglass) or normal pointer over the window.
  virtual void set_busy(bool busy) = 0;
  // Lets the window paint what changed while a run goes on.
  virtual void refresh() {}
};

class WindowInterface : public Boxes, public Controls {};

// The process's boxes (owner none is allowed before any window exists) and the main window
// reference (empty until the window has been set up).
Boxes& boxes();
void set_boxes(Boxes* b);  // nullptr: boxes that only print to standard error
WindowInterface* main_window();
void set_main_window(WindowInterface* w);
// The owner to pass for "the main window reference": the main window when it is set.
inline Owner main_owner() { return main_window() ? Owner::kMain : Owner::kNone; }

}  // namespace ui
