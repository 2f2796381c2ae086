#include "ui/threadpriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace kanaroll {

void yieldToWindow()
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

} // namespace kanaroll
