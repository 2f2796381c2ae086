#pragma once

#include <string_view>

namespace kanaroll {

// Vowel column (1..5) of one hiragana code point, 0 for anything else.
short BoinNo(char32_t ch) noexcept;

// Same for a whole string: only a string of exactly one member yields non-zero.
short BoinNo(std::u32string_view s) noexcept;
short BoinNo(std::u16string_view s) noexcept;

} // namespace kanaroll
