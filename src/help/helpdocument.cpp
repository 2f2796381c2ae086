#include "help/helpdocument.h"

#include <algorithm>

namespace kanaroll {

using helptext::SitemapEntry;

namespace {

bool isPage(const QString &path)
{
    return path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

int occurrences(const QString &text, const QString &term)
{
    int count = 0;
    for (qsizetype at = text.indexOf(term); at >= 0; at = text.indexOf(term, at + term.size()))
        ++count;
    return count;
}

} // namespace

bool HelpDocument::open(const QString &fileName)
{
    *this = HelpDocument();
    m_fileName = fileName;
    if (!m_chm.open(fileName))
        return false;
    m_damaged = !m_chm.systemReadable();
    readPages();

    const QString recordedHome = m_chm.defaultTopic();
    if (!recordedHome.isEmpty() && m_pageByPath.contains(recordedHome.toLower()))
        m_home = recordedHome;
    else if (!m_pages.isEmpty())
        m_home = m_pages.first().path; // the recorded one is damaged

    if (!m_chm.contentsFile().isEmpty()) {
        m_contents = readSitemap(m_chm.contentsFile());
        m_hasContentsFile = !m_contents.isEmpty();
    }
    if (!m_hasContentsFile) {
        for (const Page &page : std::as_const(m_pages))
            m_contents.append({page.title, {page.path}, {}});
    }
    if (!m_chm.indexFile().isEmpty())
        m_index = readSitemap(m_chm.indexFile());
    return true;
}

void HelpDocument::readPages()
{
    const QStringList files = m_chm.files();
    for (const QString &path : files) {
        if (!isPage(path)) {
            // Pictures and style sheets too, so that damage shows at once.
            if (!m_chm.read(path))
                m_damaged = true;
            continue;
        }
        const auto html = text(path);
        if (!html) {
            m_damaged = true;
            continue;
        }
        QString title = helptext::title(*html);
        if (title.isEmpty())
            title = path.mid(path.lastIndexOf(u'/') + 1);
        m_pageByPath.insert(path.toLower(), m_pages.size());
        m_pages.append({path, title, helptext::fold(helptext::plainText(*html))});
    }
}

QList<SitemapEntry> HelpDocument::readSitemap(const QString &path)
{
    const auto html = text(path);
    if (!html) {
        m_damaged = true;
        return {};
    }
    QList<SitemapEntry> entries = helptext::parseSitemap(*html);
    // Locals become paths inside the file, so the viewer needs no more
    // knowledge of where the sitemap lies.
    auto resolve = [&](auto &self, QList<SitemapEntry> &list) -> void {
        for (SitemapEntry &entry : list) {
            QStringList targets;
            for (const QString &local : std::as_const(entry.locals)) {
                const QString target = helptext::sitemapTarget(local, path);
                if (!target.isEmpty())
                    targets.append(target);
            }
            entry.locals = targets;
            self(self, entry.children);
        }
    };
    resolve(resolve, entries);
    return entries;
}

std::optional<QString> HelpDocument::text(const QString &path) const
{
    const auto bytes = m_chm.read(path);
    if (!bytes)
        return std::nullopt;
    return helptext::decode(*bytes, m_chm.locale());
}

QString HelpDocument::pageTitle(const QString &path) const
{
    const qsizetype at = m_pageByPath.value(ChmFile::normalizedPath(path).toLower(), -1);
    return at < 0 ? QString() : m_pages.at(at).title;
}

QList<HelpDocument::SearchHit> HelpDocument::search(const QString &query) const
{
    const QStringList terms = helptext::searchTerms(query);
    QList<SearchHit> hits;
    if (terms.isEmpty())
        return hits;
    for (const Page &page : m_pages) {
        int total = 0;
        for (const QString &term : terms) {
            const int count = occurrences(page.text, term);
            if (count == 0) {
                total = 0;
                break;
            }
            total += count;
        }
        if (total > 0)
            hits.append({page.path, page.title, total});
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const SearchHit &a, const SearchHit &b) { return a.count > b.count; });
    return hits;
}

} // namespace kanaroll
