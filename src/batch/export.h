#pragma once

#include "ichiran.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace kanaroll {

inline const QString kIchiranFileName = QStringLiteral("一括判断.txt");

// "c0","c1","c2%" without line end; nothing inside the quotes is escaped.
QString IchiranLine(const IchiranRow &row);

struct IchiranSaveResult {
    enum Status {
        Saved,
        WriteFailed,  // the file could not be created, written or replaced
        Unencodable,  // a name has a character outside code page 932; nothing written
        NoSpace,      // the file would not fit on its disk; nothing written
        Cancelled,    // stopped on the way; the previous file stays as it was
    };
    Status status = Saved;
    QString name;  // Unencodable: the first such name
    QString error; // WriteFailed: the system's reason, for logs and tests

    bool ok() const { return status == Saved; }
    // Body of the warning box for a failed save (title batchmsg::kSaveFailedTitle).
    QString message() const;
};

// The whole file: one CP932 line per row in grid order, each ended by CR LF;
// empty for no rows. Fails only with Unencodable.
IchiranSaveResult IchiranEncode(const IchiranModel &grid, QByteArray &out);
IchiranSaveResult IchiranEncode(const std::vector<IchiranRow> &rows, QByteArray &out);

// The exact size of the file for the grid as it stands, in bytes.
qint64 IchiranFileSize(const IchiranModel &grid);

// Told the share of rows written now and then; false stops the save.
using IchiranSaveProgress = std::function<bool(double done)>;

// Replaces the file whole, streaming it, after checking that it fits on the
// disk; on any failure or stop the previous file stays as it was and no
// temporary file is left.
IchiranSaveResult IchiranSave(const IchiranModel &grid, const QString &path = kIchiranFileName,
                              const IchiranSaveProgress &progress = {});

// Whether saving this grid over the file at path must ask first: an empty
// grid that a run over names left (refused, stopped, out of memory) would
// wipe the rows of an earlier save. A grid empty because a list was empty
// saves its empty file as asked, and so does any save over an empty or
// missing file.
bool ichiranEmptySaveAsks(const IchiranModel &grid, bool ofEmptyLists, const QString &path = kIchiranFileName);

} // namespace kanaroll
