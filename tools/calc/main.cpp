// kanaroll-calc: reads "SELF<TAB>PARTNER" lines of UTF-8 on standard input and
// writes, for each, the rows of the digit triangle and the percentage, or
// "refused". Rows are made and written one at a time, so a long line needs
// memory for one row, not the triangle. Bad lines, and lines too large for the
// memory at hand, are reported on standard error, get no output line and make
// the exit status 2; the lines after them are answered all the same. A last
// line without its newline was cut off on the way, so it is reported and not
// answered. Input that cannot be read ends it with status 2, output that
// cannot be written (a reader that went away included) with status 1.

#include "engine/aisho.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <csignal>

#include <unistd.h>

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

// Standard output through write(2), keeping the reason of a failed write:
// the stream library only says that one failed.
class FdOut : public std::streambuf
{
public:
    FdOut() { setp(m_buf, m_buf + sizeof m_buf); }
    int error() const { return m_error; }

protected:
    int_type overflow(int_type c) override
    {
        if (sync() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override
    {
        const char *p = pbase();
        while (m_error == 0 && p < pptr()) {
            const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<std::size_t>(pptr() - p));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                m_error = n < 0 ? errno : EIO;
            else
                p += n;
        }
        setp(m_buf, m_buf + sizeof m_buf);
        return m_error == 0 ? 0 : -1;
    }

private:
    char m_buf[1 << 16];
    int m_error = 0;
};

// Standard output failed (a full disk, a closed descriptor): saying nothing
// would pass off a cut answer as a whole one.
int writeError(const FdOut &out)
{
    std::cerr << kProgram << ": write error: " << std::strerror(out.error() != 0 ? out.error() : EIO) << '\n';
    return 1;
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
           << "and no output line; the exit status is then 2. So does a last line cut off\n"
           << "before its newline, and an unknown argument. Input that cannot be read ends\n"
           << "the run with status 2; output that cannot be written, or a reader that closes\n"
           << "the pipe early, ends it with status 1.\n";
        return &os == &std::cout ? 0 : 2;
    }

    // A reader that goes away is a write error like any other: status 1 and
    // a message, never a death by signal that a script cannot tell apart.
    std::signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);
    FdOut out;
    struct Restore { // before `out` goes
        std::streambuf *old;
        ~Restore() { std::cout.rdbuf(old); }
    } restore{std::cout.rdbuf(&out)};
    // A read error throws, so that it is told apart from a line that outgrew
    // the memory and is not retried for ever.
    std::cin.exceptions(std::ios::badbit);
    bool bad = false;
    std::string raw;
    std::u32string text;
    kanaroll::AishoRows rows;
    try {
        for (std::size_t lineNo = 1;; ++lineNo) {
            try {
                try {
                    if (!std::getline(std::cin, raw))
                        break;
                } catch (const std::bad_alloc &) {
                    // The line outgrew the memory: drop the rest of it and go on.
                    std::cin.clear();
                    std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
                    throw;
                }
                // getline stops at the end of input without a newline: the
                // line may be half a pair, so it is not answered as one.
                if (std::cin.eof()) {
                    std::cerr << kProgram << ": line " << lineNo << ": cut off, no newline at the end\n";
                    bad = true;
                    break;
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
                if (self.empty() || partner.empty() || !rows.start(self, partner))
                    std::cout << "refused\n";
                else
                    printRows(rows);
                if (!std::cout)
                    return writeError(out);
            } catch (const std::bad_alloc &) {
                std::cerr << kProgram << ": line " << lineNo << ": too long for the memory available\n";
                bad = true;
                // Give back what the line took, so the next ones have room.
                std::string().swap(raw);
                std::u32string().swap(text);
                rows = kanaroll::AishoRows();
            }
        }
    } catch (const std::ios_base::failure &e) {
        const int err = e.code().category() == std::system_category() ? e.code().value() : errno;
        std::cerr << kProgram << ": cannot read standard input: " << std::strerror(err != 0 ? err : EIO) << '\n';
        bad = true;
    }
    if (!std::cout.flush())
        return writeError(out);
    return bad ? 2 : 0;
}
