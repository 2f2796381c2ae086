#pragma once

#include "ui/help/helpservice.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>

namespace kanaroll {

class HelpViewer;

// Shows compiled help files in the program's own viewer, one window per file.
// A bare name missing from the working directory is looked for in the
// fallback directories, in order (where an installed copy lives).
class ChmHelpService final : public HelpService
{
public:
    explicit ChmHelpService(QStringList fallbackDirs = {});
    ~ChmHelpService() override;
    ChmHelpService(const ChmHelpService &) = delete;
    ChmHelpService &operator=(const ChmHelpService &) = delete;

    void displayTopic(QWidget *owner, const QString &helpFile) override;
    void closeAll() override;

    // The help windows still open.
    QList<HelpViewer *> windows() const;

private:
    QString locate(const QString &helpFile) const;

    QStringList m_fallbackDirs;
    // Keyed by absolute file name; an entry goes null when its window is
    // closed (the window deletes itself) or its owner is destroyed.
    QHash<QString, QPointer<HelpViewer>> m_viewers;
};

} // namespace kanaroll
