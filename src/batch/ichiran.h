#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <memory>
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

// A quick run kept as data. Its rows are every (self, partner) pair of the
// accepted names and then every (partner, self) pair, so a row's names follow
// from its number; only its percentage is stored, one byte a row.
struct IchiranRun {
    static constexpr std::size_t kBlock = 16384; // rows counted together
    static constexpr int kValues = 101;

    std::vector<QString> self;    // accepted self names in list order
    std::vector<QString> partner; // accepted partner names in list order
    std::unique_ptr<std::uint8_t[]> percent; // rowCount() bytes, run order
    // Per block of kBlock rows, how many rows hold each percentage:
    // counts[block * kValues + value].
    std::vector<std::uint32_t> counts;

    std::size_t rowCount() const { return 2 * self.size() * partner.size(); }
    std::size_t blockCount() const { return (rowCount() + kBlock - 1) / kBlock; }
    // Room for the rows, uninitialised; false when memory runs short or the
    // rows are more than a view can count.
    bool allocate();
};

// The rows of the result grid, header in the horizontal header. Rows added
// one by one (an animated run) keep their names once in a pool, a row being
// two pool ids and the percentage; a quick run is kept whole as an IchiranRun.
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
    // Replaces every row by those of a computed quick run, in run order.
    void setRun(IchiranRun run);

    // Rows held, including any not yet announced to views (see holdUpdates).
    int size() const { return m_run ? static_cast<int>(m_run->rowCount()) : static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return size() == 0; }
    IchiranRow row(int r) const;
    const QString &name1(int r) const;
    const QString &name2(int r) const;
    int percent(int r) const;
    std::vector<IchiranRow> rows() const;

    // Reads the rows in grid order from a start, each in constant time; for
    // writers that go through all of them.
    class Cursor
    {
    public:
        Cursor(const IchiranModel &grid, int from = 0);
        // The next row's cells; false past the last row.
        bool next(const QString *&name1, const QString *&name2, int &percent);
        // The same with the names as ids into nameTable().
        bool nextIds(std::uint32_t &name1, std::uint32_t &name2, int &percent);

    private:
        const IchiranModel &m_grid;
        std::int64_t m_at;
        std::size_t m_place = 0; // ByValue: place in the value order
        std::size_t m_scan = 0;  // and the run row to look on from
        std::size_t m_piece = 0; // ByName: the piece and the row within it
        std::int64_t m_offset = 0;
    };

    void sort(int column, IchiranCompare compare, IchiranOrder order);
    void sort(IchiranSortKey key) { sort(key.column, key.compare, key.order); }
    void sort(IchiranSortButton button) { sort(ichiranSortKey(button)); }

    // While held, appended rows are announced to views in one go at flush()
    // or at the last release, instead of one insert per row. Holds nest.
    void holdUpdates(bool hold);
    void flush();

    // Every name a row can refer to by id, for writers that convert each
    // name once; and how many cells hold each id and each percentage.
    std::vector<const QString *> nameTable() const;
    void useCounts(std::vector<std::int64_t> &perName, std::array<std::int64_t, 101> &perPercent) const;

    // The name pool, for writers that convert each name once.
    const std::vector<QString> &names() const { return m_names; }
    const std::vector<PackedRow> &packedRows() const { return m_rows; }

private:
    std::uint32_t intern(const QString &name, std::uint32_t hint);

    // A kept run's order: run order, by percentage, or by a name column.
    // Only the key decides; among equal keys rows keep run order (pass, then
    // the first name's list position, then the second's), whatever the order
    // before, so one button always gives one order.
    enum class View { Run, ByValue, ByName };
    // The rows of one name of the key column within one pass: a block of
    // consecutive run rows, or every P-th.
    struct Piece {
        std::int64_t start; // first grid row
        std::int64_t base;  // run row of its first row
        std::int64_t stride;
        std::int64_t count;
    };
    std::size_t runRowAt(std::int64_t k) const;  // grid row -> run row
    std::int64_t gridRowOf(std::size_t r) const; // run row -> grid row
    std::size_t nthOfValue(int value, std::int64_t n) const; // run row of the nth row holding value
    std::size_t pieceAt(std::int64_t k) const;
    void sortRun(IchiranCompare compare, IchiranOrder order, int column);

    std::unique_ptr<IchiranRun> m_run;
    View m_view = View::Run;
    std::array<int, IchiranRun::kValues> m_valueOrder{};     // ByValue: the values in grid order
    std::array<int, IchiranRun::kValues> m_valueRank{};      // and each value's place in it
    std::vector<std::int64_t> m_valueStart;                  // first grid row of each place, and the end
    std::vector<std::uint32_t> m_before; // [value * (blocks + 1) + b]: rows holding value in blocks before b
    int m_nameColumn = 0;                // ByName
    std::vector<Piece> m_pieces;
    std::array<std::vector<std::uint32_t>, 2> m_pieceIndex; // per pass, by list position of the key name

    std::vector<PackedRow> m_rows;
    std::vector<QString> m_names;
    QHash<QString, std::uint32_t> m_nameIds;
    int m_shown = 0; // rows announced to views
    int m_hold = 0;
};

} // namespace kanaroll
