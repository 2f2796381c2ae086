#include "help/helpviewer.h"

#include <QApplication>

#include <QKeyEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QWheelEvent>

namespace kanaroll {

namespace {

const QString kScheme = QStringLiteral("chm");
// The sizes a page gave, kept on its text so that every zoom starts from them.
constexpr int kPagePointSize = QTextFormat::UserProperty + 1;
constexpr int kPagePixelSize = QTextFormat::UserProperty + 2;

} // namespace

HelpViewer::HelpViewer(const HelpDocument *document, QWidget *parent)
    : QTextBrowser(parent), m_doc(document)
{
    // Links are followed here so that none of them leaves the file.
    setOpenLinks(false);
    // Words are wrapped whole; a cell that is too narrow grows instead.
    setWordWrapMode(QTextOption::WordWrap);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpViewer::followLink);
    connect(this, &QTextBrowser::sourceChanged, this, &HelpViewer::pageShown);
    m_basePointSize = QTextBrowser::document()->defaultFont().pointSizeF();
}

QUrl HelpViewer::urlFor(const QString &chmPath)
{
    QUrl url;
    url.setScheme(kScheme);
    const qsizetype hash = chmPath.indexOf(u'#');
    url.setPath(ChmFile::normalizedPath(hash >= 0 ? chmPath.left(hash) : chmPath));
    if (hash >= 0 && hash + 1 < chmPath.size())
        url.setFragment(chmPath.mid(hash + 1));
    return url;
}

bool HelpViewer::showDefaultTopic()
{
    return !m_doc->home().isEmpty() && showPath(m_doc->home());
}

bool HelpViewer::showPath(const QString &path)
{
    const QUrl url = urlFor(path);
    if (!m_doc->chm().contains(url.path()))
        return false;
    setSource(url, QTextDocument::HtmlResource);
    return true;
}

QString HelpViewer::currentPath() const
{
    return source().path();
}

QVariant HelpViewer::loadResource(int type, const QUrl &name)
{
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() != kScheme)
        return {};
    switch (type) {
    case QTextDocument::HtmlResource:
        return pageHtml(url.path());
    case QTextDocument::StyleSheetResource:
        if (const auto text = m_doc->text(url.path()))
            return *text;
        return {};
    default:
        if (const auto bytes = m_doc->chm().read(url.path()))
            return *bytes; // pictures: the document decodes the bytes itself
        return {};
    }
}

// A topic as a page: texts and pictures get one around them.
QString HelpViewer::pageHtml(const QString &path)
{
    switch (helptext::topicKind(path)) {
    case helptext::TopicKind::Image:
        if (!m_doc->chm().contains(path))
            return {};
        return QStringLiteral("<html><body><img src=\"%1\"></body></html>")
            .arg(path.mid(path.lastIndexOf(u'/') + 1).toHtmlEscaped());
    case helptext::TopicKind::Text:
        if (const auto text = m_doc->text(path))
            return QStringLiteral("<html><body><pre style=\"white-space: pre-wrap\">%1</pre></body></html>")
                .arg(text->toHtmlEscaped());
        return {};
    default:
        break;
    }
    const auto html = m_doc->text(path);
    if (!html)
        return {};
    return helptext::joinNowrapRuns(*html, nowrapClassesOf(*html, urlFor(path)));
}

// The nowrap classes of a page's own style and of the style sheets it links.
QStringList HelpViewer::nowrapClassesOf(const QString &html, const QUrl &page)
{
    static const QRegularExpression style(QStringLiteral("<style[^>]*>(.*?)</style"),
                                          QRegularExpression::CaseInsensitiveOption
                                              | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression link(QStringLiteral("<link[^>]*href\\s*=\\s*[\"']?([^\"' >]+\\.css)"),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList classes;
    for (auto it = style.globalMatch(html); it.hasNext();)
        classes += helptext::nowrapClasses(it.next().captured(1));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString path = page.resolved(QUrl(it.next().captured(1))).path();
        auto cached = m_nowrapByStyleSheet.find(path.toLower());
        if (cached == m_nowrapByStyleSheet.end())
            cached = m_nowrapByStyleSheet.insert(path.toLower(), helptext::nowrapClasses(m_doc->text(path).value_or(QString())));
        classes += *cached;
    }
    return classes;
}

// Back and forward load pages without doSetSource, so a new page is told by
// the address it announces.
void HelpViewer::pageShown(const QUrl &url)
{
    // An anchor in the same page keeps the sized document.
    const QUrl page = url.adjusted(QUrl::RemoveFragment);
    if (page == m_shownPage)
        return;
    m_shownPage = page;
    fitTextToPage();
    setExtraSelections({});
    if (!qFuzzyCompare(m_zoom, 1.0))
        applyZoom();
}

// Bullets, and text a page leaves uncoloured, take the palette's text
// colour; on a page that brings its own background a dark palette's light
// text would vanish, so there it is the black or white that reads.
void HelpViewer::fitTextToPage()
{
    const QBrush back = document()->rootFrame()->frameFormat().background();
    QPalette pal = palette();
    QColor text = parentWidget() ? parentWidget()->palette().color(QPalette::Text)
                                 : QApplication::palette().color(QPalette::Text);
    if (back.style() != Qt::NoBrush)
        text = qGray(back.color().rgb()) >= 128 ? QColor(Qt::black) : QColor(Qt::white);
    if (pal.color(QPalette::Text) == text)
        return;
    pal.setColor(QPalette::Text, text);
    setPalette(pal);
}

void HelpViewer::setZoomFactor(qreal factor)
{
    if (factor <= 0 || qFuzzyCompare(factor, m_zoom))
        return;
    m_zoom = factor;
    applyZoom();
}

// Pages set their sizes in points or pixels, which the widget's own font
// size does not reach, so every run of text is sized where it stands, from
// the size the page gave it. The document keeps its default font from page
// to page, so that one is set from the widget's.
void HelpViewer::applyZoom()
{
    QTextDocument *doc = document();
    if (m_basePointSize > 0) {
        QFont base = doc->defaultFont();
        base.setPointSizeF(m_basePointSize * m_zoom);
        doc->setDefaultFont(base);
    }
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat given = fragment.charFormat();
            const qreal points = given.hasProperty(kPagePointSize) ? given.doubleProperty(kPagePointSize)
                                                                   : given.fontPointSize();
            const int pixels = given.hasProperty(kPagePixelSize) ? given.intProperty(kPagePixelSize)
                                                                 : given.intProperty(QTextFormat::FontPixelSize);
            if (points <= 0 && pixels <= 0)
                continue;
            QTextCharFormat format;
            if (points > 0) {
                format.setProperty(kPagePointSize, points);
                format.setFontPointSize(points * m_zoom);
            }
            if (pixels > 0) {
                format.setProperty(kPagePixelSize, pixels);
                format.setProperty(QTextFormat::FontPixelSize, std::max(1, qRound(pixels * m_zoom)));
            }
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(format);
        }
    }
    cursor.endEditBlock();
    doc->setModified(false);
}

int HelpViewer::highlight(const QStringList &terms)
{
    const QString plain = document()->toPlainText();
    QList<qsizetype> source;
    const QString folded = helptext::fold(plain, &source);
    QList<ExtraSelection> marks;
    QTextCharFormat format;
    format.setBackground(QColor(255, 230, 80));
    format.setForeground(Qt::black);
    for (const QString &term : terms) {
        if (term.isEmpty())
            continue;
        for (qsizetype at = folded.indexOf(term); at >= 0; at = folded.indexOf(term, at + term.size())) {
            const qsizetype start = source[at];
            const qsizetype stop = at + term.size();
            qsizetype end = stop < folded.size() ? source[stop] : plain.size();
            if (end <= start)
                end = start + 1;
            ExtraSelection mark;
            mark.cursor = QTextCursor(document());
            mark.cursor.setPosition(int(start));
            mark.cursor.setPosition(int(end), QTextCursor::KeepAnchor);
            mark.format = format;
            marks.append(mark);
        }
    }
    std::sort(marks.begin(), marks.end(), [](const ExtraSelection &a, const ExtraSelection &b) {
        return a.cursor.selectionStart() < b.cursor.selectionStart();
    });
    setExtraSelections(marks);
    if (!marks.isEmpty()) {
        QTextCursor first = marks.first().cursor;
        first.setPosition(first.selectionStart());
        setTextCursor(first);
        // The first hit near the top, with a line of its context above it.
        QScrollBar *bar = verticalScrollBar();
        bar->setValue(bar->value() + cursorRect(first).top() - fontMetrics().height() * 2);
    }
    return int(marks.size());
}

void HelpViewer::followLink(const QUrl &link)
{
    const QUrl url = link.isRelative() ? source().resolved(link) : link;
    if (url.scheme() == kScheme && m_doc->chm().contains(url.path()))
        setSource(url, QTextDocument::HtmlResource);
}

void HelpViewer::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key == Qt::Key_Left && mods == Qt::AltModifier)
        || (key == Qt::Key_Backspace && mods == Qt::NoModifier) || key == Qt::Key_Back) {
        backward();
        event->accept();
        return;
    }
    if ((key == Qt::Key_Right && mods == Qt::AltModifier) || key == Qt::Key_Forward) {
        forward();
        event->accept();
        return;
    }
    QTextBrowser::keyPressEvent(event);
}

void HelpViewer::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int dy = event->angleDelta().y();
        if (dy != 0)
            emit zoomStep(dy > 0 ? 1 : -1);
        event->accept();
        return;
    }
    QTextBrowser::wheelEvent(event);
}

} // namespace kanaroll
