// The commands of dbftool, callable from tests without a process.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace dbftool {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the exit status: 0 fine, 1 a check found something BAD, 2 an error.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Text of one field value as the dumps show it: trailing blanks cut, \ | and control
// characters escaped.
std::string escape(const std::string& utf8);

}  // namespace dbftool
