// The console front-end's system calls on POSIX.
#include <time.h>
#include <unistd.h>

#include <cmath>

#include "app/cli_console.h"

namespace app {

bool stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }

void pause_seconds(double seconds) {
  if (!(seconds > 0)) return;
  timespec t;
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>(std::fmod(seconds, 1.0) * 1e9);
  while (nanosleep(&t, &t) != 0) {
  }
}

void prepare_console() {}

}  // namespace app
