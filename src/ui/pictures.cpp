#include "ui/pictures.h"

#include "ui/picturesource.h"

#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>

#include <algorithm>

namespace kanaroll {

namespace {

struct Source
{
    const char *name;
    QSize size;
    bool icon;
    bool flat; // drawn in a few flat colours: snap every pixel to them
};

Source sourceOf(Picture picture)
{
    switch (picture) {
    case Picture::Heart: return {"heart", {32, 32}, true, true};
    case Picture::Spade: return {"spade", {32, 32}, true, true};
    case Picture::Help: return {"help", {32, 32}, true, true};
    case Picture::Exit: return {"exit", {32, 32}, true, true};
    case Picture::FaceWara: return {"face-wara", {32, 32}, true, true};
    case Picture::FaceNiko: return {"face-niko", {32, 32}, true, true};
    case Picture::FaceKana: return {"face-kana", {32, 32}, true, true};
    case Picture::SortAZ: return {"sort-az", {16, 16}, false, true};
    case Picture::SortZA: return {"sort-za", {16, 16}, false, true};
    case Picture::Print: return {"print", {16, 16}, false, true};
    case Picture::Save: return {"save", {16, 16}, false, true};
    case Picture::TitleLogo: return {"logo", {296, 63}, false, false};
    case Picture::Teaser: return {"teaser", {259, 45}, false, false};
    }
    return {"heart", {32, 32}, true, true};
}

QString drawingName(const Source &source, int drawing)
{
    if (source.icon)
        return QStringLiteral("%1-%2").arg(QLatin1String(source.name)).arg(drawing);
    return QLatin1String(source.name);
}

QImage renderSvg(const Source &source, int drawing, QSize physical);

// How many device pixels each of `count` art pixels gets to fill `target`:
// `whole` each, and one more for the art pixels whose one-pixel-wide strokes
// (`thin[i]` of them) would suffer least, so that every thin stroke keeps
// one width. Ties go where an even spread would put them.
QList<int> repeats(const QList<int> &thin, int whole, int target)
{
    const int count = int(thin.size());
    QList<int> order(count);
    for (int i = 0; i < count; ++i)
        order[i] = i;
    const auto evenlyWider = [&](int i) {
        return (qint64(i + 1) * target) / count - (qint64(i) * target) / count > whole;
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (thin[a] != thin[b])
            return thin[a] < thin[b];
        return evenlyWider(a) && !evenlyWider(b);
    });
    QList<int> each(count, whole);
    for (int i = 0; i < target - whole * count && i < count; ++i)
        ++each[order[i]];
    return each;
}

// Small flat bitmaps are pixel art: at a ratio that is not a whole number
// their one-pixel diagonals, rendered as vectors and snapped, break apart,
// and pixels repeated evenly make some strokes twice as thick as others.
// They are drawn at the whole multiple below, and the extra rows and columns
// go to the art's pixels where no one-pixel stroke runs across them.
QImage repeatPixels(const QImage &art, QSize art1x, QSize physical)
{
    const int whole = art.width() / art1x.width();
    const QRgb ground = art.pixel(0, 0);
    const auto ink = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < art1x.width() && y < art1x.height()
            && art.pixel(x * whole, y * whole) != ground;
    };
    QList<int> thinDown(art1x.width(), 0);   // per column: strokes one pixel wide
    QList<int> thinAcross(art1x.height(), 0); // per row: strokes one pixel high
    for (int y = 0; y < art1x.height(); ++y)
        for (int x = 0; x < art1x.width(); ++x) {
            if (!ink(x, y))
                continue;
            thinDown[x] += !ink(x - 1, y) && !ink(x + 1, y);
            thinAcross[y] += !ink(x, y - 1) && !ink(x, y + 1);
        }
    const auto sources = [whole](const QList<int> &each) {
        QList<int> from;
        for (int i = 0; i < int(each.size()); ++i)
            for (int j = 0; j < each[i]; ++j)
                from << i * whole + qMin(j, whole - 1);
        return from;
    };
    const QList<int> fromX = sources(repeats(thinDown, whole, physical.width()));
    const QList<int> fromY = sources(repeats(thinAcross, whole, physical.height()));
    QImage out(physical, art.format());
    for (int y = 0; y < physical.height(); ++y)
        for (int x = 0; x < physical.width(); ++x)
            out.setPixel(x, y, art.pixel(fromX[x], fromY[y]));
    return out;
}

QImage render(const Source &source, int drawing, QSize physical)
{
    if (source.flat && !source.icon && physical.width() % source.size.width() != 0) {
        const int whole = qMax(1, physical.width() / source.size.width());
        QImage art = renderSvg(source, drawing, source.size * whole);
        if (art.isNull())
            return art;
        return repeatPixels(art.convertToFormat(QImage::Format_ARGB32), source.size, physical);
    }
    return renderSvg(source, drawing, physical);
}

QImage renderSvg(const Source &source, int drawing, QSize physical)
{
    return renderArt({drawingName(source, drawing), source.icon ? QSize(drawing, drawing) : source.size, source.flat},
                     physical);
}

// Picks the drawing for a requested pixel size: the simplified 16 drawing for
// small icons, the 32 drawing from 24 pixels up.
int drawingFor(const Source &source, int logicalSize)
{
    if (!source.icon)
        return source.size.width();
    return logicalSize < 24 ? 16 : 32;
}

QImage cachedImage(const Source &source, int drawing, QSize physical)
{
    static QHash<QString, QImage> cache;
    const QString key = QStringLiteral("%1/%2/%3x%4")
                            .arg(QLatin1String(source.name))
                            .arg(drawing)
                            .arg(physical.width())
                            .arg(physical.height());
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QImage image = render(source, drawing, physical);
    cache.insert(key, image);
    return image;
}

qreal applicationRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

class PictureIconEngine : public QIconEngine
{
public:
    explicit PictureIconEngine(Picture picture) : m_picture(picture) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, render(rect.size(), ratio));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override { return render(size, 1.0); }

    // Up to Qt 6.7 size comes in device pixels; from 6.8 on in logical ones.
    // scale tells how many device pixels make one logical pixel.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode, QIcon::State, qreal scale) override
    {
        if (!(scale > 0))
            scale = 1.0;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        return render(size, scale);
#else
        if (size.isEmpty())
            return {};
        return render((QSizeF(size) / scale).toSize().expandedTo(QSize(1, 1)), scale);
#endif
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        const Source source = sourceOf(m_picture);
        if (source.icon)
            return {QSize(16, 16), QSize(32, 32)};
        return {source.size};
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return sourceOf(m_picture).size.scaled(size, Qt::KeepAspectRatio);
    }

    QIconEngine *clone() const override { return new PictureIconEngine(m_picture); }
    QString key() const override { return QStringLiteral("kanaroll-picture"); }

private:
    // The drawing for a logical box: the 16 or the 32 one by the logical
    // size, rendered at full device resolution.
    QPixmap render(const QSize &box, qreal scale) const
    {
        if (box.isEmpty())
            return {};
        const Source source = sourceOf(m_picture);
        const QSize logical = source.size.scaled(box, Qt::KeepAspectRatio);
        const QSize physical(qMax(1, qRound(logical.width() * scale)),
                             qMax(1, qRound(logical.height() * scale)));
        QPixmap pm = QPixmap::fromImage(
            cachedImage(source, drawingFor(source, qMin(logical.width(), logical.height())), physical));
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    Picture m_picture;
};

} // namespace

bool isIcon(Picture picture)
{
    return sourceOf(picture).icon;
}

QSize pictureSize(Picture picture)
{
    return sourceOf(picture).size;
}

QImage pictureImage(Picture picture, int size, qreal devicePixelRatio)
{
    const Source source = sourceOf(picture);
    QSize logical = source.size;
    if (size != 0 && size != logical.width()) {
        if (!source.icon || size != 16)
            return {};
        logical = QSize(16, 16);
    }
    if (!(devicePixelRatio > 0))
        devicePixelRatio = 1.0;
    const QSize physical(qRound(logical.width() * devicePixelRatio),
                         qRound(logical.height() * devicePixelRatio));
    QImage image = cachedImage(source, drawingFor(source, logical.width()), physical);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QPixmap pixmap(Picture picture, int size, qreal devicePixelRatio)
{
    if (devicePixelRatio <= 0)
        devicePixelRatio = applicationRatio();
    const QImage image = pictureImage(picture, size, devicePixelRatio);
    if (image.isNull())
        return {};
    return QPixmap::fromImage(image);
}

QList<ArtDrawing> artDrawings()
{
    QList<ArtDrawing> all;
    for (const Picture picture : allPictures) {
        const Source source = sourceOf(picture);
        if (!source.icon) {
            all.append({drawingName(source, 0), source.size, source.flat});
            continue;
        }
        for (const int drawing : {16, 32})
            all.append({drawingName(source, drawing), QSize(drawing, drawing), source.flat});
    }
    return all;
}

QIcon icon(Picture picture)
{
    return QIcon(new PictureIconEngine(picture));
}

} // namespace kanaroll
