// The console front-end importobj-cli as a function: start-up as the program does it, the
// settings load into the console window, the command line's overrides, the optional save, one
// import run, and the counters and rows of the list on standard output.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "app/hlavni_sdi.h"

namespace app {

inline constexpr int kExitPosted = 0;    // the run took every order and item
inline constexpr int kExitRejected = 1;  // the run went over every order and rejected some
inline constexpr int kExitStopped = 2;   // refused, no document, malformed, not opened, ...
inline constexpr int kExitUsage = 3;
inline constexpr int kExitUnconfirmed = 4;  // posted, but the shop did not take the confirmation

// The exit status of a finished run.
int exit_code(const RunRecord& run);

// args without the program's name; terminal: standard input is a terminal.
int run_cli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, bool terminal);

}  // namespace app
