// Linux: a nice value of the thread's own (threads have their own under
// Linux); raising it again would need privileges, and is never done.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "render/priority.h"

void RunBelowThePipe() { setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5); }
