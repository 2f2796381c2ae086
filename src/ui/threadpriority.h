#pragma once

namespace kanaroll {

// A worker gives way to the window's thread when the cores are busy, so
// that the window keeps painting. Call on the worker's own thread.
void yieldToWindow();

} // namespace kanaroll
