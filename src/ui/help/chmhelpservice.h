#pragma once

#include "ui/help/helpservice.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace kanaroll {

class HelpChild;

// Shows compiled help files in a viewer process of its own, one per file, so
// that a damaged file can crash the viewer but never the program. The
// program never waits for a viewer: it starts one, talks to it over a
// socket, and forgets it when the socket closes (the viewer ended, crashed
// or was closed by the user). The viewer ends when its socket closes, which
// also happens when the program ends in any way.
// A bare name missing from the working directory is looked for in the
// fallback directories, in order (where an installed copy lives).
class ChmHelpService final : public QObject, public HelpService
{
    Q_OBJECT

public:
    explicit ChmHelpService(QString viewerProgram, QStringList fallbackDirs = {});
    ~ChmHelpService() override;
    ChmHelpService(const ChmHelpService &) = delete;
    ChmHelpService &operator=(const ChmHelpService &) = delete;

    void displayTopic(QWidget *owner, const QString &helpFile) override;
    void closeAll() override;

    // Absolute names of the files whose viewer is running.
    QStringList openFiles() const;
    // Whether the viewer of a file reported its window shown.
    bool isShown(const QString &helpFile) const;
    // The process of the viewer of a file, 0 when none runs.
    qint64 viewerPid(const QString &helpFile) const;
    // How many times the viewer of a file was asked to come to the front.
    int raiseCount(const QString &helpFile) const;

    // Where a help file name leads (absolute).
    QString locate(const QString &helpFile) const;

signals:
    // A viewer's socket closed: the viewer ended, for whatever reason.
    void viewerEnded(const QString &path);

private:
    QString m_viewerProgram;
    QStringList m_fallbackDirs;
    QHash<QString, QPointer<HelpChild>> m_children;
};

} // namespace kanaroll
