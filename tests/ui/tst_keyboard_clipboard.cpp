// The keyboard, the clipboard and input methods in the real window: pasted
// line breaks, the grid's keys and row copy, type-ahead from an input
// method, and the fortune as a picture.

#include "cp932.h"
#include "tempworkdir.h"
#include "batch/ichiran.h"
#include "ui/fonts.h"
#include "ui/fortunepicture.h"
#include "ui/gridcopy.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QMenu>
#include <QtTest>

#include "lists/namaewaku.h"

#include <memory>
#include <sys/stat.h>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

struct Fixture {
    TempWorkDir dir;
    std::unique_ptr<MainWindow> w;

    Fixture(const QStringList &self, const QStringList &partner)
    {
        dir.write(u"自分.txt"_s, listFile(self));
        dir.write(u"相手.txt"_s, listFile(partner));
        w = std::make_unique<MainWindow>();
        w->show();
        w->Option1(0)->click(); // quick
    }
    bool active()
    {
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
};

QString clipboardText() { return QGuiApplication::clipboard()->text(); }

QPoint rowPoint(QTableView *grid, int row)
{
    return grid->visualRect(grid->model()->index(row, 0)).center();
}

} // namespace

class TestKeyboardClipboard : public QObject
{
    Q_OBJECT
    QStringList titles;

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        setMsgBoxHook([this](const QString &, const QString &title, MsgKind) {
            titles << title;
            return MsgAnswer::Ok;
        });
    }
    void cleanupTestCase() { setMsgBoxHook({}); }
    void init() { titles.clear(); }

    void pastedLineBreakNeverReachesTheList()
    {
        Fixture f({u"たろう"_s}, {});
        MainWindow &w = *f.w;
        QVERIFY(f.active());
        w.txtNamae2->setFocus();
        QGuiApplication::clipboard()->setText(u"はな\tこ\r\n"_s);
        QTest::keyClick(w.txtNamae2, Qt::Key_V, Qt::ControlModifier);
        // Only the line break goes: the tab is the user's own.
        QCOMPARE(w.txtNamae2->text(), u"はな\tこ"_s);
        QCOMPARE(w.txtNamae2->cursorPosition(), 4);
        QTest::keyClick(w.txtNamae2, Qt::Key_Return);
        QCOMPARE(f.dir.read(u"相手.txt"_s), listFile({u"はな\tこ"_s}));
        // Set by code (a pick, a swap) the same holds.
        w.txtNamae1->setText(u"じ\nろう"_s);
        QCOMPARE(w.txtNamae1->text(), u"じろう"_s);
    }

    // A name read from the file stays as stored: in the box, the play, the
    // duplicate test and the file.
    void storedControlCharacterStays()
    {
        const QByteArray before = listFile({u"た\tろう"_s, u"さくら"_s});
        Fixture f({u"た\tろう"_s, u"さくら"_s}, {});
        MainWindow &w = *f.w;
        QVERIFY(f.active());
        QCOMPARE(w.txtNamae1->text(), u"た\tろう"_s);
        w.txtNamae2->setText(u"はなこ"_s);
        w.cmdPlay->click();
        QCOMPARE(titles, QStringList{u"文字確認"_s});
        QVERIFY(w.lblCp->text().isEmpty());
        w.txtNamae1->setFocus();
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(f.dir.read(u"自分.txt"_s), before);
        QCOMPARE(w.sides().jibun().names(), (QStringList{u"た\tろう"_s, u"さくら"_s}));
    }

    void gridKeysAndRowCopy()
    {
        Fixture f({u"たろう"_s, u"さくら"_s}, {u"はなこ"_s, u"ゆうき"_s});
        MainWindow &w = *f.w;
        QVERIFY(f.active());
        w.cmdHozon->click();
        QVERIFY(w.fraIchiran->isVisible());
        QTableView *grid = w.msgList;
        const auto line = [&](int r) {
            const QAbstractItemModel *m = grid->model();
            return m->index(r, 0).data().toString() + u'\t' + m->index(r, 1).data().toString() + u'\t'
                + m->index(r, 2).data().toString() + u'\n';
        };

        // Tab and Shift+Tab leave the grid; the arrows, End and Home move in it.
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->currentIndex().row(), 1);
        QTest::keyClick(grid, Qt::Key_End);
        QCOMPARE(grid->currentIndex().column(), 2);
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.cmdIPrint);
        QTest::keyClick(w.cmdIPrint, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), w.cmdIPrint);
        grid->setFocus();

        // Click, Shift+click and Ctrl+click pick whole rows; Ctrl+C copies them.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rowPoint(grid, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(grid, 2));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, rowPoint(grid, 5));
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboardText(), line(0) + line(1) + line(2) + line(5));
        QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        const QString copiedAll = clipboardText();

        // The context menu offers the same two.
        grid->clearSelection();
        QStringList offered;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *a : menu->actions())
                offered << a->text() + (a->isEnabled() ? u""_s : u" (off)"_s);
            menu->setActiveAction(menu->actions().at(1));
            QTest::keyClick(menu, Qt::Key_Return);
        });
        emit grid->customContextMenuRequested(rowPoint(grid, 0));
        QCOMPARE(offered, (QStringList{u"コピー (off)"_s, u"すべて選択"_s}));
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 8);
        QString all;
        for (int r = 0; r < 8; ++r)
            all += line(r);
        QCOMPARE(copiedAll, all);
        QVERIFY(titles.isEmpty());
    }

    void hugeSelectionCopiesItsFirstRowsAndSaysSo()
    {
        Fixture f({}, {});
        MainWindow &w = *f.w;
        IchiranModel &m = w.ichiran();
        m.holdUpdates(true);
        for (int i = 0; i < kGridCopyMaxRows + 5; ++i)
            m.append(u"あ"_s, u"い"_s, i % 101);
        m.holdUpdates(false);
        w.msgList->selectAll();
        QElapsedTimer t;
        t.start();
        QVERIFY(copySelectedRows(w.msgList));
        qInfo("copied %d rows in %lld ms", kGridCopyMaxRows, t.elapsed());
        QCOMPARE(clipboardText().count(u'\n'), kGridCopyMaxRows);
        QVERIFY(clipboardText().startsWith(u"あ\tい\t0\nあ\tい\t1\n"_s));
        QCOMPARE(titles, QStringList{u"コピー確認"_s});
    }

    // The copy stops at whole rows within its size; the count says how many.
    void copyIsBoundedBySize_data()
    {
        QTest::addColumn<int>("maxRows");
        QTest::addColumn<qsizetype>("maxChars");
        QTest::addColumn<qint64>("copied");
        // Each row is "あ\tい\t5\n", 6 characters; 4 rows selected.
        QTest::newRow("less than a row") << 10 << qsizetype(5) << qint64(0);
        QTest::newRow("exactly a row") << 10 << qsizetype(6) << qint64(1);
        QTest::newRow("a row and a half") << 10 << qsizetype(9) << qint64(1);
        QTest::newRow("rows bound first") << 3 << qsizetype(1000) << qint64(3);
        QTest::newRow("all") << 10 << qsizetype(24) << qint64(4);
    }
    void copyIsBoundedBySize()
    {
        QFETCH(int, maxRows);
        QFETCH(qsizetype, maxChars);
        QFETCH(qint64, copied);
        Fixture f({}, {});
        MainWindow &w = *f.w;
        for (int i = 0; i < 4; ++i)
            w.ichiran().append(u"あ"_s, u"い"_s, 5);
        w.msgList->selectAll();
        qint64 selected = 0;
        qint64 got = -1;
        const QString text = selectedRowsText(w.msgList, maxRows, &selected, maxChars, &got);
        QCOMPARE(selected, qint64(4));
        QCOMPARE(got, copied);
        QCOMPARE(text, QString(u"あ\tい\t5\n"_s).repeated(int(copied)));
    }

    void inputMethodCommitSearchesTheList()
    {
        Fixture f({u"たろう"_s, u"さぶろう"_s, u"しろう"_s}, {});
        MainWindow &w = *f.w;
        QVERIFY(f.active());
        w.lstJibun->setFocus(Qt::TabFocusReason);
        QCOMPARE(QGuiApplication::focusObject(), w.lstJibun);
        QVERIFY(QInputMethod::queryFocusObject(Qt::ImEnabled, {}).toBool()); // an input method is let in
        QInputMethodEvent preedit(u"s"_s, {});
        QApplication::sendEvent(w.lstJibun, &preedit);
        QInputMethodEvent commit;
        commit.setCommitString(u"さ"_s);
        QApplication::sendEvent(w.lstJibun, &commit);
        QCOMPARE(w.lstJibun->currentIndex().row(), 1);
        QCOMPARE(w.txtNamae1->text(), u"さぶろう"_s); // picked, as a typed key picks
    }

    void fortuneAsAPicture()
    {
        Fixture f({u"たろう"_s}, {});
        MainWindow &w = *f.w;
        QVERIFY(f.active());
        QVERIFY(fortuneImage(w).isNull()); // nothing told yet
        w.txtNamae2->setText(u"はなこ"_s);
        w.cmdPlay->click();
        const QImage image = fortuneImage(w);
        QVERIFY(!image.isNull());
        QCOMPARE(image.devicePixelRatio(), w.devicePixelRatioF());
        QCOMPARE(fortuneImageFileName(w), QDir::current().filePath(u"たろうとはなこ.png"_s));

        w.Picture1->setFocus();
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(w.Picture1, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->image().size(), image.size());

        const QString path = f.dir.filePath(u"たろうとはなこ.png"_s);
        QCOMPARE(saveFortuneImage(image, path), QString());
        QCOMPARE(QImage(path).size(), image.size());
        // Never through a link to a device.
        QVERIFY(QFile::link(u"/dev/null"_s, f.dir.filePath(u"link.png"_s)));
        QVERIFY(!saveFortuneImage(image, f.dir.filePath(u"link.png"_s)).isEmpty());
        struct stat st {};
        QVERIFY(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));

        // Under the grid there is no fortune to take.
        w.cmdHozon->click();
        QVERIFY(fortuneImage(w).isNull());
    }
};

QTEST_MAIN(TestKeyboardClipboard)
#include "tst_keyboard_clipboard.moc"
