#include "ui/help/chmhelpservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kanaroll {

// One running viewer: its process and the socket that is its standard input.
class HelpChild : public QObject
{
public:
    HelpChild(pid_t pid, int fd, QObject *parent) : QObject(parent), m_pid(pid), m_fd(fd)
    {
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[256];
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                m_input.append(buffer, got);
                if (m_input.contains("shown\n")) {
                    m_shown = true;
                    m_input.clear();
                } else if (m_input.size() > 64) {
                    m_input = m_input.right(8); // chatter that is no message
                }
                return;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            end();
        });
    }
    ~HelpChild() override { closeSocket(); }

    bool shown() const { return m_shown; }
    pid_t pid() const { return m_pid; }
    int raises() const { return m_raises; }

    void raise()
    {
        ++m_raises;
        if (m_fd >= 0)
            ::send(m_fd, "raise\n", 6, MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    // Closing the socket tells the viewer to close; it is not waited for.
    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        closeSocket();
        if (onEnded)
            onEnded();
        reap();
    }

    std::function<void()> onEnded;

private:
    void closeSocket()
    {
        // The notifier goes first: the number may be handed out again at once.
        if (m_notifier) {
            m_notifier->setEnabled(false);
            m_notifier->deleteLater();
            m_notifier = nullptr;
        }
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    // The process is collected once it has gone, checked now and then
    // without ever blocking.
    void reap()
    {
        const pid_t done = ::waitpid(m_pid, nullptr, WNOHANG);
        if (done == 0) {
            QTimer::singleShot(200, this, &HelpChild::reap);
            return;
        }
        deleteLater();
    }

    pid_t m_pid;
    int m_fd;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_input;
    bool m_shown = false;
    bool m_ended = false;
    int m_raises = 0;
};

std::unique_ptr<HelpService> createHelpService()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    QString viewer = bin.filePath(QStringLiteral(KANAROLL_HELP_VIEWER_FROM_BIN)); // installed
    if (!QFileInfo(viewer).isExecutable())
        viewer = bin.filePath(QStringLiteral("kanaroll-help"));
    if (!QFileInfo(viewer).isExecutable())
        viewer = QStringLiteral(KANAROLL_HELP_VIEWER_BUILT); // a program run from its build tree
    QStringList dirs{bin.filePath(QStringLiteral(KANAROLL_HELP_DIR_FROM_BIN))};
    // A program run from its build tree finds the help file of its sources,
    // as an installed one finds its installed copy.
    const QString built = QDir(QStringLiteral(KANAROLL_BUILD_DIR)).canonicalPath();
    const QString here = bin.canonicalPath();
    if (!built.isEmpty() && (here == built || here.startsWith(built + u'/')))
        dirs.append(QStringLiteral(KANAROLL_SOURCE_HELP_DIR));
    return std::make_unique<ChmHelpService>(viewer, dirs);
}

ChmHelpService::ChmHelpService(QString viewerProgram, QStringList fallbackDirs)
    : m_viewerProgram(std::move(viewerProgram)), m_fallbackDirs(std::move(fallbackDirs))
{
}

ChmHelpService::~ChmHelpService()
{
    closeAll();
}

void ChmHelpService::displayTopic(QWidget *owner, const QString &helpFile)
{
    const QString path = locate(helpFile);
    if (HelpChild *child = m_children.value(path)) {
        child->raise();
        return;
    }
    // Only a regular file is handed on; the check is a stat, which does not
    // block even for a fifo. The viewer checks again as it opens the file.
    if (!QFileInfo(path).isFile())
        return;

    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return;
    const QByteArray program = QFile::encodeName(m_viewerProgram);
    const QByteArray file = QFile::encodeName(path);
    // Where the program's window stands, so that help opens beside it.
    QByteArray beside;
    if (owner) {
        const QRect r = owner->window()->frameGeometry();
        beside = QByteArray::number(r.x()) + ',' + QByteArray::number(r.y()) + ',' + QByteArray::number(r.width())
                 + ',' + QByteArray::number(r.height());
    }
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(file.constData()),
                    beside.isEmpty() ? nullptr : beside.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
    // The viewer starts with no signal blocked or ignored, whatever the
    // program does with its own.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (rc != 0) {
        ::close(sockets[0]);
        return;
    }
    auto *child = new HelpChild(pid, sockets[0], this);
    child->onEnded = [this, path, child] {
        if (m_children.value(path) == child)
            m_children.remove(path);
        emit viewerEnded(path);
    };
    m_children.insert(path, child);
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
    const auto children = std::exchange(m_children, {});
    for (const QPointer<HelpChild> &child : children) {
        if (child)
            child->end();
    }
}

QStringList ChmHelpService::openFiles() const
{
    QStringList out = m_children.keys();
    out.sort();
    return out;
}

bool ChmHelpService::isShown(const QString &helpFile) const
{
    const HelpChild *child = m_children.value(locate(helpFile));
    return child && child->shown();
}

qint64 ChmHelpService::viewerPid(const QString &helpFile) const
{
    const HelpChild *child = m_children.value(locate(helpFile));
    return child ? child->pid() : 0;
}

int ChmHelpService::raiseCount(const QString &helpFile) const
{
    const HelpChild *child = m_children.value(locate(helpFile));
    return child ? child->raises() : 0;
}

} // namespace kanaroll
