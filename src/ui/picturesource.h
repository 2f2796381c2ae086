#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace kanaroll {

// One drawing of the program's art, as the resources name it.
struct ArtDrawing {
    QString name; // "heart-32", "logo": the source without its extension
    QSize size;   // the size it is shown at on a screen of scale 1
    bool flat;    // drawn in a few flat colours: every pixel snapped to them
};

// Every drawing the window uses.
QList<ArtDrawing> artDrawings();

// The drawing rendered at exactly `physical` pixels; empty when it cannot be.
// Where the build has the SVG renderer this renders the source; elsewhere it
// takes the picture rendered at build time for that size.
QImage renderArt(const ArtDrawing &drawing, QSize physical);

// The screen scales the build renders ahead of time, and the logical sizes
// beyond the listed one an icon is asked for (a caption, a task bar).
inline constexpr qreal kPrerenderedScales[] = {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
inline constexpr int kIconExtraSizes[] = {20, 24, 40, 48, 64};

// The resource file name of a picture rendered ahead of time.
inline QString prerenderedName(const QString &name, QSize physical)
{
    return QStringLiteral("%1@%2x%3.png").arg(name).arg(physical.width()).arg(physical.height());
}

} // namespace kanaroll
