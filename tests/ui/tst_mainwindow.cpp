#include "tempworkdir.h"
#include "lists/namaewaku.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/twips.h"

#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

using namespace kanaroll;
using namespace Qt::StringLiterals;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void twipsConversion()
    {
        // Edges are rounded, so a 5000-twip picture is 333 px and ends where
        // the frame over it ends.
        QCOMPARE(twipsToPixels(QRect(4320, 1500, 5000, 5115)), QRect(288, 100, 333, 341));
        QCOMPARE(twipsToPixels(QRect(4320, 1275, 5000, 5340)), QRect(288, 85, 333, 356));
        QCOMPARE(twipsToPixels(QRect(750, 675, 2880, 375)), QRect(50, 45, 192, 25));
        QCOMPARE(twipsToPixels(QRect(750, 225, 2895, 375)).width(), 193);
    }

    void everyControlAtItsPlace()
    {
        TempWorkDir dir;
        MainWindow w;
        QCOMPARE(w.size(), QSize(627, 448));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags() & Qt::WindowMaximizeButtonHint); // shown greyed: the size is fixed
        QCOMPARE(w.windowTitle(), QStringLiteral("Kanaroll"));
        int checked = 0;
        for (const ControlPlace *p = placesBegin(); p != placesEnd(); ++p) {
            const QString name = QString::fromLatin1(p->name);
            auto *widget = w.findChild<QWidget *>(name);
            QVERIFY2(widget, qPrintable(name));
            QCOMPARE(widget->geometry(), twipsToPixels(p->rect()));
            ++checked;
        }
        QCOMPARE(checked, 41);
        // Containers as designed.
        QCOMPARE(w.txtNamae1->parentWidget(), w.Frame2);
        QCOMPARE(w.Option1(1)->parentWidget(), w.Frame2);
        QCOMPARE(w.Image2->parentWidget(), w.fraHide1);
        QCOMPARE(w.msgList->parentWidget(), w.fraIchiran);
        QCOMPARE(w.cmdKza->parentWidget(), w.fraIchiran);
        QCOMPARE(w.lblKekka->parentWidget(), &w);
        // Lines: one pixel high, from and to as designed.
        QCOMPARE(w.Line1(1)->geometry(), QRect(10, 79, 611, 1));
        QCOMPARE(w.Line1(2)->geometry(), QRect(10, 80, 611, 1));
        QCOMPARE(w.Line2(0)->geometry().y(), 432);
        QCOMPARE(w.Line2(1)->geometry().y(), 433);
        QCOMPARE(w.Line1(1)->color(), QColor(Qt::black));
        QCOMPARE(w.Line2(0)->color(), QColor(Qt::white));
    }

    void captionsTipsAndFonts()
    {
        TempWorkDir dir;
        MainWindow w;
        QCOMPARE(w.cmdPlay->text(), QStringLiteral("占う"));
        QCOMPARE(w.cmdHozon->text(), QStringLiteral("一括"));
        QCOMPARE(w.cmdHelp->text(), QStringLiteral("ヘルプ"));
        QCOMPARE(w.cmdEnd->text(), QStringLiteral("終了"));
        QCOMPARE(w.cmdKoukan->text(), QStringLiteral("←    ←"));
        QCOMPARE(w.cmdPlay->toolTip(), QStringLiteral("自分/相手枠の相性占いをします"));
        QCOMPARE(w.cmdKza->toolTip(), QStringLiteral("相性度を高い順に並び替えます"));
        QCOMPARE(w.cmdNaz->toolTip(), QStringLiteral("名前を昇順で並び替えます"));
        QCOMPARE(w.lstAite->toolTip(), QStringLiteral("クリックで選択。ダブルクリックで選択行を削除"));
        QCOMPARE(w.lblJlist->text(), QStringLiteral("自分リスト"));
        QCOMPARE(w.Label1(0)->text(), QStringLiteral("自分"));
        QCOMPARE(w.Label3->text(), QStringLiteral("％"));

        // The design's fonts resolve to the faces installed here.
        const QFontInfo gothic(w.txtNamae1->font());
        QVERIFY2(gothic.family().startsWith(QStringLiteral("IPA")), qPrintable(gothic.family()));
        QCOMPARE(w.txtNamae1->font().pointSize(), 12);
        const QFontInfo serif(w.lblKekka->font());
        QCOMPARE(serif.family(), QStringLiteral("Liberation Serif"));
        QVERIFY(serif.bold() && serif.italic());
        QCOMPARE(QFontInfo(w.Picture1->drawFont()).family(), QStringLiteral("Liberation Serif"));
        QVERIFY(!w.Picture1->drawFont().kerning());
    }

    void startState()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.fraIchiran->isVisible());
        QVERIFY(w.fraHide1->isVisible());
        for (int i = 1; i <= 3; ++i)
            QVERIFY(w.imgwara(i)->isVisible() && w.imgniko(i)->isVisible() && w.imgkana(i)->isVisible());
        QVERIFY(w.Picture1->texts().empty());
        QVERIFY(w.lblCp->text().isEmpty());
        QVERIFY(w.Option1(1)->isChecked());
        QVERIFY(!w.Option1(0)->isChecked());
        QCOMPARE(w.sngWait, 0.005f);
        QCOMPARE(w.strHelpFile, QStringLiteral("zqHelp.chm"));
        for (QWidget *child : w.findChildren<QWidget *>())
            QVERIFY2(child->isEnabled(), qPrintable(child->objectName()));
    }

    void designColours()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage shot = w.grab().toImage();
        auto at = [&](QWidget *control, QPoint offset) {
            return QColor(shot.pixel(control->mapTo(&w, offset)));
        };
        auto leftMiddle = [](QWidget *c) { return QPoint(3, c->height() / 2); };
        QCOMPARE(at(w.Picture1, w.Picture1->rect().center()), QColor(255, 255, 240));
        QCOMPARE(at(w.Label1(0), leftMiddle(w.Label1(0))), QColor(255, 192, 255));
        QCOMPARE(at(w.Label1(1), leftMiddle(w.Label1(1))), QColor(192, 192, 255));
        QCOMPARE(at(w.lblJlist, leftMiddle(w.lblJlist)), QColor(255, 224, 192));
        QCOMPARE(at(w.lblAlist, leftMiddle(w.lblAlist)), QColor(255, 255, 192));
        QCOMPARE(at(w.txtNamae1, leftMiddle(w.txtNamae1)), QColor(255, 255, 240));
        QCOMPARE(at(w.lstJibun, QPoint(w.lstJibun->width() / 2, w.lstJibun->height() - 4)), QColor(255, 255, 240));
        // The engraved rule under the top strip: dark over light.
        QCOMPARE(at(w.Line1(1), QPoint(100, 0)), QColor(Qt::black));
        QCOMPARE(at(w.Line1(2), QPoint(100, 0)), QColor(Qt::white));
    }

    void stacking()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The result area lies under fraHide1 while it is shown.
        auto topAt = [&w](QWidget *control) {
            const QPoint centre = control->mapTo(&w, control->rect().center());
            return w.childAt(centre);
        };
        for (int i = 1; i <= 3; ++i)
            QVERIFY(w.fraHide1->isAncestorOf(topAt(w.imgkana(i))) || topAt(w.imgkana(i)) == w.fraHide1);
        QVERIFY(w.fraHide1->geometry().contains(w.lblKekka->geometry()));
        QVERIFY(w.fraHide1->geometry().contains(w.Line2(1)->geometry()));
        // kana over niko over wara in each slot.
        w.fraHide1->hide();
        QCOMPARE(topAt(w.imgwara(2)), w.imgkana(2));
        // fraIchiran covers Picture1 and lblCp completely.
        w.fraIchiran->show();
        QVERIFY(w.fraIchiran->geometry().contains(w.Picture1->geometry()));
        QVERIFY(w.fraIchiran->geometry().contains(w.lblCp->geometry()));
        const QWidget *overPicture = topAt(w.Picture1);
        QVERIFY(overPicture == w.fraIchiran || w.fraIchiran->isAncestorOf(overPicture));
        w.fraIchiran->hide();
        QCOMPARE(topAt(w.Picture1), w.Picture1);
    }

    void tabOrder()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        auto visit = [&w](int steps) {
            QStringList seen;
            w.Picture1->setFocus();
            for (int i = 0; i < steps; ++i) {
                seen << QApplication::focusWidget()->objectName();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            return seen;
        };
        const QStringList closed = {"Picture1", "txtNamae1", "txtNamae2", "cmdPlay",   "cmdHozon", "cmdHelp",
                                    "cmdEnd",   "lstAite",   "Option1(1)", "cmdKoukan", "lstJibun", "Picture1"};
        QCOMPARE(visit(12), closed);

        w.fraIchiran->show();
        const QStringList open = {"Picture1", "txtNamae1", "txtNamae2", "cmdPlay",   "cmdHozon", "cmdHelp",
                                  "cmdEnd",   "lstAite",   "Option1(1)", "cmdKoukan", "lstJibun", "msgList",
                                  "cmdIPrint", "cmdIHozon", "cmdNaz",   "cmdNza",    "cmdKaz",   "cmdKza",
                                  "Picture1"};
        QCOMPARE(visit(19), open);
    }

    void cannotBeEnlarged()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.showMaximized();
        QTest::qWait(20);
        QCOMPARE(w.size(), QSize(627, 448));
        w.resize(800, 600);
        QCOMPARE(w.size(), QSize(627, 448));
    }

    void gridHeaderRow()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        w.fraIchiran->show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QHeaderView *header = w.msgList->horizontalHeader();
        const QImage shot = w.grab().toImage();
        auto at = [&](int x, int y) { return QColor(shot.pixel(header->viewport()->mapTo(&w, QPoint(x, y)))); };
        const int h = header->height();
        const int end = header->length();
        // Right of the "％" column: ivory, as all the grid that no cell covers.
        for (int x : {end + 1, (end + header->viewport()->width()) / 2, header->viewport()->width() - 1})
            QCOMPARE(at(x, h / 2), QColor(255, 255, 240));
        // Black lines at the right of each header cell and along its foot;
        // the cells keep their button face.
        for (int i = 0; i < header->count(); ++i) {
            const int right = header->sectionViewportPosition(i) + header->sectionSize(i) - 1;
            QCOMPARE(at(right, h / 2), QColor(Qt::black));
            QCOMPARE(at(right - header->sectionSize(i) / 4, h - 1), QColor(Qt::black));
        }
        QVERIFY(at(4, h / 2) != QColor(255, 255, 240) && at(4, h / 2) != QColor(Qt::black));
    }

    // Every grid line, of the cells and of the header, is as thick as every
    // other at each scale a desktop brings: one device pixel below 2.
    void gridLinesAtEveryScale_data()
    {
        QTest::addColumn<qreal>("scale");
        for (qreal s : {1.0, 1.25, 1.5, 1.75, 2.0, 2.5})
            QTest::addRow("%g", s) << s;
    }
    void gridLinesAtEveryScale()
    {
        QFETCH(qreal, scale);
        TempWorkDir dir;
        MainWindow w;
        w.fraIchiran->show();
        QStandardItemModel rows(40, 3);
        for (int r = 0; r < rows.rowCount(); ++r)
            rows.setItem(r, 0, new QStandardItem(u"たろう"_s));
        w.msgList->setModel(&rows);
        for (int c = 0; c < 3; ++c)
            w.msgList->setColumnWidth(c, 70 - 20 * c);
        QImage shot(w.msgList->size() * scale, QImage::Format_RGB32);
        shot.setDevicePixelRatio(scale);
        w.msgList->render(&shot);
        const int thick = qMax(1, int(scale));
        // Runs of one colour along a line across the lines, each run's length.
        auto runs = [&](QPoint from, QPoint step, int count, QColor colour) {
            QList<int> found;
            int run = 0;
            for (int i = 0; i < count; ++i) {
                const QPoint p = from + step * i;
                if (QColor(shot.pixel(p)) == colour) {
                    ++run;
                } else if (run) {
                    found << run;
                    run = 0;
                }
            }
            if (run)
                found << run;
            return found;
        };
        const QColor grid(192, 192, 192);
        const QHeaderView *header = w.msgList->horizontalHeader();
        const QPoint cells = w.msgList->viewport()->pos() * scale;
        const int down = int(w.msgList->viewport()->height() * scale) - 2;
        const int across = int(w.msgList->viewport()->width() * scale);
        const QList<int> rowLines = runs(cells + QPoint(int(4 * scale), 0), {0, 1}, down, grid);
        QVERIFY(rowLines.size() > 10);
        QCOMPARE(rowLines, QList<int>(rowLines.size(), thick));
        const int middle = int(w.msgList->verticalHeader()->defaultSectionSize() * scale / 2);
        // Right of the names, where no text is.
        const QList<int> columnLines = runs(cells + QPoint(int(50 * scale), middle), {1, 0}, across - int(50 * scale), grid);
        QCOMPARE(columnLines, QList<int>(header->count(), thick));
        const QPoint top = header->pos() * scale;
        const QList<int> headerLines = runs(top + QPoint(0, int(2 * scale)), {1, 0}, across,
                                            Qt::black);
        QCOMPARE(headerLines, QList<int>(header->count(), thick));
        const QList<int> foot = runs(top + QPoint(int(4 * scale), 0), {0, 1}, int(header->height() * scale) + 1, Qt::black);
        QCOMPARE(foot, QList<int>{thick});
    }

    // A user's hands: a self name, Tab, a partner name, Enter, Enter.
    void keyboardFlowTellsTheFortune()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QWindow *win = w.windowHandle();
        auto type = [win](const QString &text) {
            for (QChar ch : text)
                QTest::sendKeyEvent(QTest::Click, win, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        };
        w.txtNamae1->setFocus();
        type(u"たろう"_s);
        QTest::keyClick(win, Qt::Key_Tab);
        type(u"はなこ"_s);
        QTest::keyClick(win, Qt::Key_Return);
        QCOMPARE(w.sides().aite().names(), QStringList{u"はなこ"_s});
        QCOMPARE(QApplication::focusWidget(), w.cmdPlay);
        QVERIFY(w.fraHide1->isVisible());

        QTest::keyPress(win, Qt::Key_Return);
        QVERIFY(w.cmdPlay->isDown());
        QVERIFY(w.lblCp->text().isEmpty()); // told when the key is let go
        QTest::keyRelease(win, Qt::Key_Return);
        QVERIFY(!w.cmdPlay->isDown());
        QCOMPARE(w.lblKekka->text(), u"42%"_s);
        QVERIFY(w.lblKekka->isVisible());
        QVERIFY(!w.fraHide1->isVisible());
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(w.imgniko(i)->isVisible(), i < 3);
        QVERIFY(w.imgkana(3)->isVisible());
    }

    void enterPressesTheFocusedButton()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        w.fraIchiran->show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QWindow *win = w.windowHandle();
        const QList<QAbstractButton *> buttons = {w.cmdPlay, w.cmdHozon, w.cmdHelp, w.cmdEnd, w.cmdKoukan,
                                                  w.cmdIPrint, w.cmdIHozon, w.cmdNaz, w.cmdNza, w.cmdKaz, w.cmdKza};
        for (QAbstractButton *b : buttons) {
            b->disconnect(&w); // the key, not what the handlers do
            QSignalSpy clicks(b, &QAbstractButton::clicked);
            b->setFocus();
            for (auto [key, mods] : {std::pair{Qt::Key_Return, Qt::KeyboardModifiers()},
                                     std::pair{Qt::Key_Enter, Qt::KeyboardModifiers(Qt::KeypadModifier)}}) {
                QTest::keyPress(win, key, mods);
                QVERIFY2(b->isDown(), qPrintable(b->objectName()));
                QTest::keyRelease(win, key, mods);
                QVERIFY(!b->isDown());
            }
            QCOMPARE(clicks.count(), 2);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
