#pragma once

#include <QLine>
#include <QRect>
#include <QString>

namespace kanaroll {

// The window is designed in twips; 15 twips make one logical pixel.
constexpr int kTwipsPerPixel = 15;

// Twips to logical pixels. Edges are converted, not sizes, so neighbouring
// controls never drift apart by a rounding pixel.
int twipsToPixels(int twips);
QRect twipsToPixels(const QRect &twips);
double twipsToPixelsF(double twips);

// One control of the window: its container-relative place in twips.
struct ControlPlace {
    const char *name;
    int left, top, width, height;
    QRect rect() const { return QRect(left, top, width, height); }
};

// One line control: from and to, in twips, in its container.
struct LinePlace {
    const char *name;
    int x1, y1, x2, y2;
};

// The design table. Throws nothing: an unknown name is a programming error
// and asserts.
const ControlPlace &placeOf(const char *name);
const LinePlace &lineOf(const char *name);

// The whole table, for tests that check every control.
const ControlPlace *placesBegin();
const ControlPlace *placesEnd();

constexpr int kClientWidthTwips = 9405;
constexpr int kClientHeightTwips = 6720;

} // namespace kanaroll
