#include "aisho.h"

#include "boin.h"

namespace kanaroll {

std::string_view AishoResult::row(std::size_t r) const noexcept
{
    if (r >= rowCount())
        return {};
    const std::size_t begin = rowStart[r];
    const std::size_t end = r + 1 < rowStart.size() ? rowStart[r + 1] : digits.size();
    return std::string_view(digits).substr(begin, end - begin);
}

namespace {

void reset(AishoResult &out)
{
    out.refused = true;
    out.refusedAt = 0;
    out.percentage = -1;
    out.digits.clear();
    out.rowStart.clear();
}

// Appends one vowel digit to row 0; false refuses the pair.
bool pushDigit(AishoResult &out, char32_t ch)
{
    const short d = BoinNo(ch);
    if (d == 0)
        return false;
    out.digits.push_back(static_cast<char>('0' + d));
    return true;
}

// Reduces row 0 (already in out.digits) to the result row.
bool reduce(AishoResult &out)
{
    const std::size_t n = out.digits.size();
    if (n < 2)
        return false;
    out.rowStart.push_back(0);
    out.refused = false;
    if (n == 2) { // two one-character names: row 0 is the result
        out.percentage = (out.digits[0] - '0') * 10 + (out.digits[1] - '0');
        return true;
    }
    out.digits.reserve(n * (n + 1) / 2);
    std::size_t cur = 0;
    std::size_t len = n;
    for (;;) {
        const std::size_t next = out.digits.size();
        out.rowStart.push_back(static_cast<std::uint32_t>(next));
        for (std::size_t k = 0; k + 1 < len; ++k) {
            const int sum = (out.digits[cur + k] - '0') + (out.digits[cur + k + 1] - '0');
            out.digits.push_back(static_cast<char>('0' + sum % 10));
        }
        --len;
        const std::string_view made(out.digits.data() + next, len);
        if (made == "100") {
            out.percentage = 100;
            return true;
        }
        if (len == 2) {
            out.percentage = (made[0] - '0') * 10 + (made[1] - '0');
            return true;
        }
        cur = next;
    }
}

} // namespace

bool AishoCalc(std::u32string_view self, std::u32string_view partner, AishoResult &out)
{
    reset(out);
    std::size_t index = 0;
    for (std::u32string_view part : {self, partner}) {
        for (char32_t ch : part) {
            if (!pushDigit(out, ch)) {
                out.refusedAt = index;
                out.digits.clear();
                return false;
            }
            ++index;
        }
    }
    if (!reduce(out)) {
        out.refusedAt = index;
        out.digits.clear();
        return false;
    }
    return true;
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

bool AishoCalc(std::u16string_view self, std::u16string_view partner, AishoResult &out)
{
    // Reused between calls: a batch converts every pair.
    thread_local std::u32string selfChars;
    thread_local std::u32string partnerChars;
    selfChars.clear();
    partnerChars.clear();
    appendCodePoints(self, selfChars);
    appendCodePoints(partner, partnerChars);
    return AishoCalc(selfChars, partnerChars, out);
}

AishoResult AishoCalc(std::u16string_view self, std::u16string_view partner)
{
    AishoResult r;
    AishoCalc(self, partner, r);
    return r;
}

} // namespace kanaroll
