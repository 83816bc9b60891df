#include "app/window_trace.h"

#include <cstdio>

#include "platform/file/file.h"

namespace app {

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;  // UTF-8 passes as it is
        }
    }
  }
  return out + "\"";
}

WindowTrace& WindowTrace::instance() {
  static WindowTrace t;
  return t;
}

void WindowTrace::open(const std::string& path) {
  xbase::OpenOptions o;
  o.create = true;
  o.truncate = true;
  file_ = xbase::file_system().open(path, o);
}

std::string WindowTrace::line(std::string_view event, const Fields& fields) {
  std::string s = "{\"ev\":" + json_string(event);
  for (const auto& [key, value] : fields) s += "," + json_string(key) + ":" + value;
  return s + "}\n";
}

void WindowTrace::write(std::string_view event, const Fields& fields) {
  if (file_) write_raw(line(event, fields));
}

void WindowTrace::write_raw(const std::string& s) {
  if (!file_) return;
  // Unbuffered: the test reads the file while the window runs.
  file_->write_at(file_->size(), s.data(), s.size());
}

}  // namespace app
