// The art as the build machine rendered it, for a platform without the SVG
// renderer: one picture per drawing, listed size and screen scale.

#include "ui/picturesource.h"

#include <QDir>
#include <QFile>

static void initArtResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(artpng);
        return true;
    }();
    (void)done;
}

namespace kanaroll {

QImage renderArt(const ArtDrawing &drawing, QSize physical)
{
    initArtResources();
    QImage image(QStringLiteral(":/art/") + prerenderedName(drawing.name, physical));
    if (!image.isNull())
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // A size not rendered ahead: the nearest larger rendering, scaled down,
    // so the window still shows every picture.
    const QStringList all = QDir(QStringLiteral(":/art")).entryList({drawing.name + QStringLiteral("@*.png")});
    QImage best;
    for (const QString &file : all) {
        QImage candidate(QStringLiteral(":/art/") + file);
        const bool larger = candidate.width() >= physical.width();
        if (best.isNull() || (larger && (best.width() < physical.width() || candidate.width() < best.width()))
            || (!larger && best.width() < physical.width() && candidate.width() > best.width()))
            best = candidate;
    }
    if (best.isNull())
        return {};
    return best.scaled(physical, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace kanaroll
