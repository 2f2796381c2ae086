#include "lists/namaecodec.h"

#include "lists/cp932.h"
#include "lists/namaetexts.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace kanaroll {

namespace namaecodec {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

} // namespace

void parseLine(QStringView line, bool terminated, QStringList &out)
{
    const qsizetype n = line.size();
    qsizetype pos = 0;
    for (;;) {
        while (pos < n && isBlank(line[pos]))
            ++pos;
        if (pos == n) {
            if (terminated)
                out.append(QString());
            return;
        }
        QString name;
        if (line[pos] == u'"') {
            // A missing closing quote ends at the line end, so one stray quote
            // cannot swallow the rest of the file.
            qsizetype close = line.indexOf(u'"', pos + 1);
            if (close < 0) {
                out.append(line.sliced(pos + 1).toString());
                return;
            }
            name = line.sliced(pos + 1, close - pos - 1).toString();
            pos = close + 1;
            // Text between the closing quote and the comma is kept, not lost;
            // blanks alone there are dropped.
            qsizetype end = line.indexOf(u',', pos);
            if (end < 0)
                end = n;
            QStringView rest = line.sliced(pos, end - pos);
            if (!std::all_of(rest.begin(), rest.end(), isBlank))
                name += rest;
            pos = end;
        } else {
            qsizetype end = line.indexOf(u',', pos);
            if (end < 0)
                end = n;
            name = line.sliced(pos, end - pos).toString();
            pos = end;
        }
        out.append(name);
        if (pos == n)
            return;
        ++pos; // the comma
    }
}

bool hasNonAscii(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

namespace {

bool looksJapanese(QStringView s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

struct Decoded {
    bool ok = false;
    QString text;
    NamaeEncoding encoding = NamaeEncoding::Cp932;
};

qsizetype pieceEnd(QByteArrayView bytes, qsizetype from, bool utf8)
{
    const qsizetype end = qMin(bytes.size(), from + kDecodePiece);
    if (end == bytes.size())
        return end;
    if (utf8) {
        qsizetype at = end;
        while (at > from + 1 && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80)
            --at;
        return at;
    }
    qsizetype at = from;
    while (at < end) {
        const auto b = static_cast<unsigned char>(bytes[at]);
        at += (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
    }
    return qMin(at, bytes.size());
}

template <typename Decoder>
QString decodeAll(Decoder &decoder, QByteArrayView bytes, bool utf8, Steps *steps)
{
    if (!steps || bytes.size() <= kDecodePiece)
        return decoder.decode(bytes);
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        if (!steps->tell(at))
            return QString();
        const qsizetype end = pieceEnd(bytes, at, utf8);
        text += decoder.decode(bytes.sliced(at, end - at));
        at = end;
    }
    return text;
}

// Text valid in both encodings: names in UTF-8 often also pass as code page
// 932 (two kana make three valid double-byte characters), while code page 932
// kana never pass as UTF-8. So UTF-8 wins when it yields Japanese text.
// A fresh decoder for every piece: the error flag survives resetState().
Decoded decode(QByteArrayView bytes, bool preferUtf8, Steps *steps = nullptr)
{
    Cp932Decoder cp932;
    QString sjis = decodeAll(cp932, bytes, false, steps);
    const bool sjisOk = !cp932.hasError() && !(steps && steps->stopped);
    if (sjisOk && !preferUtf8 && !hasNonAscii(bytes))
        return {true, sjis, NamaeEncoding::Cp932};
    // Checked first: decoding all of a long file that is not UTF-8 is slow.
    if (!bytes.isValidUtf8() || (steps && steps->stopped))
        return sjisOk ? Decoded{true, sjis, NamaeEncoding::Cp932} : Decoded{};
    QStringDecoder utf8(QStringConverter::Utf8, kStateless);
    QString text = decodeAll(utf8, bytes, true, steps);
    const bool utf8Ok = !utf8.hasError() && !(steps && steps->stopped);
    if (utf8Ok && (!sjisOk || preferUtf8 || looksJapanese(text)))
        return {true, text, NamaeEncoding::Utf8};
    if (sjisOk)
        return {true, sjis, NamaeEncoding::Cp932};
    return {};
}

} // namespace

qsizetype bomLength(QByteArrayView data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return 3;
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF"))
        return 2;
    return 0;
}

void decodeInto(QByteArrayView data, const QString &fileName, NamaeLoadResult &result, Steps *steps)
{
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        const bool le = data.front() == '\xFF';
        result.encoding = le ? NamaeEncoding::Utf16LE : NamaeEncoding::Utf16BE;
        data = data.sliced(2);
        if (data.size() % 2 != 0) { // half a character at the end
            result.damaged = true;
            data.chop(1);
        }
        QStringDecoder utf16(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, kStateless);
        QString text = utf16.decode(data);
        if (text.endsWith(u'\x1A'))
            text.chop(1);
        if (QStringView(text).isValidUtf16()) {
            result.names = NamaeListParse(text);
        } else { // lone surrogates: those lines are left out
            forEachLine(text, [&](QStringView line, bool terminated) {
                if (line.isValidUtf16())
                    parseLine(line, terminated, result.names);
                else
                    result.damaged = true;
            });
        }
        if (result.damaged)
            result.error = namaetext::damagedLines(fileName);
        return;
    }

    const bool bom = data.startsWith("\xEF\xBB\xBF");
    if (bom)
        data = data.sliced(3);
    if (data.endsWith('\x1A')) // an old end-of-file mark
        data.chop(1);

    Decoded whole = decode(data, bom, steps);
    if (steps && steps->stopped)
        return;
    if (whole.ok) {
        result.names = NamaeListParse(whole.text);
        result.encoding = whole.encoding;
        return;
    }

    // Neither encoding fits the whole file: decide line by line (a file
    // appended to from both sides), and leave out lines that fit neither.
    bool sawCp932 = false;
    bool sawUtf8 = false;
    forEachLine(data, [&](QByteArrayView line, bool terminated) {
        Decoded d = decode(line, bom);
        if (!d.ok) {
            result.damaged = true;
            return;
        }
        if (hasNonAscii(line))
            (d.encoding == NamaeEncoding::Utf8 ? sawUtf8 : sawCp932) = true;
        parseLine(d.text, terminated, result.names);
    });
    result.encoding = sawUtf8 ? (sawCp932 ? NamaeEncoding::Mixed : NamaeEncoding::Utf8) : NamaeEncoding::Cp932;
    if (result.damaged)
        result.error = namaetext::damagedLines(fileName);
}

QByteArray encodeText(const QString &text, NamaeEncoding encoding)
{
    switch (encoding) {
    case NamaeEncoding::Utf8:
        return text.toUtf8();
    case NamaeEncoding::Utf16LE:
    case NamaeEncoding::Utf16BE: {
        QStringEncoder utf16(encoding == NamaeEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                                 : QStringConverter::Utf16BE,
                             kStateless);
        return utf16.encode(text);
    }
    case NamaeEncoding::Cp932:
    case NamaeEncoding::Mixed:
        break;
    }
    Cp932Encoder cp932;
    return cp932.encode(text);
}

char16_t unitBefore(QByteArrayView bytes, qsizetype at, qsizetype start, NamaeEncoding encoding)
{
    const qsizetype width = isUtf16(encoding) ? 2 : 1;
    if (at - width < start)
        return 0;
    const auto b = [&](qsizetype i) { return char16_t(static_cast<unsigned char>(bytes[i])); };
    if (encoding == NamaeEncoding::Utf16LE)
        return char16_t(b(at - 2) | b(at - 1) << 8);
    if (encoding == NamaeEncoding::Utf16BE)
        return char16_t(b(at - 2) << 8 | b(at - 1));
    return b(at - 1);
}
NamaeEncoding appendEncoding(QByteArrayView bytes, NamaeEncoding guessed)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return NamaeEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return NamaeEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return NamaeEncoding::Utf16BE;
    return isUtf16(guessed) ? NamaeEncoding::Cp932 : guessed;
}
bool parsePiece(QByteArrayView piece, NamaeEncoding encoding, QStringList &names)
{
    if (piece.endsWith('\x1A')) // the old end-of-file mark, dropped at the end only
        piece.chop(1);
    const bool utf8 = piece.isValidUtf8();
    if (encoding == NamaeEncoding::Utf8 ? !utf8 : (utf8 && hasNonAscii(piece)))
        return false;
    QString text;
    if (encoding == NamaeEncoding::Utf8) {
        QStringDecoder decoder(QStringConverter::Utf8, kStateless);
        text = decoder.decode(piece);
        if (decoder.hasError())
            return false;
    } else {
        Cp932Decoder decoder;
        text = decoder.decode(piece);
        if (decoder.hasError())
            return false;
    }
    names = NamaeListParse(text);
    return true;
}

} // namespace namaecodec

using namespace namaecodec;

QStringList NamaeListParse(QStringView text)
{
    QStringList names;
    forEachLine(text, [&](QStringView line, bool terminated) { parseLine(line, terminated, names); });
    return names;
}

qsizetype cp932FirstUnheld(const QString &text)
{
    Cp932Encoder whole;
    const QByteArray bytes = whole.encode(text);
    if (!whole.hasError())
        return -1;
    // Rare: find the character for the message.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = characterAt(text, i).size();
        Cp932Encoder one;
        const QByteArray b = one.encode(QStringView(text).sliced(i, len));
        if (one.hasError())
            return i;
        i += len;
    }
    return 0;
}

bool isNameControl(QChar c)
{
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

QString withoutControls(QString name)
{
    name.removeIf(isNameControl);
    return name;
}

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n';
}

QString withoutLineBreaks(QString name)
{
    name.removeIf(isLineBreak);
    return name;
}

QString characterAt(const QString &text, qsizetype pos)
{
    if (pos < 0 || pos >= text.size())
        return QString();
    const bool pair = text[pos].isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate();
    return text.sliced(pos, pair ? 2 : 1);
}

} // namespace kanaroll
