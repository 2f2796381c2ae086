#pragma once

#include <QtGlobal>

class QString;

namespace kanaroll {

class MainWindow;

// What the accessibility bus shows of the window: names for every control,
// faces by their meaning, the drawing as text, decorative pictures left out,
// and controls under a cover not showing.
void setUpAccessibility(MainWindow &window);

// After the display changed: the drawing's text and what a cover let go of.
void accessibilityDisplayChanged(MainWindow &window, bool uncovered);

// The drawing read as text: the pair, the rows top to bottom, the result.
QString fortuneReading(const MainWindow &window);

// Screen readers speak a result as it appears, wherever the focus is: the
// fortune's percentage and faces, and how many rows a batch left.
void announceFortune(MainWindow &window);
void announceBatch(MainWindow &window, qsizetype rows);

} // namespace kanaroll
