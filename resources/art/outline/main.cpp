// outline FAMILY STYLE PIXELSIZE TEXT [SKEW]
// Prints the outline of TEXT as SVG path data, with the baseline at y = 0 and
// the pen starting at x = 0, followed by a comment with the bounding box.
// STYLE is one of regular, bold, italic, bold-italic. SKEW slants further
// (x += SKEW * -y), for lettering that leans more than the font does.
#include <QFont>
#include <QGuiApplication>
#include <QPainterPath>
#include <QTextStream>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        QTextStream(stderr) << "usage: outline FAMILY STYLE PIXELSIZE TEXT [SKEW]\n";
        return 2;
    }
    QFont font(args[1]);
    font.setPixelSize(args[3].toInt());
    font.setBold(args[2].contains(QLatin1String("bold")));
    font.setItalic(args[2].contains(QLatin1String("italic")));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    const double skew = args.size() > 5 ? args[5].toDouble() : 0.0;

    QPainterPath path;
    path.addText(0, 0, font, args[4]);
    QTransform slant;
    slant.shear(-skew, 0);
    path = slant.map(path);

    QString d;
    QTextStream out(&d);
    auto num = [](double v) { return QString::number(v, 'f', 2); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            if (i > 0)
                out << "Z";
            out << "M" << num(e.x) << "," << num(e.y);
        } else if (e.isLineTo()) {
            out << "L" << num(e.x) << "," << num(e.y);
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element to = path.elementAt(i + 2);
            out << "C" << num(e.x) << "," << num(e.y) << " " << num(c2.x) << ","
                << num(c2.y) << " " << num(to.x) << "," << num(to.y);
            i += 2;
        }
    }
    out << "Z";
    const QRectF box = path.boundingRect();
    QTextStream(stdout) << d << "\n<!-- box " << box.x() << " " << box.y() << " " << box.width()
                        << " " << box.height() << " -->\n";
    return 0;
}
