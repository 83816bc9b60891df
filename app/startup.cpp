// The parts of start-up that need no window system.
#include "app/startup.h"

namespace app {

int locale_digits(std::string_view text) {
  return text.size() == 1 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : 2;
}

}  // namespace app
