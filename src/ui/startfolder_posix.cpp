#include "ui/startfolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace kanaroll {

namespace {

// HOME, else the password database's home folder; empty when neither names a
// folder other than the root, so that nothing lands at the root by accident.
QString homeFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    QString path = QDir::cleanPath(QFile::decodeName(home));
    if (home.isEmpty() || !QDir::isAbsolutePath(path) || QDir(path).isRoot())
        return QString();
    return path;
}

} // namespace

QString documentsFolder()
{
    // Without HOME, the folders below would be sought at the root.
    const QString home = homeFolder();
    if (home.isEmpty())
        return QString();
    if (qEnvironmentVariableIsEmpty("HOME"))
        qputenv("HOME", QFile::encodeName(home));
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::home().filePath(QStringLiteral("Documents"));
    return QDir(docs).filePath(QStringLiteral("Kanaroll"));
}

} // namespace kanaroll
