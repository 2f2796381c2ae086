#include "ui/startfolder.h"

#include <QDir>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace kanaroll {

QString documentsFolder()
{
    // The user's own Documents, wherever it has been moved (a redirected or
    // synced folder included).
    PWSTR path = nullptr;
    QString docs;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &path)) && path)
        docs = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    CoTaskMemFree(path);
    if (docs.isEmpty())
        return QString();
    return QDir(docs).filePath(QStringLiteral("Kanaroll"));
}

} // namespace kanaroll
