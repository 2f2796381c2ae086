#pragma once

#include "ui/help/chmfile.h"

#include <QTextBrowser>

namespace kanaroll {

// A help window showing the pages of one compiled help file. Links,
// pictures and style sheets are taken from inside the file; nothing is read
// from disk or the network. Back: Alt+Left or Backspace; forward: Alt+Right.
class HelpViewer : public QTextBrowser
{
    Q_OBJECT

public:
    explicit HelpViewer(ChmFile file, QWidget *parent = nullptr);

    const ChmFile &chm() const { return m_chm; }

    // Shows the file's default topic; false when it cannot be read.
    bool showDefaultTopic();

    // The address under which a path inside the file is shown.
    static QUrl urlFor(const QString &chmPath);

    QVariant loadResource(int type, const QUrl &name) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void followLink(const QUrl &link);
    void updateTitle();

    ChmFile m_chm;
};

} // namespace kanaroll
