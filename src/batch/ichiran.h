#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <vector>

namespace kanaroll {

// One batch result as the grid shows it: three text cells.
struct IchiranRow {
    QString name1;   // column 0, the first name of the pair
    QString name2;   // column 1, the second name
    QString percent; // column 2, decimal digits without "%"

    friend bool operator==(const IchiranRow &, const IchiranRow &) = default;
};

inline constexpr int kIchiranColumns = 3;
inline constexpr int kIchiranPercentColumn = 2;
// Column widths of the grid in twips.
inline constexpr std::array<int, kIchiranColumns> kIchiranColumnTwips{2000, 2000, 430};

// "名前１", "名前２", "％"; empty for any other column.
QString ichiranHeader(int column);

enum class IchiranCompare { Numeric, Text };
enum class IchiranOrder { Ascending, Descending };

struct IchiranSortKey {
    int column;
    IchiranCompare compare;
    IchiranOrder order;
};

// The four sort buttons of the grid frame.
enum class IchiranSortButton {
    Kza, // percentage, highest first
    Kaz, // percentage, lowest first
    Nza, // first name, descending
    Naz, // first name, ascending
};
IchiranSortKey ichiranSortKey(IchiranSortButton button);

// Code point order; case counts. Plain UTF-16 order would put characters
// above U+E000 after the surrogate pairs.
int compareCodePoints(QStringView a, QStringView b) noexcept;
// Value of the leading decimal digits of a percentage cell; -1 when it has none.
int ichiranPercentValue(QStringView cell) noexcept;

// Reorders rows by one key column only; rows with equal keys keep their order.
std::vector<IchiranRow> IchiranSort(std::vector<IchiranRow> rows, int column,
                                    IchiranCompare compare, IchiranOrder order);
inline std::vector<IchiranRow> IchiranSort(std::vector<IchiranRow> rows, IchiranSortKey key)
{
    return IchiranSort(std::move(rows), key.column, key.compare, key.order);
}

// The rows of the result grid, header in the horizontal header. A batch of
// 300 x 300 names makes 180,000 rows, so names are kept once in a pool and a
// row is two pool ids and the percentage.
class IchiranModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct PackedRow {
        std::uint32_t name1;
        std::uint32_t name2;
        std::uint8_t percent;
    };

    explicit IchiranModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Column 2 sorts numerically, the others as text.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Only the header is left.
    void IchiranInit() { clear(); }
    void clear();
    // percent is 0 to 100.
    void append(const QString &name1, const QString &name2, int percent);

    // Rows held, including any not yet announced to views (see holdUpdates).
    int size() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    IchiranRow row(int r) const;
    const QString &name1(int r) const { return m_names[m_rows[std::size_t(r)].name1]; }
    const QString &name2(int r) const { return m_names[m_rows[std::size_t(r)].name2]; }
    int percent(int r) const { return m_rows[std::size_t(r)].percent; }
    std::vector<IchiranRow> rows() const;

    void sort(int column, IchiranCompare compare, IchiranOrder order);
    void sort(IchiranSortKey key) { sort(key.column, key.compare, key.order); }
    void sort(IchiranSortButton button) { sort(ichiranSortKey(button)); }

    // While held, appended rows are announced to views in one go at flush()
    // or at the last release, instead of one insert per row. Holds nest.
    void holdUpdates(bool hold);
    void flush();

    // The name pool, for writers that convert each name once.
    const std::vector<QString> &names() const { return m_names; }
    const std::vector<PackedRow> &packedRows() const { return m_rows; }

private:
    std::uint32_t intern(const QString &name, std::uint32_t hint);

    std::vector<PackedRow> m_rows;
    std::vector<QString> m_names;
    QHash<QString, std::uint32_t> m_nameIds;
    int m_shown = 0; // rows announced to views
    int m_hold = 0;
};

} // namespace kanaroll
