#pragma once

// A private X server (Xvfb) for the lifetime of the object, for programs that
// run the window under the xcb platform. Start it before QApplication.

#include <QByteArray>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class XvfbServer
{
public:
    XvfbServer()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            const std::string fd = std::to_string(fds[1]);
            // -displayfd: the server picks a free display and writes its number
            // when ready. -terminate: it ends with its last client, so a crashed
            // program leaves no server behind.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   "-terminate", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (m_pid < 0) {
            close(fds[0]);
            return;
        }
        std::string number;
        for (;;) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0)
                break;
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~XvfbServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool ok() const { return !m_display.empty(); }
    // Points this process at the server and the xcb platform.
    void useIt() const
    {
        qputenv("DISPLAY", QByteArray::fromStdString(m_display));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_SCALE_FACTOR", "1");
        qputenv("QT_NO_GLIB", "1"); // as the program runs
    }

private:
    pid_t m_pid = -1;
    std::string m_display;
};
