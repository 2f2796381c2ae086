// The name lists through the real window: key presses, clicks and
// double-clicks on the widgets, checked against the list files on disk.

#include "cp932.h"
#include "gestures.h"
#include "tempworkdir.h"
#include "lists/namaewaku.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QtTest>

#include <memory>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

const QString kJibun = QStringLiteral("自分.txt");
const QString kAite = QStringLiteral("相手.txt");

QByteArray lines(const QStringList &names)
{
    QByteArray b;
    for (const QString &n : names)
        b += sjis(n) + "\r\n";
    return b;
}

struct Box {
    QString body;
    QString title;
    MsgKind kind;
};

// A window on a fresh working directory, shown and active so that focus moves
// and clicks land as they would for a user.
struct Fixture {
    TempWorkDir dir;
    std::unique_ptr<MainWindow> w;

    explicit Fixture(const QStringList &self = {}, const QStringList &partner = {})
    {
        if (!self.isEmpty())
            dir.write(kJibun, lines(self));
        if (!partner.isEmpty())
            dir.write(kAite, lines(partner));
    }
    bool open()
    {
        w = std::make_unique<MainWindow>();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return false;
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
    QByteArray file(const QString &name) const
    {
        return QFile::exists(dir.filePath(name)) ? dir.read(name) : QByteArray("<missing>");
    }
};

QStringList shown(QListView *view)
{
    QStringList names;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        names << view->model()->index(r, 0).data().toString();
    return names;
}

QPoint centreOf(QListView *view, int row)
{
    return view->visualRect(view->model()->index(row, 0)).center();
}

void typeText(QWidget *box, const QString &text)
{
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

} // namespace

class TestListsWindow : public QObject
{
    Q_OBJECT

    QList<Box> boxes;
    QList<MsgAnswer> answers; // for the questions, in order; Cancel when none is left

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        setMsgBoxHook([this](const QString &body, const QString &title, MsgKind kind) {
            boxes.append({body, title, kind});
            if (kind == MsgKind::DeleteQuestion)
                return answers.isEmpty() ? MsgAnswer::Cancel : answers.takeFirst();
            return MsgAnswer::Ok;
        });
    }
    void cleanupTestCase() { setMsgBoxHook({}); }
    void init()
    {
        boxes.clear();
        answers.clear();
    }

    void startUp()
    {
        Fixture f({u"たろう"_s, u"さくら"_s}, {u"はなこ"_s, u"ゆうき"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        QCOMPARE(shown(w.lstJibun), (QStringList{u"たろう"_s, u"さくら"_s}));
        QCOMPARE(shown(w.lstAite), (QStringList{u"はなこ"_s, u"ゆうき"_s}));
        QCOMPARE(w.txtNamae1->text(), u"たろう"_s);
        QVERIFY(w.txtNamae2->text().isEmpty());
        QVERIFY(!w.lstJibun->selectionModel()->hasSelection());
        QVERIFY(!w.lstAite->selectionModel()->hasSelection());
        QCOMPARE(w.sides().jibun().selected(), -1);
        QCOMPARE(w.sides().aite().selected(), -1);
        QTest::qWait(10);
        QVERIFY(boxes.isEmpty());
    }

    void startUpWithoutFiles()
    {
        Fixture f;
        QVERIFY(f.open());
        QVERIFY(f.w->txtNamae1->text().isEmpty());
        QCOMPARE(f.w->lstJibun->model()->rowCount(), 0);
        QTest::qWait(10);
        QVERIFY(boxes.isEmpty());
        QVERIFY(!QFile::exists(f.dir.filePath(kJibun)));
    }

    void damagedFileWarnsOnceAfterStart()
    {
        Fixture f;
        f.dir.write(kAite, sjis(u"はなこ\r\n"_s) + "\x82\r\n" + sjis(u"ゆうき\r\n"_s) + "\xFF\xFE\r\n");
        f.w = std::make_unique<MainWindow>();
        QVERIFY(boxes.isEmpty()); // not while the window is being built
        f.w->show();
        QTest::qWait(20);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, MsgKind::WarningNotice);
        QVERIFY(boxes[0].title.endsWith(u"確認"_s));
        QVERIFY2(boxes[0].body.contains(kAite), qPrintable(boxes[0].body));
        QCOMPARE(shown(f.w->lstAite), (QStringList{u"はなこ"_s, u"ゆうき"_s}));
    }

    void enterAddsToListAndFile()
    {
        Fixture f({u"たろう"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        QSignalSpy returns1(w.txtNamae1, &QLineEdit::returnPressed);
        QSignalSpy returns2(w.txtNamae2, &QLineEdit::returnPressed);

        w.txtNamae1->clear();
        w.txtNamae1->setFocus();
        typeText(w.txtNamae1, u"さくら"_s);
        QCOMPARE(w.txtNamae1->text(), u"さくら"_s);
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(shown(w.lstJibun), (QStringList{u"たろう"_s, u"さくら"_s}));
        QCOMPARE(f.file(kJibun), QByteArray("\x82\xBD\x82\xEB\x82\xA4\r\n\x82\xB3\x82\xAD\x82\xE7\r\n"));
        QCOMPARE(returns1.count(), 0); // the key was cancelled
        QCOMPARE(QApplication::focusWidget(), w.txtNamae2);
        QCOMPARE(w.txtNamae1->text(), u"さくら"_s);
        QVERIFY(!w.lstJibun->selectionModel()->hasSelection());

        typeText(w.txtNamae2, u"はなこ"_s);
        QTest::keyClick(w.txtNamae2, Qt::Key_Enter); // the keypad key too
        QCOMPARE(shown(w.lstAite), (QStringList{u"はなこ"_s}));
        QCOMPARE(f.file(kAite), QByteArray("\x82\xCD\x82\xC8\x82\xB1\r\n"));
        QCOMPARE(returns2.count(), 0);
        QCOMPARE(QApplication::focusWidget(), w.cmdPlay);
        QCOMPARE(f.file(kJibun).size(), 16); // the other side untouched

        // A duplicate: focus still moves, nothing added, nothing said.
        w.txtNamae1->setFocus();
        w.txtNamae1->setText(u"たろう"_s);
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), w.txtNamae2);
        QCOMPARE(w.lstJibun->model()->rowCount(), 2);
        QCOMPARE(f.file(kJibun).size(), 16);
        // The duplicate test is per side: a partner name may join the self list.
        w.txtNamae1->setFocus();
        w.txtNamae1->setText(u"はなこ"_s);
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(shown(w.lstJibun).last(), u"はなこ"_s);
        // A trailing space makes another name.
        w.txtNamae1->setFocus();
        w.txtNamae1->setText(u"たろう "_s);
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(shown(w.lstJibun).last(), u"たろう "_s);
        QVERIFY(f.file(kJibun).endsWith(sjis(u"たろう \r\n"_s)));

        // Empty box: nothing happens, the key reaches the box, focus stays.
        const QByteArray before = f.file(kJibun);
        w.txtNamae1->setFocus();
        w.txtNamae1->clear();
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(returns1.count(), 1);
        QCOMPARE(QApplication::focusWidget(), w.txtNamae1);
        QCOMPARE(f.file(kJibun), before);
        QVERIFY(boxes.isEmpty());
    }

    void inputMethodCommitAddsNothing()
    {
        Fixture f;
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        w.txtNamae1->setFocus();
        QInputMethodEvent preedit(u"はなこ"_s, {});
        QApplication::sendEvent(w.txtNamae1, &preedit);
        QInputMethodEvent commit;
        commit.setCommitString(u"はなこ"_s);
        QApplication::sendEvent(w.txtNamae1, &commit);
        QCOMPARE(w.txtNamae1->text(), u"はなこ"_s);
        QCOMPARE(w.lstJibun->model()->rowCount(), 0);
        QVERIFY(!QFile::exists(f.dir.filePath(kJibun)));
        QCOMPARE(QApplication::focusWidget(), w.txtNamae1);
        // The Enter that follows is a real one.
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(shown(w.lstJibun), QStringList{u"はなこ"_s});
    }

    void nameOutsideCodePageIsRefused()
    {
        Fixture f({u"たろう"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        const QByteArray before = f.file(kJibun);
        w.txtNamae1->setFocus();
        w.txtNamae1->setText(u"𠮷だ"_s);
        QTest::keyClick(w.txtNamae1, Qt::Key_Return);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, MsgKind::WarningNotice);
        QVERIFY2(boxes[0].body.contains(u"𠮷"_s), qPrintable(boxes[0].body));
        QCOMPARE(shown(w.lstJibun), QStringList{u"たろう"_s});
        QCOMPARE(f.file(kJibun), before);
        QCOMPARE(w.txtNamae1->text(), u"𠮷だ"_s);
    }

    void clickAndArrowKeysPick()
    {
        Fixture f({u"たろう"_s, u"さくら"_s, u"じろう"_s}, {u"はなこ"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        w.txtNamae1->setText(u"だれか"_s);
        QTest::mouseClick(w.lstJibun->viewport(), Qt::LeftButton, {}, centreOf(w.lstJibun, 1));
        QCOMPARE(w.txtNamae1->text(), u"さくら"_s);
        QCOMPARE(w.sides().jibun().selected(), 1);
        QVERIFY(w.txtNamae2->text().isEmpty()); // the other side is not touched

        QTest::keyClick(w.lstJibun, Qt::Key_Down);
        QCOMPARE(w.txtNamae1->text(), u"じろう"_s);
        QTest::keyClick(w.lstJibun, Qt::Key_Up);
        QTest::keyClick(w.lstJibun, Qt::Key_Up);
        QCOMPARE(w.txtNamae1->text(), u"たろう"_s);

        // Clicking the selected name again brings it back after an edit.
        w.txtNamae1->setText(u"たろうx"_s);
        QTest::mouseClick(w.lstJibun->viewport(), Qt::LeftButton, {}, centreOf(w.lstJibun, 0));
        QCOMPARE(w.txtNamae1->text(), u"たろう"_s);

        QTest::mouseClick(w.lstAite->viewport(), Qt::LeftButton, {}, centreOf(w.lstAite, 0));
        QCOMPARE(w.txtNamae2->text(), u"はなこ"_s);
        QCOMPARE(w.txtNamae1->text(), u"たろう"_s);

        // Ctrl+click on the selected name selects none, and none is picked:
        // the box is emptied. A plain click picks it again.
        QTest::mouseClick(w.lstAite->viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(w.lstAite, 0));
        QVERIFY(!w.lstAite->selectionModel()->hasSelection());
        QCOMPARE(w.sides().aite().selected(), -1);
        QVERIFY(w.txtNamae2->text().isEmpty());
        QCOMPARE(w.txtNamae1->text(), u"たろう"_s);
        QTest::mouseClick(w.lstAite->viewport(), Qt::LeftButton, {}, centreOf(w.lstAite, 0));
        QCOMPARE(w.txtNamae2->text(), u"はなこ"_s);
        QVERIFY(boxes.isEmpty());
    }

    void tabbingThroughListPicksNothing()
    {
        Fixture f({u"たろう"_s}, {u"はなこ"_s, u"ゆうき"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        w.txtNamae2->setText(u"さくら"_s);
        w.lstAite->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), w.lstAite);
        QCOMPARE(w.txtNamae2->text(), u"さくら"_s);
        QCOMPARE(w.sides().aite().selected(), -1);
        // Nothing selected, so a double-click gesture has nothing to delete.
        w.lstAite_DblClick();
        QVERIFY(boxes.isEmpty());
        QCOMPARE(f.file(kAite), lines({u"はなこ"_s, u"ゆうき"_s}));
    }

    void doubleClickDeletes()
    {
        Fixture f({u"たろう"_s, u"さくら"_s, u"たろう"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;

        // Cancel: the name picked by the first click stays in the box.
        w.txtNamae1->clear();
        doubleClick(w.lstJibun->viewport(), centreOf(w.lstJibun, 1));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, MsgKind::DeleteQuestion);
        QCOMPARE(boxes[0].title, u"削除確認"_s);
        QCOMPARE(boxes[0].body, u"『さくら』をリストから削除します"_s);
        QCOMPARE(w.lstJibun->model()->rowCount(), 3);
        QCOMPARE(f.file(kJibun), lines({u"たろう"_s, u"さくら"_s, u"たろう"_s}));
        QCOMPARE(w.txtNamae1->text(), u"さくら"_s);

        // OK on the second of two equal names removes that one only.
        boxes.clear();
        answers = {MsgAnswer::Ok};
        doubleClick(w.lstJibun->viewport(), centreOf(w.lstJibun, 2));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(shown(w.lstJibun), (QStringList{u"たろう"_s, u"さくら"_s}));
        QCOMPARE(f.file(kJibun), lines({u"たろう"_s, u"さくら"_s}));
        QVERIFY(w.txtNamae1->text().isEmpty());
        QVERIFY(!w.lstJibun->selectionModel()->hasSelection());
        QCOMPARE(w.sides().jibun().selected(), -1);

        // With nothing selected a double-click on the empty part asks nothing.
        boxes.clear();
        const QPoint below = centreOf(w.lstJibun, 1) + QPoint(0, 4 * w.lstJibun->visualRect(w.lstJibun->model()->index(1, 0)).height());
        QVERIFY(!w.lstJibun->indexAt(below).isValid());
        doubleClick(w.lstJibun->viewport(), below);
        w.lstJibun_DblClick();
        QVERIFY(boxes.isEmpty());
        QCOMPARE(w.lstJibun->model()->rowCount(), 2);

        // The last entry: the file is left with zero bytes.
        answers = {MsgAnswer::Ok, MsgAnswer::Ok};
        doubleClick(w.lstJibun->viewport(), centreOf(w.lstJibun, 1));
        doubleClick(w.lstJibun->viewport(), centreOf(w.lstJibun, 0));
        QCOMPARE(w.lstJibun->model()->rowCount(), 0);
        QCOMPARE(f.file(kJibun), QByteArray());
    }

    void labelDoubleClickClearsList()
    {
        Fixture f({u"たろう"_s}, {u"はなこ"_s, u"ゆうき"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        w.txtNamae2->setText(u"はなこ"_s);
        doubleClick(w.lblAlist);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, MsgKind::DeleteQuestion);
        QCOMPARE(boxes[0].body, u"相手リスト全てを削除します"_s);
        QCOMPARE(w.lstAite->model()->rowCount(), 2);
        QCOMPARE(w.txtNamae2->text(), u"はなこ"_s);

        answers = {MsgAnswer::Ok};
        doubleClick(w.lblAlist);
        QCOMPARE(w.lstAite->model()->rowCount(), 0);
        QCOMPARE(f.file(kAite), QByteArray());
        QVERIFY(w.txtNamae2->text().isEmpty());
        QCOMPARE(shown(w.lstJibun), QStringList{u"たろう"_s});
        QCOMPARE(w.txtNamae1->text(), u"たろう"_s);

        boxes.clear();
        answers = {MsgAnswer::Ok};
        doubleClick(w.lblJlist);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].body, u"自分リスト全てを削除します"_s);
        QCOMPARE(f.file(kJibun), QByteArray());
        QVERIFY(w.txtNamae1->text().isEmpty());
    }

    void swapExchangesTextsOnly()
    {
        Fixture f({u"たろう"_s}, {u"はなこ"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        QTest::mouseClick(w.lstAite->viewport(), Qt::LeftButton, {}, centreOf(w.lstAite, 0));
        QCOMPARE(w.txtNamae2->text(), u"はなこ"_s);
        QTest::mouseClick(w.cmdKoukan, Qt::LeftButton);
        QCOMPARE(w.txtNamae1->text(), u"はなこ"_s);
        QCOMPARE(w.txtNamae2->text(), u"たろう"_s);
        QCOMPARE(shown(w.lstJibun), QStringList{u"たろう"_s});
        QCOMPARE(shown(w.lstAite), QStringList{u"はなこ"_s});
        QCOMPARE(w.sides().aite().selected(), 0);
        QCOMPARE(f.file(kJibun), lines({u"たろう"_s}));
        QCOMPARE(f.file(kAite), lines({u"はなこ"_s}));

        w.txtNamae2->clear();
        w.cmdKoukan->click();
        QVERIFY(w.txtNamae1->text().isEmpty());
        QCOMPARE(w.txtNamae2->text(), u"はなこ"_s);
        // Typed text is what gets swapped, not a stale copy.
        w.txtNamae1->setFocus();
        typeText(w.txtNamae1, u"あ"_s);
        w.cmdKoukan->click();
        QCOMPARE(w.txtNamae1->text(), u"はなこ"_s);
        QCOMPARE(w.txtNamae2->text(), u"あ"_s);
        QVERIFY(boxes.isEmpty());
    }

    void otherWindowsChangesShowWithoutPicking()
    {
        Fixture f({u"たろう"_s, u"さくら"_s, u"じろう"_s});
        QVERIFY(f.open());
        MainWindow &w = *f.w;
        QTest::mouseClick(w.lstJibun->viewport(), Qt::LeftButton, {}, centreOf(w.lstJibun, 2));
        w.txtNamae1->setText(u"だれか"_s);
        QItemSelectionModel *selection = w.lstJibun->selectionModel();

        // Another window deletes a name above the selected one, then writes
        // the list in another order: the selection stays on じろう.
        QVERIFY(NamaeListRemoveName(kJibun, u"たろう"_s, -1, {}));
        QTRY_COMPARE(shown(w.lstJibun), (QStringList{u"さくら"_s, u"じろう"_s}));
        QVERIFY(selection->isRowSelected(1));
        QCOMPARE(w.txtNamae1->text(), u"だれか"_s);
        QVERIFY(NamaeListSave(kJibun, {u"じろう"_s, u"さくら"_s}));
        QTRY_COMPARE(shown(w.lstJibun), (QStringList{u"じろう"_s, u"さくら"_s}));
        QCOMPARE(w.sides().jibun().selected(), 0);
        QVERIFY(selection->isRowSelected(0));
        QCOMPARE(selection->selectedRows().size(), 1);
        QCOMPARE(w.txtNamae1->text(), u"だれか"_s); // a reload picks nothing
        QVERIFY(boxes.isEmpty());
    }

    // The rows are laid out with one fixed size: after any change each stands
    // where a view that measures the rows puts it, and scrolls as far.
    void rowsStandWhereMeasured_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *c : {"start", "add", "add the widest", "delete the widest", "clear and add", "larger font"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void rowsStandWhereMeasured()
    {
        QFETCH(QString, change);
        QStringList names{u"あいうえおかきくけこさしすせそたちつてとなにぬねの"_s};
        for (int i = 0; i < 40; ++i)
            names << u"なまえ%1"_s.arg(i);
        Fixture f(names);
        QVERIFY(f.open());
        QListView *view = f.w->lstJibun;
        NamaeSides &sides = f.w->sides();
        const auto add = [&](const QString &name) {
            sides.setEntryText(NamaeSide::Jibun, name);
            QCOMPARE(sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
        };
        if (change == u"add") {
            add(u"ついか"_s);
        } else if (change == u"add the widest") {
            add(u"かきくけこさしすせそたちつてとなにぬねのはひふへほまみむめも"_s);
        } else if (change == u"delete the widest") {
            answers << MsgAnswer::Ok;
            sides.NamaePick(NamaeSide::Jibun, 0);
            QCOMPARE(sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Deleted);
        } else if (change == u"clear and add") {
            answers << MsgAnswer::Ok;
            QCOMPARE(sides.NamaeListClear(NamaeSide::Jibun), NamaeClearResult::Cleared);
            add(u"ひとり"_s);
        } else if (change == u"larger font") {
            QFont font = view->font();
            font.setPointSize(font.pointSize() * 2);
            view->setFont(font);
        }
        QListView measured;
        measured.setFont(view->font());
        measured.setUniformItemSizes(true);
        measured.setModel(view->model());
        measured.resize(view->size());
        measured.show();
        QVERIFY(QTest::qWaitForWindowExposed(&measured));
        QTest::qWait(20); // both views' delayed layouts
        QVERIFY(view->model()->rowCount() > 0);
        for (int r = 0; r < view->model()->rowCount(); ++r) {
            const QModelIndex index = view->model()->index(r, 0);
            QCOMPARE(view->visualRect(index), measured.visualRect(index));
        }
        QCOMPARE(view->verticalScrollBar()->maximum(), measured.verticalScrollBar()->maximum());
        QCOMPARE(view->verticalScrollBar()->pageStep(), measured.verticalScrollBar()->pageStep());
    }

    void restartShowsAddedName()
    {
        Fixture f;
        QVERIFY(f.open());
        f.w->txtNamae1->setFocus();
        f.w->txtNamae1->setText(u"たろう"_s);
        QTest::keyClick(f.w->txtNamae1, Qt::Key_Return);
        f.w.reset();
        QVERIFY(f.open());
        QCOMPARE(shown(f.w->lstJibun), QStringList{u"たろう"_s});
        QCOMPARE(f.w->txtNamae1->text(), u"たろう"_s);
    }
};

QTEST_MAIN(TestListsWindow)
#include "tst_lists_window.moc"
