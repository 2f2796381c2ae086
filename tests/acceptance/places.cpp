// Prints the click point of every control of the window, in pixels from the
// top-left corner of the window's client area, one "name x y" line each.
// The journeys click only where these lines say.

#include "ui/twips.h"

#include <cstdio>
#include <cstring>

using namespace kanaroll;

namespace {

// Controls whose places are relative to a frame rather than the window.
const char *containerOf(const char *name)
{
    static const char *const inFrame2[] = {"Label1(0)", "txtNamae1", "Label1(1)", "txtNamae2", "cmdKoukan",
                                           "lblJlist",  "lstJibun",  "lblAlist",  "lstAite",   "Option1(0)",
                                           "Option1(1)"};
    static const char *const inIchiran[] = {"msgList", "Label2", "cmdNaz", "cmdNza",   "Label3",
                                            "cmdKaz",  "cmdKza", "cmdIPrint", "cmdIHozon"};
    for (const char *n : inFrame2)
        if (std::strcmp(n, name) == 0)
            return "Frame2";
    for (const char *n : inIchiran)
        if (std::strcmp(n, name) == 0)
            return "fraIchiran";
    if (std::strcmp(name, "Image2") == 0)
        return "fraHide1";
    return nullptr;
}

QRect windowRect(const ControlPlace &p)
{
    QRect r = twipsToPixels(p.rect());
    if (const char *c = containerOf(p.name))
        r.translate(twipsToPixels(placeOf(c).rect()).topLeft());
    return r;
}

} // namespace

int main()
{
    for (const ControlPlace *p = placesBegin(); p != placesEnd(); ++p) {
        const QRect r = windowRect(*p);
        // Centre for clicks, then the whole rectangle for screenshot regions.
        std::printf("%s %d %d %d %d %d %d\n", p->name, r.x() + r.width() / 2, r.y() + r.height() / 2, r.x(), r.y(),
                    r.width(), r.height());
    }
    // The whole client area, for checks of the window's size.
    const QRect client(0, 0, twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    std::printf("frmMain %d %d 0 0 %d %d\n", client.width() / 2, client.height() / 2, client.width(), client.height());
    return 0;
}
