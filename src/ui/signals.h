#pragma once

#include <QObject>

#include <memory>

namespace kanaroll {

// Requests from outside the program to end it, and how file writes fail.
//
// On Windows: log-off and shut-down (WM_QUERYENDSESSION, WM_ENDSESSION) and a
// console's Ctrl+C, Ctrl+Break or close are told the same way, between two
// events; at the session's end the window has quit before the system goes on.
//
// On POSIX systems:
// SIGXFSZ is ignored: a write past the file-size limit then fails with EFBIG,
// and the list and export code cut back and warn as for a full disk, instead
// of the process dying with half a line written.
//
// SIGTERM, SIGINT and SIGHUP only write a byte to a pipe; the event loop reads
// it and emits quitRequested, which the window takes as a click of 終了. So the
// signal is served between two events, never in the middle of a save.
class SignalRelay : public QObject
{
    Q_OBJECT
public:
    // Call first thing in main: ignores SIGXFSZ and holds the quit signals
    // back until a relay takes them, so none is lost or fatal meanwhile.
    static void holdSignals();

    // One relay at a time. Takes over the quit signals (and releases any held
    // back, which then arrive through the pipe).
    explicit SignalRelay(QObject *parent = nullptr);
    // Gives the signals back their earlier handling.
    ~SignalRelay() override;

    bool isActive() const;

signals:
    // signo: the POSIX signal; on Windows SIGINT for Ctrl+C and Ctrl+Break,
    // SIGTERM for the session's end and a closed console.
    void quitRequested(int signo);

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};

} // namespace kanaroll
