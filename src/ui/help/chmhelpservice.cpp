#include "ui/help/chmhelpservice.h"

#include "ui/help/helpviewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kanaroll {

std::unique_ptr<HelpService> createHelpService()
{
    return std::make_unique<ChmHelpService>(QStringList{
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(KANAROLL_HELP_DIR_FROM_BIN))});
}

ChmHelpService::ChmHelpService(QStringList fallbackDirs) : m_fallbackDirs(std::move(fallbackDirs)) {}

ChmHelpService::~ChmHelpService()
{
    // No event loop may run after this, so delete rather than close.
    for (const QPointer<HelpViewer> &viewer : std::as_const(m_viewers))
        delete viewer.data();
}

void ChmHelpService::displayTopic(QWidget *owner, const QString &helpFile)
{
    const QString path = locate(helpFile);
    if (HelpViewer *open = m_viewers.value(path)) {
        open->setWindowState(open->windowState() & ~Qt::WindowMinimized);
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }

    ChmFile chm;
    if (!chm.open(path))
        return;
    auto *viewer = new HelpViewer(std::move(chm), owner ? owner->window() : nullptr);
    if (!viewer->showDefaultTopic()) {
        delete viewer;
        return;
    }
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    // The program ends with its main window, help windows or not.
    viewer->setAttribute(Qt::WA_QuitOnClose, false);
    m_viewers.insert(path, viewer);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

QString ChmHelpService::locate(const QString &helpFile) const
{
    const QFileInfo here(helpFile);
    if (here.exists() || helpFile.contains(u'/'))
        return here.absoluteFilePath();
    for (const QString &dir : m_fallbackDirs) {
        const QFileInfo there(QDir(dir), helpFile);
        if (there.exists())
            return there.absoluteFilePath();
    }
    return here.absoluteFilePath();
}

void ChmHelpService::closeAll()
{
    const auto viewers = std::exchange(m_viewers, {});
    for (const QPointer<HelpViewer> &viewer : viewers) {
        if (viewer)
            viewer->close();
    }
}

QList<HelpViewer *> ChmHelpService::windows() const
{
    QList<HelpViewer *> out;
    for (const QPointer<HelpViewer> &viewer : m_viewers) {
        if (viewer)
            out.append(viewer.data());
    }
    return out;
}

} // namespace kanaroll
