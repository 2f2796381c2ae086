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

class CopyKeys : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The view would copy its current cell alone.
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            copySelectedRows(static_cast<QTableView *>(watched));
            return true;
        }
        return false;
    }
};

} // namespace

QString selectedRowsText(const QTableView *grid, int maxRows, qint64 *selected)
{
    const QAbstractItemModel *model = grid->model();
    const auto spans = selectedSpans(grid);
    qint64 total = 0;
    for (const auto &s : spans)
        total += qint64(s.second) - s.first + 1;
    if (selected)
        *selected = total;
    QString text;
    if (!model)
        return text;
    const int columns = model->columnCount();
    int left = maxRows;
    for (const auto &[first, last] : spans) {
        for (int row = first; row <= last && left > 0; ++row, --left) {
            for (int c = 0; c < columns; ++c) {
                if (c > 0)
                    text += u'\t';
                // A tab or line break inside a cell would split it.
                text += withoutControls(model->index(row, c).data(Qt::DisplayRole).toString());
            }
            text += u'\n';
        }
        if (left == 0)
            break;
    }
    return text;
}

bool copySelectedRows(QTableView *grid)
{
    qint64 selected = 0;
    const QString text = selectedRowsText(grid, kGridCopyMaxRows, &selected);
    if (selected == 0)
        return false;
    QGuiApplication::clipboard()->setText(text);
    if (selected > kGridCopyMaxRows) {
        const QLocale c = QLocale::c();
        MsgBoxShow(QStringLiteral("選択した%1行のうち、先頭の%2行だけをコピーしました。")
                       .arg(c.toString(selected), c.toString(kGridCopyMaxRows)),
                   QStringLiteral("コピー確認"), MsgKind::InformationNotice, grid->window());
    }
    return true;
}

void setUpGridCopy(QTableView *grid)
{
    grid->installEventFilter(new CopyKeys(grid));
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
