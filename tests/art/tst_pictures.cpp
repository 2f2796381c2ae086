#include "ui/pictures.h"

#include <QtTest>

using namespace kanaroll;

namespace {

// The sixteen colours of a classic icon.
const QList<QRgb> classicPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

QImage plain(Picture p, int size = 0, qreal ratio = 1.0)
{
    return pictureImage(p, size, ratio).convertToFormat(QImage::Format_ARGB32);
}

int count(const QImage &img, QRgb colour, QRect area = {})
{
    if (area.isNull())
        area = img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += img.pixel(x, y) == colour;
    return n;
}

// Pixels close to a colour, for the antialiased logo and teaser.
int countNear(const QImage &img, QColor colour, QRect area = {}, int tolerance = 48)
{
    if (area.isNull())
        area = img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = img.pixel(x, y);
            n += qAlpha(p) == 255 && qAbs(qRed(p) - colour.red()) <= tolerance
                 && qAbs(qGreen(p) - colour.green()) <= tolerance
                 && qAbs(qBlue(p) - colour.blue()) <= tolerance;
        }
    return n;
}

bool cornersTransparent(const QImage &img)
{
    const int r = img.width() - 1, b = img.height() - 1;
    return qAlpha(img.pixel(0, 0)) == 0 && qAlpha(img.pixel(r, 0)) == 0 && qAlpha(img.pixel(0, b)) == 0
           && qAlpha(img.pixel(r, b)) == 0;
}

int blueWidth(const QImage &img, int row)
{
    return count(img, qRgb(0, 0, 255), QRect(0, row, img.width(), 1));
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT
private slots:
    void everyPictureHasItsSize_data();
    void everyPictureHasItsSize();
    void onlyListedSizesExist();
    void highDensityRendersAtDoubleResolution();
    void sortLettersStayJoinedAndEven_data();
    void sortLettersStayJoinedAndEven();
    void iconsAreFlatClassicColours();
    void outsideTheShapeIsTransparent();
    void eachPictureShowsWhatItShould();
    void iconOffersBothDrawings();
};

void TestPictures::everyPictureHasItsSize_data()
{
    QTest::addColumn<Picture>("picture");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("icon");
    const QSize big(32, 32), small(16, 16);
    QTest::newRow("heart") << Picture::Heart << big << true;
    QTest::newRow("spade") << Picture::Spade << big << true;
    QTest::newRow("help") << Picture::Help << big << true;
    QTest::newRow("exit") << Picture::Exit << big << true;
    QTest::newRow("wara") << Picture::FaceWara << big << true;
    QTest::newRow("niko") << Picture::FaceNiko << big << true;
    QTest::newRow("kana") << Picture::FaceKana << big << true;
    QTest::newRow("sort a-z") << Picture::SortAZ << small << false;
    QTest::newRow("sort z-a") << Picture::SortZA << small << false;
    QTest::newRow("print") << Picture::Print << small << false;
    QTest::newRow("save") << Picture::Save << small << false;
    QTest::newRow("logo") << Picture::TitleLogo << QSize(296, 63) << false;
    QTest::newRow("teaser") << Picture::Teaser << QSize(259, 45) << false;
}

void TestPictures::everyPictureHasItsSize()
{
    QFETCH(Picture, picture);
    QFETCH(QSize, size);
    QFETCH(bool, icon);
    QCOMPARE(pictureSize(picture), size);
    QCOMPARE(isIcon(picture), icon);

    const QImage img = pictureImage(picture);
    QVERIFY(!img.isNull());
    QCOMPARE(img.size(), size);
    // Not a blank: the drawing covers a fair share of its box.
    const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            opaque += qAlpha(argb.pixel(x, y)) > 0;
    QVERIFY2(opaque * 10 > size.width() * size.height(), qPrintable(QString::number(opaque)));

    const QPixmap pm = pixmap(picture, 0, 1.0);
    QCOMPARE(pm.size(), size);
    if (icon) {
        QCOMPARE(pictureImage(picture, 16).size(), QSize(16, 16));
        QCOMPARE(pixmap(picture, 16, 1.0).size(), QSize(16, 16));
        QVERIFY(pictureImage(picture, 16) != pictureImage(picture, 32).scaled(16, 16));
    }
}

void TestPictures::onlyListedSizesExist()
{
    QVERIFY(pictureImage(Picture::Heart, 24).isNull());
    QVERIFY(pictureImage(Picture::Print, 32).isNull());
    QVERIFY(pictureImage(Picture::TitleLogo, 16).isNull());
    QVERIFY(!pictureImage(Picture::Print, 16).isNull());
    QVERIFY(pixmap(Picture::Save, 32, 1.0).isNull());
}

// The black strokes (A and Z, each one piece at 16 pixels) stay the same
// number of joined pieces at fractional scales, where vector rendering broke
// them apart, and every upright one-pixel stroke of them keeps one width.
void TestPictures::sortLettersStayJoinedAndEven_data()
{
    QTest::addColumn<qreal>("scale");
    for (qreal s : {1.25, 1.5, 2.5})
        QTest::addRow("%g", s) << s;
}

void TestPictures::sortLettersStayJoinedAndEven()
{
    QFETCH(qreal, scale);
    const auto pieces = [](const QImage &img) {
        QList<bool> seen(img.width() * img.height(), false);
        int count = 0;
        for (int start = 0; start < int(seen.size()); ++start) {
            const auto black = [&img](int at) { return img.pixel(at % img.width(), at / img.width()) == qRgb(0, 0, 0); };
            if (seen[start] || !black(start))
                continue;
            ++count;
            QList<int> todo{start};
            seen[start] = true;
            while (!todo.isEmpty()) {
                const int at = todo.takeLast();
                const int x = at % img.width();
                const int y = at / img.width();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx;
                        const int ny = y + dy;
                        const int next = ny * img.width() + nx;
                        if (nx >= 0 && ny >= 0 && nx < img.width() && ny < img.height() && !seen[next] && black(next)) {
                            seen[next] = true;
                            todo.append(next);
                        }
                    }
            }
        }
        return count;
    };
    // Lengths of the black runs along rows no longer than two strokes: the
    // upright one-pixel strokes and the diagonals' steps.
    const auto thinRuns = [](const QImage &img, bool across, int most) {
        QSet<int> lengths;
        const int lines = across ? img.height() : img.width();
        const int along = across ? img.width() : img.height();
        for (int l = 0; l < lines; ++l) {
            int run = 0;
            for (int i = 0; i <= along; ++i) {
                const bool black = i < along && img.pixel(across ? i : l, across ? l : i) == qRgb(0, 0, 0);
                if (black) {
                    ++run;
                    continue;
                }
                if (run > 0 && run <= most)
                    lengths << run;
                run = 0;
            }
        }
        return lengths;
    };
    const int stroke = int(scale);
    for (Picture p : {Picture::SortAZ, Picture::SortZA}) {
        const QImage one = pictureImage(p, 0, 1.0).convertToFormat(QImage::Format_RGB32);
        const QImage scaled = pictureImage(p, 0, scale).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(scaled.size(), QSize(16, 16) * scale);
        QCOMPARE(pieces(one), 2);
        QCOMPARE(pieces(scaled), 2);
        QCOMPARE(thinRuns(scaled, true, 2 * stroke), QSet<int>{stroke});
    }
}

void TestPictures::highDensityRendersAtDoubleResolution()
{
    for (Picture p : allPictures) {
        const QImage img = pictureImage(p, 0, 2.0);
        QCOMPARE(img.size(), pictureSize(p) * 2);
        QCOMPARE(img.devicePixelRatio(), 2.0);
        const QPixmap pm = pixmap(p, 0, 2.0);
        QCOMPARE(pm.deviceIndependentSize().toSize(), pictureSize(p));
    }
    // Rendered afresh, not blown up: the doubled heart is not the small one with
    // every pixel repeated.
    const QImage one = plain(Picture::Heart);
    const QImage two = plain(Picture::Heart, 0, 2.0);
    QVERIFY(two != one.scaled(64, 64));
}

void TestPictures::iconsAreFlatClassicColours()
{
    for (Picture p : allPictures) {
        if (p == Picture::TitleLogo || p == Picture::Teaser)
            continue;
        QList<int> sizes = {0};
        if (isIcon(p))
            sizes << 16;
        for (int size : sizes)
            for (qreal ratio : {1.0, 2.0}) {
                const QImage img = plain(p, size, ratio);
                for (int y = 0; y < img.height(); ++y)
                    for (int x = 0; x < img.width(); ++x) {
                        const QRgb px = img.pixel(x, y);
                        if (qAlpha(px) == 0)
                            continue;
                        QVERIFY2(qAlpha(px) == 255 && classicPalette.contains(px | 0xff000000u),
                                 qPrintable(QStringLiteral("picture %1 size %2 ratio %3 at %4,%5: %6")
                                                .arg(int(p))
                                                .arg(size)
                                                .arg(ratio)
                                                .arg(x)
                                                .arg(y)
                                                .arg(px, 8, 16)));
                    }
            }
    }
}

void TestPictures::outsideTheShapeIsTransparent()
{
    for (Picture p : allPictures) {
        const QImage img = plain(p);
        if (p == Picture::SortAZ || p == Picture::SortZA) {
            // These two sit on button grey, edge to edge.
            QCOMPARE(img.pixel(0, 0), qRgb(192, 192, 192));
            QCOMPARE(img.pixel(15, 15), qRgb(192, 192, 192));
            continue;
        }
        if (p == Picture::Save)
            continue; // the disk fills its square
        QVERIFY2(cornersTransparent(img), qPrintable(QString::number(int(p))));
        if (isIcon(p))
            QVERIFY2(cornersTransparent(plain(p, 16)), qPrintable(QString::number(int(p))));
    }
}

void TestPictures::eachPictureShowsWhatItShould()
{
    const QRgb red = qRgb(255, 0, 0), black = qRgb(0, 0, 0), white = qRgb(255, 255, 255),
               grey = qRgb(128, 128, 128), green = qRgb(0, 128, 0), yellow = qRgb(255, 255, 0),
               navy = qRgb(0, 0, 128);

    for (int size : {32, 16}) {
        const int c = size / 2;
        const QRect middle(c - size / 8, c - size / 8, size / 4, size / 4);
        QCOMPARE(count(plain(Picture::Heart, size), red, middle), middle.width() * middle.height());

        const QImage spade = plain(Picture::Spade, size);
        QVERIFY(count(spade, black) > count(spade, grey));
        QVERIFY(count(spade, grey) > 0);
        QCOMPARE(count(spade, red), 0);

        const QImage help = plain(Picture::Help, size);
        QVERIFY(count(help, green) > count(help, white));
        QVERIFY(count(help, white) > size);

        const QImage exit = plain(Picture::Exit, size);
        QVERIFY(count(exit, black) > size * 4);
        QVERIFY(count(exit, white) > size);

        // Three yellow faces, told apart by their mouths.
        QImage faces[3];
        const Picture kinds[3] = {Picture::FaceWara, Picture::FaceNiko, Picture::FaceKana};
        for (int i = 0; i < 3; ++i) {
            faces[i] = plain(kinds[i], size);
            QVERIFY(count(faces[i], yellow) * 4 > size * size);
            QCOMPARE(faces[i].pixel(c, size / 4), yellow); // forehead
        }
        QVERIFY(count(faces[0], red) > 0);
        QCOMPARE(count(faces[1], red), 0);
        QCOMPARE(count(faces[2], red), 0);
        QVERIFY(count(faces[0], black) > count(faces[1], black));
        QVERIFY(faces[1] != faces[2]);
        // The glum mouth is one straight bar: every black pixel of the lower
        // half inside the rim lies in a single band of rows.
        int top = size, bottom = -1;
        for (int y = c + 1; y <= size * 13 / 16; ++y)
            for (int x = size * 5 / 16; x < size * 11 / 16; ++x)
                if (faces[2].pixel(x, y) == black) {
                    top = qMin(top, y);
                    bottom = qMax(bottom, y);
                }
        QVERIFY(bottom >= top);
        QVERIFY(bottom - top < size / 8 + 1);
    }

    // The sort arrows point down: the head is wider than the shaft above it.
    for (Picture p : {Picture::SortAZ, Picture::SortZA}) {
        const QImage img = plain(p);
        QVERIFY(blueWidth(img, 11) > blueWidth(img, 3));
        QVERIFY(blueWidth(img, 3) > 0);
        QVERIFY(count(img, black) > 20);
    }
    QVERIFY(plain(Picture::SortAZ) != plain(Picture::SortZA));
    // A over Z: the A's apex is a lone pixel in its top row, Z's top is a bar.
    QVERIFY(count(plain(Picture::SortAZ), black, QRect(0, 1, 8, 1)) < 3);
    QVERIFY(count(plain(Picture::SortZA), black, QRect(0, 1, 8, 1)) >= 4);

    const QImage print = plain(Picture::Print);
    QVERIFY(count(print, white) > 10 && count(print, black) > 20);
    QVERIFY(count(plain(Picture::Save), navy) > 40);

    const QImage logo = plain(Picture::TitleLogo);
    QVERIFY(countNear(logo, QColor(192, 0, 0)) > 2000);
    QCOMPARE(countNear(logo, QColor(0, 0, 255)), 0);
    // The lettering spans the logo from end to end.
    QVERIFY(countNear(logo, QColor(192, 0, 0), QRect(0, 0, 60, 63)) > 100);
    QVERIFY(countNear(logo, QColor(192, 0, 0), QRect(236, 0, 60, 63)) > 100);

    const QImage teaser = plain(Picture::Teaser);
    QVERIFY(countNear(teaser, QColor(0, 0, 255), QRect(0, 15, 200, 30)) > 800);
    // Small red words above the right end of the line, none under it.
    QVERIFY(countNear(teaser, QColor(255, 0, 0), QRect(140, 0, 70, 15)) > 40);
    QCOMPARE(countNear(teaser, QColor(255, 0, 0), QRect(0, 15, 259, 30)), 0);
    // The hand at the right: white with a black rim.
    QVERIFY(count(teaser, white, QRect(215, 15, 44, 30)) > 100);
    QVERIFY(countNear(teaser, QColor(0, 0, 0), QRect(215, 15, 44, 30), 40) > 60);
}

void TestPictures::iconOffersBothDrawings()
{
    const QIcon heart = icon(Picture::Heart);
    QVERIFY(!heart.isNull());
    const QList<QSize> sizes = heart.availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    QCOMPARE(heart.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32), plain(Picture::Heart, 16));
    QCOMPARE(heart.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32), plain(Picture::Heart));

    const QPixmap sharp = heart.pixmap(QSize(32, 32), 2.0);
    QCOMPARE(sharp.size(), QSize(64, 64));
    QCOMPARE(sharp.toImage().convertToFormat(QImage::Format_ARGB32), plain(Picture::Heart, 0, 2.0));

    const QIcon print = icon(Picture::Print);
    QCOMPARE(print.availableSizes(), QList<QSize>{QSize(16, 16)});
    QCOMPARE(print.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32), plain(Picture::Print));
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
