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
    std::vector<std::uint32_t> rowStart; // offset of each row in digits

    std::size_t rowCount() const noexcept { return refused ? 0 : rowStart.size(); }
    std::string_view row(std::size_t r) const noexcept;
};

// Self name then partner name, split by code point. Returns !refused.
// Combined length 2: row 0 is the result row. Combined length below 2 is refused.
bool AishoCalc(std::u32string_view self, std::u32string_view partner, AishoResult &out);
bool AishoCalc(std::u16string_view self, std::u16string_view partner, AishoResult &out);
AishoResult AishoCalc(std::u16string_view self, std::u16string_view partner);

} // namespace kanaroll
