#include "ichiranwindow.h"

#include "batch/ichiran.h"

#include <QItemSelectionModel>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>

namespace kanaroll {

IchiranWindow::IchiranWindow(IchiranModel &grid, QObject *parent)
    : QAbstractTableModel(parent)
    , m_grid(grid)
{
    connect(&grid, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&grid, &QAbstractItemModel::modelReset, this, [this] {
        m_offset = 0;
        endResetModel();
        if (m_view)
            attach(m_view);
    });
    // A sort: the current cell keeps to its row, and the window moves with it.
    connect(&grid, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] {
        m_held = QPersistentModelIndex();
        if (m_view && m_view->model() == this && m_view->currentIndex().isValid())
            m_held = m_grid.index(m_offset + m_view->currentIndex().row(), m_view->currentIndex().column());
    });
    connect(&grid, &QAbstractItemModel::layoutChanged, this, [this] {
        if (!m_view || m_view->model() != this)
            return;
        emit layoutAboutToBeChanged();
        const QModelIndexList from = persistentIndexList();
        changePersistentIndexList(from, QModelIndexList(from.size()));
        emit layoutChanged();
        if (m_held.isValid())
            m_view->setCurrentIndex(index(showRow(m_held.row()), m_held.column()));
        m_held = QPersistentModelIndex();
    });
}

int IchiranWindow::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::min(m_grid.rowCount(), kRows);
}

int IchiranWindow::columnCount(const QModelIndex &parent) const
{
    return m_grid.columnCount(parent);
}

QVariant IchiranWindow::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    return m_grid.data(m_grid.index(m_offset + index.row(), index.column()), role);
}

QVariant IchiranWindow::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return m_grid.headerData(m_offset + section, orientation, role);
    return m_grid.headerData(section, orientation, role);
}

void IchiranWindow::moveTo(int offset)
{
    offset = std::clamp(offset, 0, std::max(0, m_grid.rowCount() - kRows));
    if (offset == m_offset)
        return;
    const int delta = offset - m_offset;
    emit layoutAboutToBeChanged();
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from) {
        const int row = i.row() - delta;
        to.append(row >= 0 && row < kRows ? index(row, i.column()) : QModelIndex());
    }
    m_offset = offset;
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

int IchiranWindow::showRow(int gridRow)
{
    if (gridRow < m_offset || gridRow >= m_offset + kRows)
        moveTo(gridRow - kRows / 2);
    return gridRow - m_offset;
}

void IchiranWindow::onScroll(int value)
{
    if (!m_view || m_view->model() != this)
        return;
    QScrollBar *bar = m_view->verticalScrollBar();
    const int margin = std::max(bar->pageStep(), 1) * 2;
    int shift = 0;
    if (value > bar->maximum() - margin && m_offset + kRows < m_grid.rowCount())
        shift = std::min(kRows / 2, m_grid.rowCount() - kRows - m_offset);
    else if (value < margin && m_offset > 0)
        shift = -std::min(kRows / 2, m_offset);
    if (shift == 0)
        return;
    moveTo(m_offset + shift);
    const QSignalBlocker quiet(bar);
    bar->setValue(int(value - qint64(shift) * (qint64(bar->maximum()) + bar->pageStep()) / kRows));
    m_view->viewport()->update();
}

void IchiranWindow::attach(QTableView *view)
{
    const bool viaWindow = m_grid.rowCount() > kDirectRows;
    QAbstractItemModel *want = viaWindow ? static_cast<QAbstractItemModel *>(this) : &m_grid;
    if (m_view != view) {
        m_view = view;
        connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &IchiranWindow::onScroll);
    }
    if (view->model() == want)
        return;
    // setModel gives the columns their default widths; keep the grid's.
    QList<int> widths;
    for (int c = 0; c < m_grid.columnCount(); ++c)
        widths << view->columnWidth(c);
    QItemSelectionModel *old = view->selectionModel();
    view->setModel(want);
    delete old; // the view leaves it to its owner
    for (int c = 0; c < widths.size(); ++c)
        view->setColumnWidth(c, widths[c]);
}

} // namespace kanaroll
