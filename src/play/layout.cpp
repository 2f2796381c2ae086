#include "layout.h"

#include <cmath>

namespace kanaroll {

LayoutBand layoutBand(std::int64_t n)
{
    if (n <= 8)
        return {48, 238, 690};
    if (n <= 13)
        return {28, 140, 410};
    if (n <= 17)
        return {22, 110, 310};
    if (n <= 19)
        return {18, 90, 275};
    if (n <= 22)
        return {16, 83, 239};
    if (n <= 26)
        return {14, 75, 200};
    return {12, 60, 180};
}

std::int64_t rowZeroX(int pictureWidthTwips, double rowWidthTwips)
{
    const double centre = (static_cast<double>(pictureWidthTwips) - rowWidthTwips) / 2.0;
    // Ties go to the even integer, whatever rounding mode is in force.
    const double lower = std::floor(centre);
    const double frac = centre - lower;
    auto result = static_cast<std::int64_t>(lower);
    if (frac > 0.5 || (frac == 0.5 && (result % 2 != 0)))
        ++result;
    return result;
}

RowPos rowPosition(std::int64_t r, const LayoutBand &band, std::int64_t x0)
{
    return {r * band.dx + x0, r * band.dy};
}

std::array<Face, 3> facesFor(int p)
{
    if (p <= 9)
        return {Face::Kana, Face::Kana, Face::Kana};
    if (p <= 29)
        return {Face::Niko, Face::Kana, Face::Kana};
    if (p <= 49)
        return {Face::Niko, Face::Niko, Face::Kana};
    if (p <= 69)
        return {Face::Niko, Face::Niko, Face::Niko};
    if (p <= 89)
        return {Face::Wara, Face::Niko, Face::Niko};
    if (p <= 99)
        return {Face::Wara, Face::Wara, Face::Niko};
    return {Face::Wara, Face::Wara, Face::Wara};
}

} // namespace kanaroll
