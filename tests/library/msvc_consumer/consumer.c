/* A host application linked by Microsoft's kind of linker (lld-link) against
 * VesprineDovetide.lib, with no C runtime: it needs only KERNEL32. */
#include "VesprineDovetide.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

void start(void) {
  const int ok = DrawPixel(3, 4) == 1 && LogI("linked by lld-link") == 1 && Dispose() == 1;
  ExitProcess(ok ? 0 : 1);
}
