#include "ichiran.h"

#include <algorithm>
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
    const PackedRow &r = m_rows[std::size_t(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0: return m_names[r.name1];
        case 1: return m_names[r.name2];
        case 2: return QString::number(r.percent);
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
    m_names.clear();
    m_nameIds.clear();
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
    const PackedRow &p = m_rows[std::size_t(r)];
    return {m_names[p.name1], m_names[p.name2], QString::number(p.percent)};
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
