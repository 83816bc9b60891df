// The program folder on Linux: the link /proc/self/exe names the running file.
#include <unistd.h>

#include <vector>

#include "app/program_folder.h"
#include "data/program_state.h"
#include "platform/file/file.h"

namespace app {

std::string executable_folder() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return "";
  std::string dir = xbase::path_dirname(std::string(buf.data(), static_cast<size_t>(n)));
  while (!dir.empty() && dir.back() == ' ') dir.pop_back();
  return data::with_separator(dir);
}

}  // namespace app
