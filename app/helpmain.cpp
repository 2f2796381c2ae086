// kanaroll-help: shows one help file in a window of its own process, so
// that a damaged file can take down only this window. The program starts it
// with a socket as standard input: "raise" brings the window to the front,
// and the socket closing (the program ended) closes the window. It answers
// "shown" once the first page is painted and "ready" once search can be
// used. Without such a socket it simply shows the
// file until the window is closed.
#include "help/helpviewer.h"
#include "help/helpwindow.h"

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kanaroll;

namespace {

// Says "shown" once the page area has been painted for the first time.
class FirstPaint : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_sent) {
            m_sent = true;
            // After this paint has reached the screen.
            QTimer::singleShot(0, this, [] { ::send(STDIN_FILENO, "shown\n", 6, MSG_NOSIGNAL | MSG_DONTWAIT); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_sent = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kanaroll"));
    // The help file, then where the program's window stands (x,y,w,h),
    // so that help opens beside it.
    if (argc != 2 && argc != 3)
        return 2;

    // Only a regular file reaches the viewer; one it cannot read still gets
    // a window that says so.
    HelpDocument document;
    document.open(QFile::decodeName(argv[1]));
    HelpWindow window(std::move(document));
    window.showHome();

    struct stat st {};
    const bool controlled = ::fstat(STDIN_FILENO, &st) == 0 && S_ISSOCK(st.st_mode);
    if (controlled) {
        auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
            char buffer[256];
            const ssize_t got = ::recv(STDIN_FILENO, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                if (QByteArray(buffer, got).contains("raise")) {
                    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
                    window.show();
                    window.raise();
                    window.activateWindow();
                }
                return;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            notifier->setEnabled(false);
            window.close(); // the program is gone or wants help closed
        });
    }

    if (controlled) {
        FirstPaint *painted = new FirstPaint(&window);
        window.viewer()->viewport()->installEventFilter(painted);
        QObject::connect(&window, &HelpWindow::searchReady, &window,
                         [] { ::send(STDIN_FILENO, "ready\n", 6, MSG_NOSIGNAL | MSG_DONTWAIT); });
    }
    QRect owner;
    if (argc == 3) {
        const QStringList parts = QString::fromLatin1(argv[2]).split(u',');
        if (parts.size() == 4)
            owner = QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
    }
    window.placeBeside(owner);
    window.show();
    window.raise();
    window.activateWindow();
    return QApplication::exec();
}
