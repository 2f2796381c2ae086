// A quick batch through the window under the xcb platform on a private Xvfb,
// with the pointer resting on the window, as a user runs it.

#include "tempworkdir.h"
#include "xvfbserver.h"
#include "batch/ichiran.h"
#include "batch/ikkatsu.h"
#include "engine/aisho.h"
#include "lists/namaewaku.h"
#include "play/layout.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QCursor>
#include <QStringEncoder>
#include <QTimer>
#include <QtTest>

#include <cstdio>

using namespace kanaroll;

namespace {

QByteArray listFile(const QStringList &names)
{
    QByteArray b;
    for (const QString &n : names)
        b += QStringEncoder("windows-31j").encode(n) + QByteArray("\r\n");
    return b;
}

QStringList names(const QString &stem, int count)
{
    const QString kana = QStringLiteral("あいうえおかきくけこさしすせそたちつてと");
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << stem + kana[i % 20] + kana[i / 20 % 20] + kana[i / 400 % 20];
    return out;
}

} // namespace

class TestWindowXcb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        setMsgBoxHook([](const QString &, const QString &, MsgKind) { return MsgAnswer::Ok; });
    }

    void quickBatchShowsTheLastPair()
    {
        const QStringList self = names(QStringLiteral("たろ"), 30) << QStringLiteral("たろう");
        const QStringList partner = names(QStringLiteral("はな"), 30) << QStringLiteral("はなこ");
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), listFile(self));
        dir.write(QStringLiteral("相手.txt"), listFile(partner));
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCursor::setPos(w.cmdHozon->mapToGlobal(w.cmdHozon->rect().center()));
        QTRY_VERIFY(w.underMouse());
        w.Option1(0)->click();
        QTest::mouseClick(w.cmdHozon, Qt::LeftButton);

        // Every pair in its order with the engine's percentage.
        const std::vector<IkkatsuPair> pairs = IkkatsuPairs(self, partner);
        QCOMPARE(w.ichiran().rowCount(), int(pairs.size()));
        for (int r = 0; r < int(pairs.size()); ++r) {
            const IkkatsuPair &p = pairs[std::size_t(r)];
            const int pct = AishoCalc(p.first.toStdU16String(), p.second.toStdU16String()).percentage;
            const QStringList cells = {w.ichiran().index(r, 0).data().toString(),
                                       w.ichiran().index(r, 1).data().toString(),
                                       w.ichiran().index(r, 2).data().toString()};
            QCOMPARE(cells, (QStringList{p.first, p.second, QString::number(pct)}));
        }

        // The last pair, はなこ + たろう, on the picture, the label, the faces and
        // in the boxes, as its single fortune shows it.
        const std::vector<PlacedText> texts = w.Picture1->texts();
        const char *rows[] = {"115153", "26668", "8224", "046", "40"};
        QCOMPARE(texts.size(), std::size_t(5));
        const qint64 x0 = rowZeroX(w.Picture1->widthTwips(), w.Picture1->TextWidth("115153"));
        for (std::size_t r = 0; r < 5; ++r)
            QCOMPARE(texts[r], (PlacedText{x0 + 238 * qint64(r), 690 * qint64(r), QString::fromLatin1(rows[r])}));
        QCOMPARE(w.lblCp->text(), QStringLiteral("はなこ _ たろう"));
        QCOMPARE(w.lblKekka->text(), QStringLiteral("40%"));
        QCOMPARE(w.txtNamae1->text(), QStringLiteral("はなこ"));
        QCOMPARE(w.txtNamae2->text(), QStringLiteral("たろう"));
        QVERIFY(!w.fraHide1->isVisible());
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(w.imgniko(i)->isVisible(), i < 3);
        QVERIFY(w.imgkana(3)->isVisible());
        QVERIFY(w.fraIchiran->isVisible());
        QTest::mouseClick(w.cmdPlay, Qt::LeftButton);
        QVERIFY(w.Picture1->texts() == texts);
    }

    // A long quick run lets the window handle events, so 終了 ends it.
    void exitDuringALongQuickRun()
    {
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), listFile(names(QStringLiteral("さく"), 600)));
        dir.write(QStringLiteral("相手.txt"), listFile(names(QStringLiteral("ゆう"), 600)));
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Option1(0)->click();
        bool wasRunning = false;
        QString pairShown;
        QTimer::singleShot(0, &w, [&] {
            wasRunning = w.isRunning();
            pairShown = w.lblCp->text();
            w.cmdEnd->click();
        });
        w.cmdHozon->click();
        QVERIFY(wasRunning);
        QVERIFY(pairShown.contains(QStringLiteral(" _ "))); // the pair reached, not the empty start
        QVERIFY(w.isClosing());
        QVERIFY(w.ichiran().rowCount() < 2 * 600 * 600);
    }
};

int main(int argc, char **argv)
{
    XvfbServer server;
    if (!server.ok()) {
        std::printf("SKIP: Xvfb could not be started\n");
        return 77;
    }
    server.useIt();
    QApplication app(argc, argv);
    TestWindowXcb t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_window_xcb.moc"
