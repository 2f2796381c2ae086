#include "lists/namaelist.h"

#include "lists/namaetexts.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace kanaroll {

namespace {

constexpr auto kCp932 = "windows-31j";
constexpr auto kStateless = QStringConverter::Flag::Stateless;

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// One line, without its line end. `terminated` is false only for text after
// the last line end: a field there that is empty gives no name.
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

bool hasNonAscii(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

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

// Text valid in both encodings: names in UTF-8 often also pass as code page
// 932 (two kana make three valid double-byte characters), while code page 932
// kana never pass as UTF-8. So UTF-8 wins when it yields Japanese text.
// A fresh decoder for every piece: the error flag survives resetState().
Decoded decode(QByteArrayView bytes, bool preferUtf8)
{
    QStringDecoder cp932(kCp932, kStateless);
    Q_ASSERT(cp932.isValid());
    QString sjis = cp932.decode(bytes);
    const bool sjisOk = !cp932.hasError();
    if (sjisOk && !preferUtf8 && !hasNonAscii(bytes))
        return {true, sjis, NamaeEncoding::Cp932};
    QStringDecoder utf8(QStringConverter::Utf8, kStateless);
    QString text = utf8.decode(bytes);
    const bool utf8Ok = !utf8.hasError();
    if (utf8Ok && (!sjisOk || preferUtf8 || looksJapanese(text)))
        return {true, text, NamaeEncoding::Utf8};
    if (sjisOk)
        return {true, sjis, NamaeEncoding::Cp932};
    return {};
}

} // namespace

QStringList NamaeListParse(QStringView text)
{
    QStringList names;
    forEachLine(text, [&](QStringView line, bool terminated) { parseLine(line, terminated, names); });
    return names;
}

NamaeLoadResult NamaeListLoad(const QString &fileName)
{
    NamaeLoadResult result;
    QFile file(fileName);
    if (!file.exists())
        return result;
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        result.ok = false;
        result.error = namaetext::readFailed(fileName);
        return result;
    }
    file.close();

    QByteArrayView data(bytes);
    const bool bom = data.startsWith("\xEF\xBB\xBF");
    if (bom)
        data = data.sliced(3);
    if (data.endsWith('\x1A')) // an old end-of-file mark
        data.chop(1);

    Decoded whole = decode(data, bom);
    if (whole.ok) {
        result.names = NamaeListParse(whole.text);
        result.encoding = whole.encoding;
        return result;
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
    return result;
}

qsizetype cp932FirstUnheld(const QString &text)
{
    // encode() converts lazily: the result must be taken for the error to show.
    QStringEncoder whole(kCp932, kStateless);
    const QByteArray bytes = whole.encode(text);
    if (!whole.hasError())
        return -1;
    // Rare: find the character for the message.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = characterAt(text, i).size();
        QStringEncoder one(kCp932, kStateless);
        const QByteArray b = one.encode(QStringView(text).sliced(i, len));
        if (one.hasError())
            return i;
        i += len;
    }
    return 0;
}

QString characterAt(const QString &text, qsizetype pos)
{
    if (pos < 0 || pos >= text.size())
        return QString();
    const bool pair = text[pos].isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate();
    return text.sliced(pos, pair ? 2 : 1);
}

namespace {

NamaeFileResult unheld(const QString &fileName, const QString &name)
{
    return {false, namaetext::unheldChar(name, characterAt(name, cp932FirstUnheld(name)), fileName), QString()};
}

NamaeFileResult writeFailed(const QString &fileName, const QString &reason)
{
    return {false, namaetext::writeFailed(fileName), reason};
}

} // namespace

NamaeFileResult NamaeListAppend(const QString &fileName, const QString &name, NamaeEncoding fileEncoding)
{
    QStringEncoder encoder(kCp932, kStateless);
    QByteArray line = encoder.encode(name);
    if (encoder.hasError())
        return unheld(fileName, name);
    if (fileEncoding == NamaeEncoding::Utf8)
        line = name.toUtf8();
    line += "\r\n";

    QFile file(fileName);
    // Unbuffered, so that a failed write leaves nothing pending that could
    // reach the file after it has been cut back.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return writeFailed(fileName, file.errorString());
    const qint64 oldSize = file.size();
    qint64 at = oldSize;
    char last = 0;
    if (at > 0 && (!file.seek(at - 1) || !file.getChar(&last)))
        return writeFailed(fileName, file.errorString());
    // An old end-of-file mark is written over; left in place, it would come
    // back as a name of its own.
    if (last == '\x1A') {
        --at;
        last = 0;
        if (at > 0 && (!file.seek(at - 1) || !file.getChar(&last)))
            return writeFailed(fileName, file.errorString());
    }
    // A file whose last line lacks its line end would glue the new name to it.
    if (at > 0 && last != '\n' && last != '\r')
        line.prepend("\r\n");
    if (!file.seek(at) || file.write(line) != line.size() || file.size() != at + line.size()) {
        const QString reason = file.errorString();
        file.unsetError();
        file.resize(oldSize); // no half line left behind
        return writeFailed(fileName, reason);
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return writeFailed(fileName, file.errorString());
    return {};
}

NamaeFileResult NamaeListSave(const QString &fileName, const QStringList &names)
{
    QString text;
    qsizetype total = 0;
    for (const QString &name : names)
        total += name.size() + 2;
    text.reserve(total);
    for (const QString &name : names) {
        text += name;
        text += u"\r\n";
    }
    QStringEncoder encoder(kCp932, kStateless);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        for (const QString &name : names) {
            if (!cp932CanHold(name))
                return unheld(fileName, name);
        }
    }

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return writeFailed(fileName, file.errorString());
    // commit() overlooks a failure of its own final flush (a full disk), so
    // flush and check the length first; an uncommitted file is discarded.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.size() != bytes.size())
        return writeFailed(fileName, file.errorString());
    if (!file.commit())
        return writeFailed(fileName, file.errorString());
    return {};
}

} // namespace kanaroll
