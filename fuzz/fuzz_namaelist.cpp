// Raw bytes as a list file: read, save, read again. Names the writer can
// put down unambiguously (no comma, no double quote, no leading blank) must
// come back as they were, round after round.
#include "lists/namaelist.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace kanaroll;

namespace {

void check(bool ok, const char *what, const QStringList &names)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\nnames:\n", what);
        for (const QString &n : names)
            std::fprintf(stderr, "  [%s]\n", n.toUtf8().constData());
        std::abort();
    }
}

bool plain(const QString &name)
{
    return !name.contains(u',') && !name.contains(u'"') && !name.startsWith(u' ') && !name.startsWith(u'\t')
           && std::none_of(name.begin(), name.end(), isNameControl);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kanaroll-fuzz-XXXXXX"));
    const QString file = dir.filePath(QStringLiteral("list.txt"));
    const QString again = dir.filePath(QStringLiteral("again.txt"));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }

    const NamaeLoadResult first = NamaeListLoad(file);
    check(first.ok, "an existing file reads", first.names);
    check(first.damaged == !first.error.isEmpty(), "damage comes with its message", first.names);
    for (const QString &n : first.names)
        check(!n.contains(u'\r') && !n.contains(u'\n'), "no line end inside a name", first.names);

    bool held = true;
    for (const QString &n : first.names)
        held = held && cp932CanHold(withoutLineBreaks(n)); // line breaks are never written
    const NamaeFileResult saved = NamaeListSave(file, first.names);
    check(saved.ok == held, "save refuses exactly the names the file cannot hold", first.names);
    if (!held)
        return 0;

    const NamaeLoadResult second = NamaeListLoad(file);
    check(second.ok && !second.damaged, "a saved file reads cleanly", first.names);
    check(second.encoding == NamaeEncoding::Cp932, "a saved file reads as code page 932", first.names);
    if (std::all_of(first.names.begin(), first.names.end(), plain))
        check(second.names == first.names, "plain names survive save and load", first.names);
    // Any list reads back as the reader makes of the lines written: the
    // encoding guess must not get in the way.
    QString written;
    for (const QString &n : first.names)
        written += withoutLineBreaks(n) + QStringLiteral("\r\n");
    check(second.names == NamaeListParse(written), "a saved list reads back as its lines parse", first.names);

    // Adding the names one by one writes the same bytes as saving them all.
    if (first.names.size() <= 8) {
        QFile::remove(again);
        for (const QString &n : second.names)
            check(NamaeListAppend(again, n).ok, "append of a held name", second.names);
        check(NamaeListSave(file, second.names).ok, "second save", second.names);
        check(readAll(again) == readAll(file), "append and save agree", second.names);
        // A second round from the list as read back: quotes and leading blanks
        // can peel off a little more each time, so only plain lists must hold.
        const NamaeLoadResult third = NamaeListLoad(file);
        if (std::all_of(second.names.begin(), second.names.end(), plain))
            check(third.names == second.names, "plain names survive a second round", second.names);
    }
    return 0;
}
