// The program folder on Windows: GetModuleFileNameW of the running module, as UTF-8.
#include <windows.h>

#include <vector>

#include "app/program_folder.h"
#include "data/program_state.h"
#include "platform/file/file.h"

namespace app {

std::string executable_folder() {
  std::vector<wchar_t> buf(MAX_PATH);
  DWORD n = 0;
  for (;;) {
    n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return "";
    if (n < buf.size()) break;
    buf.resize(buf.size() * 2);  // long paths (\\?\...) do not fit MAX_PATH
  }
  int len = WideCharToMultiByte(CP_UTF8, 0, buf.data(), static_cast<int>(n), nullptr, 0, nullptr,
                                nullptr);
  std::string path(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buf.data(), static_cast<int>(n), path.data(), len, nullptr,
                      nullptr);
  std::string dir = xbase::path_dirname(path);
  while (!dir.empty() && dir.back() == ' ') dir.pop_back();
  return data::with_separator(dir);
}

}  // namespace app
