#pragma once

#include <functional>

namespace kanaroll {

// Waits until the time read from `seconds` has passed since the call, letting
// the window handle its events meanwhile. The time is read anew at every
// test, so a switch to zero ends the wait at the next test. A zero wait
// returns at once without processing any event. Sleeps between events rather
// than spinning.
void WaitWithEvents(const std::function<double()> &seconds);
void WaitWithEvents(double seconds);

} // namespace kanaroll
