#pragma once

#include <QString>

class QTableView;

namespace kanaroll {

// A copy takes at most this many rows: a spreadsheet holds about a million,
// and reading them stays well within a moment. A larger selection copies its
// first rows and says so.
inline constexpr int kGridCopyMaxRows = 100000;
// and at most this many characters (64 MB of text): a few rows of very long
// names would otherwise take gigabytes. Rows are never cut.
inline constexpr qsizetype kGridCopyMaxChars = qsizetype(32) << 20;

// Ctrl+C and a context menu (コピー, すべて選択) on the result grid.
void setUpGridCopy(QTableView *grid);

// The selected rows in the grid's order, one line each, cells separated by
// tabs; at most maxRows of them and maxChars characters. `selected` gets how
// many rows are selected, `copied` how many the text holds.
QString selectedRowsText(const QTableView *grid, int maxRows, qint64 *selected = nullptr,
                         qsizetype maxChars = kGridCopyMaxChars, qint64 *copied = nullptr);

// Copies the selected rows to the clipboard; false when nothing is selected or
// nothing could be copied (a warning then says why, the clipboard is kept).
bool copySelectedRows(QTableView *grid);

} // namespace kanaroll
