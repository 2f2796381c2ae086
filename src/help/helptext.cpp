#include "help/helptext.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace kanaroll::helptext {

namespace {

// How far into a page a charset declaration is looked for.
constexpr qsizetype kCharsetWindow = 4096;
// Sitemaps nested deeper than this are flattened onto the deepest level.
constexpr int kMaxSitemapDepth = 32;

QByteArray declaredCharset(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(kCharsetWindow).toLower();
    qsizetype at = head.indexOf("charset");
    while (at >= 0) {
        qsizetype i = at + 7;
        while (i < head.size() && (head[i] == ' ' || head[i] == '\t'))
            ++i;
        if (i < head.size() && head[i] == '=') {
            ++i;
            while (i < head.size() && (head[i] == ' ' || head[i] == '"' || head[i] == '\''))
                ++i;
            qsizetype end = i;
            while (end < head.size()
                   && (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-'
                       || head[end] == '_' || head[end] == '.' || head[end] == ':'))
                ++end;
            if (end > i)
                return head.mid(i, end - i);
        }
        at = head.indexOf("charset", at + 7);
    }
    return {};
}

// The names pages give code page 932 by; ICU's "shift_jis" lacks its extensions.
bool isShiftJisName(const QByteArray &name)
{
    static const QList<QByteArray> names = {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji",
                                            "csshiftjis", "cp932", "windows-31j", "x-ms-cp932"};
    return names.contains(name);
}

const char *codePageOfLocale(quint32 locale)
{
    switch (locale & 0x3ff) { // the primary language
    case 0x11: return "windows-31j";
    case 0x04: return (locale & 0xffff) == 0x0404 || (locale & 0xffff) == 0x0c04 ? "big5" : "gbk";
    case 0x12: return "windows-949";
    case 0x19: case 0x22: case 0x23: case 0x02: return "windows-1251";
    case 0x00: return "windows-31j"; // unrecorded: this is a Japanese program
    default: return "windows-1252";
    }
}

QString decodeWith(const char *name, const QByteArray &bytes)
{
    // A fresh decoder each time: some of ICU's keep their error state.
    QStringDecoder decoder(name);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Latin1);
    return decoder(bytes);
}

bool isCombining(char32_t c)
{
    // The half-width sound marks combine in NFKC though they are letters.
    return c == 0xff9e || c == 0xff9f || QChar::isMark(c);
}

char16_t foldKana(char16_t c)
{
    if (c >= 0x30a1 && c <= 0x30f6)
        return char16_t(c - 0x60);
    if (c == 0x30fd || c == 0x30fe) // the katakana iteration marks
        return char16_t(c - 0x60);
    return c;
}

} // namespace

TopicKind topicKind(const QString &path)
{
    const QString suffix = path.mid(path.lastIndexOf(u'.') + 1).toLower();
    if (path.lastIndexOf(u'.') < path.lastIndexOf(u'/'))
        return TopicKind::Other;
    static const QStringList html = {"htm", "html", "xhtml", "shtml"};
    static const QStringList text = {"txt", "text"};
    static const QStringList image = {"png", "gif", "jpg", "jpeg", "bmp"};
    if (html.contains(suffix))
        return TopicKind::Html;
    if (text.contains(suffix))
        return TopicKind::Text;
    if (image.contains(suffix))
        return TopicKind::Image;
    return TopicKind::Other;
}

QString decode(const QByteArray &bytes, quint32 locale)
{
    if (bytes.startsWith("\xef\xbb\xbf"))
        return decodeWith("UTF-8", bytes.mid(3));
    if (bytes.startsWith("\xff\xfe"))
        return decodeWith("UTF-16LE", bytes.mid(2));
    if (bytes.startsWith("\xfe\xff"))
        return decodeWith("UTF-16BE", bytes.mid(2));
    const QByteArray charset = declaredCharset(bytes);
    if (isShiftJisName(charset))
        return decodeWith("windows-31j", bytes);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder(bytes);
    }
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
    }
    return decodeWith(codePageOfLocale(locale), bytes);
}

QString resolveEntities(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    static const QList<std::pair<QString, QString>> named = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "},
        {"copy", "©"}, {"reg", "®"}, {"times", "×"}, {"yen", "¥"}, {"hellip", "…"}, {"mdash", "—"},
        {"ndash", "–"}, {"laquo", "«"}, {"raquo", "»"}};
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            out += text[i];
            continue;
        }
        const qsizetype semi = text.indexOf(u';', i + 1);
        if (semi < 0 || semi - i > 10) {
            out += text[i];
            continue;
        }
        const QString name = text.mid(i + 1, semi - i - 1);
        bool replaced = false;
        if (name.startsWith(u'#')) {
            bool ok = false;
            const uint code = name.size() > 1 && (name[1] == u'x' || name[1] == u'X')
                ? name.mid(2).toUInt(&ok, 16)
                : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff)) {
                const char32_t c = code;
                out += QString::fromUcs4(&c, 1);
                replaced = true;
            }
        } else {
            for (const auto &[key, value] : named) {
                if (name.compare(key, Qt::CaseInsensitive) == 0) {
                    out += value;
                    replaced = true;
                    break;
                }
            }
        }
        if (replaced)
            i = semi;
        else
            out += text[i];
    }
    return out;
}

QString title(const QString &html)
{
    static const QRegularExpression re(QStringLiteral("<title[^>]*>(.*?)</title"),
                                       QRegularExpression::CaseInsensitiveOption
                                           | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(html);
    return m.hasMatch() ? resolveEntities(m.captured(1)).simplified() : QString();
}

QString plainText(const QString &html)
{
    QString out;
    out.reserve(html.size());
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        if (html[i] != u'<') {
            const qsizetype next = html.indexOf(u'<', i);
            out += html.mid(i, (next < 0 ? n : next) - i);
            i = next < 0 ? n : next;
            continue;
        }
        if (html.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const qsizetype close = html.indexOf(u'>', i);
        if (close < 0)
            break;
        qsizetype nameEnd = i + 1;
        while (nameEnd < close && (html[nameEnd].isLetterOrNumber() || html[nameEnd] == u'/'))
            ++nameEnd;
        const QString tag = html.mid(i + 1, nameEnd - i - 1).toLower();
        i = close + 1;
        // What a reader never sees is skipped to its end tag.
        if (tag == QLatin1String("head") || tag == QLatin1String("script") || tag == QLatin1String("style")
            || tag == QLatin1String("title")) {
            const qsizetype end = html.indexOf(QLatin1String("</") + tag, i, Qt::CaseInsensitive);
            if (end >= 0) {
                const qsizetype gt = html.indexOf(u'>', end);
                i = gt < 0 ? n : gt + 1;
            }
            continue;
        }
        out += u' ';
    }
    return resolveEntities(out).simplified();
}

namespace {

// Attribute values of one tag, names lower-cased.
QList<std::pair<QString, QString>> attributes(QStringView tag)
{
    QList<std::pair<QString, QString>> out;
    qsizetype i = 0;
    while (i < tag.size() && !tag[i].isSpace())
        ++i; // the tag's name
    while (i < tag.size()) {
        while (i < tag.size() && (tag[i].isSpace() || tag[i] == u'/'))
            ++i;
        const qsizetype nameStart = i;
        while (i < tag.size() && !tag[i].isSpace() && tag[i] != u'=' && tag[i] != u'/')
            ++i;
        const QString name = tag.mid(nameStart, i - nameStart).toString().toLower();
        while (i < tag.size() && tag[i].isSpace())
            ++i;
        QString value;
        if (i < tag.size() && tag[i] == u'=') {
            ++i;
            while (i < tag.size() && tag[i].isSpace())
                ++i;
            if (i < tag.size() && (tag[i] == u'"' || tag[i] == u'\'')) {
                const QChar quote = tag[i++];
                const qsizetype end = tag.indexOf(quote, i);
                const qsizetype stop = end < 0 ? tag.size() : end;
                value = tag.mid(i, stop - i).toString();
                i = stop + 1;
            } else {
                const qsizetype start = i;
                while (i < tag.size() && !tag[i].isSpace())
                    ++i;
                value = tag.mid(start, i - start).toString();
            }
        }
        if (name.isEmpty()) {
            ++i;
            continue;
        }
        out.append({name, resolveEntities(value)});
    }
    return out;
}

QString attribute(const QList<std::pair<QString, QString>> &attrs, const QString &name)
{
    for (const auto &[key, value] : attrs) {
        if (key == name)
            return value;
    }
    return {};
}

} // namespace

QList<SitemapEntry> parseSitemap(const QString &html)
{
    QList<SitemapEntry> root;
    // The lists being filled, outermost first. Pointers stay valid because
    // only the innermost list grows while deeper ones exist.
    QList<QList<SitemapEntry> *> levels{&root};
    // <UL> levels that opened no list of their own (nothing to nest under,
    // or too deep); their </UL> must not close an outer one.
    QList<bool> opened;
    SitemapEntry current;
    bool inObject = false;

    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const qsizetype lt = html.indexOf(u'<', i);
        if (lt < 0)
            break;
        if (QStringView(html).mid(lt, 4) == u"<!--") {
            const qsizetype end = html.indexOf(QLatin1String("-->"), lt + 4);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const qsizetype gt = html.indexOf(u'>', lt);
        if (gt < 0)
            break;
        const QStringView tag = QStringView(html).mid(lt + 1, gt - lt - 1);
        i = gt + 1;
        qsizetype nameEnd = 0;
        while (nameEnd < tag.size() && !tag[nameEnd].isSpace() && tag[nameEnd] != u'>')
            ++nameEnd;
        const QStringView name = tag.left(nameEnd);
        auto is = [&name](QLatin1StringView wanted) { return name.compare(wanted, Qt::CaseInsensitive) == 0; };

        if (is(QLatin1StringView("object"))) {
            const auto attrs = attributes(tag);
            inObject = attribute(attrs, QStringLiteral("type")).compare(QLatin1String("text/sitemap"),
                                                                         Qt::CaseInsensitive) == 0;
            current = {};
        } else if (inObject && is(QLatin1StringView("param"))) {
            const auto attrs = attributes(tag);
            const QString key = attribute(attrs, QStringLiteral("name")).toLower();
            const QString value = attribute(attrs, QStringLiteral("value"));
            // An index entry may list several topics, each a Name and a Local;
            // the first Name is the keyword.
            if (key == QLatin1String("name") && current.name.isEmpty())
                current.name = value.simplified();
            else if (key == QLatin1String("local") && !value.trimmed().isEmpty())
                current.locals.append(value.trimmed());
        } else if (is(QLatin1StringView("/object"))) {
            if (inObject && !current.name.isEmpty())
                levels.last()->append(std::move(current));
            current = {};
            inObject = false;
        } else if (is(QLatin1StringView("ul"))) {
            QList<SitemapEntry> *level = levels.last();
            const bool nest = !level->isEmpty() && levels.size() < kMaxSitemapDepth;
            if (nest)
                levels.append(&level->last().children);
            opened.append(nest);
        } else if (is(QLatin1StringView("/ul"))) {
            if (!opened.isEmpty() && opened.takeLast() && levels.size() > 1)
                levels.removeLast();
        }
    }
    return root;
}

QString sitemapTarget(const QString &local, const QString &sitemapPath)
{
    QString target = local.trimmed();
    const qsizetype store = target.indexOf(QLatin1String("::"));
    if (store >= 0) {
        target = target.mid(store + 2); // "mk:@MSITStore:file.chm::/page.htm"
    } else if (target.contains(QLatin1String("://")) || target.startsWith(QLatin1String("mailto:"),
                                                                             Qt::CaseInsensitive)) {
        return {};
    }
    target.replace(u'\\', u'/');
    if (target.isEmpty())
        return {};
    if (!target.startsWith(u'/')) {
        const qsizetype slash = sitemapPath.lastIndexOf(u'/');
        target.prepend(slash >= 0 ? sitemapPath.left(slash + 1) : QStringLiteral("/"));
    }
    // Resolve "." and ".." so the path matches the file's own names.
    const qsizetype hash = target.indexOf(u'#');
    const QString anchor = hash >= 0 ? target.mid(hash) : QString();
    const QStringList parts = (hash >= 0 ? target.left(hash) : target).split(u'/', Qt::SkipEmptyParts);
    QStringList kept;
    for (const QString &part : parts) {
        if (part == QLatin1String(".."))
            kept.isEmpty() ? void() : kept.removeLast();
        else if (part != QLatin1String("."))
            kept.append(part);
    }
    if (kept.isEmpty())
        return {};
    return u'/' + kept.join(u'/') + anchor;
}

QString fold(const QString &text, QList<qsizetype> *sourceIndex)
{
    QString out;
    out.reserve(text.size());
    if (sourceIndex) {
        sourceIndex->clear();
        sourceIndex->reserve(text.size());
    }
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        auto codePointAt = [&](qsizetype at, qsizetype *len) -> char32_t {
            if (text[at].isHighSurrogate() && at + 1 < n && text[at + 1].isLowSurrogate()) {
                *len = 2;
                return QChar::surrogateToUcs4(text[at], text[at + 1]);
            }
            *len = 1;
            return text[at].unicode();
        };
        qsizetype len = 0;
        const char32_t first = codePointAt(i, &len);
        qsizetype end = i + len;
        while (end < n) {
            qsizetype l = 0;
            if (!isCombining(codePointAt(end, &l)))
                break;
            end += l;
        }
        QString piece;
        if (end == i + 1 && QChar::decompositionTag(first) == QChar::NoDecomposition) {
            // A lone character NFKC leaves alone: the common case, cheaply.
            piece = QChar(foldKana(QChar::toCaseFolded(char16_t(first))));
        } else {
            piece = text.mid(i, end - i).normalized(QString::NormalizationForm_KC).toCaseFolded();
            for (QChar &c : piece)
                c = QChar(foldKana(c.unicode()));
            // NFKC of the kana fold: "か" + U+3099 left apart becomes "が".
            piece = piece.normalized(QString::NormalizationForm_C);
        }
        out += piece;
        if (sourceIndex) {
            for (qsizetype k = 0; k < piece.size(); ++k)
                sourceIndex->append(i);
        }
        i = end;
    }
    return out;
}

QList<IndexRow> indexRows(const QList<SitemapEntry> &entries)
{
    QList<IndexRow> rows;
    auto add = [&rows](auto &self, const QList<SitemapEntry> &list, int depth, const QString &above,
                       int parent) -> void {
        for (const SitemapEntry &entry : list) {
            const QString words = above.isEmpty() ? entry.name : above + u' ' + entry.name;
            // Shared with the entry where nothing changes: an index can
            // hold tens of thousands of keywords.
            QString name = fold(entry.name);
            if (name == entry.name)
                name = entry.name;
            rows.append({depth > 0 ? QString(qsizetype(depth) * 2, u' ') + entry.name : entry.name,
                         entry.locals.value(0), above.isEmpty() ? name : fold(words), name, parent});
            self(self, entry.children, depth + 1, words, int(rows.size()) - 1);
        }
    };
    add(add, entries, 0, QString(), -1);
    return rows;
}

int matchRank(const IndexRow &row, const QString &wanted)
{
    if (row.foldedName == wanted)
        return 0;
    if (row.foldedName.startsWith(wanted))
        return 1;
    return row.folded.contains(wanted) ? 2 : 3;
}

QStringList nowrapClasses(const QString &css)
{
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^{}]*)\\}"));
    static const QRegularExpression nowrap(QStringLiteral("white-space\\s*:\\s*nowrap"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression lastClass(QStringLiteral("\\.([A-Za-z_][\\w-]*)\\s*$"));
    QStringList out;
    for (auto it = rule.globalMatch(css); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(2).contains(nowrap))
            continue;
        for (const QString &selector : m.captured(1).split(u',')) {
            const auto c = lastClass.match(selector);
            if (c.hasMatch() && !out.contains(c.captured(1)))
                out.append(c.captured(1));
        }
    }
    return out;
}

QString joinNowrapRuns(const QString &html, const QStringList &classes)
{
    static const QRegularExpression nowrap(QStringLiteral("white-space\\s*:\\s*nowrap"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (!html.contains(QLatin1String("nowrap"), Qt::CaseInsensitive) && !html.contains(QLatin1String("<nobr"), Qt::CaseInsensitive)
        && classes.isEmpty())
        return html;
    QString out;
    out.reserve(html.size());
    QList<bool> spans; // open spans and <nobr>: whether each keeps its text on one line
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        if (html[i] == u'<') {
            const qsizetype gt = html.indexOf(u'>', i);
            const qsizetype end = gt < 0 ? n : gt + 1;
            const QStringView tag = QStringView(html).mid(i + 1, end - i - 2);
            qsizetype nameEnd = 0;
            while (nameEnd < tag.size() && !tag[nameEnd].isSpace())
                ++nameEnd;
            const QStringView name = tag.left(nameEnd);
            const bool inside = !spans.isEmpty() && spans.last();
            if (name.compare(u"span", Qt::CaseInsensitive) == 0) {
                bool keep = inside || tag.toString().contains(nowrap);
                if (!keep && !classes.isEmpty()) {
                    for (const auto &[key, value] : attributes(tag)) {
                        if (key == QLatin1String("class")) {
                            for (const QString &c : value.split(u' ', Qt::SkipEmptyParts))
                                keep = keep || classes.contains(c);
                        }
                    }
                }
                spans.append(keep);
            } else if (name.compare(u"nobr", Qt::CaseInsensitive) == 0) {
                spans.append(true);
            } else if ((name.compare(u"/span", Qt::CaseInsensitive) == 0
                        || name.compare(u"/nobr", Qt::CaseInsensitive) == 0)
                       && !spans.isEmpty()) {
                spans.removeLast();
            }
            out += QStringView(html).mid(i, end - i);
            i = end;
            continue;
        }
        const qsizetype lt = html.indexOf(u'<', i);
        const qsizetype stop = lt < 0 ? n : lt;
        if (spans.isEmpty() || !spans.last()) {
            out += QStringView(html).mid(i, stop - i);
        } else {
            bool space = false;
            for (qsizetype k = i; k < stop; ++k) {
                if (html[k].isSpace()) {
                    if (!space)
                        out += QChar(0x00a0);
                    space = true;
                } else {
                    out += html[k];
                    space = false;
                }
            }
        }
        i = stop;
    }
    return out;
}

QStringList searchTerms(const QString &query)
{
    return fold(query).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

} // namespace kanaroll::helptext
