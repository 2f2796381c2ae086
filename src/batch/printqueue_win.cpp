#include "batch/printqueue.h"

namespace kanaroll {

// The spooled document is a PDF, which the Windows spooler cannot take as
// it is. Until the job goes through the system's own printer driver, the
// print is refused whole rather than sent cut or garbled.
PrintQueueResult printQueueSend(const QString &, const QString &, const QString &,
                                const std::function<bool(double)> &)
{
    return PrintQueueResult::Failed;
}

} // namespace kanaroll
