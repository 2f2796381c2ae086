#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kanaroll {

// The digit triangle of a pair of names. Reused between calls so that a
// batch of many pairs allocates only when a longer pair comes along.
struct AishoResult {
    bool refused = true;
    // Code point index in self+partner of the first refused character; equal to
    // the combined length when the pair is refused for having fewer than two.
    std::size_t refusedAt = 0;
    int percentage = -1;       // 0..100 when accepted
    std::string digits;        // all rows, concatenated, ASCII '0'..'9'
    std::vector<std::uint64_t> rowStart; // offset of each row in digits

    std::size_t rowCount() const noexcept { return refused ? 0 : rowStart.size(); }
    std::string_view row(std::size_t r) const noexcept;
};

// The rows of the triangle one at a time, each made from the one before in
// place, so a pair of any length needs memory for one row only. A caller that
// does not keep the whole triangle (a driver streaming rows out, a drawing that
// shows one row at a time) uses this instead of AishoResult.
class AishoRows
{
public:
    // Builds row 0 of self+partner, split by code point. False when the pair is
    // refused: a character outside the table (refusedAt() is its index) or a
    // combined length below 2 (refusedAt() is that length).
    bool start(std::u32string_view self, std::u32string_view partner);
    bool start(std::u16string_view self, std::u16string_view partner);

    // The current row; row 0 after start(), empty when refused.
    std::string_view row() const noexcept { return std::string_view(m_digits.data(), m_length); }
    std::uint64_t rowIndex() const noexcept { return m_index; }
    // The current row is the result row: two digits, or "100" after row 0.
    bool atResult() const noexcept { return m_percentage >= 0; }
    // Replaces the current row by the next one. False, and no change, once the
    // result row is reached (or when refused).
    bool next() noexcept;

    int percentage() const noexcept { return m_percentage; }
    std::size_t refusedAt() const noexcept { return m_refusedAt; }
    bool refused() const noexcept { return m_refused; }

private:
    void checkResult() noexcept;

    std::string m_digits; // capacity kept between pairs
    std::size_t m_length = 0;
    std::uint64_t m_index = 0;
    int m_percentage = -1;
    std::size_t m_refusedAt = 0;
    bool m_refused = true;
};

// Self name then partner name, split by code point. Returns !refused.
// Combined length 2: row 0 is the result row. Combined length below 2 is refused.
bool AishoCalc(std::u32string_view self, std::u32string_view partner, AishoResult &out);
bool AishoCalc(std::u16string_view self, std::u16string_view partner, AishoResult &out);
AishoResult AishoCalc(std::u16string_view self, std::u16string_view partner);

// The percentage alone, without the triangle. By Pascal's rule each digit of
// a later row is a fixed sum of row-0 digits times binomial coefficients mod
// 10, so for one combined length a name contributes a fixed share to the two
// digits of the result row and to the three of the row tested for "100".
// A batch works these shares out once per name and length; a pair then costs
// one compare and one table look-up.
//
// A share packs the two-digit part (10 * d0 + d1) in the low byte and, above
// it, the three-digit part: for a partner its own digits, for a self name the
// digits a partner needs to make "100". Rows that are never tested (combined
// length below 4) get codes that cannot meet.
using AishoPart = std::uint32_t;

// Row-0 digits (1..5) of a name, split by code point. False at the first
// character outside the table; out then holds the digits before it.
bool AishoDigits(std::u32string_view name, std::vector<std::uint8_t> &out);
bool AishoDigits(std::u16string_view name, std::vector<std::uint8_t> &out);

// The share of a self name (digits d, count a) or of a partner name (count b)
// in a pair of combined length total (at least 2, and at least the count).
AishoPart AishoSelfPart(const std::uint8_t *d, std::size_t a, std::size_t total) noexcept;
AishoPart AishoPartnerPart(const std::uint8_t *d, std::size_t b, std::size_t total) noexcept;

namespace detail {
struct PercentTable {
    std::uint8_t cell[100][100];
};
extern const PercentTable kPercentOfShares;
}

// The percentage of a pair from its two shares of the same combined length.
inline int AishoCombine(AishoPart self, AishoPart partner) noexcept
{
    if ((self >> 8) == (partner >> 8))
        return 100;
    return detail::kPercentOfShares.cell[self & 0xFF][partner & 0xFF];
}

// The same percentage as AishoCalc, or -1 where AishoCalc refuses.
int AishoPercent(std::u16string_view self, std::u16string_view partner);
int AishoPercent(std::u32string_view self, std::u32string_view partner);

} // namespace kanaroll
