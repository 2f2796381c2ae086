#include "ui/threadpriority.h"

#include <windows.h>

namespace kanaroll {

void yieldToWindow()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

} // namespace kanaroll
