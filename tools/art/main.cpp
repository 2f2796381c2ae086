// kanaroll-prerender OUTDIR: renders every drawing of the window's art at the
// pixel sizes a screen of each usual scale asks for, into OUTDIR, with a
// resource file artpng.qrc listing them, for a build without the SVG renderer.
// kanaroll-prerender --ico FILE: the program's icon, the heart, as a Windows
// icon file of the sizes the shell shows.

#include "ui/picturesource.h"

#include <QBuffer>
#include <QDir>
#include <QSaveFile>
#include <QGuiApplication>
#include <QSet>

#include <cmath>
#include <cstdio>

using namespace kanaroll;

namespace {

void put16(QByteArray &b, int v)
{
    b.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

void put32(QByteArray &b, qint64 v)
{
    put16(b, int(v & 0xffff));
    put16(b, int((v >> 16) & 0xffff));
}

// An icon file whose images are PNG, as the shell reads them since Vista:
// the small drawing at 16 and 20 pixels, the full one above.
int writeIcon(const QString &path)
{
    const QList<int> sizes{16, 20, 24, 32, 40, 48, 64, 256};
    QList<QByteArray> images;
    for (const int size : sizes) {
        const ArtDrawing drawing{size < 24 ? QStringLiteral("heart-16") : QStringLiteral("heart-32"),
                                 size < 24 ? QSize(16, 16) : QSize(32, 32), true};
        const QImage image = renderArt(drawing, QSize(size, size));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (image.isNull() || !image.save(&buffer, "PNG")) {
            std::fprintf(stderr, "kanaroll-prerender: cannot render the icon at %d\n", size);
            return 1;
        }
        images.append(png);
    }
    QByteArray ico;
    put16(ico, 0);
    put16(ico, 1); // an icon
    put16(ico, int(sizes.size()));
    qint64 offset = 6 + 16 * sizes.size();
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        ico.append(char(sizes[i] & 0xff)).append(char(sizes[i] & 0xff)); // 256 is written as 0
        ico.append(char(0)).append(char(0));
        put16(ico, 1);  // planes
        put16(ico, 32); // bits per pixel
        put32(ico, images[i].size());
        put32(ico, offset);
        offset += images[i].size();
    }
    for (const QByteArray &png : images)
        ico += png;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size() || !file.commit()) {
        std::fprintf(stderr, "kanaroll-prerender: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--ico"))
        return writeIcon(args.at(2));
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: kanaroll-prerender OUTDIR | --ico FILE\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "kanaroll-prerender: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    QByteArray qrc = "<RCC>\n  <qresource prefix=\"/art\">\n";
    for (const ArtDrawing &drawing : artDrawings()) {
        // An icon's 16 drawing serves boxes below 24 pixels, its 32 drawing the rest.
        QList<QSize> logical{drawing.size};
        if (drawing.size.width() == drawing.size.height() && (drawing.size.width() == 16 || drawing.size.width() == 32)) {
            for (const int extra : kIconExtraSizes) {
                if ((extra < 24) == (drawing.size.width() == 16))
                    logical.append(QSize(extra, extra));
            }
        }
        QSet<QString> done;
        for (const QSize size : logical) {
            for (const qreal scale : kPrerenderedScales) {
                const QSize physical(qMax(1, qRound(size.width() * scale)), qMax(1, qRound(size.height() * scale)));
                const QString name = prerenderedName(drawing.name, physical);
                if (done.contains(name))
                    continue;
                done.insert(name);
                const QImage image = renderArt(drawing, physical);
                if (image.isNull() || !image.save(out.filePath(name))) {
                    std::fprintf(stderr, "kanaroll-prerender: cannot render %s\n", qPrintable(name));
                    return 1;
                }
                qrc += "    <file>" + name.toUtf8() + "</file>\n";
            }
        }
    }
    qrc += "  </qresource>\n</RCC>\n";
    QSaveFile file(out.filePath(QStringLiteral("artpng.qrc")));
    if (!file.open(QIODevice::WriteOnly) || file.write(qrc) != qrc.size() || !file.commit()) {
        std::fprintf(stderr, "kanaroll-prerender: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
