// Raw bytes as a whole help file: open it, read every page, the contents and
// the index, search it and mark hits as the viewer would. The same bytes are
// also taken as a sitemap and as a page on their own, so the text handling
// gets inputs the file format would otherwise hide.
#include "help/helpdocument.h"
#include "help/helptext.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

using namespace kanaroll;

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void walk(const QList<helptext::SitemapEntry> &entries, int depth)
{
    check(depth <= 64, "sitemap nesting is bounded");
    for (const auto &entry : entries) {
        check(!entry.name.isEmpty(), "entries have names");
        walk(entry.children, depth + 1);
    }
}

void exerciseText(const QString &text)
{
    walk(helptext::parseSitemap(text), 0);
    (void)helptext::title(text);
    const QString plain = helptext::plainText(text);
    QList<qsizetype> source;
    const QString folded = helptext::fold(plain, &source);
    check(source.size() == folded.size(), "every folded character has a source");
    for (qsizetype i = 0; i < source.size(); ++i)
        check(source[i] >= 0 && source[i] < plain.size() && (i == 0 || source[i] >= source[i - 1]),
              "sources lie in the text, in order");
    (void)helptext::sitemapTarget(text.left(300), QStringLiteral("/a/b.hhc"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The file lives in memory; the reader opens it by name like any other.
    static const int fd = memfd_create("help.chm", 0);
    static const QString name = QStringLiteral("/proc/self/fd/%1").arg(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();

    // Text handling is linear; a few kilobytes of raw bytes reach all of it.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(std::min<size_t>(size, 4096)));
    exerciseText(helptext::decode(bytes, 0x0411));
    exerciseText(helptext::decode(bytes, 0x0409));

    HelpDocument doc;
    if (!doc.open(name))
        return 0;
    doc.buildSearchIndex();
    walk(doc.contents(), 0);
    walk(doc.index(), 0);
    for (const HelpDocument::Page &page : doc.pages()) {
        check(page.path.startsWith(u'/'), "pages are absolute");
        check(!page.title.isEmpty(), "pages have titles");
        if (const auto text = doc.text(page.path))
            exerciseText(*text);
    }
    if (!doc.home().isEmpty())
        check(doc.text(doc.home()).has_value(), "home is readable");
    const auto hits = doc.search(QStringLiteral("かたかな ABC"));
    for (const auto &hit : hits)
        check(hit.count >= 2, "a hit has every term");
    return 0;
}
