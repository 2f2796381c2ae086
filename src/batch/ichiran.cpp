#include "ichiran.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <limits>
#include <numeric>

namespace kanaroll {

QString ichiranHeader(int column)
{
    switch (column) {
    case 0: return QStringLiteral("名前１");
    case 1: return QStringLiteral("名前２");
    case 2: return QStringLiteral("％");
    default: return {};
    }
}

IchiranSortKey ichiranSortKey(IchiranSortButton button)
{
    switch (button) {
    case IchiranSortButton::Kza:
        return {kIchiranPercentColumn, IchiranCompare::Numeric, IchiranOrder::Descending};
    case IchiranSortButton::Kaz:
        return {kIchiranPercentColumn, IchiranCompare::Numeric, IchiranOrder::Ascending};
    case IchiranSortButton::Nza:
        return {0, IchiranCompare::Text, IchiranOrder::Descending};
    case IchiranSortButton::Naz:
        break;
    }
    return {0, IchiranCompare::Text, IchiranOrder::Ascending};
}

namespace {

// Moves surrogates above U+E000..U+FFFF so that code units compare like code points.
inline char16_t codePointRank(char16_t u) noexcept
{
    if (u >= 0xE000)
        return static_cast<char16_t>(u - 0x800);
    if (u >= 0xD800)
        return static_cast<char16_t>(u + 0x2000);
    return u;
}

const QString &cell(const IchiranRow &row, int column)
{
    switch (column) {
    case 0: return row.name1;
    case 1: return row.name2;
    default: return row.percent;
    }
}

} // namespace

int compareCodePoints(QStringView a, QStringView b) noexcept
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y)
            return codePointRank(x) < codePointRank(y) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int ichiranPercentValue(QStringView cell) noexcept
{
    int value = -1;
    for (const QChar c : cell) {
        if (c < u'0' || c > u'9')
            break;
        const int digit = c.unicode() - u'0';
        value = value < 0 ? digit : std::min(value * 10 + digit, std::numeric_limits<int>::max() / 10);
    }
    return value;
}

std::vector<IchiranRow> IchiranSort(std::vector<IchiranRow> rows, int column,
                                    IchiranCompare compare, IchiranOrder order)
{
    // -1, 0, 1 for the key cells of a and b, ascending.
    auto cmp = [column, compare](const IchiranRow &a, const IchiranRow &b) {
        const QString &x = cell(a, column);
        const QString &y = cell(b, column);
        if (compare == IchiranCompare::Numeric) {
            const int vx = ichiranPercentValue(x);
            const int vy = ichiranPercentValue(y);
            return vx < vy ? -1 : (vx > vy ? 1 : 0);
        }
        return compareCodePoints(x, y);
    };
    if (order == IchiranOrder::Ascending)
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const IchiranRow &a, const IchiranRow &b) { return cmp(a, b) < 0; });
    else
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const IchiranRow &a, const IchiranRow &b) { return cmp(a, b) > 0; });
    return rows;
}

IchiranModel::IchiranModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int IchiranModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int IchiranModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kIchiranColumns;
}

QVariant IchiranModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0: return name1(index.row());
        case 1: return name2(index.row());
        case 2: return QString::number(percent(index.row()));
        default: return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        // The grid's own default: text at the left, numbers at the right.
        const Qt::Alignment h = index.column() == kIchiranPercentColumn ? Qt::AlignRight : Qt::AlignLeft;
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    return {};
}

QVariant IchiranModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return ichiranHeader(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void IchiranModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_names.clear();
    m_nameIds.clear();
    m_run.reset();
    m_view = View::Run;
    m_valueStart.clear();
    m_before = {};
    m_pieces = {};
    m_pieceIndex[0] = {};
    m_pieceIndex[1] = {};
    m_shown = 0;
    endResetModel();
}

std::uint32_t IchiranModel::intern(const QString &name, std::uint32_t hint)
{
    // A run repeats the same first name for a whole inner loop.
    if (hint < m_names.size() && m_names[hint] == name)
        return hint;
    const auto it = m_nameIds.constFind(name);
    if (it != m_nameIds.cend())
        return *it;
    const auto id = static_cast<std::uint32_t>(m_names.size());
    m_names.push_back(name);
    m_nameIds.insert(name, id);
    return id;
}

void IchiranModel::append(const QString &name1, const QString &name2, int percent)
{
    Q_ASSERT(percent >= 0 && percent <= 100);
    Q_ASSERT(!m_run); // a run's first row clears the grid
    const std::uint32_t hint1 = m_rows.empty() ? 0 : m_rows.back().name1;
    const std::uint32_t hint2 = m_rows.empty() ? 0 : m_rows.back().name2;
    const PackedRow row{intern(name1, hint1), intern(name2, hint2),
                        static_cast<std::uint8_t>(std::clamp(percent, 0, 100))};
    if (m_hold > 0) {
        m_rows.push_back(row);
        return;
    }
    flush();
    beginInsertRows({}, m_shown, m_shown);
    m_rows.push_back(row);
    ++m_shown;
    endInsertRows();
}

void IchiranModel::holdUpdates(bool hold)
{
    if (hold) {
        ++m_hold;
        return;
    }
    if (m_hold > 0 && --m_hold == 0)
        flush();
}

void IchiranModel::flush()
{
    const int total = size();
    if (total <= m_shown)
        return;
    beginInsertRows({}, m_shown, total - 1);
    m_shown = total;
    endInsertRows();
}

IchiranRow IchiranModel::row(int r) const
{
    return {name1(r), name2(r), QString::number(percent(r))};
}

std::vector<IchiranRow> IchiranModel::rows() const
{
    std::vector<IchiranRow> out;
    out.reserve(m_rows.size());
    for (int r = 0; r < size(); ++r)
        out.push_back(row(r));
    return out;
}

void IchiranModel::sort(int column, Qt::SortOrder order)
{
    sort(column, column == kIchiranPercentColumn ? IchiranCompare::Numeric : IchiranCompare::Text,
         order == Qt::AscendingOrder ? IchiranOrder::Ascending : IchiranOrder::Descending);
}

void IchiranModel::sort(int column, IchiranCompare compare, IchiranOrder order)
{
    if (column < 0 || column >= kIchiranColumns)
        return;
    if (m_run) {
        sortRun(compare, order, column);
        return;
    }
    flush();
    const std::size_t n = m_rows.size();
    if (n < 2)
        return;

    // Each row's key becomes a small rank, then one stable counting sort.
    // Text keys rank the pool once; there are far fewer names than rows.
    std::vector<std::uint32_t> rank; // per distinct key text
    std::size_t buckets = 0;

    std::vector<std::uint32_t> keys(n);
    if (compare == IchiranCompare::Numeric && column == kIchiranPercentColumn) {
        buckets = 101;
        for (std::size_t i = 0; i < n; ++i)
            keys[i] = m_rows[i].percent;
    } else {
        // Rank every distinct key text of this column (names, or the percentage as text).
        std::vector<QString> texts;
        std::vector<std::uint32_t> textOf(n);
        if (column == kIchiranPercentColumn) {
            texts.reserve(101);
            for (int p = 0; p <= 100; ++p)
                texts.push_back(QString::number(p));
            for (std::size_t i = 0; i < n; ++i)
                textOf[i] = m_rows[i].percent;
        } else {
            texts = m_names;
            for (std::size_t i = 0; i < n; ++i)
                textOf[i] = column == 0 ? m_rows[i].name1 : m_rows[i].name2;
        }
        std::vector<std::uint32_t> order(texts.size());
        std::iota(order.begin(), order.end(), 0u);
        if (compare == IchiranCompare::Numeric) {
            std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return ichiranPercentValue(texts[a]) < ichiranPercentValue(texts[b]);
            });
        } else {
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return compareCodePoints(texts[a], texts[b]) < 0;
            });
        }
        // Equal keys share a rank.
        rank.assign(texts.size(), 0);
        std::uint32_t next = 0;
        for (std::size_t k = 0; k < order.size(); ++k) {
            if (k > 0) {
                const QString &prev = texts[order[k - 1]];
                const QString &cur = texts[order[k]];
                const bool same = compare == IchiranCompare::Numeric
                                      ? ichiranPercentValue(prev) == ichiranPercentValue(cur)
                                      : compareCodePoints(prev, cur) == 0;
                if (!same)
                    ++next;
            }
            rank[order[k]] = next;
        }
        buckets = order.empty() ? 1 : next + 1;
        for (std::size_t i = 0; i < n; ++i)
            keys[i] = rank[textOf[i]];
    }
    if (order == IchiranOrder::Descending) {
        for (auto &k : keys)
            k = static_cast<std::uint32_t>(buckets - 1 - k);
    }

    std::vector<std::uint32_t> start(buckets + 1, 0);
    for (const auto k : keys)
        ++start[k + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<std::uint32_t> newPos(n);
    for (std::size_t i = 0; i < n; ++i)
        newPos[i] = start[keys[i]]++;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<PackedRow> sorted(n);
    for (std::size_t i = 0; i < n; ++i)
        sorted[newPos[i]] = m_rows[i];
    m_rows = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &idx : from)
        to.append(index(int(newPos[std::size_t(idx.row())]), idx.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace kanaroll

namespace kanaroll {

bool IchiranRun::allocate()
{
    // Views count rows in an int: a run past that could not be shown whole.
    if (rowCount() > std::size_t(std::numeric_limits<int>::max()))
        return false;
    try {
        percent.reset(new std::uint8_t[rowCount()]);
        counts.assign(blockCount() * kValues, 0);
    } catch (const std::bad_alloc &) {
        percent.reset();
        counts = {};
        return false;
    }
    return true;
}

namespace {

struct RunPlace {
    bool second; // the (partner, self) pass
    std::size_t i; // self position
    std::size_t j; // partner position
};

RunPlace placeOf(const IchiranRun &run, std::size_t r)
{
    const std::size_t half = run.self.size() * run.partner.size();
    const bool second = r >= half;
    const std::size_t q = second ? r - half : r;
    return {second, q / run.partner.size(), q % run.partner.size()};
}

// How many of bytes [from, to) equal value.
std::int64_t countValue(const std::uint8_t *p, std::size_t from, std::size_t to, int value)
{
    std::int64_t n = 0;
    for (std::size_t k = from; k < to; ++k)
        n += p[k] == value ? 1 : 0;
    return n;
}

} // namespace

const QString &IchiranModel::name1(int r) const
{
    if (!m_run)
        return m_names[m_rows[std::size_t(r)].name1];
    const RunPlace at = placeOf(*m_run, runRowAt(r));
    return at.second ? m_run->partner[at.j] : m_run->self[at.i];
}

const QString &IchiranModel::name2(int r) const
{
    if (!m_run)
        return m_names[m_rows[std::size_t(r)].name2];
    const RunPlace at = placeOf(*m_run, runRowAt(r));
    return at.second ? m_run->self[at.i] : m_run->partner[at.j];
}

int IchiranModel::percent(int r) const
{
    if (!m_run)
        return m_rows[std::size_t(r)].percent;
    return m_run->percent[runRowAt(r)];
}

void IchiranModel::setRun(IchiranRun run)
{
    beginResetModel();
    m_rows = {};
    m_names = {};
    m_nameIds.clear();
    m_pieces = {};
    m_pieceIndex[0] = {};
    m_pieceIndex[1] = {};
    m_view = View::Run;
    m_run = std::make_unique<IchiranRun>(std::move(run));
    // Running counts per value, for finding the nth row holding a value.
    const std::size_t blocks = m_run->blockCount();
    m_before.assign(std::size_t(IchiranRun::kValues) * (blocks + 1), 0);
    for (int v = 0; v < IchiranRun::kValues; ++v) {
        std::uint32_t *before = m_before.data() + std::size_t(v) * (blocks + 1);
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b < blocks; ++b) {
            before[b] = sum;
            sum += m_run->counts[b * IchiranRun::kValues + std::size_t(v)];
        }
        before[blocks] = sum;
    }
    m_run->counts = {};
    m_shown = size();
    endResetModel();
}

std::size_t IchiranModel::nthOfValue(int value, std::int64_t n) const
{
    const std::size_t blocks = m_run->blockCount();
    const std::uint32_t *before = m_before.data() + std::size_t(value) * (blocks + 1);
    // The last block that starts with fewer than n + 1 such rows before it.
    const std::size_t b = std::size_t(std::upper_bound(before, before + blocks + 1, std::uint32_t(n)) - before) - 1;
    std::int64_t left = n - before[b];
    const std::uint8_t *p = m_run->percent.get();
    const std::size_t end = std::min(m_run->rowCount(), (b + 1) * IchiranRun::kBlock);
    for (std::size_t r = b * IchiranRun::kBlock; r < end; ++r) {
        if (p[r] == value && left-- == 0)
            return r;
    }
    Q_ASSERT(false);
    return 0;
}

std::size_t IchiranModel::pieceAt(std::int64_t k) const
{
    const auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), k,
                                     [](std::int64_t x, const Piece &p) { return x < p.start; });
    return std::size_t(it - m_pieces.begin()) - 1;
}

std::size_t IchiranModel::runRowAt(std::int64_t k) const
{
    switch (m_view) {
    case View::Run:
        break;
    case View::ByValue: {
        const std::size_t place =
            std::size_t(std::upper_bound(m_valueStart.begin(), m_valueStart.end(), k) - m_valueStart.begin()) - 1;
        return nthOfValue(m_valueOrder[place], k - m_valueStart[place]);
    }
    case View::ByName: {
        const Piece &p = m_pieces[pieceAt(k)];
        return std::size_t(p.base + (k - p.start) * p.stride);
    }
    }
    return std::size_t(k);
}

std::int64_t IchiranModel::gridRowOf(std::size_t r) const
{
    switch (m_view) {
    case View::Run:
        break;
    case View::ByValue: {
        const int v = m_run->percent[r];
        const std::size_t b = r / IchiranRun::kBlock;
        const std::uint32_t *before = m_before.data() + std::size_t(v) * (m_run->blockCount() + 1);
        return m_valueStart[std::size_t(m_valueRank[std::size_t(v)])] + before[b]
               + countValue(m_run->percent.get(), b * IchiranRun::kBlock, r, v);
    }
    case View::ByName: {
        const RunPlace at = placeOf(*m_run, r);
        // Column 0 of the first pass and column 1 of the second hold self names.
        const bool keyIsSelf = (m_nameColumn == 0) != at.second;
        const std::size_t position = keyIsSelf ? at.i : at.j;
        const std::size_t offset = keyIsSelf ? at.j : at.i;
        return m_pieces[m_pieceIndex[at.second ? 1 : 0][position]].start + std::int64_t(offset);
    }
    }
    return std::int64_t(r);
}

void IchiranModel::sortRun(IchiranCompare compare, IchiranOrder order, int column)
{
    const std::size_t n = m_run->rowCount();
    if (n < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<std::size_t> runRows;
    runRows.reserve(std::size_t(from.size()));
    for (const QModelIndex &idx : from)
        runRows.push_back(runRowAt(idx.row()));

    const bool down = order == IchiranOrder::Descending;
    if (column == kIchiranPercentColumn) {
        // 101 buckets in the order of their key; a bucket holds its rows in run order.
        std::array<QString, IchiranRun::kValues> texts;
        for (int v = 0; v < IchiranRun::kValues; ++v) {
            texts[std::size_t(v)] = QString::number(v);
            m_valueOrder[std::size_t(v)] = v;
        }
        if (compare == IchiranCompare::Text) {
            std::sort(m_valueOrder.begin(), m_valueOrder.end(), [&](int a, int b) {
                return compareCodePoints(texts[std::size_t(a)], texts[std::size_t(b)]) < 0;
            });
        }
        if (down)
            std::reverse(m_valueOrder.begin(), m_valueOrder.end());
        const std::size_t blocks = m_run->blockCount();
        m_valueStart.assign(IchiranRun::kValues + 1, 0);
        for (std::size_t place = 0; place < IchiranRun::kValues; ++place) {
            const int v = m_valueOrder[place];
            m_valueRank[std::size_t(v)] = int(place);
            m_valueStart[place + 1] = m_valueStart[place] + m_before[std::size_t(v) * (blocks + 1) + blocks];
        }
        m_view = View::ByValue;
    } else {
        // One piece per name of the key column and pass; the pieces sorted by
        // their names, stably, so equal names keep run order.
        const std::int64_t S = std::int64_t(m_run->self.size());
        const std::int64_t P = std::int64_t(m_run->partner.size());
        m_pieces.clear();
        m_pieces.reserve(std::size_t(2 * (S + P)));
        std::vector<const QString *> keys;
        std::vector<std::pair<int, std::uint32_t>> owner; // pass, position
        for (int pass = 0; pass < 2; ++pass) {
            const bool keyIsSelf = (column == 0) != (pass == 1);
            const std::int64_t count = keyIsSelf ? S : P;
            for (std::int64_t pos = 0; pos < count; ++pos) {
                const std::int64_t base = pass * S * P + (keyIsSelf ? pos * P : pos);
                m_pieces.push_back({0, base, keyIsSelf ? 1 : P, keyIsSelf ? P : S});
                keys.push_back(keyIsSelf ? &m_run->self[std::size_t(pos)] : &m_run->partner[std::size_t(pos)]);
                owner.emplace_back(pass, std::uint32_t(pos));
            }
        }
        std::vector<std::uint32_t> idx(m_pieces.size());
        std::iota(idx.begin(), idx.end(), 0u);
        auto cmp = [&](std::uint32_t a, std::uint32_t b) {
            if (compare == IchiranCompare::Numeric)
                return ichiranPercentValue(*keys[a]) - ichiranPercentValue(*keys[b]);
            return compareCodePoints(*keys[a], *keys[b]);
        };
        std::stable_sort(idx.begin(), idx.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return down ? cmp(a, b) > 0 : cmp(a, b) < 0; });
        std::vector<Piece> sorted;
        sorted.reserve(idx.size());
        m_pieceIndex[0].assign(std::size_t((column == 0) ? S : P), 0);
        m_pieceIndex[1].assign(std::size_t((column == 0) ? P : S), 0);
        std::int64_t start = 0;
        for (std::uint32_t k : idx) {
            Piece p = m_pieces[k];
            p.start = start;
            start += p.count;
            m_pieceIndex[std::size_t(owner[k].first)][owner[k].second] = std::uint32_t(sorted.size());
            sorted.push_back(p);
        }
        m_pieces = std::move(sorted);
        m_nameColumn = column;
        m_view = View::ByName;
    }

    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype k = 0; k < from.size(); ++k)
        to.append(index(int(gridRowOf(runRows[std::size_t(k)])), from[k].column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

IchiranModel::Cursor::Cursor(const IchiranModel &grid, int from)
    : m_grid(grid)
    , m_at(from)
{
    if (!grid.m_run || from >= grid.size())
        return;
    if (grid.m_view == View::ByValue) {
        m_place = std::size_t(std::upper_bound(grid.m_valueStart.begin(), grid.m_valueStart.end(), std::int64_t(from))
                              - grid.m_valueStart.begin()) - 1;
        m_scan = grid.runRowAt(from);
    } else if (grid.m_view == View::ByName) {
        m_piece = grid.pieceAt(from);
        m_offset = from - grid.m_pieces[m_piece].start;
    }
}

bool IchiranModel::Cursor::next(const QString *&name1, const QString *&name2, int &percent)
{
    std::uint32_t id1 = 0;
    std::uint32_t id2 = 0;
    if (!nextIds(id1, id2, percent))
        return false;
    const IchiranModel &g = m_grid;
    if (!g.m_run) {
        name1 = &g.m_names[id1];
        name2 = &g.m_names[id2];
    } else {
        const std::size_t S = g.m_run->self.size();
        name1 = id1 < S ? &g.m_run->self[id1] : &g.m_run->partner[id1 - S];
        name2 = id2 < S ? &g.m_run->self[id2] : &g.m_run->partner[id2 - S];
    }
    return true;
}

std::vector<const QString *> IchiranModel::nameTable() const
{
    std::vector<const QString *> out;
    if (!m_run) {
        for (const QString &n : m_names)
            out.push_back(&n);
        return out;
    }
    for (const QString &n : m_run->self)
        out.push_back(&n);
    for (const QString &n : m_run->partner)
        out.push_back(&n);
    return out;
}

void IchiranModel::useCounts(std::vector<std::int64_t> &perName, std::array<std::int64_t, 101> &perPercent) const
{
    perPercent.fill(0);
    if (!m_run) {
        perName.assign(m_names.size(), 0);
        for (const PackedRow &r : m_rows) {
            ++perName[r.name1];
            ++perName[r.name2];
            ++perPercent[r.percent];
        }
        return;
    }
    // Each self name stands in 2 P rows, each partner name in 2 S.
    const std::size_t S = m_run->self.size();
    const std::size_t P = m_run->partner.size();
    perName.assign(S + P, 0);
    for (std::size_t k = 0; k < S + P; ++k)
        perName[k] = std::int64_t(2 * (k < S ? P : S));
    const std::size_t blocks = m_run->blockCount();
    for (std::size_t v = 0; v < perPercent.size(); ++v)
        perPercent[v] = m_before[v * (blocks + 1) + blocks];
}

bool IchiranModel::Cursor::nextIds(std::uint32_t &name1, std::uint32_t &name2, int &percent)
{
    const IchiranModel &g = m_grid;
    if (m_at >= g.size())
        return false;
    if (!g.m_run) {
        const PackedRow &p = g.m_rows[std::size_t(m_at++)];
        name1 = p.name1;
        name2 = p.name2;
        percent = p.percent;
        return true;
    }
    const IchiranRun &run = *g.m_run;
    std::size_t r = std::size_t(m_at);
    if (g.m_view == View::ByValue) {
        // The next row holding the current value, or the first of the next value.
        const std::size_t n = run.rowCount();
        for (;;) {
            const int v = g.m_valueOrder[m_place];
            if (m_at < g.m_valueStart[m_place + 1]) {
                const void *hit = std::memchr(run.percent.get() + m_scan, v, n - m_scan);
                Q_ASSERT(hit);
                r = std::size_t(static_cast<const std::uint8_t *>(hit) - run.percent.get());
                m_scan = r + 1;
                break;
            }
            ++m_place;
            m_scan = 0;
        }
    } else if (g.m_view == View::ByName) {
        while (m_offset >= g.m_pieces[m_piece].count) {
            ++m_piece;
            m_offset = 0;
        }
        const Piece &p = g.m_pieces[m_piece];
        r = std::size_t(p.base + m_offset * p.stride);
        ++m_offset;
    }
    ++m_at;
    const RunPlace at = placeOf(run, r);
    const auto selfId = std::uint32_t(at.i);
    const auto partnerId = std::uint32_t(run.self.size() + at.j);
    name1 = at.second ? partnerId : selfId;
    name2 = at.second ? selfId : partnerId;
    percent = run.percent[r];
    return true;
}

} // namespace kanaroll
