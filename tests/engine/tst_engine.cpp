#include "engine/aisho.h"
#include "engine/boin.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

std::u16string_view view(const QString &s)
{
    return std::u16string_view(reinterpret_cast<const char16_t *>(s.utf16()),
                              static_cast<std::size_t>(s.size()));
}

// Rows of an accepted result, joined by single spaces.
QString joinedRows(const AishoResult &r)
{
    QStringList rows;
    for (std::size_t i = 0; i < r.rowCount(); ++i) {
        const std::string_view row = r.row(i);
        rows << QString::fromLatin1(row.data(), static_cast<qsizetype>(row.size()));
    }
    return rows.join(u' ');
}

// The vowel table written out by code point, so that a look-alike character in
// the engine's table cannot hide behind an identical-looking literal here.
const std::map<char32_t, short> &expectedTable()
{
    static const std::map<char32_t, short> table = [] {
        const std::array<std::vector<char32_t>, 5> classes{{
            {0x3042, 0x304B, 0x3055, 0x305F, 0x306A, 0x306F, 0x307E, 0x3084, 0x3089, 0x308F, 0x3093,
             0x304C, 0x3056, 0x3060, 0x3070, 0x3071, 0x3041, 0x3083},
            {0x3044, 0x304D, 0x3057, 0x3061, 0x306B, 0x3072, 0x307F, 0x308A, 0x304E, 0x3058, 0x3062,
             0x3073, 0x3074, 0x3043},
            {0x3046, 0x304F, 0x3059, 0x3064, 0x306C, 0x3075, 0x3080, 0x3086, 0x308B, 0x3050, 0x305A,
             0x3065, 0x3076, 0x3077, 0x3045, 0x3085},
            {0x3048, 0x3051, 0x305B, 0x3066, 0x306D, 0x3078, 0x3081, 0x308C, 0x3052, 0x305C, 0x3067,
             0x3079, 0x307A, 0x3047},
            {0x304A, 0x3053, 0x305D, 0x3068, 0x306E, 0x307B, 0x3082, 0x3088, 0x308D, 0x3092, 0x3054,
             0x305E, 0x3069, 0x307C, 0x307D, 0x3049, 0x3087},
        }};
        std::map<char32_t, short> t;
        for (std::size_t c = 0; c < classes.size(); ++c)
            for (char32_t ch : classes[c])
                t.emplace(ch, static_cast<short>(c + 1));
        return t;
    }();
    return table;
}

// C(n, k) mod 10 by Lucas' theorem modulo 2 and 5, joined by the Chinese
// remainder theorem: digit k of row r is sum over j of C(r, j) * row0[k + j],
// mod 10, a way to reach any row without making the ones above it.
int binomialMod10(std::uint64_t n, std::uint64_t k)
{
    const int mod2 = (k & ~n) == 0 ? 1 : 0;
    static const int small[5][5] = {{1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {1, 3, 3, 1, 0}, {1, 4, 6, 4, 1}};
    int mod5 = 1;
    for (; n > 0 || k > 0; n /= 5, k /= 5)
        mod5 = mod5 * small[n % 5][k % 5] % 5;
    return (5 * mod2 + 6 * mod5) % 10;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void tableMatchesCodePoints();
    void notableMembers_data();
    void notableMembers();
    void boinNoStrings();
    void refusedCharacters_data();
    void refusedCharacters();
    void workedExamples_data();
    void workedExamples();
    void refusalPosition_data();
    void refusalPosition();
    void shortNames();
    void bufferReuse();
    void rowsPastThe32BitWrap();
    void randomPairs();
    void percentAloneAgreesWithTriangle_data();
    void percentAloneAgreesWithTriangle();
};

void TestEngine::tableMatchesCodePoints()
{
    const auto &table = expectedTable();
    QCOMPARE(table.size(), std::size_t(79)); // no duplicates among the listed code points
    int members = 0;
    for (char32_t ch = 0x3040; ch <= 0x30FF; ++ch) {
        const auto it = table.find(ch);
        const short expected = it == table.end() ? 0 : it->second;
        const char16_t unit = static_cast<char16_t>(ch);
        const char32_t wide = ch;
        QVERIFY2(BoinNo(ch) == expected, qPrintable(QString::number(ch, 16)));
        QCOMPARE(BoinNo(std::u16string_view(&unit, 1)), expected);
        QCOMPARE(BoinNo(std::u32string_view(&wide, 1)), expected);
        if (expected != 0)
            ++members;
    }
    QCOMPARE(members, 79);
}

void TestEngine::notableMembers_data()
{
    QTest::addColumn<QString>("ch");
    QTest::addColumn<int>("digit");
    QTest::newRow("a") << u"あ"_s << 1;
    QTest::newRow("i") << u"い"_s << 2;
    QTest::newRow("u") << u"う"_s << 3;
    QTest::newRow("e") << u"え"_s << 4;
    QTest::newRow("o") << u"お"_s << 5;
    QTest::newRow("n") << u"ん"_s << 1;
    QTest::newRow("wo") << u"を"_s << 5;
    QTest::newRow("di") << u"ぢ"_s << 2;
    QTest::newRow("du") << u"づ"_s << 3;
    QTest::newRow("pe") << u"ぺ"_s << 4;
    QTest::newRow("po") << u"ぽ"_s << 5;
    QTest::newRow("small a") << u"ぁ"_s << 1;
    QTest::newRow("small i") << u"ぃ"_s << 2;
    QTest::newRow("small u") << u"ぅ"_s << 3;
    QTest::newRow("small e") << u"ぇ"_s << 4;
    QTest::newRow("small o") << u"ぉ"_s << 5;
    QTest::newRow("small ya") << u"ゃ"_s << 1;
    QTest::newRow("small yu") << u"ゅ"_s << 3;
    QTest::newRow("small yo") << u"ょ"_s << 5;
}

void TestEngine::notableMembers()
{
    QFETCH(QString, ch);
    QFETCH(int, digit);
    QCOMPARE(int(BoinNo(view(ch))), digit);
    QCOMPARE(int(BoinNo(static_cast<char32_t>(ch.at(0).unicode()))), digit);
}

void TestEngine::boinNoStrings()
{
    // Defined for any string, but only one member as a whole counts.
    QCOMPARE(BoinNo(std::u16string_view()), short(0));
    QCOMPARE(BoinNo(std::u32string_view()), short(0));
    QCOMPARE(BoinNo(std::u16string_view(u"あい")), short(0));
    QCOMPARE(BoinNo(std::u32string_view(U"あい")), short(0));
    // か with a combining voiced mark is two characters, not が.
    QCOMPARE(BoinNo(std::u16string_view(u"か\u3099")), short(0));
    QCOMPARE(BoinNo(std::u16string_view(u"か")), short(1));
    QCOMPARE(BoinNo(std::u16string_view(u"\u3099")), short(0));
    // しゃ is two members, never merged.
    AishoResult r;
    QVERIFY(AishoCalc(u"しゃ", u"", r));
    QCOMPARE(r.row(0), std::string_view("21"));
}

void TestEngine::refusedCharacters_data()
{
    QTest::addColumn<QString>("ch");
    QTest::newRow("small tsu") << u"っ"_s;
    QTest::newRow("long vowel mark") << u"ー"_s;
    QTest::newRow("vu") << u"ゔ"_s;
    QTest::newRow("wi") << u"ゐ"_s;
    QTest::newRow("we") << u"ゑ"_s;
    QTest::newRow("small wa") << u"ゎ"_s;
    QTest::newRow("small ka") << u"\u3095"_s;
    QTest::newRow("small ke") << u"\u3096"_s;
    QTest::newRow("iteration mark") << u"ゝ"_s;
    QTest::newRow("voiced iteration mark") << u"ゞ"_s;
    QTest::newRow("voicing mark") << u"゛"_s;
    QTest::newRow("semi-voicing mark") << u"゜"_s;
    QTest::newRow("combining voicing mark") << u"\u3099"_s;
    QTest::newRow("combining semi-voicing mark") << u"\u309A"_s;
    QTest::newRow("katakana a") << u"ア"_s;
    QTest::newRow("katakana n") << u"ン"_s;
    QTest::newRow("half-width katakana a") << u"ｱ"_s;
    QTest::newRow("kanji") << u"山"_s;
    QTest::newRow("above BMP kanji") << u"𠮷"_s;
    QTest::newRow("emoji") << u"😀"_s;
    QTest::newRow("ideographic space") << u"\u3000"_s;
    QTest::newRow("space") << u" "_s;
    QTest::newRow("latin") << u"a"_s;
    QTest::newRow("full-width latin") << u"Ａ"_s;
    QTest::newRow("digit") << u"1"_s;
    QTest::newRow("lone high surrogate") << QString(QChar(0xD842));
    QTest::newRow("lone low surrogate") << QString(QChar(0xDFB7));
}

void TestEngine::refusedCharacters()
{
    QFETCH(QString, ch);
    QCOMPARE(BoinNo(view(ch)), short(0));
    const QList<uint> ucs4 = ch.toUcs4();
    QCOMPARE(ucs4.size(), 1); // one character, whatever its UTF-16 length
    QCOMPARE(BoinNo(static_cast<char32_t>(ucs4.front())), short(0));

    // As the last character of the self name: the index counts code points, so a
    // character above U+FFFF ahead of a later one would shift it if split in halves.
    AishoResult r;
    const QString self = u"たろ"_s + ch;
    QVERIFY(!AishoCalc(view(self), u"はなこ", r));
    QVERIFY(r.refused);
    QCOMPARE(r.refusedAt, std::size_t(2));
    QCOMPARE(r.rowCount(), std::size_t(0));
    QCOMPARE(r.percentage, -1);

    const std::u32string wide = U"たろ" + std::u32string(1, static_cast<char32_t>(ucs4.front()));
    QVERIFY(!AishoCalc(wide, U"はなこ", r));
    QCOMPARE(r.refusedAt, std::size_t(2));
}

void TestEngine::workedExamples_data()
{
    QTest::addColumn<QString>("self");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("percentage");
    QTest::newRow("taro hanako") << u"たろう"_s << u"はなこ"_s << u"153115 68426 4268 684 42"_s << 42;
    QTest::newRow("hanako taro") << u"はなこ"_s << u"たろう"_s << u"115153 26668 8224 046 40"_s << 40;
    QTest::newRow("ae iie: 100") << u"あえ"_s << u"いいえ"_s << u"14224 5646 100"_s << 100;
    QTest::newRow("ae ai: leading zero") << u"あえ"_s << u"あい"_s << u"1412 553 08"_s << 8;
    QTest::newRow("sakura yuuki") << u"さくら"_s << u"ゆうき"_s << u"131332 44465 8801 681 49"_s << 49;
    QTest::newRow("length 3") << u"あ"_s << u"いう"_s << u"123 35"_s << 35;
    QTest::newRow("length 3, one name") << u"かさね"_s << QString() << u"114 25"_s << 25;
    QTest::newRow("length 2: row 0 is the result") << u"あ"_s << u"い"_s << u"12"_s << 12;
    QTest::newRow("length 2, one name") << u"んを"_s << QString() << u"15"_s << 15;
}

void TestEngine::workedExamples()
{
    QFETCH(QString, self);
    QFETCH(QString, partner);
    QFETCH(QString, rows);
    QFETCH(int, percentage);

    AishoResult r;
    QVERIFY(AishoCalc(view(self), view(partner), r));
    QVERIFY(!r.refused);
    QCOMPARE(joinedRows(r), rows);
    QCOMPARE(r.percentage, percentage);

    const AishoResult byValue = AishoCalc(view(self), view(partner));
    QCOMPARE(joinedRows(byValue), rows);
    QCOMPARE(byValue.percentage, percentage);

    const QList<uint> s = self.toUcs4();
    const QList<uint> p = partner.toUcs4();
    const std::u32string s32(s.begin(), s.end());
    const std::u32string p32(p.begin(), p.end());
    QVERIFY(AishoCalc(s32, p32, r));
    QCOMPARE(joinedRows(r), rows);
    QCOMPARE(r.percentage, percentage);
    QCOMPARE(AishoPercent(view(self), view(partner)), percentage);
}

void TestEngine::refusalPosition_data()
{
    QTest::addColumn<QString>("self");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<int>("at");
    QTest::newRow("self first") << u"っあ"_s << u"いう"_s << 0;
    QTest::newRow("self middle") << u"きっと"_s << u"いう"_s << 1;
    QTest::newRow("self last") << u"あいー"_s << u"いう"_s << 2;
    QTest::newRow("partner first") << u"あい"_s << u"アう"_s << 2;
    QTest::newRow("partner middle") << u"あい"_s << u"う\u3099え"_s << 3;
    QTest::newRow("partner last") << u"あい"_s << u"うえ😀"_s << 4;
    QTest::newRow("first bad one wins") << u"あ𠮷"_s << u"ー"_s << 1;
    QTest::newRow("surrogate pair counts once") << u"𠮷"_s << u"い"_s << 0;
    QTest::newRow("after a lone surrogate") << QString(QChar(0xDC00)) << u"い"_s << 0;
}

void TestEngine::refusalPosition()
{
    QFETCH(QString, self);
    QFETCH(QString, partner);
    QFETCH(int, at);
    AishoResult r;
    QVERIFY(!AishoCalc(view(self), view(partner), r));
    QVERIFY(r.refused);
    QCOMPARE(r.refusedAt, std::size_t(at));
    QCOMPARE(r.rowCount(), std::size_t(0));
    QCOMPARE(r.row(0), std::string_view());
}

void TestEngine::shortNames()
{
    // Fewer than two characters in all: nothing to reduce, refused.
    AishoResult r;
    QVERIFY(!AishoCalc(u"", u"", r));
    QVERIFY(r.refused);
    QVERIFY(!AishoCalc(u"あ", u"", r));
    QCOMPARE(r.refusedAt, std::size_t(1)); // no bad character: the combined length
    QVERIFY(!AishoCalc(u"", u"あ", r));
    QVERIFY(!AishoCalc(U"", U"あ", r));
    QCOMPARE(r.rowCount(), std::size_t(0));
}

void TestEngine::bufferReuse()
{
    AishoResult r;
    QVERIFY(AishoCalc(u"さくらこ", u"ゆうきちゃん", r));
    QVERIFY(AishoCalc(u"たろう", u"はなこ", r));
    QCOMPARE(joinedRows(r), u"153115 68426 4268 684 42"_s);
    QCOMPARE(r.percentage, 42);
    QCOMPARE(r.row(5), std::string_view());

    QVERIFY(!AishoCalc(u"たろう", u"はなっこ", r));
    QVERIFY(AishoCalc(u"あえ", u"いいえ", r));
    QCOMPARE(joinedRows(r), u"14224 5646 100"_s);
    QCOMPARE(r.percentage, 100);

    QVERIFY(AishoCalc(u"あ", u"い", r));
    QCOMPARE(joinedRows(r), u"12"_s);
    QVERIFY(AishoCalc(u"あえ", u"あい", r));
    QCOMPARE(joinedRows(r), u"1412 553 08"_s);
    QCOMPARE(r.percentage, 8);
}

void TestEngine::randomPairs()
{
    const auto &table = expectedTable();
    std::vector<char32_t> kana;
    for (const auto &[ch, digit] : table)
        kana.push_back(ch);

    std::mt19937 rng(20240521);
    std::uniform_int_distribution<std::size_t> pick(0, kana.size() - 1);
    std::uniform_int_distribution<int> length(3, 60);
    AishoResult r;
    AishoResult r16;
    int hundreds = 0;
    for (int n = 0; n < 20000; ++n) {
        const int total = length(rng);
        const int split = std::uniform_int_distribution<int>(0, total)(rng);
        std::u32string self;
        std::u32string partner;
        for (int i = 0; i < total; ++i)
            (i < split ? self : partner).push_back(kana[pick(rng)]);
        const std::size_t L = static_cast<std::size_t>(total);

        QVERIFY(AishoCalc(self, partner, r));
        const std::u16string s16(self.begin(), self.end()); // all members are in the BMP
        const std::u16string p16(partner.begin(), partner.end());
        QVERIFY(AishoCalc(s16, p16, r16));
        QCOMPARE(r16.digits, r.digits);
        QCOMPARE(r16.percentage, r.percentage);

        const std::u32string combined = self + partner;
        const std::string_view row0 = r.row(0);
        QCOMPARE(row0.size(), L);
        for (std::size_t i = 0; i < L; ++i)
            QCOMPARE(row0[i], char('0' + table.at(combined[i])));

        const std::size_t rows = r.rowCount();
        for (std::size_t k = 1; k < rows; ++k) {
            const std::string_view above = r.row(k - 1);
            const std::string_view row = r.row(k);
            QCOMPARE(row.size(), above.size() - 1);
            for (std::size_t i = 0; i < row.size(); ++i)
                QCOMPARE(row[i] - '0', ((above[i] - '0') + (above[i + 1] - '0')) % 10);
            if (k + 1 < rows)
                QVERIFY(row.size() > 2 && row != "100");
        }
        const std::string_view last = r.row(rows - 1);
        if (last == "100") {
            ++hundreds;
            QVERIFY(L >= 4);
            QCOMPARE(rows, L - 2);
            QCOMPARE(r.percentage, 100);
        } else {
            QCOMPARE(last.size(), std::size_t(2));
            QCOMPARE(rows, L - 1);
            QCOMPARE(r.percentage, (last[0] - '0') * 10 + (last[1] - '0'));
        }
    }
    QVERIFY(hundreds > 0); // the 100 exit was exercised
}

// A combined length whose triangle holds more than 2^32 digits, streamed row
// by row; sampled rows, those past the 2^32nd digit among them, agree with
// rows reached directly from row 0.
void TestEngine::rowsPastThe32BitWrap()
{
    constexpr std::size_t L = 92'700;
    static_assert(L * (L + 1) / 2 > (std::uint64_t(1) << 32));
    std::mt19937 rng(7);
    const std::u32string kana = U"あいうえお";
    std::u32string self;
    for (std::size_t i = 0; i < L - 1; ++i)
        self.push_back(kana[rng() % kana.size()]);
    AishoRows rows;
    QVERIFY(rows.start(self, U"ん"));
    const std::string row0(rows.row());
    QCOMPARE(row0.size(), L);

    const std::vector<std::uint64_t> sampled = {1, 2, 4097, L / 2, L - 1900, L - 1000, L - 10, L - 4};
    std::size_t next = 0;
    std::uint64_t digitsBefore = 0; // where the row would start in one concatenated triangle
    while (!rows.atResult()) {
        QVERIFY(rows.next());
        digitsBefore += L - rows.rowIndex() + 1;
        const std::uint64_t r = rows.rowIndex();
        const std::string_view row = rows.row();
        QCOMPARE(row.size(), L - r);
        if (next < sampled.size() && sampled[next] == r) {
            std::vector<int> coeff(r + 1);
            for (std::uint64_t j = 0; j <= r; ++j)
                coeff[j] = binomialMod10(r, j);
            for (std::size_t k : {std::size_t(0), std::size_t(1), row.size() / 2, row.size() - 1}) {
                int sum = 0;
                for (std::uint64_t j = 0; j <= r; ++j)
                    sum += coeff[j] * (row0[k + j] - '0');
                QCOMPARE(row[k] - '0', sum % 10);
            }
            ++next;
        }
    }
    QCOMPARE(next, sampled.size());
    QVERIFY(digitsBefore > (std::uint64_t(1) << 32)); // the last rows lie past the wrap
    QVERIFY(!rows.next());
    const std::string_view last = rows.row();
    QVERIFY(last == "100" || last.size() == 2);
    QCOMPARE(rows.percentage(), last == "100" ? 100 : (last[0] - '0') * 10 + (last[1] - '0'));
}

QTEST_APPLESS_MAIN(TestEngine)
#include "tst_engine.moc"

// The percentage from the names' shares against the full triangle, on random
// pairs of every combined length up to 300, short ones (where 100, length 2
// and length 3 live) weighted up, and a refused character now and then.
void TestEngine::percentAloneAgreesWithTriangle_data()
{
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<int>("pairs");
    QTest::newRow("lengths 1 to 12") << 12 << 60000;
    QTest::newRow("lengths 1 to 300") << 300 << 3000;
}

void TestEngine::percentAloneAgreesWithTriangle()
{
    QFETCH(int, maxLength);
    QFETCH(int, pairs);
    std::vector<char32_t> kana;
    for (const auto &[ch, digit] : expectedTable())
        kana.push_back(ch);
    std::mt19937 rng(static_cast<unsigned>(maxLength));
    std::uniform_int_distribution<std::size_t> pick(0, kana.size() - 1);
    AishoResult r;
    std::map<int, int> seen; // percentage -> count
    int refused = 0;
    for (int n = 0; n < pairs; ++n) {
        const int total = std::uniform_int_distribution<int>(1, maxLength)(rng);
        const int split = std::uniform_int_distribution<int>(0, total)(rng);
        std::u32string self;
        std::u32string partner;
        for (int i = 0; i < total; ++i)
            (i < split ? self : partner).push_back(rng() % 500 == 0 ? U'ア' : kana[pick(rng)]);
        const bool ok = AishoCalc(self, partner, r);
        const int alone = AishoPercent(self, partner);
        QCOMPARE(alone, ok ? r.percentage : -1);
        refused += ok ? 0 : 1;
        ++seen[alone];
    }
    QVERIFY(refused > 0);
    if (maxLength <= 12)
        QVERIFY(seen[100] > 0);
}
