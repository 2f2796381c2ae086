#include "export.h"

#include "messages.h"

#include "lists/cp932.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <algorithm>
#include <array>

#include <sys/stat.h>

namespace kanaroll {

QString IchiranLine(const IchiranRow &row)
{
    return u'"' + row.name1 + QStringLiteral("\",\"") + row.name2 + QStringLiteral("\",\"")
           + row.percent + QStringLiteral("%\"");
}

QString IchiranSaveResult::message() const
{
    switch (status) {
    case Saved: return {};
    case WriteFailed: return batchmsg::kSaveFailedBody;
    case Unencodable: return batchmsg::kSaveUnencodableBody.arg(name);
    case NoSpace: return batchmsg::kSaveFailedBody;
    case Cancelled: return {};
    }
    return {};
}

namespace {

// A fresh encoder per text: the error flag stays set once raised.
bool toCp932(const QString &text, QByteArray &out)
{
    Cp932Encoder enc;
    out = enc.encode(text);
    return !enc.hasError();
}

} // namespace

namespace {

// Each name a row uses, converted once; a row is then plain concatenation.
IchiranSaveResult encodeNames(const IchiranModel &grid, std::vector<QByteArray> &encoded,
                              std::vector<std::int64_t> &uses, std::array<std::int64_t, 101> &perPercent)
{
    const std::vector<const QString *> names = grid.nameTable();
    grid.useCounts(uses, perPercent);
    encoded.assign(names.size(), {});
    // One encoder for all while none fails (making one per name costs more
    // than the names of a long list); its error flag stays set from the
    // first name it cannot write.
    Cp932Encoder enc;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (uses[i] == 0)
            continue;
        encoded[i] = enc.encode(*names[i]);
        if (enc.hasError())
            return {IchiranSaveResult::Unencodable, *names[i], {}};
    }
    return {};
}

qint64 fileSize(const std::vector<QByteArray> &encoded, const std::vector<std::int64_t> &uses,
                const std::array<std::int64_t, 101> &perPercent)
{
    // Quotes, commas, "%", CR LF: 11 bytes a row, and the percentage's digits.
    qint64 total = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i)
        total += uses[i] * encoded[i].size();
    for (std::size_t v = 0; v < perPercent.size(); ++v)
        total += perPercent[v] * (11 + (v >= 100 ? 3 : v >= 10 ? 2 : 1));
    return total;
}

// Writes the lines in pieces of about chunk bytes; sink returns false to stop.
bool writeLines(const IchiranModel &grid, const std::vector<QByteArray> &encoded, qsizetype chunk,
                const std::function<bool(const QByteArray &, std::int64_t rows)> &sink)
{
    QByteArray out;
    out.reserve(chunk + 4096);
    IchiranModel::Cursor cursor(grid);
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    int p = 0;
    std::int64_t rows = 0;
    char digits[4];
    while (cursor.nextIds(a, b, p)) {
        out.append('"').append(encoded[a]).append("\",\"").append(encoded[b]).append("\",\"");
        int n = 0;
        do {
            digits[n++] = char('0' + p % 10);
            p /= 10;
        } while (p > 0);
        while (n > 0)
            out.append(digits[--n]);
        out.append("%\"\r\n");
        ++rows;
        if (out.size() >= chunk) {
            if (!sink(out, rows))
                return false;
            out.clear();
        }
    }
    return out.isEmpty() || sink(out, rows);
}

} // namespace

qint64 IchiranFileSize(const IchiranModel &grid)
{
    std::vector<QByteArray> encoded;
    std::vector<std::int64_t> uses;
    std::array<std::int64_t, 101> perPercent{};
    encodeNames(grid, encoded, uses, perPercent);
    return fileSize(encoded, uses, perPercent);
}

IchiranSaveResult IchiranEncode(const IchiranModel &grid, QByteArray &out)
{
    out.clear();
    std::vector<QByteArray> encoded;
    std::vector<std::int64_t> uses;
    std::array<std::int64_t, 101> perPercent{};
    IchiranSaveResult r = encodeNames(grid, encoded, uses, perPercent);
    if (!r.ok())
        return r;
    out.reserve(fileSize(encoded, uses, perPercent));
    writeLines(grid, encoded, qsizetype(1) << 20, [&](const QByteArray &piece, std::int64_t) {
        out.append(piece);
        return true;
    });
    return {};
}

IchiranSaveResult IchiranEncode(const std::vector<IchiranRow> &rows, QByteArray &out)
{
    out.clear();
    QByteArray line;
    for (const IchiranRow &row : rows) {
        if (!toCp932(IchiranLine(row), line)) {
            for (const QString &name : {row.name1, row.name2, row.percent}) {
                QByteArray ignored;
                if (!toCp932(name, ignored))
                    return {IchiranSaveResult::Unencodable, name, {}};
            }
        }
        out.append(line).append("\r\n");
    }
    return {};
}

bool ichiranEmptySaveAsks(const IchiranModel &grid, bool ofEmptyLists, const QString &path)
{
    if (!grid.isEmpty() || ofEmptyLists)
        return false;
    const QFileInfo target(path);
    return target.isFile() && target.size() > 0;
}

IchiranSaveResult IchiranSave(const IchiranModel &grid, const QString &path, const IchiranSaveProgress &progress)
{
    std::vector<QByteArray> encoded;
    std::vector<std::int64_t> uses;
    std::array<std::int64_t, 101> perPercent{};
    IchiranSaveResult result = encodeNames(grid, encoded, uses, perPercent);
    if (!result.ok())
        return result;
    // The replacement goes where a link points; a fifo or device there must
    // not be swapped for a regular file.
    if (const QFileInfo target(path); target.exists() && !target.isFile()) {
        result.status = IchiranSaveResult::WriteFailed;
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    // The new file is written beside the old one, which stays until the end.
    const qint64 size = fileSize(encoded, uses, perPercent);
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    if (disk.isValid() && disk.bytesAvailable() >= 0 && size > disk.bytesAvailable()) {
        result.status = IchiranSaveResult::NoSpace;
        result.error = QStringLiteral("%1 bytes needed, %2 free").arg(size).arg(disk.bytesAvailable());
        return result;
    }
    QSaveFile file(path);
    // Unbuffered, so that a short write (disk full, size limit) shows in the
    // count here; through the buffer it can slip past commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.status = IchiranSaveResult::WriteFailed;
        result.error = file.errorString();
        return result;
    }
    const double rows = double(std::max(1, grid.size()));
    qint64 total = 0;
    const bool whole = writeLines(grid, encoded, qsizetype(1) << 20, [&](const QByteArray &piece, std::int64_t done) {
        const qint64 written = file.write(piece);
        if (written != piece.size()) {
            result.status = IchiranSaveResult::WriteFailed;
            result.error = QStringLiteral("%1 of %2 bytes written: %3")
                               .arg(total + std::max<qint64>(written, 0)).arg(size).arg(file.errorString());
            return false;
        }
        total += written;
        if (progress && !progress(double(done) / rows)) {
            result.status = IchiranSaveResult::Cancelled;
            return false;
        }
        return true;
    });
    if (!whole) {
        file.cancelWriting(); // the temporary file goes, the old file stays
        return result;
    }
    if (!file.commit()) {
        result.status = IchiranSaveResult::WriteFailed;
        result.error = file.errorString();
    }
    return result;
}

} // namespace kanaroll
