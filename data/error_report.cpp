#include "data/error_report.h"

#include <chrono>
#include <ctime>

#include "data/program_state.h"
#include "platform/file/file.h"
#include "platform/table/table_error.h"
#include "platform/window/window.h"

namespace data {
namespace {

ErrorReporter g_reporter;

std::string describe(const std::exception& e) {
  std::string text = e.what();
  if (auto* t = dynamic_cast<const xbase::TableError*>(&e)) {
    text += "\rKód chyby: " + std::to_string(t->generic());
    if (t->os_code() != 0) text += "/" + std::to_string(t->os_code());
  }
  return text;
}

std::string timestamp() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", std::localtime(&now));
  return buf;
}

void append_log(const std::string& text) {
  if (program_folder().empty()) return;  // before start-up there is no folder to log into
  std::string line = timestamp() + " " + text;
  for (auto& c : line)
    if (c == '\r' || c == '\n') c = ' ';  // one line per error
  line += "\r\n";
  try {
    xbase::OpenOptions o;
    o.create = true;
    auto f = xbase::file_system().open(error_log_path(), o);
    f->write_at(f->size(), line.data(), line.size());
    f->sync();
  } catch (const std::exception&) {
    // A log that cannot be written must not hide the error box.
  }
}

void default_report(const std::exception& e) {
  std::string text = describe(e);
  append_log(text);
  ui::boxes().error_box(ui::main_owner(), "Chyba", text);
}

}  // namespace

void report_error(const std::exception& e) {
  if (g_reporter)
    g_reporter(e);
  else
    default_report(e);
}

void set_error_reporter(ErrorReporter reporter) { g_reporter = std::move(reporter); }

std::string error_log_path() { return program_folder() + "ESH_ERR.LOG"; }

}  // namespace data
