#include "ichiranwindow.h"

#include "lists/namaelist.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>
#include <limits>

namespace kanaroll {

// Views and the toolkit count rows in an int: the largest batch the lists
// allow, every pair in both orders, must fit it whole.
static_assert(2 * qint64(kNamaeListMaxNames) * kNamaeListMaxNames <= std::numeric_limits<int>::max());

namespace {

// Sets a flag for the length of a scope.
class Quiet
{
public:
    explicit Quiet(bool &flag)
        : m_flag(flag)
        , m_was(flag)
    {
        m_flag = true;
    }
    ~Quiet() { m_flag = m_was; }
    Quiet(const Quiet &) = delete;
    Quiet &operator=(const Quiet &) = delete;

private:
    bool &m_flag;
    bool m_was;
};

} // namespace

IchiranWindow::IchiranWindow(QAbstractItemModel &grid, QObject *parent)
    : QAbstractTableModel(parent)
    , m_grid(grid)
{
    connect(&grid, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&grid, &QAbstractItemModel::modelReset, this, [this] {
        m_offset = 0;
        m_spans.clear();
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
        {
            const Quiet quiet(m_quiet);
            emit layoutAboutToBeChanged();
            const QModelIndexList from = persistentIndexList();
            changePersistentIndexList(from, QModelIndexList(from.size()));
            emit layoutChanged();
            if (m_held.isValid())
                m_view->setCurrentIndex(index(showRow(m_held.row()), m_held.column()));
        }
        m_held = QPersistentModelIndex();
        // A sort moves rows, never out of a selection of all of them; a part
        // of the grid would now hold other rows.
        if (m_spans.size() != 1 || m_spans[0].first > 0 || m_spans[0].second < m_grid.rowCount() - 1)
            m_spans.clear();
        reselectSpan();
        syncGridBar();
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

bool IchiranWindow::viaWindow() const
{
    return m_view && m_view->model() == this;
}

void IchiranWindow::moveTo(int offset)
{
    offset = std::clamp(offset, 0, std::max(0, m_grid.rowCount() - kRows));
    if (offset == m_offset)
        return;
    const int delta = offset - m_offset;
    // The selection is kept in grid rows, not to lose the rows the window
    // moves away from.
    if (m_spans.empty())
        m_spans = viewSpans();
    {
        const Quiet quiet(m_quiet);
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
    // Rows that come into the window join a selection that reaches past it.
    reselectSpan();
}

int IchiranWindow::showRow(int gridRow)
{
    if (gridRow < m_offset || gridRow >= m_offset + kRows)
        moveTo(gridRow - kRows / 2);
    return gridRow - m_offset;
}

void IchiranWindow::onScroll(int value)
{
    if (!viaWindow())
        return;
    QScrollBar *bar = m_view->verticalScrollBar();
    const int margin = std::max(bar->pageStep(), 1) * 2;
    int shift = 0;
    if (value > bar->maximum() - margin && m_offset + kRows < m_grid.rowCount())
        shift = std::min(kRows / 2, m_grid.rowCount() - kRows - m_offset);
    else if (value < margin && m_offset > 0)
        shift = -std::min(kRows / 2, m_offset);
    if (shift != 0) {
        moveTo(m_offset + shift);
        const QSignalBlocker quiet(bar);
        bar->setValue(int(value - qint64(shift) * (qint64(bar->maximum()) + bar->pageStep()) / kRows));
        m_view->viewport()->update();
    }
    syncGridBar();
}

void IchiranWindow::syncGridBar()
{
    if (!m_bar || !viaWindow())
        return;
    const QScrollBar *own = m_view->verticalScrollBar();
    const int page = std::max(own->pageStep(), 1);
    const Quiet quiet(m_quiet);
    m_bar->setRange(0, std::max(0, m_grid.rowCount() - page));
    m_bar->setPageStep(page);
    m_bar->setSingleStep(own->singleStep());
    m_bar->setValue(m_offset + own->value());
}

void IchiranWindow::onGridBar(int value)
{
    if (m_quiet || !viaWindow())
        return;
    QScrollBar *own = m_view->verticalScrollBar();
    // The bar counts the grid's rows at its top; the window moves under it.
    if (value < m_offset || value > m_offset + own->maximum())
        moveTo(value - kRows / 2);
    own->setValue(value - m_offset);
    syncGridBar();
}

QScrollBar *IchiranWindow::gridScrollBar() const
{
    if (!m_view)
        return nullptr;
    return m_bar && viaWindow() ? m_bar.data() : m_view->verticalScrollBar();
}

void IchiranWindow::selectWholeGrid()
{
    if (!m_view)
        return;
    if (!viaWindow()) {
        m_view->selectAll();
        return;
    }
    m_spans.clear();
    if (m_grid.rowCount() > 0)
        m_spans.emplace_back(0, m_grid.rowCount() - 1);
    reselectSpan();
}

IchiranWindow::Spans IchiranWindow::viewSpans() const
{
    Spans spans;
    if (!m_view || !m_view->selectionModel())
        return spans;
    const qint64 offset = viaWindow() ? m_offset : 0;
    for (const QItemSelectionRange &r : m_view->selectionModel()->selection())
        spans.emplace_back(offset + r.top(), offset + r.bottom());
    std::sort(spans.begin(), spans.end());
    Spans merged;
    for (const auto &span : spans) {
        if (!merged.empty() && span.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, span.second);
        else
            merged.push_back(span);
    }
    return merged;
}

void IchiranWindow::reselectSpan()
{
    if (m_spans.empty() || !viaWindow() || !m_view->selectionModel())
        return;
    const Quiet quiet(m_quiet);
    QItemSelection rows;
    for (const auto &[gridFirst, gridLast] : m_spans) {
        const qint64 first = std::max<qint64>(gridFirst, m_offset);
        const qint64 last = std::min<qint64>(gridLast, qint64(m_offset) + rowCount() - 1);
        if (first <= last)
            rows.select(index(int(first - m_offset), 0), index(int(last - m_offset), columnCount() - 1));
    }
    m_view->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
}

// Ctrl+Home and Ctrl+End move the current cell as the view's own keys do,
// leaving the selection; with Shift they select from the current row on.
bool IchiranWindow::goToEnd(bool last, bool extend)
{
    const QAbstractItemModel *shown = m_view->model();
    if (!shown || shown->rowCount() == 0 || !m_view->selectionModel())
        return false;
    const bool window = viaWindow();
    const QModelIndex current = m_view->currentIndex();
    const qint64 from = current.isValid() ? (window ? qint64(m_offset) : 0) + current.row() : 0;
    const qint64 end = last ? qint64(m_grid.rowCount()) - 1 : 0;
    if (window)
        moveTo(last ? m_grid.rowCount() - kRows : 0);
    const QModelIndex to = shown->index(last ? shown->rowCount() - 1 : 0, last ? shown->columnCount() - 1 : 0);
    m_view->selectionModel()->setCurrentIndex(to, QItemSelectionModel::NoUpdate);
    if (extend) {
        const qint64 first = std::min(from, end);
        const qint64 lastRow = std::max(from, end);
        if (window) {
            m_spans = {{first, lastRow}};
            reselectSpan();
        } else {
            const QItemSelection rows(shown->index(int(first), 0), shown->index(int(lastRow), shown->columnCount() - 1));
            m_view->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
        }
    }
    m_view->scrollTo(to);
    return true;
}

bool IchiranWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: a view being destroyed still sends its events here.
    if (event->type() != QEvent::KeyPress || watched != m_view)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (!(key->modifiers() & Qt::ControlModifier))
        return false;
    const bool extend = key->modifiers() & Qt::ShiftModifier;
    if (key->key() == Qt::Key_Home)
        return goToEnd(false, extend);
    if (key->key() == Qt::Key_End)
        return goToEnd(true, extend);
    return false;
}

void IchiranWindow::attach(QTableView *view)
{
    const bool throughWindow = m_grid.rowCount() > kDirectRows;
    QAbstractItemModel *want = throughWindow ? static_cast<QAbstractItemModel *>(this) : &m_grid;
    if (m_view != view) {
        m_view = view;
        connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &IchiranWindow::onScroll);
        connect(view->verticalScrollBar(), &QScrollBar::rangeChanged, this, &IchiranWindow::syncGridBar);
        view->installEventFilter(this);
    }
    if (view->model() != want) {
        // setModel gives the columns their default widths; keep the grid's.
        QList<int> widths;
        for (int c = 0; c < m_grid.columnCount(); ++c)
            widths << view->columnWidth(c);
        QItemSelectionModel *old = view->selectionModel();
        view->setModel(want);
        delete old; // the view leaves it to its owner
        for (int c = 0; c < widths.size(); ++c)
            view->setColumnWidth(c, widths[c]);
        disconnect(m_selectionWatch);
        // A selection the user makes replaces one of the whole grid.
        m_selectionWatch = connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            if (!m_quiet)
                m_spans.clear();
        });
    }
    // Through a window the view's own bar would count the window's rows: a
    // bar over the whole grid takes its place.
    if (throughWindow && !m_bar) {
        m_bar = new QScrollBar(Qt::Vertical, view);
        m_bar->setObjectName(QStringLiteral("gridScrollBar"));
        view->addScrollBarWidget(m_bar, Qt::AlignTop);
        view->verticalScrollBar()->hide();
        connect(m_bar, &QScrollBar::valueChanged, this, &IchiranWindow::onGridBar);
    } else if (!throughWindow && m_bar) {
        delete m_bar;
        view->verticalScrollBar()->show();
    }
    syncGridBar();
}

} // namespace kanaroll
