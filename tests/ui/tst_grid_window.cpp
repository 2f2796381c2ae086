// The result grid at every size the lists allow: whole-grid keys, scroll bar
// and selection through the view's window of rows, and the row copy's bounds
// and failures. A synthetic grid stands in for a run of its size.

#include "ui/gridcopy.h"
#include "ui/ichiranwindow.h"
#include "ui/msgbox.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

#include <memory>
#include <new>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

// Row r reads "r<r>", "x", r % 101; from `failFrom` on a cell runs out of memory.
class SyntheticGrid : public QAbstractTableModel
{
public:
    explicit SyntheticGrid(int rows, int failFrom = -1)
        : m_rows(rows)
        , m_failFrom(failFrom)
    {
    }
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    void setRows(int rows)
    {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        if (m_failFrom >= 0 && index.row() >= m_failFrom)
            throw std::bad_alloc();
        switch (index.column()) {
        case 0: return u"r"_s + QString::number(index.row());
        case 1: return u"x"_s;
        default: return QString::number(index.row() % 101);
        }
    }

private:
    int m_rows;
    int m_failFrom;
};

// The largest batch: two lists of 32,767 names.
constexpr int kLargestGrid = 2 * 32767 * 32767;

struct Grid {
    SyntheticGrid model;
    IchiranWindow window;
    QTableView view;

    explicit Grid(int rows)
        : model(rows)
        , window(model)
    {
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.resize(320, 305);
        window.attach(&view);
        for (int c = 0; c < 3; ++c)
            view.setColumnWidth(c, 80);
        setUpGridCopy(&view);
        view.show();
        view.setFocus();
    }
    bool active()
    {
        view.activateWindow();
        return QTest::qWaitForWindowActive(&view);
    }
    // The grid row the view shows at its row.
    qint64 gridRow(int viewRow) const
    {
        return view.model()->index(viewRow, 0).data().toString().mid(1).toLongLong();
    }
    qint64 currentRow() const { return gridRow(view.currentIndex().row()); }
    qint64 topRow() const { return gridRow(view.rowAt(0)); }
    QScrollBar *bar() const { return window.gridScrollBar(); }
    // The rows shown are where the bar stands: its value at the top, or at
    // its end the last row whole at the foot.
    bool showsBarPlace() const
    {
        if (bar()->value() == bar()->maximum())
            return gridRow(view.rowAt(view.viewport()->height() - 1)) == model.rowCount() - 1;
        return topRow() == bar()->value();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(&view, k, m); }
};

} // namespace

class TestGridWindow : public QObject
{
    Q_OBJECT
    QStringList titles;

private slots:
    void initTestCase()
    {
        setMsgBoxHook([this](const QString &, const QString &title, MsgKind) {
            titles << title;
            return MsgAnswer::Ok;
        });
    }
    void cleanupTestCase() { setMsgBoxHook({}); }
    void init() { titles.clear(); }

    void sizes_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("shown directly") << 1000;
        QTest::newRow("just through a window") << IchiranWindow::kDirectRows + 1;
        QTest::newRow("the largest batch") << kLargestGrid;
    }

    // Ctrl+End and Ctrl+Home reach the grid's ends in one press, and the bar
    // stands at its ends with them.
    void ctrlHomeEnd_data() { sizes_data(); }
    void ctrlHomeEnd()
    {
        QFETCH(int, rows);
        Grid g(rows);
        g.view.setCurrentIndex(g.view.model()->index(3, 1));
        g.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(g.currentRow(), qint64(rows) - 1);
        QCOMPARE(g.view.currentIndex().column(), 2); // the last cell, as the view's own key does
        QCOMPARE(g.bar()->value(), g.bar()->maximum());
        // The selection stays where it was, as with the view's own keys.
        qint64 selected = 0;
        QCOMPARE(selectedRowsText(&g.view, 5, &selected), u"r3\tx\t3\n"_s);
        QVERIFY(!g.view.selectionModel()->isRowSelected(g.view.currentIndex().row(), {}));
        g.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(g.currentRow(), qint64(0));
        QCOMPARE(g.view.currentIndex().column(), 0);
        QCOMPARE(g.bar()->value(), 0);
    }

    // A new run of another size: the view shows it directly or through the
    // window, with the bar to match, and no selection left from before.
    void newGridOfAnotherSize()
    {
        Grid g(kLargestGrid);
        g.key(Qt::Key_A, Qt::ControlModifier);
        for (const int rows : {1000, IchiranWindow::kDirectRows + 1, 0, kLargestGrid}) {
            g.model.setRows(rows);
            QCoreApplication::processEvents(); // the view lays itself out anew
            const bool through = rows > IchiranWindow::kDirectRows;
            QCOMPARE(g.view.model() == &g.window, through);
            QCOMPARE(g.bar() == g.view.verticalScrollBar(), !through);
            QCOMPARE(g.view.verticalScrollBar()->isVisibleTo(&g.view), !through && rows > 0);
            QCOMPARE(qint64(g.bar()->maximum()) + (rows > 0 ? g.bar()->pageStep() : 0), qint64(rows));
            qint64 selected = -1;
            selectedRowsText(&g.view, 1, &selected);
            QCOMPARE(selected, qint64(0));
        }
    }

    // Shift+Ctrl+End and Shift+Ctrl+Home select from the current row to the
    // grid's end; the copy counts and reads those rows.
    void extendToTheEnds_data() { sizes_data(); }
    void extendToTheEnds()
    {
        QFETCH(int, rows);
        Grid g(rows);
        g.view.setCurrentIndex(g.view.model()->index(4, 0));
        g.key(Qt::Key_Down); // where a selection starts
        g.key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(g.currentRow(), qint64(rows) - 1);
        qint64 selected = 0;
        QString text = selectedRowsText(&g.view, 1, &selected);
        QCOMPARE(selected, qint64(rows) - 5);
        QCOMPARE(text, u"r5\tx\t5\n"_s);
        QVERIFY(g.view.selectionModel()->isRowSelected(g.view.currentIndex().row(), {}));

        g.bar()->setValue(g.bar()->maximum() / 2);
        g.view.setCurrentIndex(g.view.model()->index(g.view.rowAt(0), 0));
        g.key(Qt::Key_Down);
        const qint64 from = g.currentRow();
        g.key(Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(g.currentRow(), qint64(0));
        text = selectedRowsText(&g.view, 1, &selected);
        QCOMPARE(selected, from + 1);
        QCOMPARE(text, u"r0\tx\t0\n"_s);
    }

    // Page Down and Page Up move a page, also across the window's edge.
    void pageKeys_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("from");
        QTest::newRow("small grid") << 1000 << 10;
        QTest::newRow("window, at its edge") << kLargestGrid << IchiranWindow::kRows - 3;
        QTest::newRow("window, mid-grid") << kLargestGrid << kLargestGrid / 2;
        QTest::newRow("window, at the grid's end") << kLargestGrid << kLargestGrid - 5;
    }
    void pageKeys()
    {
        QFETCH(int, rows);
        QFETCH(int, from);
        Grid g(rows);
        const int at = rows > IchiranWindow::kDirectRows ? g.window.showRow(from) : from;
        g.view.setCurrentIndex(g.view.model()->index(at, 0));
        g.view.scrollTo(g.view.currentIndex());
        const int page = g.bar()->pageStep();
        QVERIFY(page > 5);
        qint64 before = g.currentRow();
        QCOMPARE(before, qint64(from));
        for (int press = 0; press < 3; ++press) {
            g.key(Qt::Key_PageDown);
            const qint64 now = g.currentRow();
            const qint64 expected = std::min<qint64>(before + page, rows - 1);
            QVERIFY2(std::abs(now - expected) <= 1, qPrintable(u"%1 -> %2"_s.arg(before).arg(now)));
            before = now;
        }
        g.key(Qt::Key_PageUp);
        QVERIFY(g.currentRow() < before && g.currentRow() >= before - page - 1);
        QVERIFY(g.showsBarPlace());
    }

    // The bar spans the whole grid: wherever it is set, the view shows that row.
    void scrollBarSpansTheGrid_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("share");
        for (const int rows : {1000, IchiranWindow::kDirectRows + 1, kLargestGrid}) {
            for (const double share : {0.0, 0.3, 0.5, 1.0})
                QTest::addRow("%d rows at %.1f", rows, share) << rows << share;
        }
    }
    void scrollBarSpansTheGrid()
    {
        QFETCH(int, rows);
        QFETCH(double, share);
        Grid g(rows);
        QScrollBar *bar = g.bar();
        QVERIFY(bar->isVisible());
        QCOMPARE(qint64(bar->maximum()) + bar->pageStep(), qint64(rows));
        const int value = int(share * bar->maximum());
        bar->setValue(value);
        QVERIFY(g.showsBarPlace());
        // Scrolling the view moves the bar along. At the very end the view's
        // own step may cover the part-shown last row too (newer Qt does).
        g.view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        if (value == 0)
            QCOMPARE(bar->value(), 0);
        else
            QVERIFY2(bar->value() < value && bar->value() >= value - 2, qPrintable(QString::number(bar->value())));
        QVERIFY(g.showsBarPlace());
        // And so does the wheel over the rows.
        const int before = bar->value();
        const QPointF at = g.view.viewport()->rect().center();
        QWheelEvent wheel(at, g.view.viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(g.view.viewport(), &wheel);
        QCOMPARE(bar->value(), std::min(before + QApplication::wheelScrollLines(), bar->maximum()));
        QVERIFY(g.showsBarPlace());
    }

    // Ctrl+A selects every row of the grid; the copy counts them all and
    // takes its first rows from the grid's first, wherever the view stands.
    void selectAllCoversTheGrid_data() { sizes_data(); }
    void selectAllCoversTheGrid()
    {
        QFETCH(int, rows);
        Grid g(rows);
        QVERIFY(g.active());
        g.bar()->setValue(g.bar()->maximum() / 2);
        g.key(Qt::Key_A, Qt::ControlModifier);
        qint64 selected = 0;
        qint64 copied = 0;
        QString text = selectedRowsText(&g.view, 3, &selected, kGridCopyMaxChars, &copied);
        QCOMPARE(selected, qint64(rows));
        QCOMPARE(copied, qint64(3));
        QCOMPARE(text, u"r0\tx\t0\nr1\tx\t1\nr2\tx\t2\n"_s);
        // Rows that scroll into view are selected too.
        g.bar()->setValue(g.bar()->maximum() / 3);
        QVERIFY(g.view.selectionModel()->isRowSelected(g.view.rowAt(0), {}));
        // A click replaces it.
        QTest::mouseClick(g.view.viewport(), Qt::LeftButton, {}, g.view.visualRect(g.view.model()->index(g.view.rowAt(0) + 1, 0)).center());
        text = selectedRowsText(&g.view, 3, &selected, kGridCopyMaxChars, &copied);
        QCOMPARE(selected, qint64(1));
        QCOMPARE(text, u"r%1\tx\t%2\n"_s.arg(g.topRow() + 1).arg((g.topRow() + 1) % 101));

        // The whole copy: its first rows, and a notice with the real count.
        g.key(Qt::Key_A, Qt::ControlModifier);
        QGuiApplication::clipboard()->clear();
        QCOMPARE(copySelectedRows(&g.view), true);
        const qint64 expectCopied = std::min(rows, kGridCopyMaxRows);
        QCOMPARE(QGuiApplication::clipboard()->text().count(u'\n'), expectCopied);
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(u"r0\tx\t0\n"_s));
        QCOMPARE(titles, rows > kGridCopyMaxRows ? QStringList{u"コピー確認"_s} : QStringList{});
    }

    // Out of memory while the text is made: a message, and the clipboard,
    // the grid and the program stay.
    void copyWithoutMemoryIsAMessage()
    {
        SyntheticGrid model(50, 20);
        QTableView view;
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setModel(&model);
        setUpGridCopy(&view);
        view.selectAll();
        QGuiApplication::clipboard()->setText(u"kept"_s);
        QCOMPARE(copySelectedRows(&view), false);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"kept"_s);
        QCOMPARE(titles, QStringList{u"コピー確認"_s});
        qint64 copied = -1;
        QVERIFY(selectedRowsText(&view, 100, nullptr, kGridCopyMaxChars, &copied).isEmpty());
        QCOMPARE(copied, qint64(0));
    }

    // The text is made while the window goes on: events come meanwhile, the
    // window is busy for as long, and a program that ends stops the copy.
    void copyKeepsTheWindowGoing_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("ending");
        QTest::addColumn<int>("rows");
        QTest::newRow("copies") << false << false << 600;
        QTest::newRow("program ends meanwhile") << false << true << 600;
        QTest::newRow("window busy") << true << false << 600;
        QTest::newRow("over a second: shows how far") << false << false << 2000;
    }
    void copyKeepsTheWindowGoing()
    {
        QFETCH(bool, busy);
        QFETCH(bool, ending);
        QFETCH(int, rows);
        // Each cell takes a while: the copy lasts at least rows * 3 * 0.2 ms.
        class SlowGrid : public SyntheticGrid
        {
        public:
            using SyntheticGrid::SyntheticGrid;
            QVariant data(const QModelIndex &index, int role) const override
            {
                QThread::usleep(200);
                return SyntheticGrid::data(index, role);
            }
        } model(rows);
        QTableView view;
        view.setModel(&model);
        view.setWindowTitle(u"Kanaroll"_s);
        QStringList shownTitles;
        int began = 0;
        int ended = 0;
        bool closing = false;
        int ticks = 0;
        setUpGridCopy(&view, {[&] {
                                  ++began;
                                  return !busy;
                              },
                              [&] { ++ended; }, [&] { return closing; }});
        QTimer tick;
        tick.callOnTimeout([&] {
            ++ticks;
            closing = ending;
            if (!shownTitles.contains(view.windowTitle()))
                shownTitles << view.windowTitle();
        });
        tick.start(5);
        view.selectAll();
        QGuiApplication::clipboard()->setText(u"kept"_s);
        const bool copied = copySelectedRows(&view);
        QCOMPARE(began, 1);
        QCOMPARE(ended, busy ? 0 : 1);
        QCOMPARE(copied, !busy && !ending);
        QCOMPARE(QGuiApplication::clipboard()->text().count(u'\n'), copied ? rows : 0);
        if (!busy)
            QVERIFY(ticks > 0);
        // Past the first second the title tells how far; then it is as before.
        if (rows > 600) // at least 1.2 s
            QVERIFY(shownTitles.size() > 1);
        for (const QString &t : shownTitles.mid(1))
            QVERIFY2(QRegularExpression(u"^Kanaroll — コピー \\d+ %$"_s).match(t).hasMatch(), qPrintable(t));
        QCOMPARE(view.windowTitle(), u"Kanaroll"_s);
        QVERIFY(titles.isEmpty());
    }

    // The size bound counts characters: rows of long names stop within it,
    // whole, long before the row bound.
    void copyStopsAtItsSizeWithLongNames()
    {
        class LongNames : public SyntheticGrid
        {
        public:
            using SyntheticGrid::SyntheticGrid;
            QVariant data(const QModelIndex &index, int role) const override
            {
                if (role == Qt::DisplayRole && index.column() == 0)
                    return QString(5000, u'あ');
                return SyntheticGrid::data(index, role);
            }
        } model(20000);
        QTableView view;
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setModel(&model);
        view.selectAll();
        qint64 selected = 0;
        qint64 copied = 0;
        const QString text = selectedRowsText(&view, kGridCopyMaxRows, &selected, kGridCopyMaxChars, &copied);
        QCOMPARE(selected, qint64(20000));
        QVERIFY(text.size() <= kGridCopyMaxChars);
        QVERIFY(copied > 0 && copied < 20000);
        QCOMPARE(text.count(u'\n'), copied);
        QVERIFY(text.endsWith(u'\n'));
    }
};

QTEST_MAIN(TestGridWindow)
#include "tst_grid_window.moc"
