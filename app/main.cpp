#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/signals.h"
#include "ui/startfolder.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    kanaroll::SignalRelay::holdSignals();
    // The plain event dispatcher wakes once per batch of posted events; the
    // glib one makes a system call for every event a batch run posts.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kanaroll"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kanaroll.Kanaroll"));
    if (const auto start = kanaroll::enterStartFolder(QApplication::arguments()); start.outcome == start.Exit) {
        std::fputs(qPrintable(start.message + u'\n'), start.exitCode == 0 ? stdout : stderr);
        return start.exitCode;
    }
    kanaroll::installFontSubstitutions();
    kanaroll::SignalRelay signalRelay;
    kanaroll::MainWindow w;
    // Ending by a signal takes the path of 終了.
    QObject::connect(&signalRelay, &kanaroll::SignalRelay::quitRequested, &w, &kanaroll::MainWindow::cmdEnd_Click);
    w.show();
    return QApplication::exec();
}
