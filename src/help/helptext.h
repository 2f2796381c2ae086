#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Text handling for help files: decoding pages, reading sitemaps, and the
// folding that full-text search matches on. No widgets.
namespace kanaroll::helptext {

// What a topic is shown as, by its name: a page, plain text, a picture, or
// something that is no topic (a style sheet, a script, the compiler's own).
enum class TopicKind { Html, Text, Image, Other };
TopicKind topicKind(const QString &path);

// Decodes a page or sitemap. A byte-order mark or a declared charset wins
// (shift_jis and its aliases are read as code page 932, which is what help
// compilers wrote); undeclared text that is valid UTF-8 is UTF-8; anything
// else is in the code page of the file's locale (code page 932 when the
// locale is Japanese or unknown).
QString decode(const QByteArray &bytes, quint32 locale);

// The <title> of a page, whitespace collapsed; empty when it has none.
QString title(const QString &html);

// The text a reader sees: tags dropped, head, scripts and styles left out,
// character references resolved, runs of white space made one space.
QString plainText(const QString &html);

// "&amp;", "&#12354;", "&#x3042;" and friends resolved.
QString resolveEntities(const QString &text);

// One entry of a table of contents (.hhc) or an index (.hhk): its name, the
// pages it points at (as written, possibly with "#anchor"), and the entries
// nested under it.
struct SitemapEntry {
    QString name;
    QStringList locals;
    QList<SitemapEntry> children;
};

// Reads the nested <UL>/<LI>/<OBJECT type="text/sitemap"> lists of a sitemap.
// Tolerant of the sloppy HTML help tools write; entries without a name are
// skipped, nesting beyond a fixed depth is flattened.
QList<SitemapEntry> parseSitemap(const QString &html);

// A path inside the help file for a sitemap's "Local" value: "mk:@MSITStore:
// x.chm::/a.htm" and "a.htm" give "/a.htm"; relative to the sitemap's own
// folder. The anchor is kept. Empty for links that leave the file.
QString sitemapTarget(const QString &local, const QString &sitemapPath);

// Folds text for search: NFKC (full-width and half-width forms become one),
// katakana to hiragana, and case folding. Combining marks stay with their
// base character, so a half-width ｶﾞ folds to が like the full-width ガ.
// When sourceIndex is given it receives, for every folded character, the
// position in text of the character it came from.
QString fold(const QString &text, QList<qsizetype> *sourceIndex = nullptr);

// One line of an index pane: the keyword, indented by depth; its first
// page; the folded words it is found by (its own and its keyword's); its own
// folded name; the row of the keyword above it, or -1.
struct IndexRow {
    QString text;
    QString path;
    QString folded;
    QString foldedName;
    int parent = -1;
};
QList<IndexRow> indexRows(const QList<SitemapEntry> &entries);

// How well a keyword matches what was typed, both folded: 0 the same, 1
// starts with it, 2 holds it (in its words), 3 not at all.
int matchRank(const IndexRow &row, const QString &wanted);

// The classes a style sheet keeps on one line ("span.code { white-space:
// nowrap }" gives "code").
QStringList nowrapClasses(const QString &css);
// A page with the white space inside nowrap spans (by style, by one of
// `classes`, or <nobr>) made one no-break space each, so that a viewer
// without that property still keeps such runs whole.
QString joinNowrapRuns(const QString &html, const QStringList &classes);

// The folded search terms of a query: words split at white space.
QStringList searchTerms(const QString &query);

} // namespace kanaroll::helptext
