// Start-up of the program (App:Start): the process-wide settings in their order, then the main
// window, shown modally until it ends.
#pragma once

#include <string>
#include <string_view>

namespace app {

// The user locale's number and time conventions, read once at start-up. Dates keep the
// table layer's "DD.MM.YYYY" whatever the locale says; the century is always shown.
struct International {
  std::string decimal = ".";
  std::string thousands = ",";
  std::string time_separator = ":";
  bool am_pm = false;  // 12-hour clock with the texts below
  std::string am, pm;
  int digits = 2;                  // decimals of a number
  std::string locale_date_format;  // as the locale gives it, replaced by the table layer's
};

International& international();

// The locale's decimals from the text the registry gives: a single digit, otherwise 2 (the
// registry holds whatever anyone wrote there).
int locale_digits(std::string_view text);

// The whole program: start-up, the modal window, and the end when it closes. trace: the test
// build's record of the window (app/window_trace.h) in the program folder.
int Start(bool trace);

}  // namespace app
