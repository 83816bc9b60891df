// The command line of the console front-end importobj-cli: which controls of the window it
// overrides after the settings load, whether it saves them, where the program folder is, and
// how the Retry/Cancel question is answered without a terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/window/window.h"

namespace app {

struct CliOptions {
  std::optional<std::string> data;  // WKAM
  std::optional<std::string> url;   // WISERV
  std::optional<bool> nzas, nznet, zalozkartu;
  std::optional<std::string> days;  // POCDNU, digits as typed
  bool save = false;                // Ulozit before the run
  bool preview = false;             // the run with nothing written and the shop not told
  std::string program_folder;       // empty: the folder of the executable
  int retries = 0;                  // Retry answers without a terminal
  double retry_wait = 0;            // seconds before each of them
  bool help = false;
};

struct CliParse {
  bool ok = false;
  CliOptions options;
  std::string error;  // Czech, when not ok
};

// args without the program's name. Both "--data DIR" and "--data=DIR" are taken.
CliParse parse_cli(const std::vector<std::string>& args);

// Puts the overridden values into the controls, as an operator would type them.
void apply_options(const CliOptions& options, ui::Controls& controls);

// The usage text (Czech), ending in a line end.
const std::string& cli_usage();

}  // namespace app
