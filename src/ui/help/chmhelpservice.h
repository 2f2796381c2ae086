#pragma once

#include "ui/help/helpservice.h"

#include <QHash>
#include <QList>
#include <QPointer>

namespace kanaroll {

class HelpViewer;

// Shows compiled help files in the program's own viewer, one window per file.
class ChmHelpService final : public HelpService
{
public:
    ChmHelpService() = default;
    ~ChmHelpService() override;
    ChmHelpService(const ChmHelpService &) = delete;
    ChmHelpService &operator=(const ChmHelpService &) = delete;

    void displayTopic(QWidget *owner, const QString &helpFile) override;
    void closeAll() override;

    // The help windows still open.
    QList<HelpViewer *> windows() const;

private:
    // Keyed by absolute file name; an entry goes null when its window is
    // closed (the window deletes itself) or its owner is destroyed.
    QHash<QString, QPointer<HelpViewer>> m_viewers;
};

} // namespace kanaroll
