#include "ui/fonts.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kanaroll"));
    kanaroll::installFontSubstitutions();
    kanaroll::MainWindow w;
    w.show();
    return QApplication::exec();
}
