#include "wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <thread>

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
        const double remainingMs = (w - elapsed) * 1000.0;
        if (remainingMs < 1.0) {
            // Below the timer's millisecond grain, which would overshoot by up
            // to a millisecond per pause: handle what is pending, then sleep
            // off the rest.
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const double left = w - static_cast<double>(clock.nsecsElapsed()) / 1e9;
            if (left > 0)
                std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<qint64>(left * 1e9)));
            continue;
        }
        // Sleep until the next event or the deadline's last millisecond, whichever comes first.
        wake.start(static_cast<int>(std::floor(std::min(remainingMs, 1e6))));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void WaitWithEvents(double seconds)
{
    WaitWithEvents([seconds] { return seconds; });
}

} // namespace kanaroll
