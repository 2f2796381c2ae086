#include "ui/fonts.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The plain event dispatcher wakes once per batch of posted events; the
    // glib one makes a system call for every event a batch run posts.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kanaroll"));
    kanaroll::installFontSubstitutions();
    kanaroll::MainWindow w;
    w.show();
    return QApplication::exec();
}
