#include "boin.h"

#include <array>
#include <cstdint>

namespace kanaroll {

namespace {

struct Member {
    char32_t ch;
    short digit;
};

// The 79 kana, by vowel column. ん goes with あ and を with お; small kana are
// members in their own right; っ, ゎ, ゐ, ゑ, ゔ and the marks are not.
constexpr std::array<Member, 79> kMembers{{
    {U'あ', 1}, {U'か', 1}, {U'さ', 1}, {U'た', 1}, {U'な', 1}, {U'は', 1}, {U'ま', 1}, {U'や', 1}, {U'ら', 1},
    {U'わ', 1}, {U'ん', 1}, {U'が', 1}, {U'ざ', 1}, {U'だ', 1}, {U'ば', 1}, {U'ぱ', 1}, {U'ぁ', 1}, {U'ゃ', 1},
    {U'い', 2}, {U'き', 2}, {U'し', 2}, {U'ち', 2}, {U'に', 2}, {U'ひ', 2}, {U'み', 2}, {U'り', 2}, {U'ぎ', 2},
    {U'じ', 2}, {U'ぢ', 2}, {U'び', 2}, {U'ぴ', 2}, {U'ぃ', 2},
    {U'う', 3}, {U'く', 3}, {U'す', 3}, {U'つ', 3}, {U'ぬ', 3}, {U'ふ', 3}, {U'む', 3}, {U'ゆ', 3}, {U'る', 3},
    {U'ぐ', 3}, {U'ず', 3}, {U'づ', 3}, {U'ぶ', 3}, {U'ぷ', 3}, {U'ぅ', 3}, {U'ゅ', 3},
    {U'え', 4}, {U'け', 4}, {U'せ', 4}, {U'て', 4}, {U'ね', 4}, {U'へ', 4}, {U'め', 4}, {U'れ', 4}, {U'げ', 4},
    {U'ぜ', 4}, {U'で', 4}, {U'べ', 4}, {U'ぺ', 4}, {U'ぇ', 4},
    {U'お', 5}, {U'こ', 5}, {U'そ', 5}, {U'と', 5}, {U'の', 5}, {U'ほ', 5}, {U'も', 5}, {U'よ', 5}, {U'ろ', 5},
    {U'を', 5}, {U'ご', 5}, {U'ぞ', 5}, {U'ど', 5}, {U'ぼ', 5}, {U'ぽ', 5}, {U'ぉ', 5}, {U'ょ', 5},
}};

constexpr char32_t kFirst = 0x3041;
constexpr char32_t kLast = 0x3093;

// Direct lookup over the hiragana block, built once at compile time.
constexpr auto kTable = [] {
    std::array<std::uint8_t, kLast - kFirst + 1> t{};
    for (const Member &m : kMembers)
        t[m.ch - kFirst] = static_cast<std::uint8_t>(m.digit);
    return t;
}();

} // namespace

short BoinNo(char32_t ch) noexcept
{
    if (ch < kFirst || ch > kLast)
        return 0;
    return kTable[ch - kFirst];
}

short BoinNo(std::u32string_view s) noexcept
{
    return s.size() == 1 ? BoinNo(s.front()) : short{0};
}

short BoinNo(std::u16string_view s) noexcept
{
    // Every member is in the BMP, so a member is exactly one UTF-16 unit; a
    // surrogate pair is one character outside the table.
    if (s.size() != 1)
        return 0;
    const char16_t u = s.front();
    if (u >= 0xD800 && u <= 0xDFFF)
        return 0;
    return BoinNo(static_cast<char32_t>(u));
}

} // namespace kanaroll
