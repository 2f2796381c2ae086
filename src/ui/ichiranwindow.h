#pragma once

#include <QAbstractTableModel>
#include <QPersistentModelIndex>
#include <QPointer>

#include <utility>
#include <vector>

class QScrollBar;
class QTableView;

namespace kanaroll {

// A table view keeps a record per row and measures rows in int pixels, so a
// grid of more rows than it can hold is shown through a window of its rows
// that moves along as the view scrolls near either end. Smaller grids are
// shown directly. Through a window, what the user meets still counts in the
// grid's own rows: a scroll bar over the whole grid stands in for the view's
// own, Ctrl+Home and Ctrl+End go to the grid's first and last row, and Ctrl+A
// selects the whole grid.
class IchiranWindow : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kRows = 1 << 20;
    // Grids up to this size go to the view directly.
    static constexpr int kDirectRows = 8 << 20;

    explicit IchiranWindow(QAbstractItemModel &grid, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const QAbstractItemModel &grid() const { return m_grid; }
    int offset() const { return m_offset; }
    // Moves the window so that the grid's row stands in it; its row here.
    int showRow(int gridRow);
    // Sets view's model to the grid or to this window, as the grid's size asks.
    void attach(QTableView *view);

    // Every row of the grid is selected, also those outside the window.
    void selectWholeGrid();
    using Spans = std::vector<std::pair<qint64, qint64>>;
    // The selection in grid rows, first and last of each part, when it
    // reaches past the window (Ctrl+A, Shift+Ctrl+Home or End, or rows the
    // window moved away from); empty when the view's own is all there is.
    const Spans &gridSpans() const { return m_spans; }
    // The scroll bar the user sees: over the whole grid.
    QScrollBar *gridScrollBar() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool viaWindow() const;
    void moveTo(int offset);
    void onScroll(int value);
    void onGridBar(int value);
    void syncGridBar();
    Spans viewSpans() const;
    void reselectSpan();
    bool goToEnd(bool last, bool extend);

    QAbstractItemModel &m_grid;
    QPointer<QTableView> m_view;
    QPointer<QScrollBar> m_bar; // through a window: the bar over the whole grid
    QMetaObject::Connection m_selectionWatch;
    int m_offset = 0;
    Spans m_spans;
    bool m_quiet = false; // our own changes of selection and bars
    QPersistentModelIndex m_held; // during a sort of the grid: its current cell
};

} // namespace kanaroll
