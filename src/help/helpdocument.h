#pragma once

#include "help/chmfile.h"
#include "help/helptext.h"

#include <QHash>
#include <QList>
#include <QString>

namespace kanaroll {

// A compiled help file as its viewer needs it: pages decoded, the table of
// contents, the index and a full-text search, gathered once when it opens.
// What cannot be read is left out and remembered as damage.
class HelpDocument
{
public:
    struct Page {
        QString path;  // "/index.htm"
        QString title; // the page's <title>, else its file name
        QString text;  // folded plain text, what search matches on
    };
    struct SearchHit {
        QString path;
        QString title;
        int count = 0; // occurrences of all terms together
    };

    // False when the file cannot be opened at all.
    bool open(const QString &fileName);
    bool isOpen() const { return m_chm.isOpen(); }
    // The file last given to open(), opened or not.
    QString fileName() const { return m_fileName; }

    const ChmFile &chm() const { return m_chm; }
    QString title() const { return m_chm.title(); }
    // The page shown first; empty when no page could be read.
    QString home() const { return m_home; }

    // A page or sitemap decoded with the file's code page.
    std::optional<QString> text(const QString &path) const;

    // The table of contents; a file without one gets its pages' titles.
    const QList<helptext::SitemapEntry> &contents() const { return m_contents; }
    bool hasContentsFile() const { return m_hasContentsFile; }
    // The index keywords; empty when the file has none.
    const QList<helptext::SitemapEntry> &index() const { return m_index; }

    const QList<Page> &pages() const { return m_pages; }
    QString pageTitle(const QString &path) const;

    // Pages holding every term of the query, most hits first, then in file
    // order. Matching is by substring on folded text (see helptext::fold).
    QList<SearchHit> search(const QString &query) const;

    // Whether some part could not be read: the file's own record, a page,
    // the contents or the index.
    bool damaged() const { return m_damaged; }

private:
    void readPages();
    QList<helptext::SitemapEntry> readSitemap(const QString &path);

    ChmFile m_chm;
    QString m_fileName;
    QString m_home;
    QList<Page> m_pages;
    QHash<QString, qsizetype> m_pageByPath; // lower-case path -> m_pages
    QList<helptext::SitemapEntry> m_contents;
    QList<helptext::SitemapEntry> m_index;
    bool m_hasContentsFile = false;
    bool m_damaged = false;
};

} // namespace kanaroll
