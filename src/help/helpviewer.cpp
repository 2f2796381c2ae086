#include "help/helpviewer.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QWheelEvent>

namespace kanaroll {

namespace {

const QString kScheme = QStringLiteral("chm");

} // namespace

HelpViewer::HelpViewer(const HelpDocument *document, QWidget *parent)
    : QTextBrowser(parent), m_doc(document)
{
    // Links are followed here so that none of them leaves the file.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpViewer::followLink);
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

void HelpViewer::doSetSource(const QUrl &name, QTextDocument::ResourceType type)
{
    // Only a change of page loads a new document; an anchor in the same page
    // keeps the scaled one.
    const QUrl before = source().adjusted(QUrl::RemoveFragment);
    QTextBrowser::doSetSource(name, type);
    if (source().adjusted(QUrl::RemoveFragment) == before && before.isValid())
        return;
    setExtraSelections({});
    if (!qFuzzyCompare(m_zoom, 1.0))
        scaleFonts(m_zoom);
}

void HelpViewer::setZoomFactor(qreal factor)
{
    if (factor <= 0 || qFuzzyCompare(factor, m_zoom))
        return;
    const qreal ratio = factor / m_zoom;
    m_zoom = factor;
    scaleFonts(ratio);
}

// Pages set their sizes in points, which the widget's own font size does not
// reach, so every run of text is scaled where it stands. The document keeps
// its default font from page to page, so that one is set, not scaled.
void HelpViewer::scaleFonts(qreal ratio)
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
            const qreal size = fragment.charFormat().fontPointSize();
            if (size <= 0)
                continue;
            QTextCharFormat format;
            format.setFontPointSize(size * ratio);
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
