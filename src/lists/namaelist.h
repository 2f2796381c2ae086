#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kanaroll {

// How a list file was decoded. Rewrites always store Cp932; Utf8 means a
// modern editor saved it, Mixed that lines of both kinds were found, Utf16LE
// and Utf16BE a file with that byte-order mark ("Unicode" in Windows editors).
enum class NamaeEncoding { Cp932, Utf8, Mixed, Utf16LE, Utf16BE };

// A list file larger than this is refused, unread: far beyond any real list
// (32,767 names), and small enough to hold in memory.
inline constexpr qint64 kNamaeListMaxBytes = qint64(256) * 1024 * 1024;

// A list holds at most this many names: the counts of the design are 16-bit.
inline constexpr qsizetype kNamaeListMaxNames = 32767;

struct NamaeLoadResult {
    QStringList names;
    bool ok = true;         // false when the file exists but cannot be read
    bool leftAlone = false; // not a regular file, or too large: neither read nor ever written through
    bool damaged = false;   // lines that decode in no encoding were left out
    bool capped = false;    // names past kNamaeListMaxNames were left out of the list (not of the file)
    NamaeEncoding encoding = NamaeEncoding::Cp932;
    QString error;          // first sentence for the warning box, naming the file
    QByteArray bytes;       // the file as read, to tell later whether it changed
};

struct NamaeFileResult {
    bool ok = true;
    QString error;  // first sentence for the warning box, naming the file
    QString detail; // the system's reason, untranslated; not for the box
    explicit operator bool() const { return ok; }
};

// How long a change waits for another window's change of the same file.
inline constexpr int kNamaeLockWaitMs = 2000;

// Told how far a long read has come (parts of `total`); returning false
// stops it, and the load then gives a result that is not ok.
using NamaeLoadProgress = std::function<bool(qint64 done, qint64 total)>;

// A missing file is an empty list and no error. Only a regular file is read;
// a fifo or a device is refused without waiting on it. A change under way
// elsewhere is waited for up to `lockWaitMs`.
NamaeLoadResult NamaeListLoad(const QString &fileName, int lockWaitMs = kNamaeLockWaitMs,
                              const NamaeLoadProgress &progress = {});

// Adds one line (name + CR LF) at the end, creating the file when missing.
// The line is written in the file's own encoding, so that a file a modern
// editor saved in UTF-8 stays readable as a whole; a name code page 932
// cannot hold is refused either way. A byte-order mark in the file decides
// over `fileEncoding`. On failure the file is cut back to its old length.
// Only a regular file is written to.
NamaeFileResult NamaeListAppend(const QString &fileName, const QString &name,
                                NamaeEncoding fileEncoding = NamaeEncoding::Cp932);

// Replaces the whole file with one line per name; the old file stays as it
// was unless the new one was written completely.
NamaeFileResult NamaeListSave(const QString &fileName, const QStringList &names);

// Enough of a file's status to tell cheaply that it has not changed.
struct NamaeFileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modified = 0; // nanoseconds
    qint64 changed = 0;
    static NamaeFileStamp of(const QString &fileName);
    bool operator==(const NamaeFileStamp &) const = default;
};

// One change of a list file, made while holding the file's lock: the file is
// read as it stands, the one change applied to it and the file written, so
// that two windows on one folder never lose each other's changes. `known` is
// what the caller last read or wrote (bytes) and the names it shows for it:
// while the file is still as known, those names are changed, exactly as one
// window alone always did. Not had within `lockWaitMs`, the lock gives a
// failure and nothing is changed. A name is looked for in the file as it
// now is, before it is refused for the bound or a character.
struct NamaeChangeResult {
    NamaeFileResult file;  // not ok: nothing changed
    bool changed = false;  // false: the name was there by now, or the entry gone already
    bool seen = false;     // the file was read: `now` is what it holds, also when refused
    bool unheld = false;   // refused for a character code page 932 cannot hold
    NamaeLoadResult now;   // the list as the file now holds it, with its bytes
    // Set by NamaeListAddNameToKnown where the file was as known: the name
    // now at its end, left out of `now.names`, which are the known names.
    QString appended;
    // The file's status once changed, taken under the lock. A program that
    // ignores the lock may have written in between, so it proves nothing of
    // the content until a comparison has confirmed it.
    NamaeFileStamp stamp;
    explicit operator bool() const { return file.ok; }
};
// `pace` is called between the pieces of a long read or comparison (its
// answer is not asked for: a change, once begun, is finished).
NamaeChangeResult NamaeListAddName(const QString &fileName, const QString &name, const NamaeLoadResult &known,
                                   int lockWaitMs = kNamaeLockWaitMs, const NamaeLoadProgress &pace = {});
// The same for a caller that holds the known names, so that a long list is
// neither read whole nor copied for one name. Where the file still holds
// `known`, its bytes are taken and the line added to them in place, and the
// name comes back as `appended`, for the caller to put after its own names.
NamaeChangeResult NamaeListAddNameToKnown(const QString &fileName, const QString &name, NamaeLoadResult &known,
                                          int lockWaitMs = kNamaeLockWaitMs, const NamaeLoadProgress &pace = {});
// Removes the entry at `row` of the known names, or where the file has
// changed, the first entry of that name.
NamaeChangeResult NamaeListRemoveName(const QString &fileName, const QString &name, int row,
                                      const NamaeLoadResult &known, int lockWaitMs = kNamaeLockWaitMs,
                                      const NamaeLoadProgress &pace = {});
NamaeChangeResult NamaeListRemoveAll(const QString &fileName, int lockWaitMs = kNamaeLockWaitMs,
                                     const NamaeLoadProgress &pace = {});

// What another program appended to a list file since it was read, read
// alone: when the file is the same one (`knownStamp` was taken before that
// read, `now` just now), only grew or kept its size, and still holds every
// known byte as it was (read again and compared, so a line changed in place
// anywhere is seen). A last line that lacked its line end is read again
// with what follows it. `bytes` grows by the new bytes and the names of the
// new lines replace those of that last line in `names`. False, with nothing
// changed, when the file must be read whole.
bool NamaeListReadAppended(const QString &fileName, const NamaeFileStamp &knownStamp, const NamaeFileStamp &now,
                           NamaeEncoding encoding, QByteArray &bytes, QStringList &names,
                           const NamaeLoadProgress &pace = {});

// Reading rules on already decoded text, for the loader and the benchmark.
QStringList NamaeListParse(QStringView text);

// Position of the first character code page 932 cannot hold, or -1.
qsizetype cp932FirstUnheld(const QString &text);
inline bool cp932CanHold(const QString &text) { return cp932FirstUnheld(text) < 0; }

// A line break would split a name into two lines of its file: the entry
// boxes take none from the user, and every write leaves them out. A name
// read from a file never holds one, so a stored name is never changed.
bool isLineBreak(QChar c);
QString withoutLineBreaks(QString name);

// Control characters and the other invisible ones, for text that is not a
// list file (the clipboard's tab-separated lines).
bool isNameControl(QChar c);
QString withoutControls(QString name);

// The character at `pos` (a whole surrogate pair when there is one).
QString characterAt(const QString &text, qsizetype pos);

} // namespace kanaroll
