// The console front-end's window: the controls held in memory, every box written as one line
// "caption: text" on standard error, the Retry/Cancel question asked on a terminal or answered
// by the command line's retry budget. Also the few calls that differ between systems.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/window/memory_window.h"

namespace app {

// How the Retry/Cancel question is answered.
struct ConsoleAnswers {
  bool terminal = false;  // ask on the terminal (answer r or c)
  int retries = 0;        // otherwise: Retry this many times in all, then Cancel
  double wait_seconds = 0;
};

class ConsoleWindow : public ui::MemoryWindow {
 public:
  ConsoleWindow(std::istream& in, std::ostream& err, ConsoleAnswers answers);
  int retries_left() const { return answers_.retries; }

 private:
  ui::Reply answer();

  std::istream& in_;
  std::ostream& err_;
  ConsoleAnswers answers_;
};

// "caption: text" with each carriage return shown as a line break.
std::string box_line(const std::string& caption, const std::string& text);

// Per system (cli_console_posix.cpp, cli_console_win.cpp).
bool stdin_is_terminal();
void pause_seconds(double seconds);
// UTF-8 output on a Windows console; nothing elsewhere.
void prepare_console();
#ifdef _WIN32
std::vector<std::string> utf8_arguments(int argc, wchar_t** argv);
#endif

}  // namespace app
