#pragma once

#include <QAbstractTableModel>
#include <QPersistentModelIndex>
#include <QPointer>

class QTableView;

namespace kanaroll {

class IchiranModel;

// A table view keeps a record per row and measures rows in int pixels, so a
// grid of more rows than it can hold is shown through a window of its rows
// that moves along as the view scrolls near either end. Smaller grids are
// shown directly.
class IchiranWindow : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kRows = 1 << 20;
    // Grids up to this size go to the view directly.
    static constexpr int kDirectRows = 8 << 20;

    explicit IchiranWindow(IchiranModel &grid, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    int offset() const { return m_offset; }
    // Moves the window so that the grid's row stands in it; its row here.
    int showRow(int gridRow);
    // Sets view's model to the grid or to this window, as the grid's size asks.
    void attach(QTableView *view);

private:
    void moveTo(int offset);
    void onScroll(int value);

    IchiranModel &m_grid;
    QPointer<QTableView> m_view;
    int m_offset = 0;
    QPersistentModelIndex m_held; // during a sort of the grid: its current cell
};

} // namespace kanaroll
