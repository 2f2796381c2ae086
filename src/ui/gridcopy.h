#pragma once

#include <QString>

#include <functional>

class QTableView;

namespace kanaroll {

// A copy takes at most this many rows: a spreadsheet holds about a million,
// and reading them stays well within a moment. A larger selection copies its
// first rows and says so.
inline constexpr int kGridCopyMaxRows = 100000;
// and at most this many characters (64 MB of text): a few rows of very long
// names would otherwise take gigabytes. Rows are never cut.
inline constexpr qsizetype kGridCopyMaxChars = qsizetype(32) << 20;

// How a copy fits in with the window's other work. The text is built on a
// worker while the window paints; meanwhile the window is busy as during a
// run: begin() says whether it may start (and holds input back), end() ends
// it, closing() whether the program is ending, which stops the copy.
struct GridCopyHooks {
    std::function<bool()> begin;
    std::function<void()> end;
    std::function<bool()> closing;
};

// Ctrl+C, Ctrl+A and a context menu (コピー, すべて選択) on the result grid.
void setUpGridCopy(QTableView *grid, GridCopyHooks hooks = {});

// The selected rows in the grid's order, one line each, cells separated by
// tabs; at most maxRows of them and maxChars characters. `selected` gets how
// many rows are selected, `copied` how many the text holds. A grid shown
// through a window of its rows is read in its own rows.
QString selectedRowsText(const QTableView *grid, int maxRows, qint64 *selected = nullptr,
                         qsizetype maxChars = kGridCopyMaxChars, qint64 *copied = nullptr);

// Copies the selected rows to the clipboard; false when nothing is selected or
// nothing could be copied (a warning then says why, the clipboard is kept).
bool copySelectedRows(QTableView *grid);

// Selects every row of the grid, also of one shown through a window.
void selectWholeGrid(QTableView *grid);

} // namespace kanaroll
