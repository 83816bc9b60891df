#include <windows.h>

#include "platform/table/settings.h"

namespace xbase {

// The layer translates 852 and 1250; any other OEM page of the system falls back to 852, the
// page the accounting data is written in.
int system_oem_codepage() {
  UINT cp = GetOEMCP();
  return cp == 1250 ? 1250 : 852;
}

}  // namespace xbase
