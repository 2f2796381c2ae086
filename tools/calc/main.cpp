// kanaroll-calc: reads "SELF<TAB>PARTNER" lines of UTF-8 on standard input and
// writes, for each, the rows of the digit triangle and the percentage, or
// "refused". Rows are made and written one at a time, so a long line needs
// memory for one row, not the triangle. Bad lines, and lines too large for the
// memory at hand, are reported on standard error, get no output line and make
// the exit status 2; the lines after them are answered all the same.

#include "engine/aisho.h"

#include <cstddef>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char *kProgram = "kanaroll-calc";

struct DecodeError {
    std::size_t byte; // 1-based byte position of the offending sequence
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no
// truncated or stray continuation bytes.
std::optional<DecodeError> decodeUtf8(std::string_view in, std::u32string &out)
{
    out.clear();
    std::size_t i = 0;
    while (i < in.size()) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        std::size_t len;
        char32_t cp;
        unsigned char lo = 0x80; // allowed range of the second byte
        unsigned char hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            cp = b0 & 0x0F;
            if (b0 == 0xE0)
                lo = 0xA0; // overlong
            else if (b0 == 0xED)
                hi = 0x9F; // surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            cp = b0 & 0x07;
            if (b0 == 0xF0)
                lo = 0x90; // overlong
            else if (b0 == 0xF4)
                hi = 0x8F; // above U+10FFFF
        } else {
            return DecodeError{i + 1};
        }
        if (i + len > in.size())
            return DecodeError{i + 1};
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(in[i + k]);
            const unsigned char min = k == 1 ? lo : 0x80;
            const unsigned char max = k == 1 ? hi : 0xBF;
            if (b < min || b > max)
                return DecodeError{i + 1};
            cp = (cp << 6) | (b & 0x3F);
        }
        out.push_back(cp);
        i += len;
    }
    return std::nullopt;
}

// Writes the rows separated by spaces, a TAB and the percentage. The rows are
// made in place, so nothing is allocated once the first byte is out.
void printRows(kanaroll::AishoRows &rows)
{
    std::cout << rows.row();
    while (rows.next())
        std::cout << ' ' << rows.row();
    std::cout << '\t' << rows.percentage() << '\n';
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        const std::string_view arg = argv[1];
        std::ostream &os = (arg == "-h" || arg == "--help") ? std::cout : std::cerr;
        os << "usage: " << kProgram << " < pairs.txt\n"
           << "Each input line is SELF<TAB>PARTNER in UTF-8. Each output line holds the rows of\n"
           << "the triangle separated by spaces, a TAB and the percentage, or \"refused\".\n"
           << "A bad line, or one too large for the memory, gets a message on standard error\n"
           << "and no output line; the exit status is then 2.\n";
        return &os == &std::cout ? 0 : 2;
    }

    std::ios::sync_with_stdio(false);
    bool bad = false;
    std::string raw;
    std::u32string text;
    kanaroll::AishoRows rows;
    for (std::size_t lineNo = 1;; ++lineNo) {
        try {
            if (!std::getline(std::cin, raw)) {
                if (!std::cin.bad())
                    break;
                // The line outgrew the memory: drop the rest of it and go on.
                std::cin.clear();
                std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
                throw std::bad_alloc();
            }
            if (!raw.empty() && raw.back() == '\r')
                raw.pop_back();
            if (const auto err = decodeUtf8(raw, text)) {
                std::cerr << kProgram << ": line " << lineNo << ": not valid UTF-8 (byte " << err->byte
                          << ")\n";
                bad = true;
                continue;
            }
            const std::size_t tab = text.find(U'\t');
            if (tab == std::u32string::npos) {
                std::cerr << kProgram << ": line " << lineNo << ": no TAB between the two names\n";
                bad = true;
                continue;
            }
            const std::u32string_view self = std::u32string_view(text).substr(0, tab);
            const std::u32string_view partner = std::u32string_view(text).substr(tab + 1);
            // The program never computes with an empty name, so neither does its driver.
            if (self.empty() || partner.empty() || !rows.start(self, partner)) {
                std::cout << "refused\n";
                continue;
            }
            printRows(rows);
        } catch (const std::bad_alloc &) {
            std::cerr << kProgram << ": line " << lineNo << ": too long for the memory available\n";
            bad = true;
            // Give back what the line took, so the next ones have room.
            std::string().swap(raw);
            std::u32string().swap(text);
            rows = kanaroll::AishoRows();
        }
    }
    std::cout.flush();
    return bad ? 2 : 0;
}
