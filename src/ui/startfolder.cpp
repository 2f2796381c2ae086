#include "ui/startfolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace kanaroll {

namespace {

StartFolder fail(const QString &message)
{
    return {StartFolder::Exit, 2, QStringLiteral("kanaroll: ") + message};
}

} // namespace

StartFolder enterStartFolder(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tells the compatibility of two names in hiragana."));
    const QCommandLineOption dirOption(QStringLiteral("dir"),
                                       QStringLiteral("Work in DIR, creating it if missing."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption documentsOption(
        QStringLiteral("documents"), QStringLiteral("Work in Kanaroll in the documents folder (the menu entry's choice)."));
    parser.addOption(dirOption);
    parser.addOption(documentsOption);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    if (!parser.parse(args))
        return fail(parser.errorText());
    if (parser.isSet(helpOption))
        return {StartFolder::Exit, 0, parser.helpText()};
    if (parser.isSet(versionOption))
        return {StartFolder::Exit, 0, QStringLiteral("kanaroll " KANAROLL_VERSION)};
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument: ") + parser.positionalArguments().constFirst());
    if (parser.isSet(dirOption) && parser.isSet(documentsOption))
        return fail(QStringLiteral("--dir and --documents exclude each other"));

    QString folder;
    if (parser.isSet(dirOption)) {
        folder = parser.values(dirOption).constLast();
        if (folder.isEmpty())
            return fail(QStringLiteral("--dir needs a folder name"));
    } else if (parser.isSet(documentsOption)) {
        folder = documentsFolder();
        if (folder.isEmpty())
            return fail(QStringLiteral("--documents needs a home folder, and neither HOME nor the password database names one"));
    } else {
        return {};
    }

    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return fail(QStringLiteral("cannot work in %1: it is not a folder").arg(folder));
    if (!info.exists() && !QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    if (!QDir::setCurrent(folder))
        return fail(QStringLiteral("cannot enter the folder %1").arg(folder));
    return {};
}

} // namespace kanaroll
