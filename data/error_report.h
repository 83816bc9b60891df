// The default error handling for an unexpected error of the runtime or the table layer: an
// error box with the error's description and a line appended to the error log in the
// program folder. The application may install its own reporter.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace data {

using ErrorReporter = std::function<void(const std::exception&)>;

// Reports e and returns; the caller decides what happens next.
void report_error(const std::exception& e);
// An empty reporter restores the default.
void set_error_reporter(ErrorReporter reporter);

// The log file of the default reporter: "ESH_ERR.LOG" in the program folder.
std::string error_log_path();

}  // namespace data
