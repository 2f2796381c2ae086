#include "signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kanaroll {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the pipe; the handler may touch nothing else.
volatile std::sig_atomic_t g_writeFd = -1;

extern "C" void relaySignal(int signo)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signo);
    // Non-blocking: with the pipe full a quit is already on its way.
    [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &byte, 1);
    errno = saved;
}

sigset_t quitSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kQuitSignals)
        sigaddset(&set, s);
    return set;
}

} // namespace

struct SignalRelay::Platform {
    int read = -1;
    QSocketNotifier *notifier = nullptr;
    struct sigaction old[4] = {};
};

void SignalRelay::holdSignals()
{
    std::signal(SIGXFSZ, SIG_IGN);
    const sigset_t set = quitSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalRelay::SignalRelay(QObject *parent)
    : QObject(parent), m_platform(std::make_unique<Platform>())
{
    Platform &p = *m_platform;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &p.old[3]);

    const sigset_t set = quitSet();
    int fds[2];
    if (g_writeFd != -1 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Another relay has them, or no pipe: the signals keep their handling.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    p.read = fds[0];
    g_writeFd = fds[1];
    p.notifier = new QSocketNotifier(p.read, QSocketNotifier::Read, this);
    connect(p.notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[64];
        const ssize_t n = ::read(m_platform->read, bytes, sizeof bytes);
        if (n > 0) // several signals at once ask for one ending
            emit quitRequested(bytes[n - 1]);
    });

    struct sigaction relay = {};
    relay.sa_handler = relaySignal;
    sigemptyset(&relay.sa_mask);
    relay.sa_flags = SA_RESTART; // a save's write carries on, then the loop sees the byte
    for (std::size_t i = 0; i < std::size(kQuitSignals); ++i)
        sigaction(kQuitSignals[i], &relay, &p.old[i]);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

SignalRelay::~SignalRelay()
{
    const Platform &p = *m_platform;
    sigaction(SIGXFSZ, &p.old[3], nullptr);
    if (!p.notifier)
        return;
    for (std::size_t i = 0; i < std::size(kQuitSignals); ++i)
        sigaction(kQuitSignals[i], &p.old[i], nullptr);
    ::close(g_writeFd);
    g_writeFd = -1;
    ::close(p.read);
}

bool SignalRelay::isActive() const
{
    return m_platform->notifier != nullptr;
}

} // namespace kanaroll
