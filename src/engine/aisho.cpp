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
