#include "aisho.h"

#include "boin.h"

#include <cstring>

namespace kanaroll {

std::string_view AishoResult::row(std::size_t r) const noexcept
{
    if (r >= rowCount())
        return {};
    const std::size_t begin = rowStart[r];
    const std::size_t end = r + 1 < rowStart.size() ? rowStart[r + 1] : digits.size();
    return std::string_view(digits).substr(begin, end - begin);
}

bool AishoRows::start(std::u32string_view self, std::u32string_view partner)
{
    m_digits.clear();
    m_length = 0;
    m_index = 0;
    m_percentage = -1;
    m_refusedAt = 0;
    m_refused = true;
    m_digits.reserve(self.size() + partner.size());
    std::size_t index = 0;
    for (std::u32string_view part : {self, partner}) {
        for (char32_t ch : part) {
            const short d = BoinNo(ch);
            if (d == 0) {
                m_refusedAt = index;
                m_digits.clear();
                return false;
            }
            m_digits.push_back(static_cast<char>('0' + d));
            ++index;
        }
    }
    if (index < 2) {
        m_refusedAt = index;
        m_digits.clear();
        return false;
    }
    m_length = index;
    m_refused = false;
    if (m_length == 2) // two one-character names: row 0 is the result
        m_percentage = (m_digits[0] - '0') * 10 + (m_digits[1] - '0');
    return true;
}

namespace {

// Eight digits at once in a 64-bit word: ASCII digits in, their pairwise sums
// mod 10 out as ASCII digits. No byte carries into its neighbour: sums stay
// below 19, and 18 + 0x76 stays below 0x100.
std::uint64_t sumMod10(std::uint64_t a, std::uint64_t b) noexcept
{
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    const std::uint64_t sum = (a - 0x30 * ones) + (b - 0x30 * ones);
    const std::uint64_t tens = (((sum + 0x76 * ones) >> 7) & ones) * 10; // 10 where sum >= 10
    return sum - tens + 0x30 * ones;
}

} // namespace

bool AishoRows::next() noexcept
{
    if (m_refused || atResult())
        return false;
    // Each digit is made from itself and its right neighbour, which is not yet
    // overwritten, so one buffer holds both rows.
    char *p = m_digits.data();
    const std::size_t n = m_length - 1;
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, p + k, 8);
        std::memcpy(&b, p + k + 1, 8);
        a = sumMod10(a, b);
        std::memcpy(p + k, &a, 8);
    }
    for (; k < n; ++k) {
        const int sum = (p[k] - '0') + (p[k + 1] - '0');
        p[k] = static_cast<char>('0' + (sum >= 10 ? sum - 10 : sum));
    }
    m_length = n;
    ++m_index;
    checkResult();
    return true;
}

void AishoRows::checkResult() noexcept
{
    // Applied to made rows only, never to row 0.
    if (m_length == 3 && row() == "100")
        m_percentage = 100;
    else if (m_length == 2)
        m_percentage = (m_digits[0] - '0') * 10 + (m_digits[1] - '0');
}

namespace {

// Appends the code points of UTF-16 text. A surrogate pair is one character;
// a lone surrogate becomes U+FFFD, which the table refuses all the same.
void appendCodePoints(std::u16string_view text, std::u32string &out)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t ch = text[i];
        if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (ch >= 0xD800 && ch <= 0xDFFF) {
            ch = 0xFFFD;
        }
        out.push_back(ch);
    }
}

} // namespace

bool AishoRows::start(std::u16string_view self, std::u16string_view partner)
{
    // Reused between calls: a batch converts every pair.
    thread_local std::u32string selfChars;
    thread_local std::u32string partnerChars;
    selfChars.clear();
    partnerChars.clear();
    appendCodePoints(self, selfChars);
    appendCodePoints(partner, partnerChars);
    return start(std::u32string_view(selfChars), std::u32string_view(partnerChars));
}

namespace {

// Copies every row of a started triangle into the result.
bool collect(AishoRows &rows, bool ok, AishoResult &out)
{
    out.digits.clear();
    out.rowStart.clear();
    out.refused = !ok;
    out.refusedAt = rows.refusedAt();
    out.percentage = -1;
    if (!ok)
        return false;
    const std::size_t n = rows.row().size();
    out.digits.reserve(n * (n + 1) / 2);
    for (;;) {
        out.rowStart.push_back(out.digits.size());
        // Short rows, the common case, go faster byte by byte than through memcpy.
        const std::string_view row = rows.row();
        if (row.size() <= 16) {
            for (char c : row)
                out.digits.push_back(c);
        } else {
            out.digits.append(row);
        }
        if (!rows.next())
            break;
    }
    out.percentage = rows.percentage();
    return true;
}

} // namespace

bool AishoCalc(std::u32string_view self, std::u32string_view partner, AishoResult &out)
{
    thread_local AishoRows rows;
    return collect(rows, rows.start(self, partner), out);
}

bool AishoCalc(std::u16string_view self, std::u16string_view partner, AishoResult &out)
{
    thread_local AishoRows rows;
    return collect(rows, rows.start(self, partner), out);
}

AishoResult AishoCalc(std::u16string_view self, std::u16string_view partner)
{
    AishoResult r;
    AishoCalc(self, partner, r);
    return r;
}

} // namespace kanaroll

namespace kanaroll {

namespace detail {

namespace {

PercentTable makePercentTable() noexcept
{
    PercentTable t{};
    for (int s = 0; s < 100; ++s)
        for (int p = 0; p < 100; ++p)
            t.cell[s][p] = static_cast<std::uint8_t>((s / 10 + p / 10) % 10 * 10 + (s % 10 + p % 10) % 10);
    return t;
}

} // namespace

const PercentTable kPercentOfShares = makePercentTable();

} // namespace detail

namespace {

// C(n, k) mod 10 by Lucas' theorem mod 2 and mod 5, joined by the Chinese
// remainder theorem; 0 outside 0 <= k <= n.
int binomialMod10(std::int64_t n, std::int64_t k) noexcept
{
    if (k < 0 || k > n)
        return 0;
    const int mod2 = (k & ~n) == 0 ? 1 : 0;
    static constexpr int small[5][5] = {
        {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {1, 2, 1, 0, 0}, {1, 3, 3, 1, 0}, {1, 4, 1, 4, 1}};
    int mod5 = 1;
    for (std::int64_t nn = n, kk = k; kk > 0 && mod5 != 0; nn /= 5, kk /= 5)
        mod5 = mod5 * small[nn % 5][kk % 5] % 5;
    // The x in 0..9 with x = mod2 (mod 2) and x = mod5 (mod 5).
    return mod5 % 2 == mod2 ? mod5 : mod5 + 5;
}

// Digit e of row t for the digits d[0..count) standing at offset in row 0,
// counting only their contribution.
int rowDigitShare(const std::uint8_t *d, std::size_t count, std::size_t offset, std::int64_t t, int e) noexcept
{
    int sum = 0;
    for (std::size_t q = 0; q < count; ++q) {
        const std::int64_t k = static_cast<std::int64_t>(offset + q) - e;
        if (k > t)
            break;
        sum += binomialMod10(t, k) * d[q];
    }
    return sum % 10;
}

// Codes that never meet: a self name's "never tested" and a partner's.
constexpr AishoPart kSelfUntested = 1023;
constexpr AishoPart kPartnerUntested = 1022;

AishoPart share(const std::uint8_t *d, std::size_t count, std::size_t offset, std::size_t total, bool self) noexcept
{
    const auto t2 = static_cast<std::int64_t>(total) - 2;
    const int two = rowDigitShare(d, count, offset, t2, 0) * 10 + rowDigitShare(d, count, offset, t2, 1);
    AishoPart three = self ? kSelfUntested : kPartnerUntested;
    // Row 0 is never tested, so the three-digit row counts from length 4 on.
    if (total >= 4) {
        const std::int64_t t3 = t2 - 1;
        int digit[3];
        for (int e = 0; e < 3; ++e)
            digit[e] = rowDigitShare(d, count, offset, t3, e);
        if (self) {
            // What the partner must add so that the row reads 1, 0, 0.
            digit[0] = (11 - digit[0]) % 10;
            digit[1] = (10 - digit[1]) % 10;
            digit[2] = (10 - digit[2]) % 10;
        }
        three = static_cast<AishoPart>(digit[0] * 100 + digit[1] * 10 + digit[2]);
    }
    return (three << 8) | static_cast<AishoPart>(two);
}

} // namespace

bool AishoDigits(std::u32string_view name, std::vector<std::uint8_t> &out)
{
    out.clear();
    out.reserve(name.size());
    for (char32_t ch : name) {
        const short d = BoinNo(ch);
        if (d == 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(d));
    }
    return true;
}

bool AishoDigits(std::u16string_view name, std::vector<std::uint8_t> &out)
{
    thread_local std::u32string chars;
    chars.clear();
    appendCodePoints(name, chars);
    return AishoDigits(std::u32string_view(chars), out);
}

AishoPart AishoSelfPart(const std::uint8_t *d, std::size_t a, std::size_t total) noexcept
{
    return share(d, a, 0, total, true);
}

AishoPart AishoPartnerPart(const std::uint8_t *d, std::size_t b, std::size_t total) noexcept
{
    return share(d, b, total - b, total, false);
}

int AishoPercent(std::u32string_view self, std::u32string_view partner)
{
    thread_local std::vector<std::uint8_t> s;
    thread_local std::vector<std::uint8_t> p;
    if (!AishoDigits(self, s) || !AishoDigits(partner, p))
        return -1;
    const std::size_t total = s.size() + p.size();
    if (total < 2)
        return -1;
    return AishoCombine(AishoSelfPart(s.data(), s.size(), total), AishoPartnerPart(p.data(), p.size(), total));
}

int AishoPercent(std::u16string_view self, std::u16string_view partner)
{
    thread_local std::u32string s;
    thread_local std::u32string p;
    s.clear();
    p.clear();
    appendCodePoints(self, s);
    appendCodePoints(partner, p);
    return AishoPercent(std::u32string_view(s), std::u32string_view(p));
}

} // namespace kanaroll
