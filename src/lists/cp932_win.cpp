// Code page 932 through the system's own converter. Unmappable characters
// and invalid bytes are refused, never replaced: MB_ERR_INVALID_CHARS on the
// way in, WC_NO_BEST_FIT_CHARS with the used-default flag on the way out.

#include "lists/cp932.h"

#include <windows.h>

#include <climits>

namespace kanaroll {

namespace {

constexpr UINT kCodePage = 932;
// The system calls count in int; longer texts go in pieces of this size.
constexpr qsizetype kPiece = qsizetype(1) << 28;

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool decodePiece(QByteArrayView bytes, QString &out)
{
    const int in = int(bytes.size());
    const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), in, nullptr, 0);
    if (n <= 0)
        return false;
    const qsizetype at = out.size();
    out.resize(at + n);
    return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), in,
                               reinterpret_cast<wchar_t *>(out.data() + at), n) == n;
}

bool encodePiece(QStringView text, QByteArray &out)
{
    const int in = int(text.size());
    const auto *src = reinterpret_cast<const wchar_t *>(text.utf16());
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, src, in, nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    const qsizetype at = out.size();
    out.resize(at + n);
    usedDefault = FALSE;
    return WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, src, in, out.data() + at, n, nullptr, &usedDefault) == n
           && !usedDefault;
}

} // namespace

struct Cp932Encoder::State {};
struct Cp932Decoder::State {};

Cp932Encoder::Cp932Encoder() = default;
Cp932Encoder::~Cp932Encoder() = default;

QByteArray Cp932Encoder::encode(QStringView text)
{
    QByteArray bytes;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype len = qMin(kPiece, text.size() - at);
        // A surrogate pair stays in one piece.
        if (at + len < text.size() && text[at + len - 1].isHighSurrogate())
            --len;
        if (!encodePiece(text.sliced(at, len), bytes)) {
            m_error = true;
            return QByteArray();
        }
        at += len;
    }
    return bytes;
}

Cp932Decoder::Cp932Decoder() = default;
Cp932Decoder::~Cp932Decoder() = default;

QString Cp932Decoder::decode(QByteArrayView bytes)
{
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = at;
        const qsizetype limit = qMin(bytes.size(), at + kPiece);
        while (end < limit)
            end += isLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        end = qMin(end, bytes.size());
        if (!decodePiece(bytes.sliced(at, end - at), text)) {
            m_error = true;
            return QString();
        }
        at = end;
    }
    return text;
}

} // namespace kanaroll
