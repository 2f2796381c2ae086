#pragma once

#include "help/helpdocument.h"

#include <QTextBrowser>

namespace kanaroll {

// The page area of a help window: shows the pages of one help file, and
// texts and pictures as topics of their own. Links, pictures and style
// sheets are taken from inside the file; nothing is read from disk or the
// network. Runs that the page keeps on one line (white-space: nowrap) stay
// whole, and words are never broken inside. Back: Alt+Left or Backspace; forward: Alt+Right.
class HelpViewer : public QTextBrowser
{
    Q_OBJECT

public:
    explicit HelpViewer(const HelpDocument *document, QWidget *parent = nullptr);

    // Shows the file's default topic; false when it cannot be read.
    bool showDefaultTopic();
    // Shows a path inside the file ("/a.htm#part"); false when it is not there.
    bool showPath(const QString &path);
    // The path inside the file of the page shown, without anchor.
    QString currentPath() const;

    // The address under which a path inside the file is shown.
    static QUrl urlFor(const QString &chmPath);

    // Text size as a factor of the pages' own, in points or in pixels;
    // pictures keep their size.
    void setZoomFactor(qreal factor);
    qreal zoomFactor() const { return m_zoom; }

    // Marks every occurrence of the search terms in the shown page (folded
    // as search folds) and scrolls to the first; returns how many.
    int highlight(const QStringList &terms);
    int highlightCount() const { return int(extraSelections().size()); }

    QVariant loadResource(int type, const QUrl &name) override;

signals:
    // Ctrl with the mouse wheel: +1 larger, -1 smaller.
    void zoomStep(int direction);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void followLink(const QUrl &link);
    void pageShown(const QUrl &url);
    void applyZoom();
    void fitTextToPage();
    QString pageHtml(const QString &path);
    QStringList nowrapClassesOf(const QString &html, const QUrl &page);

    const HelpDocument *m_doc;
    qreal m_zoom = 1.0;
    qreal m_basePointSize = 0;
    QUrl m_shownPage;
    QHash<QString, QStringList> m_nowrapByStyleSheet; // path -> classes
};

} // namespace kanaroll
