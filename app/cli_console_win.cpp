// The console front-end's system calls on Windows: the arguments come as UTF-16 and the
// console shows UTF-8 only when told so.
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "app/cli_console.h"

namespace app {

bool stdin_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

void pause_seconds(double seconds) {
  if (!(seconds > 0)) return;
  ::Sleep(static_cast<DWORD>(seconds * 1000));
}

void prepare_console() {
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
}

std::vector<std::string> utf8_arguments(int argc, wchar_t** argv) {
  std::vector<std::string> out;
  for (int i = 1; i < argc; ++i) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, s.data(), n, nullptr, nullptr);
    s.resize(s.size() - 1);
    out.push_back(s);
  }
  return out;
}

}  // namespace app
