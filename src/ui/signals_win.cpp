#include "signals.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <csignal>
#include <windows.h>

namespace kanaroll {

namespace {

// The relay the console handler (on a thread of the system's) tells.
std::atomic<SignalRelay *> g_relay{nullptr};
// Set once the program has quit, so a console close waits for that.
HANDLE g_quitDone = nullptr;

BOOL WINAPI consoleHandler(DWORD event)
{
    SignalRelay *relay = g_relay.load();
    if (!relay)
        return FALSE;
    const bool closing = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    const int signo = closing ? SIGTERM : SIGINT;
    QMetaObject::invokeMethod(relay, [relay, signo] { emit relay->quitRequested(signo); }, Qt::QueuedConnection);
    // The system ends the process when this returns from a close: give the
    // window time to quit first.
    if (closing && g_quitDone)
        WaitForSingleObject(g_quitDone, 4000);
    return TRUE;
}

} // namespace

class SessionEndFilter : public QAbstractNativeEventFilter
{
public:
    explicit SessionEndFilter(SignalRelay *relay) : m_relay(relay) {}

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *result) override
    {
        if (type != "windows_generic_MSG" || !m_relay)
            return false;
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_QUERYENDSESSION) {
            // Nothing waits to be saved: the lists are written as they change.
            *result = TRUE;
            return true;
        }
        if (msg->message == WM_ENDSESSION && msg->wParam) {
            // The session ends as soon as this returns, so the window quits now,
            // between two events, as for a quit signal.
            if (!m_done) {
                m_done = true;
                emit m_relay->quitRequested(SIGTERM);
            }
            *result = 0;
            return true;
        }
        return false;
    }

private:
    QPointer<SignalRelay> m_relay;
    bool m_done = false;
};

struct SignalRelay::Platform {
    bool active = false;
    std::unique_ptr<SessionEndFilter> filter;
};

void SignalRelay::holdSignals()
{
    // Writes past a limit fail with an error here; nothing to ignore.
}

SignalRelay::SignalRelay(QObject *parent)
    : QObject(parent), m_platform(std::make_unique<Platform>())
{
    SignalRelay *none = nullptr;
    if (!g_relay.compare_exchange_strong(none, this))
        return; // another relay has them
    m_platform->active = true;
    if (!g_quitDone)
        g_quitDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(consoleHandler, TRUE);
    if (QCoreApplication *app = QCoreApplication::instance()) {
        m_platform->filter = std::make_unique<SessionEndFilter>(this);
        app->installNativeEventFilter(m_platform->filter.get());
    }
}

SignalRelay::~SignalRelay()
{
    if (!m_platform->active)
        return;
    if (QCoreApplication *app = QCoreApplication::instance(); app && m_platform->filter)
        app->removeNativeEventFilter(m_platform->filter.get());
    g_relay.store(nullptr);
    // A console close may be waiting for the program to be done.
    if (g_quitDone)
        SetEvent(g_quitDone);
}

bool SignalRelay::isActive() const
{
    return m_platform->active;
}

} // namespace kanaroll
