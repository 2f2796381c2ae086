// The art rendered from its SVG sources while the program runs.

#include "ui/picturesource.h"

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <limits>

// The resources sit in a static library; without this reference the linker
// would drop them from the program.
static void initArtResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(art);
        return true;
    }();
    (void)done;
}

namespace kanaroll {

namespace {

// The colours named in the SVG text: the palette of a flat drawing.
QList<QRgb> paletteOf(const QByteArray &svg)
{
    static const QRegularExpression hex(QStringLiteral("#([0-9a-fA-F]{6})\\b"));
    QList<QRgb> colours;
    for (auto it = hex.globalMatch(QString::fromUtf8(svg)); it.hasNext();) {
        const QRgb rgb = 0xff000000u | it.next().captured(1).toUInt(nullptr, 16);
        if (!colours.contains(rgb))
            colours.append(rgb);
    }
    return colours;
}

// Classic icons have hard edges and no blended colours. The vector drawing is
// rendered with antialiasing, so every pixel is brought back to a full or no
// coverage and to the nearest colour of the drawing's own palette.
void snapToPalette(QImage &image, const QList<QRgb> &palette)
{
    if (palette.isEmpty())
        return;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = line[x];
            if (qAlpha(px) < 128) {
                line[x] = 0;
                continue;
            }
            const QRgb c = qUnpremultiply(px);
            int best = std::numeric_limits<int>::max();
            QRgb chosen = palette.front();
            for (const QRgb p : palette) {
                const int dr = qRed(c) - qRed(p);
                const int dg = qGreen(c) - qGreen(p);
                const int db = qBlue(c) - qBlue(p);
                const int d = dr * dr + dg * dg + db * db;
                if (d < best) {
                    best = d;
                    chosen = p;
                }
            }
            line[x] = chosen;
        }
    }
}

} // namespace

QImage renderArt(const ArtDrawing &drawing, QSize physical)
{
    initArtResources();
    QFile file(QStringLiteral(":/art/%1.svg").arg(drawing.name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray svg = file.readAll();
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    QImage image(physical, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(physical)));
    }
    if (drawing.flat)
        snapToPalette(image, paletteOf(svg));
    return image;
}

} // namespace kanaroll
