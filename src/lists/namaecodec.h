#pragma once

// How list files are written as text and read back: code page 932, UTF-8
// and UTF-16, the line ends and the quoting of the reading rules. Used by
// the list operations only; nothing here touches a file.

#include "lists/namaelist.h"

#include <QByteArrayView>
#include <QStringConverter>
#include <QStringList>
#include <QStringView>

namespace kanaroll::namaecodec {

inline constexpr auto kStateless = QStringConverter::Flag::Stateless;

// Long files are read and decoded in pieces of this size, so that the read
// can tell how far it is and be stopped.
inline constexpr qsizetype kDecodePiece = qsizetype(4) << 20;

// How far a long read has come; once the listener says stop, it stays stopped.
struct Steps {
    const NamaeLoadProgress *progress = nullptr;
    qint64 base = 0;  // done before this step
    qint64 total = 0;
    bool stopped = false;
    bool tell(qint64 done)
    {
        if (!stopped && progress && *progress && !(*progress)(base + done, total))
            stopped = true;
        return !stopped;
    }
};

// One line, without its line end. `terminated` is false only for text after
// the last line end: a field there that is empty gives no name.
void parseLine(QStringView line, bool terminated, QStringList &out);

// Calls f(line, terminated) for every line; CR LF, a lone CR and a lone LF
// each end a line.
template <typename Text, typename F>
void forEachLine(const Text &text, F &&f)
{
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        f(text.sliced(start, i - start), true);
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        f(text.sliced(start), false);
}

bool hasNonAscii(QByteArrayView bytes);
qsizetype bomLength(QByteArrayView data);
inline bool isUtf16(NamaeEncoding e) { return e == NamaeEncoding::Utf16LE || e == NamaeEncoding::Utf16BE; }

// The file's text, decoded by its byte-order mark or by guessing between
// code page 932 and UTF-8, into names, encoding and damage of `result`.
void decodeInto(QByteArrayView data, const QString &fileName, NamaeLoadResult &result, Steps *steps = nullptr);

// Names a piece of a file gives, decoded alone in the file's encoding; false
// when it does not decode so, or the file as a whole might then be read in
// another encoding.
bool parsePiece(QByteArrayView piece, NamaeEncoding encoding, QStringList &names);

QByteArray encodeText(const QString &text, NamaeEncoding encoding);

// The code unit that ends `bytes` before `at`, or 0 when there is none.
char16_t unitBefore(QByteArrayView bytes, qsizetype at, qsizetype start, NamaeEncoding encoding);

// The encoding a new line is written in: the byte-order mark decides;
// without one, the reading of the file.
NamaeEncoding appendEncoding(QByteArrayView bytes, NamaeEncoding guessed);

} // namespace kanaroll::namaecodec
