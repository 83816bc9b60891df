// The folder of the running program's own file, where its settings and work tables live.
#pragma once

#include <string>

namespace app {

// Ends in the path separator; trailing blanks removed. Empty when the system cannot say.
std::string executable_folder();

}  // namespace app
