#include "export.h"

#include "messages.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>

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
    }
    return {};
}

namespace {

// A fresh encoder per text: the error flag stays set once raised.
bool toCp932(const QString &text, QByteArray &out)
{
    QStringEncoder enc("windows-31j");
    out = enc.encode(text);
    return !enc.hasError();
}

} // namespace

IchiranSaveResult IchiranEncode(const IchiranModel &grid, QByteArray &out)
{
    out.clear();
    // Each distinct name is converted once; a row is then plain concatenation.
    const auto &names = grid.names();
    std::vector<QByteArray> encoded(names.size());
    std::vector<bool> used(names.size(), false);
    for (const auto &r : grid.packedRows())
        used[r.name1] = used[r.name2] = true;
    qsizetype total = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!used[i])
            continue;
        if (!toCp932(names[i], encoded[i]))
            return {IchiranSaveResult::Unencodable, names[i], {}};
    }
    for (const auto &r : grid.packedRows())
        total += encoded[r.name1].size() + encoded[r.name2].size() + 15;
    out.reserve(total);
    char digits[4];
    for (const auto &r : grid.packedRows()) {
        out.append('"').append(encoded[r.name1]).append("\",\"").append(encoded[r.name2]).append("\",\"");
        int n = 0;
        int p = r.percent;
        do {
            digits[n++] = char('0' + p % 10);
            p /= 10;
        } while (p > 0);
        while (n > 0)
            out.append(digits[--n]);
        out.append("%\"\r\n");
    }
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

IchiranSaveResult IchiranSave(const IchiranModel &grid, const QString &path)
{
    QByteArray bytes;
    IchiranSaveResult result = IchiranEncode(grid, bytes);
    if (!result.ok())
        return result;
    // The replacement goes where a link points; a fifo or device there must
    // not be swapped for a regular file.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        result.status = IchiranSaveResult::WriteFailed;
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    QSaveFile file(path);
    // Unbuffered, so that a short write (disk full, size limit) shows in the
    // count here; through the buffer it can slip past commit().
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (ok) {
        const qint64 written = file.write(bytes);
        ok = written == bytes.size();
        if (!ok)
            result.error = QStringLiteral("%1 of %2 bytes written: %3")
                               .arg(written).arg(bytes.size()).arg(file.errorString());
        else if (!(ok = file.commit()))
            result.error = file.errorString();
    } else {
        result.error = file.errorString();
    }
    if (!ok)
        result.status = IchiranSaveResult::WriteFailed;
    return result;
}

} // namespace kanaroll
