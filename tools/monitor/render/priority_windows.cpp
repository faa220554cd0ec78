// Windows: the thread's priority within the process's class.
#include <windows.h>

#include "render/priority.h"

void RunBelowThePipe() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }
