#include "help/helpdocument.h"

#include <QByteArrayMatcher>

#include <algorithm>

namespace kanaroll {

using helptext::SitemapEntry;
using helptext::TopicKind;

namespace {

int occurrences(const QByteArray &text, const QByteArrayMatcher &term)
{
    int count = 0;
    const qsizetype step = std::max<qsizetype>(1, term.pattern().size());
    for (qsizetype at = term.indexIn(text); at >= 0; at = term.indexIn(text, at + step))
        ++count;
    return count;
}

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Title and searchable text of a topic; false when it cannot be read.
bool readTopic(const ChmFile &chm, const QString &path, QString *title, QByteArray *text)
{
    const auto bytes = chm.read(path);
    if (!bytes)
        return false;
    const QString decoded = helptext::decode(*bytes, chm.locale());
    const bool html = helptext::topicKind(path) == TopicKind::Html;
    if (title)
        *title = html ? helptext::title(decoded) : QString();
    if (title && title->isEmpty())
        *title = fileNameOf(path);
    if (text) {
        *text = helptext::fold(html ? helptext::plainText(decoded) : decoded.simplified()).toUtf8();
        text->squeeze(); // the conversion reserves three bytes a character
    }
    return true;
}

} // namespace

bool HelpDocument::open(const QString &fileName)
{
    *this = HelpDocument();
    m_fileName = fileName;
    if (!m_chm.open(fileName))
        return false;
    m_damaged = !m_chm.systemReadable();
    // The reader only names a default topic it could read.
    m_home = m_chm.defaultTopic();
    if (m_home.isEmpty())
        m_damaged = true;

    return true;
}

std::optional<QList<SitemapEntry>> HelpDocument::readContents(const ChmFile &chm)
{
    if (chm.contentsFile().isEmpty())
        return QList<SitemapEntry>();
    return readSitemap(chm, chm.contentsFile());
}

void HelpDocument::setContents(const std::optional<QList<SitemapEntry>> &contents)
{
    m_damaged = m_damaged || !contents;
    m_contentsReady = true;
    if (contents && !contents->isEmpty()) {
        m_contents = *contents;
        m_hasContentsFile = true;
    }
}

std::optional<QList<SitemapEntry>> HelpDocument::readIndex(const ChmFile &chm)
{
    if (chm.indexFile().isEmpty())
        return QList<SitemapEntry>();
    return readSitemap(chm, chm.indexFile());
}

void HelpDocument::setIndex(const std::optional<QList<SitemapEntry>> &index)
{
    m_damaged = m_damaged || !index;
    m_index = index.value_or(QList<SitemapEntry>());
    m_indexReady = true;
}

std::shared_ptr<const HelpDocument::SearchIndex> HelpDocument::buildSearchIndex(const ChmFile &chm,
                                                                                const std::atomic_bool &cancel,
                                                                                std::atomic_int *done,
                                                                                std::atomic_int *total)
{
    auto index = std::make_shared<SearchIndex>();
    const QStringList files = chm.files();
    if (total)
        total->store(int(files.size()));
    for (const QString &path : files) {
        if (cancel.load(std::memory_order_relaxed))
            return nullptr;
        const TopicKind kind = helptext::topicKind(path);
        if (kind == TopicKind::Html || kind == TopicKind::Text) {
            Page page{path, {}, {}};
            if (readTopic(chm, path, &page.title, &page.text)) {
                index->byPath.insert(path.toLower(), index->pages.size());
                index->pages.append(std::move(page));
            } else {
                index->damaged = true;
            }
        } else if (!chm.read(path)) {
            // Pictures and style sheets too, so that damage is told.
            index->damaged = true;
        }
        if (done)
            done->fetch_add(1, std::memory_order_relaxed);
    }
    return index;
}

void HelpDocument::buildSearchIndex()
{
    if (!m_contentsReady)
        setContents(readContents(m_chm));
    if (!m_indexReady)
        setIndex(readIndex(m_chm));
    const std::atomic_bool never{false};
    setSearchIndex(buildSearchIndex(m_chm, never, nullptr, nullptr));
}

void HelpDocument::setSearchIndex(std::shared_ptr<const SearchIndex> index)
{
    m_search = std::move(index);
    if (m_search && !m_hasContentsFile) {
        m_contents.clear();
        for (const Page &page : m_search->pages)
            m_contents.append({page.title, {page.path}, {}});
    }
}

std::optional<QList<SitemapEntry>> HelpDocument::readSitemap(const ChmFile &chm, const QString &path)
{
    const auto bytes = chm.read(path);
    if (!bytes)
        return std::nullopt;
    QList<SitemapEntry> entries = helptext::parseSitemap(helptext::decode(*bytes, chm.locale()));
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
    const QString normal = ChmFile::normalizedPath(path);
    if (m_search) {
        const qsizetype at = m_search->byPath.value(normal.toLower(), -1);
        return at < 0 ? QString() : m_search->pages.at(at).title;
    }
    const TopicKind kind = helptext::topicKind(normal);
    QString title;
    if ((kind == TopicKind::Html || kind == TopicKind::Text) && readTopic(m_chm, normal, &title, nullptr))
        return title;
    return {};
}

QList<HelpDocument::SearchHit> HelpDocument::search(const QString &query) const
{
    const QStringList terms = helptext::searchTerms(query);
    QList<SearchHit> hits;
    if (terms.isEmpty() || !m_search)
        return hits;
    QList<QByteArrayMatcher> matchers;
    for (const QString &term : terms)
        matchers.append(QByteArrayMatcher(term.toUtf8()));
    for (const Page &page : m_search->pages) {
        int total = 0;
        for (const QByteArrayMatcher &term : std::as_const(matchers)) {
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
