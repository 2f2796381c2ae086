#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/signals.h"
#include "ui/startfolder.h"
#include "ui/translations.h"

#include <QApplication>
#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt ends a program that finds no window system with abort(), a core dump and
// advice to reinstall. While the application starts, its messages are held;
// that one fatal message becomes a plain line and status 1, the others are
// passed on once the start succeeds.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QList<HeldMessage> heldMessages;
QtMessageHandler passOn = nullptr;

void holdStartMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        std::fputs("kanaroll: cannot open a window: start it in a desktop session (X11 or Wayland),"
                   " or choose a platform with QT_QPA_PLATFORM\n",
                   stderr);
        std::_Exit(1);
    }
    if (type == QtFatalMsg) {
        passOn(type, context, text);
        return;
    }
    heldMessages.append({type, context.category ? QByteArray(context.category) : QByteArray(), text});
}

void passHeldMessages()
{
    qInstallMessageHandler(passOn);
    for (const HeldMessage &m : std::as_const(heldMessages)) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.isEmpty() ? nullptr : m.category.constData());
        passOn(m.type, context, m.text);
    }
    heldMessages.clear();
}

} // namespace

int main(int argc, char *argv[])
{
    kanaroll::SignalRelay::holdSignals();
    // The plain event dispatcher wakes once per batch of posted events; the
    // glib one makes a system call for every event a batch run posts.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication::setApplicationName(QStringLiteral("Kanaroll"));
    // --help answers without a desktop too. Qt's own options (-platform, -style)
    // are known only once the application has taken them out, so a refusal is
    // decided after that.
    kanaroll::StartFolder start;
    {
        const QCoreApplication options(argc, argv);
        start = kanaroll::enterStartFolder(QCoreApplication::arguments());
    }
    if (start.outcome == start.Exit && start.exitCode == 0) {
        std::fputs(qPrintable(start.message + u'\n'), stdout);
        return 0;
    }
    passOn = qInstallMessageHandler(holdStartMessage);
    QApplication app(argc, argv);
    passHeldMessages();
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kanaroll.Kanaroll"));
    if (start.outcome == start.Exit)
        start = kanaroll::enterStartFolder(QApplication::arguments());
    if (start.outcome == start.Exit) {
        std::fputs(qPrintable(start.message + u'\n'), start.exitCode == 0 ? stdout : stderr);
        return start.exitCode;
    }
    kanaroll::installFontSubstitutions();
    kanaroll::installToolkitTranslation();
    kanaroll::SignalRelay signalRelay;
    kanaroll::MainWindow w;
    // Ending by a signal takes the path of 終了.
    QObject::connect(&signalRelay, &kanaroll::SignalRelay::quitRequested, &w, &kanaroll::MainWindow::cmdEnd_Click);
    w.show();
    return QApplication::exec();
}
