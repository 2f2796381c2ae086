#pragma once

#include <QString>
#include <QStringList>

namespace kanaroll {

// How a list file was decoded. Rewrites always store Cp932; Utf8 means a
// modern editor saved it, Mixed that lines of both kinds were found.
enum class NamaeEncoding { Cp932, Utf8, Mixed };

struct NamaeLoadResult {
    QStringList names;
    bool ok = true;       // false when the file exists but cannot be read
    bool damaged = false; // lines that decode in neither encoding were left out
    NamaeEncoding encoding = NamaeEncoding::Cp932;
    QString error;        // first sentence for the warning box, naming the file
};

struct NamaeFileResult {
    bool ok = true;
    QString error;  // first sentence for the warning box, naming the file
    QString detail; // the system's reason, untranslated; not for the box
    explicit operator bool() const { return ok; }
};

// A missing file is an empty list and no error.
NamaeLoadResult NamaeListLoad(const QString &fileName);

// Adds one line (name + CR LF) at the end, creating the file when missing.
// The line is written in the file's own encoding, so that a file a modern
// editor saved in UTF-8 stays readable as a whole; a name code page 932
// cannot hold is refused either way. On failure the file is cut back to its
// old length.
NamaeFileResult NamaeListAppend(const QString &fileName, const QString &name,
                                NamaeEncoding fileEncoding = NamaeEncoding::Cp932);

// Replaces the whole file with one line per name; the old file stays as it
// was unless the new one was written completely.
NamaeFileResult NamaeListSave(const QString &fileName, const QStringList &names);

// Reading rules on already decoded text, for the loader and the benchmark.
QStringList NamaeListParse(QStringView text);

// Position of the first character code page 932 cannot hold, or -1.
qsizetype cp932FirstUnheld(const QString &text);
inline bool cp932CanHold(const QString &text) { return cp932FirstUnheld(text) < 0; }

// The character at `pos` (a whole surrogate pair when there is one).
QString characterAt(const QString &text, qsizetype pos);

} // namespace kanaroll
