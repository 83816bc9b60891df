// The test build's record of what the window did: one JSON object per line (UTF-8), appended to
// a file in the program folder. The shipped program never opens it; only the test build's entry
// point switches it on, so nothing of the operator's environment can turn it on.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file/file.h"

namespace app {

// A text as a JSON string literal, quotes included.
std::string json_string(std::string_view text);

class WindowTrace {
 public:
  using Fields = std::vector<std::pair<std::string, std::string>>;  // values already JSON

  static WindowTrace& instance();
  // Starts a new file at path (it is emptied).
  void open(const std::string& path);
  bool on() const { return file_ != nullptr; }
  // {"ev": event, ...fields}; nothing when off.
  void write(std::string_view event, const Fields& fields = {});
  // A line made by the caller (ending in a line feed).
  void write_raw(const std::string& line);
  // The line write() makes.
  static std::string line(std::string_view event, const Fields& fields);

 private:
  std::unique_ptr<xbase::File> file_;
};

// Shorthands for the fields.
inline std::pair<std::string, std::string> jtext(std::string key, std::string_view value) {
  return {std::move(key), json_string(value)};
}
inline std::pair<std::string, std::string> jnum(std::string key, long long value) {
  return {std::move(key), std::to_string(value)};
}
inline std::pair<std::string, std::string> jbool(std::string key, bool value) {
  return {std::move(key), value ? "true" : "false"};
}

}  // namespace app
