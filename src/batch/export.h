#pragma once

#include "ichiran.h"

#include <QByteArray>
#include <QString>

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

// Replaces the file whole; on any failure the previous file stays as it was.
IchiranSaveResult IchiranSave(const IchiranModel &grid, const QString &path = kIchiranFileName);

} // namespace kanaroll
