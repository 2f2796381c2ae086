// Any two strings into the engine. Checks the triangle against its own rule
// rather than trusting the percentage alone.
#include "engine/aisho.h"
#include "engine/boin.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

using namespace kanaroll;

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Mode byte even: every other byte picks a code point near hiragana, so most
// pairs are accepted and reach the reduction. Odd: raw UTF-16, lone
// surrogates included. A 0xFFFF unit splits self from partner.
std::u16string decode(const uint8_t *data, size_t size, bool raw)
{
    std::u16string s;
    if (raw) {
        for (size_t i = 0; i + 1 < size; i += 2)
            s.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    } else {
        for (size_t i = 0; i < size; ++i) {
            const uint8_t b = data[i];
            if (b == 0xFF)
                s.push_back(u'\xFFFF');
            else if (b >= 0xF8)
                s.push_back(static_cast<char16_t>(0xD800 + (b & 7) * 0x400)); // lone surrogates
            else
                s.push_back(static_cast<char16_t>(0x3040 + b % 0x60)); // hiragana block and its edges
        }
    }
    return s;
}

std::u32string toU32(std::u16string_view s)
{
    std::u32string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::u16string all = decode(data + 1, size - 1, data[0] & 1);
    const size_t cut = all.find(u'\xFFFF');
    const std::u16string_view self = std::u16string_view(all).substr(0, cut);
    const std::u16string_view partner =
        cut == std::u16string::npos ? std::u16string_view() : std::u16string_view(all).substr(cut + 1);

    // Reused across inputs, as a batch reuses it: stale rows must not leak.
    static AishoResult r;
    const bool ok = AishoCalc(self, partner, r);

    const std::u32string chars = toU32(self) + toU32(partner);
    size_t firstBad = chars.size();
    for (size_t i = 0; i < chars.size(); ++i) {
        if (BoinNo(chars[i]) == 0) {
            firstBad = i;
            break;
        }
    }
    const bool expectOk = firstBad == chars.size() && chars.size() >= 2;
    check(ok == expectOk && ok == !r.refused, "accepted exactly when every character is a member and there are two");

    AishoResult r32;
    check(AishoCalc(toU32(self), toU32(partner), r32) == ok, "UTF-32 and UTF-16 agree on refusal");

    if (!ok) {
        check(r.refusedAt == firstBad, "refusedAt is the first refused character");
        check(r32.refusedAt == r.refusedAt, "refusedAt agrees");
        check(r.percentage == -1 && r.rowCount() == 0, "a refused pair has no rows");
        return 0;
    }

    check(r.percentage == r32.percentage && r.digits == r32.digits, "UTF-32 and UTF-16 agree on rows");
    check(r.rowCount() >= 1, "at least one row");
    const std::string_view row0 = r.row(0);
    check(row0.size() == chars.size(), "row 0 has one digit per character");
    for (size_t i = 0; i < row0.size(); ++i)
        check(row0[i] - '0' == BoinNo(chars[i]), "row 0 holds the vowel digits");
    for (size_t k = 1; k < r.rowCount(); ++k) {
        const std::string_view above = r.row(k - 1);
        const std::string_view cur = r.row(k);
        check(cur.size() + 1 == above.size(), "each row one shorter");
        check(above.size() > 2 && above != "100", "no row after the result row");
        for (size_t i = 0; i < cur.size(); ++i)
            check(cur[i] - '0' == ((above[i] - '0') + (above[i + 1] - '0')) % 10, "digit is the sum of its two above");
    }
    const std::string_view last = r.row(r.rowCount() - 1);
    check(last.size() == 2 || last == "100", "result row is two digits or 100");
    check(r.percentage >= 0 && r.percentage <= 100, "percentage 0..100");
    check(r.percentage == std::stoi(std::string(last)), "percentage is the result row");
    check(r.row(r.rowCount()).empty(), "no row past the end");
    return 0;
}
