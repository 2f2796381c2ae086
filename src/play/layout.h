#pragma once

#include <array>
#include <cstdint>

namespace kanaroll {

// Font size and row steps of the triangle for a combined name length.
struct LayoutBand {
    int fontSize; // points
    int dx;       // twips, horizontal step per row
    int dy;       // twips, vertical step per row
};

LayoutBand layoutBand(std::int64_t combinedLength);

// Left edge of row 0, centred on the picture: (picture − row) / 2, ties to even.
std::int64_t rowZeroX(int pictureWidthTwips, double rowWidthTwips);

// Place of row r; wide integers so that very long names never overflow.
struct RowPos {
    std::int64_t x;
    std::int64_t y;
};
RowPos rowPosition(std::int64_t r, const LayoutBand &band, std::int64_t x0);

// The three face slots for a percentage.
enum class Face { Wara, Niko, Kana };
std::array<Face, 3> facesFor(int percentage);

} // namespace kanaroll
