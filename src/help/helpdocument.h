#pragma once

#include "help/chmfile.h"
#include "help/helptext.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>

namespace kanaroll {

// A compiled help file as its viewer needs it. Opening reads only what the
// first page needs: the file's record and the default topic. The contents
// and the index are read apart (readContents, readIndex). The full-text search needs every topic read, and is built apart
// (buildSearchIndex, on a thread of its own in the window). What cannot be
// read is left out and remembered as damage.
class HelpDocument
{
public:
    struct Page {
        QString path;    // "/index.htm"
        QString title;   // the page's <title>, else its file name
        QByteArray text; // folded plain text in UTF-8, what search matches on
    };
    struct SearchIndex {
        QList<Page> pages;
        QHash<QString, qsizetype> byPath; // lower-case path -> pages
        bool damaged = false;             // a topic, picture or style sheet was unreadable
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
    // The topic shown first; empty when no topic could be read.
    QString home() const { return m_home; }

    // A page or sitemap decoded with the file's code page.
    std::optional<QString> text(const QString &path) const;

    // The table of contents, read apart from open() like the index; a file
    // without one gets its pages' titles once the search index is in.
    const QList<helptext::SitemapEntry> &contents() const { return m_contents; }
    bool hasContentsFile() const { return m_hasContentsFile; }
    bool contentsReady() const { return m_contentsReady; }
    static std::optional<QList<helptext::SitemapEntry>> readContents(const ChmFile &chm);
    void setContents(const std::optional<QList<helptext::SitemapEntry>> &contents);
    // The index keywords; empty when the file has none or before they are
    // read. The index is read apart from open(), as it can be long.
    const QList<helptext::SitemapEntry> &index() const { return m_index; }
    bool indexReady() const { return m_indexReady; }
    // The keywords of a file's index; none when it has no index, nullopt
    // when it cannot be read. Safe on any thread with a ChmFile of its own.
    static std::optional<QList<helptext::SitemapEntry>> readIndex(const ChmFile &chm);
    void setIndex(const std::optional<QList<helptext::SitemapEntry>> &index);

    // Reads every topic of a file for search. Safe on any thread with a
    // ChmFile of its own; stops early, returning null, when `cancel` is set.
    // `done` and `total` count the objects read, for progress.
    static std::shared_ptr<const SearchIndex> buildSearchIndex(const ChmFile &chm, const std::atomic_bool &cancel,
                                                              std::atomic_int *done, std::atomic_int *total);
    // The same for this document, here and now, with its contents and index.
    void buildSearchIndex();
    void setSearchIndex(std::shared_ptr<const SearchIndex> index);
    bool searchReady() const { return m_search != nullptr; }

    // The readable topics, once the search index is in.
    QList<Page> pages() const { return m_search ? m_search->pages : QList<Page>(); }
    // A topic's title: its <title>, else its file name.
    QString pageTitle(const QString &path) const;

    // Pages holding every term of the query, most hits first, then in file
    // order; none before the search index is in. Matching is by substring
    // on folded text (see helptext::fold).
    QList<SearchHit> search(const QString &query) const;

    // Whether some part could not be read: the file's own record, the
    // default topic, the contents or the index, or (once the search index is
    // in) any other object.
    bool damaged() const { return m_damaged || (m_search && m_search->damaged); }

private:
    static std::optional<QList<helptext::SitemapEntry>> readSitemap(const ChmFile &chm, const QString &path);

    ChmFile m_chm;
    QString m_fileName;
    QString m_home;
    QList<helptext::SitemapEntry> m_contents;
    QList<helptext::SitemapEntry> m_index;
    std::shared_ptr<const SearchIndex> m_search;
    bool m_hasContentsFile = false;
    bool m_indexReady = false;
    bool m_contentsReady = false;
    bool m_damaged = false;
};

} // namespace kanaroll
