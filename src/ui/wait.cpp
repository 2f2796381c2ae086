#include "wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cmath>

namespace kanaroll {

void WaitWithEvents(const std::function<double()> &seconds)
{
    QElapsedTimer clock; // monotonic: unaffected by midnight or clock changes
    clock.start();
    if (!(seconds() > 0.0))
        return; // the quick mode: no timer, no events
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const double w = seconds();
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        if (!(elapsed < w))
            return;
        // Sleep until the next event or the deadline, whichever comes first.
        const double remainingMs = (w - elapsed) * 1000.0;
        wake.start(static_cast<int>(std::ceil(std::min(remainingMs, 1e6))));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void WaitWithEvents(double seconds)
{
    WaitWithEvents([seconds] { return seconds; });
}

} // namespace kanaroll
