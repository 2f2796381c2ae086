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
#include <QClipboard>
#include <QCursor>
#include <QScrollBar>
#include <QTableView>
#include <QProcess>
#include <QStandardPaths>
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

// A message box as it stood over the window: its title, lblCp and lblKekka.
struct Box {
    QString title;
    QString pair;
    QString kekka;
    friend bool operator==(const Box &, const Box &) = default;
};

char *toString(const Box &b)
{
    return QTest::toString(QStringLiteral("%1 [%2] %3").arg(b.title, b.pair, b.kekka));
}

} // namespace

Q_DECLARE_METATYPE(Box)

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

    // A real click during a quick fortune waits until the fortune is drawn,
    // and is handled then; only 終了 goes through at once.
    void quickRunHoldsClicks_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("わくわくモード") << QStringLiteral("Option1(1)");
        QTest::newRow("終了") << QStringLiteral("cmdEnd");
    }
    void quickRunHoldsClicks()
    {
        QFETCH(QString, target);
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCursor::setPos(w.mapToGlobal(w.rect().center()));
        QTRY_VERIFY(w.underMouse());
        w.Option1(0)->click();
        // Long enough a fortune that the click lands while it is drawn.
        const QString kana = QStringLiteral("たろうはなこ");
        QString n1, n2;
        for (int i = 0; i < 60000; ++i) {
            n1 += kana[i % 6];
            n2 += kana[(i + 1) % 6];
        }
        w.txtNamae1->setText(n1);
        w.txtNamae2->setText(n2);
        QWidget *control = target == QStringLiteral("cmdEnd") ? static_cast<QWidget *>(w.cmdEnd) : w.Option1(1);
        const QPoint at = control->mapToGlobal(control->rect().center());
        bool clickedDuringRun = false;
        bool switchedDuringRun = false;
        QTimer watch;
        watch.setInterval(5);
        connect(&watch, &QTimer::timeout, &w, [&] {
            if (w.isRunning())
                switchedDuringRun = switchedDuringRun || w.Option1(1)->isChecked();
        });
        // The run's first repaint: the click reaches the server while the
        // run goes on, and waits in the queue for the window's next look.
        QTimer::singleShot(0, &w, [&] {
            clickedDuringRun = w.isRunning()
                               && QProcess::execute(QStringLiteral("xdotool"),
                                                    {QStringLiteral("mousemove"), QString::number(at.x()),
                                                     QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")})
                                      == 0;
            watch.start();
        });
        QTest::mouseClick(w.cmdPlay, Qt::LeftButton);
        watch.stop();
        QVERIFY(clickedDuringRun);
        QVERIFY(!switchedDuringRun);
        if (target == QStringLiteral("cmdEnd")) {
            QVERIFY(w.isClosing());
            QVERIFY(w.lblKekka->text() == QStringLiteral("100%")); // ended before the result
            return;
        }
        QVERIFY(!w.isClosing());
        QVERIFY(w.fraHide1->isHidden()); // the fortune was drawn to its end in the quick mode
        QVERIFY(w.Option1(0)->isChecked());
        QTRY_VERIFY(w.Option1(1)->isChecked()); // the held click, handled afterwards
    }

    // Each refused pair of a quick batch stands over what the pairs before it
    // in run order left, and the run ends as its last pair leaves it.
    void quickBatchRefusedPairs_data()
    {
        QTest::addColumn<QByteArray>("selfFile");
        QTest::addColumn<QByteArray>("partnerFile");
        QTest::addColumn<QList<Box>>("boxes");
        QTest::addColumn<Box>("end"); // title unused: lblCp and lblKekka after the run
        const QString empty = QStringLiteral("未入力確認");
        const QString chars = QStringLiteral("文字確認");
        QTest::newRow("empty self name") << listFile({QStringLiteral("たろう"), QString()})
                                         << listFile({QStringLiteral("はなこ")})
                                         << QList<Box>{{empty, QStringLiteral("たろう _ はなこ"), QStringLiteral("42%")},
                                                       {empty, QStringLiteral("はなこ _ たろう"), QStringLiteral("40%")}}
                                         << Box{QString(), QStringLiteral("はなこ _ たろう"), QStringLiteral("40%")};
        QTest::newRow("empty first pair") << listFile({QString(), QStringLiteral("たろう")})
                                          << listFile({QStringLiteral("はなこ")})
                                          << QList<Box>{{empty, QString(), QStringLiteral("100%")},
                                                        {empty, QStringLiteral("たろう _ はなこ"), QStringLiteral("42%")}}
                                          << Box{QString(), QStringLiteral("はなこ _ たろう"), QStringLiteral("40%")};
        QTest::newRow("letters in a partner name")
            << listFile({QStringLiteral("たろう"), QStringLiteral("さくら")})
            << listFile({QStringLiteral("はなこ"), QStringLiteral("x")})
            // The box stands over the refused pair's caption and the kekka before it.
            << QList<Box>{{chars, QStringLiteral("たろう _ x"), QStringLiteral("42%")},
                          {chars, QStringLiteral("さくら _ x"), QStringLiteral("42%")},
                          {chars, QStringLiteral("x _ たろう"), QStringLiteral("40%")},
                          {chars, QStringLiteral("x _ さくら"), QStringLiteral("20%")}}
            << Box{QString(), QString(), QStringLiteral("20%")};
    }
    void quickBatchRefusedPairs()
    {
        QFETCH(QByteArray, selfFile);
        QFETCH(QByteArray, partnerFile);
        QFETCH(QList<Box>, boxes);
        QFETCH(Box, end);
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), selfFile);
        dir.write(QStringLiteral("相手.txt"), partnerFile);
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCursor::setPos(w.mapToGlobal(w.rect().center()));
        QTRY_VERIFY(w.underMouse());
        QList<Box> seen;
        setMsgBoxHook([&](const QString &, const QString &title, MsgKind) {
            seen.append({title, w.lblCp->text(), w.lblKekka->text()});
            return MsgAnswer::Ok;
        });
        w.Option1(0)->click();
        QTest::mouseClick(w.cmdHozon, Qt::LeftButton);
        setMsgBoxHook([](const QString &, const QString &, MsgKind) { return MsgAnswer::Ok; });
        QCOMPARE(seen, boxes);
        QCOMPARE(w.lblCp->text(), end.pair);
        QCOMPARE(w.lblKekka->text(), end.kekka);
        QCOMPARE(w.fraHide1->isHidden(), !end.pair.isEmpty());
    }

    // A long quick run lets the window handle events, so 終了 ends it.
    // A grid of more rows than the view holds, with real keys: Ctrl+End
    // reaches the last row in one press, the bar over the whole grid stands
    // in the view's bar's place at its end, and Ctrl+A, Ctrl+C copy from the
    // grid's first row and name every row.
    void gridBeyondTheViewWithRealKeys()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), listFile(names(QStringLiteral("さく"), 2050)));
        dir.write(QStringLiteral("相手.txt"), listFile(names(QStringLiteral("ゆう"), 2050)));
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Option1(0)->click();
        w.cmdHozon->click();
        const int rows = 2 * 2050 * 2050;
        QCOMPARE(w.ichiran().rowCount(), rows);
        QTableView *grid = w.msgList;
        QVERIFY(grid->model() != &w.ichiran());
        auto *bar = grid->findChild<QScrollBar *>(QStringLiteral("gridScrollBar"));
        QVERIFY(bar && bar->isVisible());
        QVERIFY(!grid->verticalScrollBar()->isVisible());
        QCOMPARE(bar->mapTo(grid, QPoint(bar->width(), 0)).x(), grid->width() - grid->frameWidth());
        QCOMPARE(qint64(bar->maximum()) + bar->pageStep(), qint64(rows));

        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        grid->setFocus();
        QStringList bodies;
        setMsgBoxHook([&](const QString &body, const QString &, MsgKind) {
            bodies << body;
            return MsgAnswer::Ok;
        });
        auto keys = [](const QString &k) {
            return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), k}) == 0;
        };
        QVERIFY(keys(QStringLiteral("ctrl+End")));
        QTRY_COMPARE(bar->value(), bar->maximum());
        const QModelIndex current = grid->currentIndex();
        for (int c = 0; c < 3; ++c)
            QCOMPARE(current.siblingAtColumn(c).data(), w.ichiran().index(rows - 1, c).data());
        QVERIFY(keys(QStringLiteral("ctrl+a")));
        QVERIFY(keys(QStringLiteral("ctrl+c")));
        QTRY_COMPARE(bodies.size(), 1);
        setMsgBoxHook([](const QString &, const QString &, MsgKind) { return MsgAnswer::Ok; });
        QCOMPARE(bodies[0], QStringLiteral("選択した%1行のうち、先頭の100000行だけをコピーしました。").arg(rows));
        const QString text = QGuiApplication::clipboard()->text();
        QCOMPARE(text.count(u'\n'), 100000);
        const QString first = w.ichiran().index(0, 0).data().toString() + u'\t'
                              + w.ichiran().index(0, 1).data().toString() + u'\t'
                              + w.ichiran().index(0, 2).data().toString() + u'\n';
        QVERIFY(text.startsWith(first));
        QVERIFY(!w.isRunning());
    }

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
