// The entry point of importobj.exe, and (built with IO_GUI_TRACE) of the test build
// importobj-trace.exe, which records the window for the window tests.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
#ifdef IO_GUI_TRACE
  return app::Start(true);
#else
  return app::Start(false);
#endif
}
