#include "platform/window/window.h"

#include <cstdio>

namespace ui {
namespace {

// Before any window or front-end installs its own, boxes go to standard error.
class StderrBoxes : public Boxes {
 public:
  void warning_box(Owner, const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  Reply retry_cancel_box(Owner, const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return Reply::kCancel;
  }
  void info_box(Owner, const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  void error_box(Owner, const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  std::string choose_folder(Owner, const std::string&) override { return ""; }
};

Boxes* g_boxes = nullptr;
WindowInterface* g_main = nullptr;

}  // namespace

Boxes& boxes() {
  static StderrBoxes fallback;
  return g_boxes ? *g_boxes : fallback;
}

void set_boxes(Boxes* b) { g_boxes = b; }
WindowInterface* main_window() { return g_main; }
void set_main_window(WindowInterface* w) { g_main = w; }

}  // namespace ui
