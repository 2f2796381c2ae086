#pragma once

#include <QString>

class QTableView;

namespace kanaroll {

// A copy takes at most this many rows: a spreadsheet holds about a million,
// and reading them stays well within a moment. A larger selection copies its
// first rows and says so.
inline constexpr int kGridCopyMaxRows = 100000;

// Ctrl+C and a context menu (コピー, すべて選択) on the result grid.
void setUpGridCopy(QTableView *grid);

// The selected rows in the grid's order, one line each, cells separated by
// tabs; at most maxRows of them. `selected` gets how many rows are selected.
QString selectedRowsText(const QTableView *grid, int maxRows, qint64 *selected = nullptr);

// Copies the selected rows to the clipboard; false when nothing is selected.
bool copySelectedRows(QTableView *grid);

} // namespace kanaroll
