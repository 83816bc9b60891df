// Thin wrappers over the Win32 controls of a dialog, one per control kind, with UTF-8 texts
// (the Unicode APIs underneath). Declared without <windows.h>: a window is an opaque HWND.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct HWND__;

namespace ui::win {

using Hwnd = HWND__*;

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// Any child control: text, enable, show, focus.
class Control {
 public:
  Control() = default;
  explicit Control(Hwnd h) : h_(h) {}
  Hwnd hwnd() const { return h_; }
  int id() const;
  std::string text() const;
  void set_text(const std::string& text);
  bool enabled() const;
  void set_enabled(bool on);
  bool visible() const;
  void set_visible(bool on);
  void focus();
  // Repaints it now (a long operation keeps the message loop from doing it).
  void update();

 protected:
  Hwnd h_ = nullptr;
};

// A single-line edit.
class Edit : public Control {
 public:
  using Control::Control;
  void set_limit(int chars);
  int limit() const;
  // The caret (start of the selection), in characters.
  int caret() const;
};

// An automatic check box.
class CheckBox : public Control {
 public:
  using Control::Control;
  bool checked() const;
  void set_checked(bool on);
};

// A list view in report view.
class ListView : public Control {
 public:
  using Control::Control;
  void set_grid_lines();
  bool grid_lines() const;
  // Width in characters of the list's font (average character width).
  void add_column(const std::string& heading, int width_chars);
  int column_count() const;
  int column_width(int column) const;  // pixels
  int char_width() const;              // pixels of one average character
  void add_row(const std::vector<std::string>& cells);
  int row_count() const;
  std::vector<std::string> row(int index) const;
};

// One tooltip window for a dialog; each tool is a control shown with its text.
class Tooltips {
 public:
  void create(Hwnd dialog);
  void add(Hwnd control, const std::string& text);
  Hwnd hwnd() const { return h_; }
  int count() const;

 private:
  Hwnd h_ = nullptr;
  Hwnd owner_ = nullptr;
  std::vector<std::wstring> texts_;  // the tooltip keeps pointers into these
};

// MessageBoxW with a raw style; returns the button id.
int message_box(Hwnd owner, const std::string& caption, const std::string& text, unsigned style);
inline constexpr unsigned kStyleWarning = 0x30;      // MB_OK | MB_ICONWARNING
inline constexpr unsigned kStyleRetryCancel = 0x25;  // MB_RETRYCANCEL | MB_ICONQUESTION
inline constexpr unsigned kStyleError = 0x10;        // MB_OK | MB_ICONERROR
inline constexpr unsigned kStyleInformation = 0x40;  // MB_OK | MB_ICONINFORMATION
inline constexpr int kIdRetry = 4;

// The standard folder dialog (SHBrowseForFolderW); empty when cancelled.
std::string browse_folder(Hwnd owner, const std::string& text);

// The busy (hourglass) or the normal arrow pointer, at once and for the rest of the operation.
void set_busy_pointer(bool busy);
bool busy_pointer();

}  // namespace ui::win
