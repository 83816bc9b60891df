// importobj-cli: the import run from a console (app/cli_run.h).
#include <iostream>

#include "app/cli_console.h"
#include "app/cli_run.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  app::prepare_console();
  return app::run_cli(app::utf8_arguments(argc, argv), std::cin, std::cout, std::cerr,
                      app::stdin_is_terminal());
}
#else
int main(int argc, char** argv) {
  app::prepare_console();
  return app::run_cli(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout,
                      std::cerr, app::stdin_is_terminal());
}
#endif
