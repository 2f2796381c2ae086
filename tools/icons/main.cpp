// kanaroll-icons SVG OUTDIR SIZE...: renders SVG into OUTDIR/SIZE.png for
// each size, for the desktop icon theme.

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: kanaroll-icons SVG OUTDIR SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "kanaroll-icons: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QDir().mkpath(args.at(2));
    for (qsizetype i = 3; i < args.size(); ++i) {
        const int size = args.at(i).toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        svg.render(&p);
        p.end();
        const QString out = QDir(args.at(2)).filePath(QString::number(size) + QStringLiteral(".png"));
        if (!image.save(out)) {
            std::fprintf(stderr, "kanaroll-icons: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
