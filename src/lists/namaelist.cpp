#include "lists/namaelist.h"

#include "lists/cp932.h"
#include "lists/namaecodec.h"
#include "lists/namaefile.h"
#include "lists/namaetexts.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace kanaroll {

using namespace namaecodec;

namespace {

// Only the first kNamaeListMaxNames names are listed; the file keeps the rest
// until the list is rewritten.
void capNames(NamaeLoadResult &result)
{
    if (result.names.size() <= kNamaeListMaxNames)
        return;
    result.names.resize(kNamaeListMaxNames);
    result.capped = true;
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
    switch (file.openLocked(fileName, ListFile::Read, QDeadlineTimer(lockWaitMs), true)) {
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
    capNames(result);
    if (steps.stopped)
        return refuse(QString(), false);
    steps.tell(bytes.size());
    result.bytes = bytes;
    return result;
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

// Replaces the file whole; called with the file locked and known to be a
// regular file.
NamaeFileResult replaceFile(const QString &fileName, const QByteArray &bytes)
{
    QString reason;
    if (!ListFile::replace(fileName, bytes, reason))
        return writeFailed(fileName, reason);
    return {};
}

// Why a change cannot go to this file, or an empty result when it can.
NamaeFileResult openFailed(const QString &fileName, const ListFile &file, ListFile::Status status)
{
    if (status == ListFile::NotRegular)
        return {false, namaetext::notRegular(fileName), QString()};
    if (status == ListFile::Busy)
        return {false, namaetext::lockBusy(fileName), QString()};
    return writeFailed(fileName, file.reason());
}
// Appends one line to the open file whose whole content is `bytes`, in the
// file's own encoding; on failure the file is put back as it was. `written`
// gets the file's new content, built from `bytes` (left empty).
NamaeFileResult appendLine(ListFile &file, QByteArray &bytes, const QString &fileName, const QString &name,
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
        if (file.truncate(at))
            file.writeAt(QByteArrayView(bytes).sliced(at), at);
        return writeFailed(fileName, reason);
    }
    // Built in place where nothing else holds the bytes: a large file is
    // not copied for one line.
    bytes.truncate(at);
    bytes.append(line);
    written = std::move(bytes);
    return {};
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
    Cp932Encoder encoder;
    bytes = encoder.encode(text);
    if (encoder.hasError()) {
        for (const QString &name : names) {
            if (!cp932CanHold(withoutLineBreaks(name)))
                return unheld(fileName, name);
        }
    }
    return {};
}
// The file opened, locked for a change and read whole, or found to hold
// what the caller knows (then nothing is read).
struct LockedList {
    ListFile file;
    QByteArray bytes;
    bool asKnown = false;
    NamaeFileResult status; // not ok: the change cannot be made
};

// Only told, never stopped: the pieces let the caller keep its window painted.
struct Pacing {
    explicit Pacing(const NamaeLoadProgress &pace) : told(pace ? [&pace](qint64 done, qint64 total) {
        pace(done, total);
        return true;
    } : NamaeLoadProgress()), steps{&told, 0, 0} {}
    NamaeLoadProgress told;
    Steps steps;
};

// Equal, compared a piece at a time.
bool sameBytes(QByteArrayView a, QByteArrayView b, Steps &steps)
{
    if (a.size() != b.size())
        return false;
    constexpr qsizetype kPiece = qsizetype(4) << 20;
    for (qsizetype at = 0; at < a.size(); at += kPiece) {
        steps.tell(at);
        const qsizetype n = qMin(kPiece, a.size() - at);
        if (a.sliced(at, n) != b.sliced(at, n))
            return false;
    }
    return true;
}

// Whether the open file holds exactly `bytes`, read a piece at a time into
// one small buffer: a long file that is as known is neither read whole nor
// held twice.
bool fileHolds(ListFile &file, QByteArrayView bytes, Steps *steps)
{
    if (file.size() != bytes.size())
        return false;
    constexpr qsizetype kPiece = qsizetype(64) << 10;
    QByteArray piece;
    for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
        if (steps)
            steps->tell(at);
        const qsizetype n = qMin(kPiece, bytes.size() - at);
        if (!file.readAt(at, n, piece) || QByteArrayView(piece) != bytes.sliced(at, n))
            return false;
    }
    return file.size() == bytes.size(); // nothing added meanwhile
}

void lockForChange(const QString &fileName, int lockWaitMs, LockedList &locked, Steps *steps = nullptr,
                   const QByteArray *known = nullptr)
{
    const ListFile::Status status =
        locked.file.openLocked(fileName, ListFile::Change, QDeadlineTimer(lockWaitMs));
    if (status != ListFile::Open) {
        locked.status = openFailed(fileName, locked.file, status);
        return;
    }
    if (steps)
        steps->total = 2 * qMax<qint64>(1, locked.file.size());
    if (known && !known->isEmpty() && fileHolds(locked.file, *known, steps)) {
        locked.asKnown = true;
        return;
    }
    switch (locked.file.readAll(locked.bytes, steps)) {
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
NamaeLoadResult current(const QString &fileName, const QByteArray &bytes, const NamaeLoadResult &known,
                        Steps &steps)
{
    steps.base = bytes.size();
    if (sameBytes(bytes, known.bytes, steps))
        return known;
    NamaeLoadResult now;
    decodeInto(bytes, fileName, now, &steps);
    capNames(now);
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
        file.openLocked(fileName, ListFile::Change, QDeadlineTimer(kNamaeLockWaitMs));
    if (status != ListFile::Open)
        return openFailed(fileName, file, status);
    return replaceFile(fileName, bytes);
}

namespace {

NamaeChangeResult addName(const QString &fileName, const QString &given, NamaeLoadResult &known, int lockWaitMs,
                          const NamaeLoadProgress &pace, bool namesToCaller)
{
    Pacing pacing(pace);
    NamaeChangeResult result;
    const QString name = withoutLineBreaks(given);
    if (name.isEmpty() && !given.isEmpty()) // nothing but line breaks: nothing to add
        return result;
    LockedList locked;
    lockForChange(fileName, lockWaitMs, locked, &pacing.steps, &known.bytes);
    if (!locked.status) {
        result.file = locked.status;
        return result;
    }
    const bool asKnown = locked.asKnown;
    if (asKnown) {
        // Taken from the caller, so that the line is added to them in place.
        locked.bytes = std::move(known.bytes);
        result.now.names = known.names;
        result.now.encoding = known.encoding;
        result.now.bytes = locked.bytes;
    } else {
        result.now = current(fileName, locked.bytes, known, pacing.steps);
    }
    result.seen = true;
    if (result.now.names.contains(name)) // there already, maybe put there from elsewhere
        return result;
    if (result.now.names.size() >= kNamaeListMaxNames) {
        result.file = {false, namaetext::listFull(fileName), QString()};
        return result;
    }
    if (!cp932CanHold(name)) {
        result.file = unheld(fileName, name);
        result.unheld = true;
        return result;
    }
    QByteArray written;
    const NamaeEncoding encoding = appendEncoding(locked.bytes, result.now.encoding);
    result.now.bytes.clear(); // replaced below, and not shared meanwhile
    QByteArray read = std::move(locked.bytes);
    result.file = appendLine(locked.file, read, fileName, name, encoding, written);
    if (!result.file)
        result.now.bytes = std::move(read); // the file put back as it was
    if (!result.file)
        return result;
    result.changed = true;
    result.stamp = NamaeFileStamp::of(fileName);
    if (namesToCaller && asKnown)
        result.appended = name;
    else
        result.now.names.append(name);
    result.now.bytes = std::move(written);
    return result;
}

} // namespace

NamaeChangeResult NamaeListAddName(const QString &fileName, const QString &name, const NamaeLoadResult &known,
                                   int lockWaitMs, const NamaeLoadProgress &pace)
{
    NamaeLoadResult k = known;
    return addName(fileName, name, k, lockWaitMs, pace, false);
}

NamaeChangeResult NamaeListAddNameToKnown(const QString &fileName, const QString &name, NamaeLoadResult &known,
                                          int lockWaitMs, const NamaeLoadProgress &pace)
{
    return addName(fileName, name, known, lockWaitMs, pace, true);
}

NamaeChangeResult NamaeListRemoveName(const QString &fileName, const QString &name, int row,
                                      const NamaeLoadResult &known, int lockWaitMs, const NamaeLoadProgress &pace)
{
    NamaeChangeResult result;
    Pacing pacing(pace);
    LockedList locked;
    lockForChange(fileName, lockWaitMs, locked, &pacing.steps);
    if (!locked.status) {
        result.file = locked.status;
        return result;
    }
    result.now = current(fileName, locked.bytes, known, pacing.steps);
    result.seen = true;
    QStringList &names = result.now.names;
    // The entry chosen where the file is as the caller saw it; else the
    // first of that name.
    qsizetype at = result.now.bytes.constData() == known.bytes.constData() && row >= 0 && row < names.size() && names.at(row) == name
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
    result.stamp = NamaeFileStamp::of(fileName);
    result.now.names = std::move(after);
    result.now.bytes = bytes;
    result.now.encoding = NamaeEncoding::Cp932;
    result.now.damaged = false;
    return result;
}

NamaeChangeResult NamaeListRemoveAll(const QString &fileName, int lockWaitMs, const NamaeLoadProgress &pace)
{
    NamaeChangeResult result;
    Pacing pacing(pace);
    LockedList locked;
    lockForChange(fileName, lockWaitMs, locked, &pacing.steps);
    result.file = locked.status;
    if (result.file)
        result.file = replaceFile(fileName, QByteArray());
    result.changed = bool(result.file);
    result.seen = result.changed;
    if (result.changed)
        result.stamp = NamaeFileStamp::of(fileName);
    return result;
}
bool NamaeListReadAppended(const QString &fileName, const NamaeFileStamp &knownStamp, const NamaeFileStamp &now,
                           NamaeEncoding encoding, QByteArray &bytes, QStringList &names,
                           const NamaeLoadProgress &pace)
{
    Pacing pacing(pace);
    const qsizetype known = bytes.size();
    if (!knownStamp.exists || !now.exists || knownStamp.device != now.device || knownStamp.inode != now.inode
        || knownStamp.size != known || now.size < known || now.size > kNamaeListMaxBytes
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
    switch (file.openLocked(fileName, ListFile::Read, QDeadlineTimer(200), true)) {
    case ListFile::Open:
    case ListFile::Busy:
        break;
    default:
        return false;
    }
    // Every known byte still as it was: the file was added to, not changed
    // in place, wherever in it that happened. Read in pieces, so that a
    // large file is not held twice.
    constexpr qsizetype kPiece = qsizetype(1) << 20;
    QByteArray piece, added;
    for (qsizetype at = 0; at < known; at += kPiece) {
        pacing.steps.tell(at);
        const qsizetype size = qMin(kPiece, known - at);
        if (!file.readAt(at, size, piece) || piece != QByteArrayView(bytes).sliced(at, size))
            return false;
    }
    if (!file.readAt(known, qsizetype(now.size - known), added))
        return false;

    QStringList before, after;
    const QByteArrayView oldTail = QByteArrayView(bytes).sliced(complete);
    if (!parsePiece(oldTail, encoding, before) || before.size() > names.size()
        || !parsePiece(oldTail.toByteArray() + added, encoding, after))
        return false;
    // Past the bound the file is read whole, so that the list is cut as at a load.
    if (names.size() - before.size() + after.size() > kNamaeListMaxNames)
        return false;
    names.resize(names.size() - before.size());
    names += after;
    bytes += added;
    return true;
}

} // namespace kanaroll
