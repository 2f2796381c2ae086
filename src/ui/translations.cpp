#include "ui/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace kanaroll {

QString toolkitTranslationFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installToolkitTranslation()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    // The window is Japanese under every locale, so the toolkit's texts are too.
    // A copy beside the program serves builds that carry their own Qt.
    const QString name = QStringLiteral("qtbase_ja");
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
    if ((translator->load(name, toolkitTranslationFolder()) || translator->load(name, beside))
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace kanaroll
