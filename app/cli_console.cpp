#include "app/cli_console.h"

namespace app {

std::string box_line(const std::string& caption, const std::string& text) {
  std::string line = caption + ": " + text;
  for (char& c : line)
    if (c == '\r') c = '\n';
  return line;
}

ConsoleWindow::ConsoleWindow(std::istream& in, std::ostream& err, ConsoleAnswers answers)
    : in_(in), err_(err), answers_(answers) {
  on_box = [this](const ui::BoxRecord& b) {
    err_ << box_line(b.caption, b.text) << '\n';
    err_.flush();
  };
  on_question = [this](const ui::BoxRecord&) { return answer(); };
}

ui::Reply ConsoleWindow::answer() {
  if (answers_.terminal) {
    for (;;) {
      err_ << "[r = Opakovat, c = Storno] " << std::flush;
      std::string reply;
      if (!std::getline(in_, reply)) {
        err_ << '\n';
        return ui::Reply::kCancel;
      }
      size_t b = reply.find_first_not_of(" \t\r");
      char c = b == std::string::npos ? '\0' : reply[b];
      if (c == 'r' || c == 'R') return ui::Reply::kRetry;
      if (c == 'c' || c == 'C') return ui::Reply::kCancel;
    }
  }
  if (answers_.retries <= 0) {
    err_ << "-> Storno\n" << std::flush;
    return ui::Reply::kCancel;
  }
  --answers_.retries;
  err_ << "-> Opakovat\n" << std::flush;
  pause_seconds(answers_.wait_seconds);
  return ui::Reply::kRetry;
}

}  // namespace app
