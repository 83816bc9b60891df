#include "platform/table/settings.h"

namespace xbase {

// Tables on Linux come from Czech installations of the accounting system.
int system_oem_codepage() { return 852; }

}  // namespace xbase
