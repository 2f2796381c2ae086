// Copying rows of the result grid. Cells are read through the model's data()
// alone, and a selection is walked as its ranges, never row by row: the grid
// may hold rows by the billion.

#include "gridcopy.h"

#include "lists/namaelist.h"
#include "msgbox.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace kanaroll {

namespace {

// The selected rows as sorted, non-overlapping spans [first, last].
std::vector<std::pair<int, int>> selectedSpans(const QTableView *grid)
{
    std::vector<std::pair<int, int>> spans;
    if (!grid->selectionModel())
        return spans;
    for (const QItemSelectionRange &r : grid->selectionModel()->selection())
        spans.emplace_back(r.top(), r.bottom());
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto &s : spans) {
        if (!merged.empty() && qint64(s.first) <= qint64(merged.back().second) + 1)
            merged.back().second = std::max(merged.back().second, s.second);
        else
            merged.push_back(s);
    }
    return merged;
}

class GridKeys : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        // The view would copy its current cell alone.
        if (key->matches(QKeySequence::Copy)) {
            copySelectedRows(static_cast<QTableView *>(watched));
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

} // namespace

QString selectedRowsText(const QTableView *grid, int maxRows, qint64 *selected, qsizetype maxChars,
                         qint64 *copied)
{
    const QAbstractItemModel *model = grid->model();
    const auto spans = selectedSpans(grid);
    qint64 total = 0;
    for (const auto &s : spans)
        total += qint64(s.second) - s.first + 1;
    if (selected)
        *selected = total;
    if (copied)
        *copied = 0;
    QString text;
    if (!model)
        return text;
    const int columns = model->columnCount();
    int left = maxRows;
    QString line;
    for (const auto &[first, last] : spans) {
        for (int row = first; row <= last && left > 0; ++row, --left) {
            line.clear();
            for (int c = 0; c < columns; ++c) {
                if (c > 0)
                    line += u'\t';
                // A tab or line break inside a cell would split it.
                line += withoutControls(model->index(row, c).data(Qt::DisplayRole).toString());
            }
            line += u'\n';
            if (line.size() > maxChars - text.size())
                return text;
            text += line;
            if (copied)
                ++*copied;
        }
        if (left == 0)
            break;
    }
    return text;
}

bool copySelectedRows(QTableView *grid)
{
    qint64 selected = 0;
    qint64 copied = 0;
    const QLocale c = QLocale::c();
    const QString title = QStringLiteral("コピー確認");
    try {
        const QString text = selectedRowsText(grid, kGridCopyMaxRows, &selected, kGridCopyMaxChars, &copied);
        if (selected == 0)
            return false;
        if (copied == 0) {
            MsgBoxShow(QStringLiteral("選択した行は長すぎるため、コピーできませんでした。"), title,
                       MsgKind::WarningNotice, grid->window());
            return false;
        }
        QGuiApplication::clipboard()->setText(text);
    } catch (const std::bad_alloc &) {
        // The grid and the clipboard stay as they were.
        MsgBoxShow(QStringLiteral("メモリが足りないため、コピーできませんでした。\r\n\r\n"
                                  "選択する行を減らしてから、もう一度コピーしてください。"),
                   title, MsgKind::WarningNotice, grid->window());
        return false;
    }
    if (copied < selected) {
        MsgBoxShow(QStringLiteral("選択した%1行のうち、先頭の%2行だけをコピーしました。")
                       .arg(c.toString(selected), c.toString(copied)),
                   title, MsgKind::InformationNotice, grid->window());
    }
    return true;
}

void setUpGridCopy(QTableView *grid)
{
    grid->installEventFilter(new GridKeys(grid));
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
            grid->selectAll();
    });
}

} // namespace kanaroll
