// Copying rows of the result grid. Cells are read through the model's data()
// alone, and a selection is walked as its ranges, never row by row: the grid
// may hold rows by the billion. The text is made on a worker while the window
// paints, in room asked of the allocator first, so that running short of
// memory is a message and never the end of the program.

#include "gridcopy.h"

#include "ichiranwindow.h"
#include "lists/namaelist.h"
#include "msgbox.h"

#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

namespace kanaroll {

namespace {

// The rows to copy, in the rows of the model that holds them.
struct CopySource {
    const QAbstractItemModel *model = nullptr;
    std::vector<std::pair<qint64, qint64>> spans; // sorted, disjoint [first, last]
    qint64 selected = 0;
};

CopySource copySource(const QTableView *grid)
{
    CopySource s;
    const QAbstractItemModel *shown = grid->model();
    if (!shown || !grid->selectionModel())
        return s;
    const auto *window = qobject_cast<const IchiranWindow *>(shown);
    s.model = window ? &window->grid() : shown;
    std::vector<std::pair<qint64, qint64>> spans;
    if (window && !window->gridSpans().empty()) {
        spans = window->gridSpans();
    } else {
        const qint64 offset = window ? window->offset() : 0;
        for (const QItemSelectionRange &r : grid->selectionModel()->selection())
            spans.emplace_back(offset + r.top(), offset + r.bottom());
        std::sort(spans.begin(), spans.end());
    }
    for (const auto &span : spans) {
        if (!s.spans.empty() && span.first <= s.spans.back().second + 1)
            s.spans.back().second = std::max(s.spans.back().second, span.second);
        else
            s.spans.push_back(span);
    }
    for (const auto &[first, last] : s.spans)
        s.selected += last - first + 1;
    return s;
}

enum class Built { Done, NoMemory, Stopped };

// Room for `need` characters. The toolkit's own growth cannot report a
// failure, so the room is first asked of the allocator, which can.
void makeRoom(QString &text, qsizetype need, qsizetype maxChars)
{
    if (need <= text.capacity())
        return;
    const qsizetype want = std::max(need, std::min(text.capacity() * 2 + 4096, maxChars));
    // Old and new block stand side by side while the text moves.
    std::unique_ptr<char16_t[]> probe(new char16_t[std::size_t(want + text.capacity())]);
    probe.reset();
    text.reserve(want);
}

// `going` is told the share done and says whether to go on.
Built buildText(const CopySource &s, int maxRows, qsizetype maxChars, QString &text, qint64 &copied,
                const std::function<bool(double)> &going)
{
    copied = 0;
    if (!s.model)
        return Built::Done;
    const int columns = std::min(s.model->columnCount(), 8);
    const double goal = double(std::max<qint64>(1, std::min<qint64>(s.selected, maxRows)));
    qint64 left = maxRows;
    std::array<QString, 8> cells;
    try {
        for (const auto &[first, last] : s.spans) {
            for (qint64 row = first; row <= last && left > 0; ++row, --left) {
                if ((copied & 1023) == 0 && going
                    && !going(std::max(double(copied) / goal, double(text.size()) / double(maxChars))))
                    return Built::Stopped;
                qsizetype length = columns; // the tabs and the line end
                for (int c = 0; c < columns; ++c) {
                    // A tab or line break inside a cell would split it.
                    cells[std::size_t(c)] = withoutControls(
                        s.model->index(int(row), c).data(Qt::DisplayRole).toString());
                    length += cells[std::size_t(c)].size();
                }
                if (length > maxChars - text.size())
                    return Built::Done; // rows are never cut
                makeRoom(text, text.size() + length, maxChars);
                for (int c = 0; c < columns; ++c) {
                    if (c > 0)
                        text += u'\t';
                    text += cells[std::size_t(c)];
                }
                text += u'\n';
                ++copied;
            }
            if (left == 0)
                break;
        }
    } catch (const std::bad_alloc &) {
        text = QString();
        copied = 0;
        return Built::NoMemory;
    }
    return Built::Done;
}

class GridKeys : public QObject
{
public:
    GridKeys(QTableView *grid, GridCopyHooks hooks)
        : QObject(grid)
        , hooks(std::move(hooks))
    {
        setObjectName(QStringLiteral("kanaroll-grid-keys"));
    }
    const GridCopyHooks hooks;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        auto *grid = static_cast<QTableView *>(watched);
        // The view would copy its current cell alone.
        if (key->matches(QKeySequence::Copy)) {
            copySelectedRows(grid);
            return true;
        }
        // The view would select only the rows it holds.
        if (key->matches(QKeySequence::SelectAll)) {
            selectWholeGrid(grid);
            return true;
        }
        // Ctrl+Tab leaves the grid as Tab does, as it leaves any control
        // that keeps Tab to itself.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && (key->modifiers() & Qt::ControlModifier)) {
            const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            QKeyEvent tab(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab,
                          back ? Qt::ShiftModifier : Qt::NoModifier);
            QCoreApplication::sendEvent(watched, &tab);
            return true;
        }
        return false;
    }
};

GridCopyHooks hooksOf(const QTableView *grid)
{
    for (QObject *child : grid->children()) {
        if (auto *keys = dynamic_cast<GridKeys *>(child))
            return keys->hooks;
    }
    return {};
}

// Builds the text on a worker. With hooks the window paints and shows how
// far the copy is after a second; without them nothing else runs meanwhile.
Built buildWhilePainting(QTableView *grid, const GridCopyHooks &hooks, const CopySource &source, QString &text,
                         qint64 &copied)
{
    using namespace std::chrono_literals;
    std::atomic<bool> stop{false};
    std::atomic<double> share{0.0};
    auto build = [&] {
        return buildText(source, kGridCopyMaxRows, kGridCopyMaxChars, text, copied, [&](double done) {
            share = done;
            return !stop.load();
        });
    };
    std::future<Built> task;
    try {
        task = std::async(std::launch::async, build);
    } catch (const std::system_error &) {
        return build(); // no thread to be had: the copy is made here
    }
    if (!hooks.begin)
        return task.get();
    QWidget *window = grid->window();
    const QString title = window->windowTitle();
    QElapsedTimer clock;
    clock.start();
    while (task.wait_for(10ms) != std::future_status::ready) {
        if (clock.elapsed() >= 1000) {
            const int percent = std::clamp(int(share.load() * 100), 0, 99);
            window->setWindowTitle(QStringLiteral("%1 — %2 %3 %").arg(title, QStringLiteral("コピー")).arg(percent));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (hooks.closing && hooks.closing())
            stop = true;
    }
    window->setWindowTitle(title);
    return task.get();
}

void tellNoMemory(QTableView *grid)
{
    MsgBoxShow(QStringLiteral("メモリが足りないため、コピーできませんでした。\r\n\r\n"
                              "選択する行を減らしてから、もう一度コピーしてください。"),
               QStringLiteral("コピー確認"), MsgKind::WarningNotice, grid->window());
}

} // namespace

QString selectedRowsText(const QTableView *grid, int maxRows, qint64 *selected, qsizetype maxChars,
                         qint64 *copied)
{
    const CopySource source = copySource(grid);
    if (selected)
        *selected = source.selected;
    QString text;
    qint64 count = 0;
    if (buildText(source, maxRows, maxChars, text, count, {}) != Built::Done)
        count = 0;
    if (copied)
        *copied = count;
    return text;
}

bool copySelectedRows(QTableView *grid)
{
    const CopySource source = copySource(grid);
    if (source.selected == 0)
        return false;
    const GridCopyHooks hooks = hooksOf(grid);
    if (hooks.begin && !hooks.begin())
        return false; // the window is busy; held input comes back after
    const QString title = QStringLiteral("コピー確認");
    QString text;
    qint64 copied = 0;
    bool done = false;
    try {
        const Built built = buildWhilePainting(grid, hooks, source, text, copied);
        if (hooks.closing && hooks.closing()) {
            // The program is ending: the clipboard stays as it was.
        } else if (built == Built::NoMemory) {
            tellNoMemory(grid);
        } else if (built == Built::Done && copied == 0) {
            MsgBoxShow(QStringLiteral("選択した行は長すぎるため、コピーできませんでした。"), title,
                       MsgKind::WarningNotice, grid->window());
        } else if (built == Built::Done) {
            QGuiApplication::clipboard()->setText(text);
            done = true;
            if (copied < source.selected) {
                const QLocale c = QLocale::c();
                MsgBoxShow(QStringLiteral("選択した%1行のうち、先頭の%2行だけをコピーしました。")
                               .arg(c.toString(source.selected), c.toString(copied)),
                           title, MsgKind::InformationNotice, grid->window());
            }
        }
    } catch (const std::bad_alloc &) {
        // The grid and the clipboard stay as they were.
        text = QString();
        tellNoMemory(grid);
    }
    if (hooks.end)
        hooks.end();
    return done;
}

void selectWholeGrid(QTableView *grid)
{
    if (auto *window = qobject_cast<IchiranWindow *>(grid->model()))
        window->selectWholeGrid();
    else
        grid->selectAll();
}

void setUpGridCopy(QTableView *grid, GridCopyHooks hooks)
{
    grid->installEventFilter(new GridKeys(grid, std::move(hooks)));
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, grid, [grid](const QPoint &at) {
        QMenu menu(grid);
        QAction *copy = menu.addAction(QStringLiteral("コピー"));
        copy->setShortcut(QKeySequence::Copy);
        copy->setEnabled(grid->selectionModel() && grid->selectionModel()->hasSelection());
        QAction *all = menu.addAction(QStringLiteral("すべて選択"));
        all->setShortcut(QKeySequence::SelectAll);
        all->setEnabled(grid->model() && grid->model()->rowCount() > 0);
        QAction *chosen = menu.exec(grid->viewport()->mapToGlobal(at));
        if (chosen == copy)
            copySelectedRows(grid);
        else if (chosen == all)
            selectWholeGrid(grid);
    });
}

} // namespace kanaroll
