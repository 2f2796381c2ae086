#include "lists/namaelist.h"

#include "lists/namaetexts.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Decodes in pieces, so that a long file can tell how far it is and be
// stopped. Pieces end where a character starts.
constexpr qsizetype kDecodePiece = qsizetype(4) << 20;

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

QString decodeAll(QStringDecoder &decoder, QByteArrayView bytes, bool utf8, Steps *steps)
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
    QStringDecoder cp932(kCp932, kStateless);
    Q_ASSERT(cp932.isValid());
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

QStringList NamaeListParse(QStringView text)
{
    QStringList names;
    forEachLine(text, [&](QStringView line, bool terminated) { parseLine(line, terminated, names); });
    return names;
}

namespace {

// One list file, open on a descriptor that is closed with it.
class ListFile
{
public:
    enum Status { Open, Missing, NotRegular, Failed, Busy };

    ListFile() = default;
    ListFile(const ListFile &) = delete;
    ListFile &operator=(const ListFile &) = delete;
    ~ListFile() { close(); }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    // Opens without blocking, since a fifo would wait for a writer, and keeps
    // the descriptor only for a regular file (checked on the descriptor, so a
    // swap after the check cannot slip through). Devices are turned away
    // before they are opened: opening some has effects of its own.
    Status open(const QString &fileName, int flags)
    {
        const QByteArray path = QFile::encodeName(fileName);
        struct stat st {};
        if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            return NotRegular;
        int fd;
        do
            fd = ::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            m_errno = errno;
            return m_errno == ENOENT ? Missing : Failed;
        }
        m_fd = fd;
        if (::fstat(fd, &st) != 0) {
            m_errno = errno;
            close();
            return Failed;
        }
        if (!S_ISREG(st.st_mode)) {
            const bool dir = S_ISDIR(st.st_mode);
            m_errno = EISDIR;
            close();
            return dir ? Failed : NotRegular;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return Open;
    }

    // Opens and takes the lock: exclusive for a change, shared for a read. The
    // lock is an open-file-description lock, so the kernel drops it when its
    // holder ends however it ends, and closing another descriptor of the
    // same file in this process does not. A change replaces the file with a
    // new one, so a lock had on a file that is no longer the one at the path
    // is let go and taken again on the new one.
    // Busy: another holder kept it past the deadline (the file stays open
    // when `readAnyway`, for a reader that would rather not wait longer).
    Status openLocked(const QString &fileName, int flags, bool exclusive, QDeadlineTimer deadline,
                      bool readAnyway = false)
    {
        for (;;) {
            const Status status = open(fileName, flags);
            if (status != Open)
                return status;
            if (!lock(exclusive, deadline)) {
                if (!readAnyway)
                    close();
                return Busy;
            }
            struct stat here {}, there {};
            if (::fstat(m_fd, &here) == 0 && ::stat(QFile::encodeName(fileName).constData(), &there) == 0
                && here.st_dev == there.st_dev && here.st_ino == there.st_ino)
                return Open;
            close();
        }
    }

    int fd() const { return m_fd; }
    QString reason() const { return QString::fromLocal8Bit(std::strerror(m_errno)); }

    enum ReadStatus { ReadOk, TooLarge, ReadFailed };
    // The whole file from its start, at most kNamaeListMaxBytes.
    ReadStatus readAll(QByteArray &out, Steps *steps = nullptr)
    {
        out.clear();
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return fail();
        if (st.st_size > kNamaeListMaxBytes)
            return TooLarge;
        // The file may grow while it is read; the cap holds all the same.
        out.resize(qsizetype(st.st_size) + 1);
        qsizetype have = 0;
        for (;;) {
            if (have == out.size()) {
                if (have > kNamaeListMaxBytes)
                    return TooLarge;
                out.resize(std::min<qsizetype>(have * 2 + 4096, kNamaeListMaxBytes + 1));
            }
            if (steps && !steps->tell(have))
                return ReadFailed;
            const ssize_t n = ::pread(m_fd, out.data() + have, size_t(qMin(out.size() - have, kDecodePiece)),
                                      off_t(have));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail();
            if (n == 0)
                break;
            have += n;
        }
        if (have > kNamaeListMaxBytes)
            return TooLarge;
        out.truncate(have);
        return ReadOk;
    }

    // Writes all of `bytes` at `at`; false with errno kept on a short write.
    bool writeAt(QByteArrayView bytes, qint64 at)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(m_fd, bytes.data() + done, size_t(bytes.size() - done), off_t(at + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_errno = n < 0 ? errno : EIO;
                return false;
            }
            done += n;
        }
        return true;
    }

    qint64 size()
    {
        struct stat st {};
        return ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : -1;
    }

private:
    bool lock(bool exclusive, QDeadlineTimer deadline)
    {
        struct flock fl {};
        fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        int pauseMs = 1;
        for (;;) {
            if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0)
                return true;
            if (errno == EINTR)
                continue;
            // A file system without locks: go on as the program always did.
            if (errno != EAGAIN && errno != EACCES)
                return true;
            const qint64 left = deadline.remainingTime();
            if (left == 0)
                return false;
            const qint64 ms = left < 0 ? pauseMs : std::min<qint64>(pauseMs, left);
            const timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
            ::nanosleep(&ts, nullptr);
            pauseMs = std::min(pauseMs * 2, 16);
        }
    }

    ReadStatus fail()
    {
        m_errno = errno;
        return ReadFailed;
    }

    int m_fd = -1;
    int m_errno = 0;
};

qsizetype bomLength(QByteArrayView data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return 3;
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF"))
        return 2;
    return 0;
}

bool isUtf16(NamaeEncoding e) { return e == NamaeEncoding::Utf16LE || e == NamaeEncoding::Utf16BE; }

// The file's text, decoded by its byte-order mark or by guessing between
// code page 932 and UTF-8.
void decodeInto(QByteArrayView data, const QString &fileName, NamaeLoadResult &result, Steps *steps = nullptr)
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

} // namespace

NamaeLoadResult NamaeListLoad(const QString &fileName, int lockWaitMs, const NamaeLoadProgress &progress)
{
    NamaeLoadResult result;
    ListFile file;
    QByteArray bytes;
    // Refused files start the list empty; those that are not plain files or
    // are too large are left alone for good.
    auto refuse = [&result](QString error, bool leftAlone) {
        result.ok = false;
        result.leftAlone = leftAlone;
        result.error = std::move(error);
        return result;
    };
    // A reader waits for a change under way, so as not to see half a line;
    // past the wait it reads what is there, since a rewrite is never torn.
    switch (file.openLocked(fileName, O_RDONLY, false, QDeadlineTimer(lockWaitMs), true)) {
    case ListFile::Missing:
        return result;
    case ListFile::NotRegular:
        return refuse(namaetext::notRegular(fileName), true);
    case ListFile::Failed:
        return refuse(namaetext::readFailed(fileName), false);
    case ListFile::Open:
    case ListFile::Busy:
        break;
    }
    // Reading and decoding, each counted by the file's bytes.
    Steps steps{&progress, 0, 2 * qMax<qint64>(1, file.size())};
    switch (file.readAll(bytes, &steps)) {
    case ListFile::TooLarge:
        return refuse(namaetext::tooLarge(fileName), true);
    case ListFile::ReadFailed:
        return refuse(steps.stopped ? QString() : namaetext::readFailed(fileName), false);
    case ListFile::ReadOk:
        break;
    }
    steps.base = bytes.size();
    decodeInto(bytes, fileName, result, &steps);
    if (steps.stopped)
        return refuse(QString(), false);
    steps.tell(bytes.size());
    result.bytes = bytes;
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

namespace {

// Why a change cannot go to this file, or an empty result when it can.
NamaeFileResult openFailed(const QString &fileName, const ListFile &file, ListFile::Status status)
{
    if (status == ListFile::NotRegular)
        return {false, namaetext::notRegular(fileName), QString()};
    if (status == ListFile::Busy)
        return {false, namaetext::lockBusy(fileName), QString()};
    return writeFailed(fileName, file.reason());
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
    QStringEncoder cp932(kCp932, kStateless);
    return cp932.encode(text);
}

// The code unit that ends `bytes` before `at`, or 0 when there is none.
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

// Appends one line to the open file whose whole content is `bytes`, in the
// file's own encoding; on failure the file is put back as it was. `written`
// gets the file's new content.
NamaeFileResult appendLine(ListFile &file, const QByteArray &bytes, const QString &fileName, const QString &name,
                           NamaeEncoding encoding, QByteArray &written)
{
    const qsizetype start = bomLength(bytes);
    qsizetype at = bytes.size();
    if (isUtf16(encoding) && (at - start) % 2 != 0)
        --at; // half a character cannot be kept; the new line would be out of step
    // An old end-of-file mark is written over; left in place, it would come
    // back as a name of its own.
    if (unitBefore(bytes, at, start, encoding) == 0x1A)
        at -= isUtf16(encoding) ? 2 : 1;
    const char16_t last = unitBefore(bytes, at, start, encoding);
    // A file whose last line lacks its line end would glue the new name to it.
    const bool glued = at > start && last != u'\n' && last != u'\r';
    const QByteArray line = encodeText(
        (glued ? QStringLiteral("\r\n") : QString()) + withoutLineBreaks(name) + QStringLiteral("\r\n"), encoding);
    if (!file.writeAt(line, at) || file.size() != at + line.size()) {
        const QString reason = file.reason();
        // No half line left behind, and what was written over comes back.
        if (::ftruncate(file.fd(), at) == 0)
            file.writeAt(QByteArrayView(bytes).sliced(at), at);
        return writeFailed(fileName, reason);
    }
    written = bytes.left(at) + line;
    return {};
}

// The byte-order mark decides; without one, the reading of the file.
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

// The file content for a list: one line per name in code page 932.
NamaeFileResult encodeList(const QString &fileName, const QStringList &names, QByteArray &bytes)
{
    QString text;
    qsizetype total = 0;
    for (const QString &name : names)
        total += name.size() + 2;
    text.reserve(total);
    for (const QString &name : names) {
        if (std::any_of(name.begin(), name.end(), isLineBreak))
            text += withoutLineBreaks(name);
        else
            text += name;
        text += u"\r\n";
    }
    QStringEncoder encoder(kCp932, kStateless);
    bytes = encoder.encode(text);
    if (encoder.hasError()) {
        for (const QString &name : names) {
            if (!cp932CanHold(withoutLineBreaks(name)))
                return unheld(fileName, name);
        }
    }
    return {};
}

// Replaces the file whole; called with the file locked and known to be a
// regular file (the replacement would otherwise go where a link to a device
// points).
NamaeFileResult replaceFile(const QString &fileName, const QByteArray &bytes)
{
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

// The file opened, locked for a change and read whole.
struct LockedList {
    ListFile file;
    QByteArray bytes;
    NamaeFileResult status; // not ok: the change cannot be made
};

void lockForChange(const QString &fileName, int lockWaitMs, LockedList &locked)
{
    const ListFile::Status status =
        locked.file.openLocked(fileName, O_RDWR | O_CREAT, true, QDeadlineTimer(lockWaitMs));
    if (status != ListFile::Open) {
        locked.status = openFailed(fileName, locked.file, status);
        return;
    }
    switch (locked.file.readAll(locked.bytes)) {
    case ListFile::TooLarge:
        locked.status = {false, namaetext::tooLarge(fileName), QString()};
        break;
    case ListFile::ReadFailed:
        locked.status = writeFailed(fileName, locked.file.reason());
        break;
    case ListFile::ReadOk:
        break;
    }
}

// The list the file holds now: the caller's own names while the file is
// still as the caller last saw it, so that one window alone behaves exactly
// as it always has; else the file read afresh.
NamaeLoadResult current(const QString &fileName, const QByteArray &bytes, const NamaeLoadResult &known)
{
    if (bytes == known.bytes)
        return known;
    NamaeLoadResult now;
    decodeInto(bytes, fileName, now);
    now.bytes = bytes;
    return now;
}

} // namespace

NamaeFileResult NamaeListAppend(const QString &fileName, const QString &name, NamaeEncoding fileEncoding)
{
    const QString bare = withoutLineBreaks(name);
    if (!name.isEmpty() && bare.isEmpty())
        return {}; // nothing but line breaks: nothing to add
    if (!cp932CanHold(bare))
        return unheld(fileName, name);
    LockedList locked;
    lockForChange(fileName, kNamaeLockWaitMs, locked);
    if (!locked.status)
        return locked.status;
    QByteArray written;
    return appendLine(locked.file, locked.bytes, fileName, name, appendEncoding(locked.bytes, fileEncoding), written);
}

NamaeFileResult NamaeListSave(const QString &fileName, const QStringList &names)
{
    QByteArray bytes;
    if (NamaeFileResult r = encodeList(fileName, names, bytes); !r)
        return r;
    ListFile file;
    const ListFile::Status status =
        file.openLocked(fileName, O_RDWR | O_CREAT, true, QDeadlineTimer(kNamaeLockWaitMs));
    if (status != ListFile::Open)
        return openFailed(fileName, file, status);
    return replaceFile(fileName, bytes);
}

NamaeChangeResult NamaeListAddName(const QString &fileName, const QString &given, const NamaeLoadResult &known,
                                   int lockWaitMs)
{
    NamaeChangeResult result;
    const QString name = withoutLineBreaks(given);
    if (name.isEmpty() && !given.isEmpty()) // nothing but line breaks: nothing to add
        return result;
    if (!cp932CanHold(name)) {
        result.file = unheld(fileName, name);
        return result;
    }
    LockedList locked;
    lockForChange(fileName, lockWaitMs, locked);
    if (!locked.status) {
        result.file = locked.status;
        return result;
    }
    result.now = current(fileName, locked.bytes, known);
    if (result.now.names.contains(name)) // added meanwhile from elsewhere
        return result;
    QByteArray written;
    result.file = appendLine(locked.file, locked.bytes, fileName, name,
                             appendEncoding(locked.bytes, result.now.encoding), written);
    if (!result.file)
        return result;
    result.changed = true;
    result.now.names.append(name);
    result.now.bytes = written;
    return result;
}

NamaeChangeResult NamaeListRemoveName(const QString &fileName, const QString &name, int row,
                                      const NamaeLoadResult &known, int lockWaitMs)
{
    NamaeChangeResult result;
    LockedList locked;
    lockForChange(fileName, lockWaitMs, locked);
    if (!locked.status) {
        result.file = locked.status;
        return result;
    }
    result.now = current(fileName, locked.bytes, known);
    QStringList &names = result.now.names;
    // The entry chosen where the file is as the caller saw it; else the
    // first of that name.
    qsizetype at = locked.bytes == known.bytes && row >= 0 && row < names.size() && names.at(row) == name
        ? row
        : names.indexOf(name);
    if (at < 0) // gone already
        return result;
    QStringList after = names;
    after.removeAt(at);
    // The list shows what the file now holds.
    for (QString &n : after) {
        if (std::any_of(n.begin(), n.end(), isLineBreak))
            n = withoutLineBreaks(std::move(n));
    }
    QByteArray bytes;
    result.file = encodeList(fileName, after, bytes);
    if (result.file)
        result.file = replaceFile(fileName, bytes);
    if (!result.file)
        return result;
    result.changed = true;
    result.now.names = std::move(after);
    result.now.bytes = bytes;
    result.now.encoding = NamaeEncoding::Cp932;
    result.now.damaged = false;
    return result;
}

NamaeChangeResult NamaeListRemoveAll(const QString &fileName, int lockWaitMs)
{
    NamaeChangeResult result;
    LockedList locked;
    lockForChange(fileName, lockWaitMs, locked);
    result.file = locked.status;
    if (result.file)
        result.file = replaceFile(fileName, QByteArray());
    result.changed = bool(result.file);
    return result;
}

namespace {

// The bytes at [at, at + size) of an open file; false when they are not all there.
bool readExactly(int fd, qint64 at, qsizetype size, QByteArray &out)
{
    out.resize(size);
    qsizetype have = 0;
    while (have < size) {
        const ssize_t n = ::pread(fd, out.data() + have, size_t(size - have), off_t(at + have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        have += n;
    }
    return true;
}

// Names a piece of a file gives, decoded alone in the file's encoding; false
// when it does not decode so, or the file as a whole might then be read in
// another encoding.
bool parsePiece(QByteArrayView piece, NamaeEncoding encoding, QStringList &names)
{
    if (piece.endsWith('\x1A')) // the old end-of-file mark, dropped at the end only
        piece.chop(1);
    const bool utf8 = piece.isValidUtf8();
    if (encoding == NamaeEncoding::Utf8 ? !utf8 : (utf8 && hasNonAscii(piece)))
        return false;
    QStringDecoder decoder(encoding == NamaeEncoding::Utf8 ? QStringDecoder(QStringConverter::Utf8, kStateless)
                                                           : QStringDecoder(kCp932, kStateless));
    const QString text = decoder.decode(piece);
    if (decoder.hasError())
        return false;
    names = NamaeListParse(text);
    return true;
}

} // namespace

bool NamaeListReadAppended(const QString &fileName, const NamaeFileStamp &knownStamp, const NamaeFileStamp &now,
                           NamaeEncoding encoding, QByteArray &bytes, QStringList &names)
{
    const qsizetype known = bytes.size();
    if (!knownStamp.exists || !now.exists || knownStamp.device != now.device || knownStamp.inode != now.inode
        || knownStamp.size != known || now.size <= known || now.size > kNamaeListMaxBytes
        || (encoding != NamaeEncoding::Cp932 && encoding != NamaeEncoding::Utf8))
        return false;
    // A line is complete at its LF, or at a CR with something after it
    // (an LF may yet come).
    qsizetype complete = known;
    while (complete > 0 && bytes[complete - 1] != '\n' && !(bytes[complete - 1] == '\r' && complete < known))
        --complete;
    constexpr qsizetype kReread = qsizetype(1) << 20;
    if (known - complete > kReread || (complete < 3 && bytes.startsWith("\xEF\xBB\xBF")))
        return false;

    ListFile file;
    switch (file.openLocked(fileName, O_RDONLY, false, QDeadlineTimer(200), true)) {
    case ListFile::Open:
    case ListFile::Busy:
        break;
    default:
        return false;
    }
    // The same bytes around the old start and end: the file was added to,
    // not rewritten in place.
    constexpr qsizetype kCheck = qsizetype(64) * 1024;
    const qsizetype headSize = qMin(kCheck, known);
    const qsizetype endAt = qMax<qsizetype>(0, known - kCheck);
    QByteArray head, end, added;
    if (!readExactly(file.fd(), 0, headSize, head) || head != QByteArrayView(bytes).first(headSize)
        || !readExactly(file.fd(), endAt, known - endAt, end) || end != QByteArrayView(bytes).sliced(endAt)
        || !readExactly(file.fd(), known, qsizetype(now.size - known), added))
        return false;

    QStringList before, after;
    const QByteArrayView oldTail = QByteArrayView(bytes).sliced(complete);
    if (!parsePiece(oldTail, encoding, before) || before.size() > names.size()
        || !parsePiece(oldTail.toByteArray() + added, encoding, after))
        return false;
    names.resize(names.size() - before.size());
    names += after;
    bytes += added;
    return true;
}

NamaeFileStamp NamaeFileStamp::of(const QString &fileName)
{
    NamaeFileStamp stamp;
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

} // namespace kanaroll
