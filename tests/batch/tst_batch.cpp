#include "cp932.h"
#include "batch/export.h"
#include "batch/ichiran.h"
#include "batch/ikkatsu.h"
#include "engine/aisho.h"

#include "tempworkdir.h"

#include <QDir>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QStringEncoder>
#include <QTest>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

std::optional<int> engine(const QString &first, const QString &second)
{
    const AishoResult r = AishoCalc(
        std::u16string_view(reinterpret_cast<const char16_t *>(first.utf16()), std::size_t(first.size())),
        std::u16string_view(reinterpret_cast<const char16_t *>(second.utf16()), std::size_t(second.size())));
    if (r.refused)
        return std::nullopt;
    return r.percentage;
}

const QStringList kSelf{u"たろう"_s, u"さくら"_s};
const QStringList kPartner{u"はなこ"_s, u"ゆうき"_s};

const std::vector<IchiranRow> kExample{
    {u"たろう"_s, u"はなこ"_s, u"42"_s}, {u"たろう"_s, u"ゆうき"_s, u"49"_s},
    {u"さくら"_s, u"はなこ"_s, u"42"_s}, {u"さくら"_s, u"ゆうき"_s, u"49"_s},
    {u"はなこ"_s, u"たろう"_s, u"40"_s}, {u"ゆうき"_s, u"たろう"_s, u"60"_s},
    {u"はなこ"_s, u"さくら"_s, u"20"_s}, {u"ゆうき"_s, u"さくら"_s, u"40"_s},
};

// The window as the run sees it: two lists, two entry boxes, a log of what happened.
struct FakeWindow {
    FakeWindow(QStringList s, QStringList p)
        : self(std::move(s))
        , partner(std::move(p))
    {
    }

    QStringList self;
    QStringList partner;
    QString box1, box2;
    double wait = 0;
    int notices = 0;
    QStringList frame; // "hide" / "show"
    QStringList played;
    int pauses = 0;
    bool badRead = false;
    std::function<void(int)> onPause; // gets the pause number, from 1

    IkkatsuHooks hooks()
    {
        IkkatsuHooks h;
        h.wait = [this] { return wait; };
        h.modeNotice = [this] { ++notices; };
        h.showFrame = [this](bool shown) { frame << (shown ? u"show"_s : u"hide"_s); };
        h.selfCount = [this] { return int(self.size()); };
        h.partnerCount = [this] { return int(partner.size()); };
        h.selfAt = [this](int i) { return read(self, i); };
        h.partnerAt = [this](int i) { return read(partner, i); };
        h.setName1 = [this](const QString &s) { box1 = s; };
        h.setName2 = [this](const QString &s) { box2 = s; };
        h.play = [this](const QString &a, const QString &b) {
            played << a + u'/' + b;
            return engine(a, b);
        };
        h.pause = [this](double seconds) {
            QCOMPARE(seconds, 0.8);
            ++pauses;
            if (onPause)
                onPause(pauses);
        };
        return h;
    }

    QString read(const QStringList &list, int i)
    {
        if (i < 0 || i >= list.size()) {
            badRead = true;
            return {};
        }
        return list.at(i);
    }
};

QStringList rowTexts(const IchiranModel &grid)
{
    QStringList out;
    for (int r = 0; r < grid.size(); ++r)
        out << grid.name1(r) + u',' + grid.name2(r) + u',' + QString::number(grid.percent(r));
    return out;
}

QStringList rowTexts(const std::vector<IchiranRow> &rows)
{
    QStringList out;
    for (const auto &r : rows)
        out << r.name1 + u',' + r.name2 + u',' + r.percent;
    return out;
}

IchiranModel *exampleGrid(QObject *parent)
{
    auto *grid = new IchiranModel(parent);
    for (const auto &r : kExample)
        grid->append(r.name1, r.name2, r.percent.toInt());
    return grid;
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    // --- pair order ---
    void pairsOrder()
    {
        const auto pairs = IkkatsuPairs(kSelf, kPartner);
        std::vector<IkkatsuPair> expected;
        for (const auto &r : kExample)
            expected.push_back({r.name1, r.name2});
        QCOMPARE(pairs, expected);
        QCOMPARE(IkkatsuPairs({u"a"_s, u"b"_s, u"c"_s}, {u"x"_s}).size(), std::size_t(6));
        QVERIFY(IkkatsuPairs({}, kPartner).empty());
        QVERIFY(IkkatsuPairs(kSelf, {}).empty());
    }

    // --- the run ---
    void runQuickModeExample()
    {
        FakeWindow w{kSelf, kPartner};
        IchiranModel grid;
        grid.append(u"古い"_s, u"行"_s, 1);
        IkkatsuRun run(grid, w.hooks());
        QCOMPARE(run.run(), IkkatsuRun::Outcome::Finished);
        QCOMPARE(rowTexts(grid), rowTexts(kExample));
        QCOMPARE(grid.rowCount(), 8); // announced to views too
        QCOMPARE(w.notices, 0);
        QCOMPARE(w.pauses, 0);
        QCOMPARE(w.frame, QStringList({u"hide"_s, u"show"_s}));
        // The last pair of the second pass stays in the boxes.
        QCOMPARE(w.box1, u"ゆうき"_s);
        QCOMPARE(w.box2, u"さくら"_s);

        // The order is the pure pair order.
        QStringList pairs;
        for (const auto &p : IkkatsuPairs(kSelf, kPartner))
            pairs << p.first + u'/' + p.second;
        QCOMPARE(w.played, pairs);

        // A shorter run leaves exactly its own rows.
        FakeWindow w2{{u"たろう"_s}, {u"はなこ"_s}};
        IkkatsuRun run2(grid, w2.hooks());
        run2.run();
        QCOMPARE(rowTexts(grid), QStringList({u"たろう,はなこ,42"_s, u"はなこ,たろう,40"_s}));
    }

    void runAnimatedNoticeAndPauses()
    {
        FakeWindow w{kSelf, kPartner};
        w.wait = 0.005;
        IchiranModel grid;
        QSignalSpy inserted(&grid, &QAbstractItemModel::rowsInserted);
        IkkatsuRun run(grid, w.hooks());
        w.onPause = [&](int n) {
            QVERIFY(run.isRunning());
            // Before each pause the rows so far are visible to views.
            QCOMPARE(grid.rowCount(), n);
            if (n == 3)
                w.wait = 0; // switched to the quick mode during the third pause
        };
        run.run();
        QCOMPARE(w.notices, 1);
        QCOMPARE(w.pauses, 3);
        QCOMPARE(grid.size(), 8);
        QVERIFY(!run.isRunning());
        // Pairs 4 to 8 came in one announcement at the end.
        QCOMPARE(inserted.size(), 4);
    }

    void runRefusedPairGivesNoRow()
    {
        FakeWindow w{{u"たろう"_s, u"abc"_s}, {u"はなこ"_s}};
        w.wait = 1;
        IchiranModel grid;
        IkkatsuRun run(grid, w.hooks());
        run.run();
        QCOMPARE(rowTexts(grid), QStringList({u"たろう,はなこ,42"_s, u"はなこ,たろう,40"_s}));
        QCOMPARE(run.pairsPlayed(), 4);
        QCOMPARE(run.rowsWritten(), 2);
        QCOMPARE(w.pauses, 4); // refused pairs pause like the others

        // A run whose every pair is refused still replaces the old rows.
        FakeWindow bad{{u"x"_s}, {u"y"_s}};
        IkkatsuRun run2(grid, bad.hooks());
        run2.run();
        QCOMPARE(grid.size(), 0);
    }

    void runEmptyListsKeepGrid()
    {
        IchiranModel grid;
        grid.append(u"たろう"_s, u"はなこ"_s, 42);

        FakeWindow noPartner{kSelf, {}};
        noPartner.wait = 0.005;
        IkkatsuRun run(grid, noPartner.hooks());
        run.run();
        QCOMPARE(grid.size(), 1);
        QCOMPARE(noPartner.notices, 1);
        QCOMPARE(noPartner.frame, QStringList({u"hide"_s, u"show"_s}));
        QCOMPARE(noPartner.box1, u"さくら"_s);
        QCOMPARE(noPartner.box2, u"さくら"_s);

        FakeWindow noSelf{{}, kPartner};
        noSelf.box1 = u"元"_s;
        IkkatsuRun run2(grid, noSelf.hooks());
        run2.run();
        QCOMPARE(grid.size(), 1);
        QCOMPARE(noSelf.box1, u"元"_s);
        QVERIFY(noSelf.played.isEmpty());
    }

    void runListsShrinkDuringPauses()
    {
        // The partner list loses its last name in the first pause and the
        // self list its last name in the second: nothing is read past an end.
        FakeWindow w{{u"たろう"_s, u"さくら"_s, u"ゆうき"_s}, {u"はなこ"_s, u"ゆうき"_s}};
        w.wait = 1;
        w.onPause = [&](int n) {
            if (n == 1)
                w.partner.removeLast();
            if (n == 2)
                w.self.removeLast();
        };
        IchiranModel grid;
        IkkatsuRun run(grid, w.hooks());
        QCOMPARE(run.run(), IkkatsuRun::Outcome::Finished);
        QVERIFY(!w.badRead);
        QCOMPARE(w.played, QStringList({u"たろう/はなこ"_s, u"さくら/はなこ"_s,
                                        u"はなこ/たろう"_s, u"はなこ/さくら"_s}));
        QCOMPARE(grid.size(), 4);

        // Everything deleted mid-run.
        FakeWindow gone{kSelf, kPartner};
        gone.wait = 1;
        gone.onPause = [&](int) {
            gone.self.clear();
            gone.partner.clear();
        };
        IkkatsuRun run2(grid, gone.hooks());
        run2.run();
        QVERIFY(!gone.badRead);
        QCOMPARE(rowTexts(grid), QStringList({u"たろう,はなこ,42"_s}));
    }

    void runAbort()
    {
        IchiranModel grid;
        FakeWindow w{kSelf, kPartner};
        w.wait = 1;
        IkkatsuRun run(grid, w.hooks());
        w.onPause = [&](int n) {
            if (n == 2)
                run.abort();
        };
        QCOMPARE(run.run(), IkkatsuRun::Outcome::Aborted);
        QCOMPARE(grid.size(), 2);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(w.played.size(), 2);
        QCOMPARE(w.frame, QStringList({u"hide"_s})); // not shown again

        // Aborted inside a play (exit from the play's own pause): that pair gives no row.
        FakeWindow w2{kSelf, kPartner};
        IkkatsuRun *running = nullptr;
        IkkatsuHooks hooks = w2.hooks();
        hooks.play = [&](const QString &, const QString &) {
            running->abort();
            return std::optional<int>(50);
        };
        IkkatsuRun run3(grid, hooks);
        running = &run3;
        QCOMPARE(run3.run(), IkkatsuRun::Outcome::Aborted);
        QCOMPARE(grid.size(), 2);
        // A new run after an abort starts clean.
        QCOMPARE(run.run(), IkkatsuRun::Outcome::Finished);
        QCOMPARE(grid.size(), 8);
    }

    // --- grid and sorts ---
    void gridHeader()
    {
        IchiranModel grid;
        QCOMPARE(grid.columnCount(), 3);
        QCOMPARE(grid.rowCount(), 0);
        const QStringList headers{u"名前１"_s, u"名前２"_s, u"％"_s};
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(grid.headerData(c, Qt::Horizontal).toString(), headers[c]);
            QCOMPARE(grid.headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
                     Qt::Alignment(Qt::AlignCenter));
        }
        QCOMPARE(headers[0].at(2).unicode(), 0xFF11);
        QCOMPARE(headers[2].at(0).unicode(), 0xFF05);
        grid.append(u"たろう"_s, u"はなこ"_s, 8);
        QCOMPARE(grid.data(grid.index(0, 2)).toString(), u"8"_s);
        QCOMPARE(grid.data(grid.index(0, 1)).toString(), u"はなこ"_s);
        grid.IchiranInit();
        QCOMPARE(grid.rowCount(), 0);
        QCOMPARE(grid.headerData(0, Qt::Horizontal).toString(), headers[0]);
    }

    void sortButtonsOnExample()
    {
        IchiranModel *grid = exampleGrid(this);
        auto percents = [&] {
            QList<int> out;
            for (int r = 0; r < grid->size(); ++r)
                out << grid->percent(r);
            return out;
        };
        auto firstNames = [&] {
            QStringList out;
            for (int r = 0; r < grid->size(); ++r)
                out << grid->name1(r);
            return out;
        };
        grid->sort(IchiranSortButton::Kza);
        QCOMPARE(percents(), QList<int>({60, 49, 49, 42, 42, 40, 40, 20}));
        QCOMPARE(grid->row(0), (IchiranRow{u"ゆうき"_s, u"たろう"_s, u"60"_s}));
        // Equal keys keep their order: the first run order among the 49s.
        QCOMPARE(grid->name1(1), u"たろう"_s);
        QCOMPARE(grid->name1(2), u"さくら"_s);
        grid->sort(IchiranSortButton::Kaz);
        QCOMPARE(percents(), QList<int>({20, 40, 40, 42, 42, 49, 49, 60}));
        grid->sort(IchiranSortButton::Naz);
        const QStringList ascending{u"さくら"_s, u"さくら"_s, u"たろう"_s, u"たろう"_s,
                                    u"はなこ"_s, u"はなこ"_s, u"ゆうき"_s, u"ゆうき"_s};
        QCOMPARE(firstNames(), ascending);
        const auto once = rowTexts(*grid);
        grid->sort(IchiranSortButton::Naz);
        QCOMPARE(rowTexts(*grid), once);
        grid->sort(IchiranSortButton::Nza);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(firstNames(), descending);
        // Whole rows moved: every row still holds its own percentage.
        for (int r = 0; r < grid->size(); ++r)
            QCOMPARE(std::optional<int>(grid->percent(r)), engine(grid->name1(r), grid->name2(r)));
        QCOMPARE(grid->headerData(2, Qt::Horizontal).toString(), u"％"_s);
    }

    void sortNumericAgainstText()
    {
        std::vector<IchiranRow> rows{{u"a"_s, u"1"_s, u"9"_s}, {u"b"_s, u"2"_s, u"100"_s},
                                     {u"c"_s, u"3"_s, u"10"_s}, {u"d"_s, u"4"_s, u"99"_s}};
        auto names = [](const std::vector<IchiranRow> &v) {
            QString s;
            for (const auto &r : v)
                s += r.name1;
            return s;
        };
        QCOMPARE(names(IchiranSort(rows, 2, IchiranCompare::Numeric, IchiranOrder::Ascending)), u"acdb"_s);
        QCOMPARE(names(IchiranSort(rows, ichiranSortKey(IchiranSortButton::Kza))), u"bdca"_s);
        QCOMPARE(names(IchiranSort(rows, 2, IchiranCompare::Text, IchiranOrder::Ascending)), u"cbad"_s);

        // Case counts, and code points above U+FFFF sort after U+FFxx.
        std::vector<IchiranRow> text{{u"b"_s, {}, u"1"_s}, {u"B"_s, {}, u"2"_s},
                                     {u"\U0001F600"_s, {}, u"3"_s}, {u"\uFF21"_s, {}, u"4"_s},
                                     {u"a"_s, {}, u"5"_s}};
        QCOMPARE(names(IchiranSort(text, ichiranSortKey(IchiranSortButton::Naz))),
                 u"Bab\uFF21\U0001F600"_s);
        // Only column 0 decides: the same first names keep their order whatever column 1 holds.
        std::vector<IchiranRow> same{{u"x"_s, u"z"_s, u"1"_s}, {u"x"_s, u"a"_s, u"2"_s}};
        QCOMPARE(IchiranSort(same, ichiranSortKey(IchiranSortButton::Nza)), same);
    }

    void modelSortMatchesPureSort()
    {
        std::mt19937 rng(6);
        const QStringList pool{u"たろう"_s, u"はなこ"_s, u"A"_s, u"a"_s, u"\U0001F600"_s,
                               u"\uFF21"_s, u"さくら"_s, u"たろうた"_s};
        IchiranModel grid;
        for (int i = 0; i < 2000; ++i) {
            const int p = int(rng() % 4 == 0 ? 100 : rng() % 101);
            grid.append(pool[int(rng() % pool.size())], pool[int(rng() % pool.size())], p);
        }
        const auto keys = {ichiranSortKey(IchiranSortButton::Kza), ichiranSortKey(IchiranSortButton::Kaz),
                           ichiranSortKey(IchiranSortButton::Nza), ichiranSortKey(IchiranSortButton::Naz),
                           IchiranSortKey{1, IchiranCompare::Text, IchiranOrder::Descending},
                           IchiranSortKey{2, IchiranCompare::Text, IchiranOrder::Ascending}};
        for (const IchiranSortKey &key : keys) {
            const auto expected = IchiranSort(grid.rows(), key);
            grid.sort(key);
            QVERIFY2(grid.rows() == expected, qPrintable(QString::number(key.column)));
        }
    }

    // A quick run kept as data: the same rows as playing every pair, and
    // every sort, cursor, size and export agreeing with those rows. Names
    // repeat and stand on both sides; lengths 2 and 3 and a 100 occur.
    void keptRunAgreesWithPlayedRows()
    {
        const QStringList self{u"たろう"_s, u"あえ"_s, u"あ"_s, u"たろう"_s, u"さくらこ"_s};
        const QStringList partner{u"い"_s, u"いいえ"_s, u"たろう"_s, u"はなこ"_s, u"いう"_s, u"い"_s};
        IchiranModel played;
        for (const IkkatsuPair &p : IkkatsuPairs(self, partner))
            played.append(p.first, p.second, *engine(p.first, p.second));

        IchiranRun run;
        run.self.assign(self.begin(), self.end());
        run.partner.assign(partner.begin(), partner.end());
        QVERIFY(run.allocate());
        IkkatsuProgress progress;
        QVERIFY(IkkatsuCompute(run, progress, 2));
        QCOMPARE(progress.rows.load(), std::int64_t(played.size()));
        IchiranModel kept;
        kept.setRun(std::move(run));
        QCOMPARE(rowTexts(kept), rowTexts(played));
        QVERIFY(rowTexts(kept).join(u' ').contains(u",100"_s));

        auto cursorRows = [](const IchiranModel &grid) {
            std::vector<IchiranRow> out;
            IchiranModel::Cursor cursor(grid);
            const QString *a = nullptr;
            const QString *b = nullptr;
            int p = 0;
            while (cursor.next(a, b, p))
                out.push_back({*a, *b, QString::number(p)});
            return out;
        };
        QPersistentModelIndex followed(kept.index(17, 1));
        const IchiranRow followedRow = kept.row(17);
        const auto keys = {ichiranSortKey(IchiranSortButton::Kza), ichiranSortKey(IchiranSortButton::Kaz),
                           ichiranSortKey(IchiranSortButton::Nza), ichiranSortKey(IchiranSortButton::Naz),
                           IchiranSortKey{1, IchiranCompare::Text, IchiranOrder::Descending},
                           IchiranSortKey{2, IchiranCompare::Text, IchiranOrder::Ascending}};
        for (const IchiranSortKey &key : keys) {
            const QString what = QString::number(key.column);
            const auto expected = IchiranSort(played.rows(), key); // stable from run order
            kept.sort(key);
            auto rows = kept.rows();
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const auto cellOf = [&](const IchiranRow &row) {
                    return key.column == 0 ? row.name1 : key.column == 1 ? row.name2 : row.percent;
                };
                QVERIFY2(cellOf(rows[r]) == cellOf(expected[r]), qPrintable(what));
            }
            if (key.column == kIchiranPercentColumn) // equal keys keep run order
                QVERIFY2(rows == expected, qPrintable(what));
            QCOMPARE(kept.row(followed.row()), followedRow);
            QVERIFY(cursorRows(kept) == rows);
            for (int from : {1, 11, 40}) {
                IchiranModel::Cursor cursor(kept, from);
                const QString *a = nullptr;
                const QString *b = nullptr;
                int p = 0;
                QVERIFY(cursor.next(a, b, p));
                QCOMPARE((IchiranRow{*a, *b, QString::number(p)}), rows[std::size_t(from)]);
            }
            QByteArray bytes;
            QByteArray fromRows;
            QVERIFY(IchiranEncode(kept, bytes).ok());
            QVERIFY(IchiranEncode(rows, fromRows).ok());
            QCOMPARE(bytes, fromRows);
            QCOMPARE(IchiranFileSize(kept), qint64(bytes.size()));
            kept.sort(key);
            QVERIFY2(kept.rows() == rows, qPrintable(what)); // one button, one order
            std::sort(rows.begin(), rows.end(), [](const IchiranRow &x, const IchiranRow &y) {
                return rowTexts({x}) < rowTexts({y});
            });
            auto all = played.rows();
            std::sort(all.begin(), all.end(), [](const IchiranRow &x, const IchiranRow &y) {
                return rowTexts({x}) < rowTexts({y});
            });
            QVERIFY(rows == all);
        }

        IchiranRun stopped;
        stopped.self = {u"たろう"_s};
        stopped.partner = {u"はなこ"_s};
        QVERIFY(stopped.allocate());
        progress.cancel = true;
        QVERIFY(!IkkatsuCompute(stopped, progress, 2));
    }

    void sortKeepsCurrentCellOnItsRow()
    {
        IchiranModel *grid = exampleGrid(this);
        QPersistentModelIndex current(grid->index(5, 2)); // ゆうき, たろう, 60
        grid->sort(IchiranSortButton::Kza);
        QCOMPARE(current.row(), 0);
        QCOMPARE(current.column(), 2);
        grid->sort(IchiranSortButton::Kaz);
        QCOMPARE(current.row(), 7);
    }

    // --- export ---
    void exportLineAndBytes()
    {
        const IchiranRow row{u"たろう"_s, u"はなこ"_s, u"42"_s};
        QCOMPARE(IchiranLine(row), u"\"たろう\",\"はなこ\",\"42%\""_s);
        QCOMPARE(IchiranLine({u"a,\"b"_s, u"c"_s, u"100"_s}), u"\"a,\"b\",\"c\",\"100%\""_s);

        IchiranModel grid;
        grid.append(row.name1, row.name2, 42);
        QByteArray bytes;
        QVERIFY(IchiranEncode(grid, bytes).ok());
        QCOMPARE(bytes, QByteArray::fromHex("2282BD82EB82A4222C2282CD82C882B1222C22343225220D0A"));

        grid.append(u"ゆうき"_s, u"さくら"_s, 8);
        grid.append(u"ゆうき"_s, u"たろう"_s, 100);
        QVERIFY(IchiranEncode(grid, bytes).ok());
        QByteArray fromRows;
        QVERIFY(IchiranEncode(grid.rows(), fromRows).ok());
        QCOMPARE(bytes, fromRows);
        QVERIFY(bytes.endsWith("\"" + sjis(u"たろう"_s) + "\",\"100%\"\r\n"));
        QVERIFY(bytes.contains("\",\"8%\"\r\n"));

        IchiranModel empty;
        QVERIFY(IchiranEncode(empty, bytes).ok());
        QVERIFY(bytes.isEmpty());
    }

    void saveFromTwoProcesses()
    {
        // Two windows save at once: the file is always one save whole.
        TempWorkDir dir;
        IchiranModel *one = exampleGrid(this);
        IchiranModel *other = exampleGrid(this);
        other->sort(IchiranSortButton::Kza);
        QByteArray bytes[2];
        QVERIFY(IchiranEncode(*one, bytes[0]).ok());
        QVERIFY(IchiranEncode(*other, bytes[1]).ok());
        QVERIFY(IchiranSave(*one).ok());
        pid_t pids[2];
        for (int who = 0; who < 2; ++who) {
            pids[who] = ::fork();
            if (pids[who] == 0) {
                for (int i = 0; i < 200; ++i) {
                    if (!IchiranSave(who == 0 ? *one : *other).ok())
                        ::_exit(1);
                }
                ::_exit(0);
            }
        }
        int torn = 0;
        for (int i = 0; i < 300; ++i) {
            const QByteArray seen = dir.read(u"一括判断.txt"_s);
            torn += seen != bytes[0] && seen != bytes[1];
        }
        for (pid_t pid : pids) {
            int status = 0;
            QCOMPARE(::waitpid(pid, &status, 0), pid);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        QCOMPARE(torn, 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }

    void saveSortSave()
    {
        TempWorkDir dir;
        IchiranModel *grid = exampleGrid(this);
        QVERIFY(IchiranSave(*grid).ok());
        const QList<QByteArray> lines = dir.read(u"一括判断.txt"_s).split('\n');
        QCOMPARE(lines.size(), 9); // eight lines, each with CR LF
        QCOMPARE(lines[0], sjis(u"\"たろう\",\"はなこ\",\"42%\"\r"_s));
        QCOMPARE(lines[7], sjis(u"\"ゆうき\",\"さくら\",\"40%\"\r"_s));

        grid->sort(IchiranSortButton::Kza);
        QVERIFY(IchiranSave(*grid).ok());
        const QByteArray again = dir.read(u"一括判断.txt"_s);
        QCOMPARE(again.count('\n'), 8);
        QVERIFY(again.startsWith(sjis(u"\"ゆうき\",\"たろう\",\"60%\"\r\n"_s)));

        IchiranModel empty;
        QVERIFY(IchiranSave(empty).ok());
        QVERIFY(QFile::exists(dir.filePath(u"一括判断.txt"_s)));
        QCOMPARE(QFileInfo(dir.filePath(u"一括判断.txt"_s)).size(), 0);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).size() == 1); // no temporary left
    }

    void stoppedOrTooLargeSaveKeepsOldFile()
    {
        TempWorkDir dir;
        IchiranModel *grid = exampleGrid(this);
        const QByteArray old("old content\r\n");
        dir.write(u"一括判断.txt"_s, old);
        double seen = -1;
        const IchiranSaveResult r = IchiranSave(*grid, kIchiranFileName, [&](double done) {
            seen = done;
            return false;
        });
        QCOMPARE(r.status, IchiranSaveResult::Cancelled);
        QCOMPARE(seen, 1.0);
        QCOMPARE(dir.read(u"一括判断.txt"_s), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"一括判断.txt"_s});

        // A file larger than the free space is refused before a byte is
        // written: one long self name against 32,767 partners.
        const qint64 free = QStorageInfo(dir.path()).bytesAvailable();
        IchiranRun run;
        run.partner.assign(32767, u"はなこ"_s);
        const qint64 length = free / (4 * qint64(run.partner.size())) + 1;
        if (length > 50'000'000)
            QSKIP("too much free space for a name to outgrow it");
        run.self = {QString(length, u'あ')};
        QVERIFY(run.allocate());
        std::fill_n(run.percent.get(), run.rowCount(), std::uint8_t(0));
        for (std::size_t b = 0; b < run.blockCount(); ++b)
            run.counts[b * IchiranRun::kValues] = std::uint32_t(
                std::min(IchiranRun::kBlock, run.rowCount() - b * IchiranRun::kBlock));
        IchiranModel large;
        large.setRun(std::move(run));
        QVERIFY(IchiranFileSize(large) > free);
        const IchiranSaveResult full = IchiranSave(large);
        QCOMPARE(full.status, IchiranSaveResult::NoSpace);
        QVERIFY(full.message().contains(u"<一括判断.txt>"_s));
        QCOMPARE(dir.read(u"一括判断.txt"_s), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"一括判断.txt"_s});
    }

    void saveFailureKeepsOldFile()
    {
        TempWorkDir dir;
        IchiranModel *grid = exampleGrid(this);

        // The name is taken by a directory.
        QVERIFY(QDir(dir.path()).mkdir(u"一括判断.txt"_s));
        IchiranSaveResult r = IchiranSave(*grid);
        QCOMPARE(r.status, IchiranSaveResult::WriteFailed);
        QVERIFY(r.message().contains(u"<一括判断.txt>"_s));
        QVERIFY(QFileInfo(dir.filePath(u"一括判断.txt"_s)).isDir());
        QVERIFY(QDir(dir.path()).rmdir(u"一括判断.txt"_s));

        // The name is a link to a fifo: the save must not replace what the link points at.
        const QByteArray fifo = QFile::encodeName(dir.filePath(u"fifo"_s));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(QFile::link(QString::fromLocal8Bit(fifo), dir.filePath(u"一括判断.txt"_s)));
        QCOMPARE(IchiranSave(*grid).status, IchiranSaveResult::WriteFailed);
        struct stat st {};
        QVERIFY(::lstat(fifo.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QVERIFY(QFile::remove(dir.filePath(u"一括判断.txt"_s)) && QFile::remove(dir.filePath(u"fifo"_s)));

        // The disk fills up in the middle of the file.
        const QByteArray old("old content\r\n");
        dir.write(u"一括判断.txt"_s, old);
        for (int i = 0; i < 200; ++i)
            grid->append(u"たろう"_s, u"はなこ"_s, 42);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        r = IchiranSave(*grid);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(r.status, IchiranSaveResult::WriteFailed);
        QCOMPARE(dir.read(u"一括判断.txt"_s), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

        // A name outside code page 932 writes nothing rather than a replacement byte.
        IchiranModel odd;
        odd.append(u"たろう"_s, u"\U0001F600"_s, 50);
        r = IchiranSave(odd);
        QCOMPARE(r.status, IchiranSaveResult::Unencodable);
        QCOMPARE(r.name, u"\U0001F600"_s);
        QVERIFY(r.message().contains(u"\U0001F600"_s));
        QCOMPARE(dir.read(u"一括判断.txt"_s), old);
        QByteArray bytes;
        QCOMPARE(IchiranEncode(odd.rows(), bytes).status, IchiranSaveResult::Unencodable);
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
