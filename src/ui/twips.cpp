#include "twips.h"

#include <QtGlobal>

#include <cmath>
#include <cstring>
#include <iterator>

namespace kanaroll {

namespace {

// Every control of the window, in twips, relative to its container
// (the window, Frame2, fraHide1 or fraIchiran).
constexpr ControlPlace kPlaces[] = {
    // Top strip
    {"Image1", 300, 150, 4440, 945},
    {"cmdPlay", 6000, 75, 840, 990},
    {"cmdHozon", 6825, 75, 840, 990},
    {"cmdHelp", 7650, 75, 840, 990},
    {"cmdEnd", 8475, 75, 840, 990},
    // Name entry and lists, inside Frame2
    {"Frame2", 75, 1275, 4140, 4290},
    {"Label1(0)", 150, 225, 615, 375},
    {"txtNamae1", 750, 225, 2895, 375},
    {"Label1(1)", 150, 675, 615, 375},
    {"txtNamae2", 750, 675, 2880, 375},
    {"cmdKoukan", 3675, 225, 390, 840},
    {"lblJlist", 150, 1275, 390, 1275},
    {"lstJibun", 525, 1275, 3465, 1260},
    {"lblAlist", 150, 2625, 390, 1275},
    {"lstAite", 525, 2625, 3465, 1260},
    {"Option1(0)", 825, 3975, 1335, 255},
    {"Option1(1)", 2475, 3975, 1425, 255},
    // Result area
    {"imgwara(1)", 300, 5925, 480, 480},
    {"imgniko(1)", 300, 5925, 480, 480},
    {"imgkana(1)", 300, 5925, 480, 480},
    {"imgwara(2)", 900, 5925, 480, 480},
    {"imgniko(2)", 900, 5925, 480, 480},
    {"imgkana(2)", 900, 5925, 480, 480},
    {"imgwara(3)", 1500, 5925, 480, 480},
    {"imgniko(3)", 1500, 5925, 480, 480},
    {"imgkana(3)", 1500, 5925, 480, 480},
    {"lblKekka", 2175, 5700, 1890, 765},
    {"fraHide1", 75, 5625, 4140, 990},
    {"Image2", 140, 210, 3885, 675},
    // Right side
    {"lblCp", 4350, 1275, 4935, 255},
    {"Picture1", 4320, 1500, 5000, 5115},
    {"fraIchiran", 4320, 1275, 5000, 5340},
    // Inside fraIchiran
    {"msgList", 105, 225, 4800, 4570},
    {"Label2", 150, 4950, 465, 240},
    {"cmdNaz", 675, 4875, 465, 390},
    {"cmdNza", 1125, 4875, 465, 390},
    {"Label3", 2025, 4950, 315, 240},
    {"cmdKaz", 2325, 4875, 465, 390},
    {"cmdKza", 2775, 4875, 465, 390},
    {"cmdIPrint", 3825, 4875, 465, 390},
    {"cmdIHozon", 4425, 4875, 465, 390},
};

constexpr LinePlace kLines[] = {
    {"Line1(1)", 150, 1185, 9300, 1185},
    {"Line1(2)", 150, 1200, 9300, 1200},
    {"Line2(0)", 2300, 6480, 4125, 6480},
    {"Line2(1)", 2300, 6500, 4125, 6500},
};

} // namespace

int twipsToPixels(int twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

double twipsToPixelsF(double twips)
{
    return twips / kTwipsPerPixel;
}

QRect twipsToPixels(const QRect &twips)
{
    const int left = twipsToPixels(twips.x());
    const int top = twipsToPixels(twips.y());
    const int right = twipsToPixels(twips.x() + twips.width());
    const int bottom = twipsToPixels(twips.y() + twips.height());
    return QRect(left, top, right - left, bottom - top);
}

const ControlPlace &placeOf(const char *name)
{
    for (const ControlPlace &p : kPlaces) {
        if (std::strcmp(p.name, name) == 0)
            return p;
    }
    qFatal("no place for control %s", name);
}

const LinePlace &lineOf(const char *name)
{
    for (const LinePlace &l : kLines) {
        if (std::strcmp(l.name, name) == 0)
            return l;
    }
    qFatal("no place for line %s", name);
}

const ControlPlace *placesBegin()
{
    return std::begin(kPlaces);
}

const ControlPlace *placesEnd()
{
    return std::end(kPlaces);
}

} // namespace kanaroll
