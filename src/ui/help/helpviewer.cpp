#include "ui/help/helpviewer.h"

#include <QKeyEvent>
#include <QStringDecoder>
#include <QTextDocument>

namespace kanaroll {

namespace {

const QString kScheme = QStringLiteral("chm");

QString decodeHtml(const QByteArray &bytes)
{
    // Pages say their encoding in a meta tag; without one they are UTF-8.
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder(bytes);
}

} // namespace

HelpViewer::HelpViewer(ChmFile file, QWidget *parent)
    : QTextBrowser(parent), m_chm(std::move(file))
{
    if (parent)
        setWindowFlags(Qt::Window);
    // Links are followed here so that none of them leaves the file.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpViewer::followLink);
    connect(this, &QTextBrowser::sourceChanged, this, &HelpViewer::updateTitle);
    resize(720, 560);
    updateTitle();
}

QUrl HelpViewer::urlFor(const QString &chmPath)
{
    QUrl url;
    url.setScheme(kScheme);
    url.setPath(ChmFile::normalizedPath(chmPath));
    return url;
}

bool HelpViewer::showDefaultTopic()
{
    const QString topic = m_chm.defaultTopic();
    if (topic.isEmpty() || !m_chm.read(topic))
        return false;
    setSource(urlFor(topic), QTextDocument::HtmlResource);
    return true;
}

QVariant HelpViewer::loadResource(int type, const QUrl &name)
{
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() != kScheme)
        return {};
    const auto bytes = m_chm.read(url.path());
    if (!bytes)
        return {};
    switch (type) {
    case QTextDocument::HtmlResource:
        return decodeHtml(*bytes);
    case QTextDocument::StyleSheetResource:
        return QString::fromUtf8(*bytes);
    default:
        return *bytes; // pictures: the document decodes the bytes itself
    }
}

void HelpViewer::followLink(const QUrl &link)
{
    const QUrl url = link.isRelative() ? source().resolved(link) : link;
    if (url.scheme() == kScheme && m_chm.contains(url.path()))
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

void HelpViewer::updateTitle()
{
    QString title = documentTitle();
    if (title.isEmpty())
        title = m_chm.title();
    if (title.isEmpty())
        title = QStringLiteral("Kanaroll ヘルプ");
    setWindowTitle(title);
}

} // namespace kanaroll
