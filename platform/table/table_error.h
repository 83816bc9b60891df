// The table layer's error: names the file, the record or page, and what was wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace xbase {

// Generic codes, as the xBase runtime numbers them.
enum GenericError {
  kErrCreate = 20,
  kErrOpen = 21,
  kErrClose = 22,
  kErrRead = 23,
  kErrWrite = 24,
  kErrCorruption = 32,
  kErrDataType = 33,
  kErrDataWidth = 34,
  kErrNoTable = 35,
  kErrReadOnly = 39,
  kErrAppendLock = 40,
  kErrLock = 41,
};

class TableError : public std::runtime_error {
 public:
  TableError(int generic, int os_code, std::string file, const std::string& message)
      : std::runtime_error(described(file, message)),
        generic_(generic),
        os_code_(os_code),
        file_(std::move(file)),
        message_(message) {}
  int generic() const { return generic_; }
  int os_code() const { return os_code_; }
  const std::string& file() const { return file_; }
  const std::string& message() const { return message_; }
  // An open refused for a sharing conflict: the caller raises the network-error flag.
  bool sharing() const { return generic_ == kErrOpen && (os_code_ == 32 || os_code_ == 33); }

 private:
  // "file: message", unless the message (a file error's, say) already begins with the file.
  static std::string described(const std::string& file, const std::string& message) {
    if (file.empty() || message.compare(0, file.size() + 2, file + ": ") == 0) return message;
    return file + ": " + message;
  }

  int generic_;
  int os_code_;
  std::string file_;
  std::string message_;
};

// Stored keys met out of order while walking an index: damage, or an index kept in another
// collation than the one it is read in. Key-rule detection tells the two apart by this type.
class KeyOrderError : public TableError {
 public:
  using TableError::TableError;
};

}  // namespace xbase
