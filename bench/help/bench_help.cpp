// The help viewer on a reference of 20,000 pages, as large help files come:
// a contents of chapters without pages of their own, an index, a style
// sheet in px and nowrap spans in tables. The file is compiled with chmcmd
// once and kept in the build tree. The viewer runs as the program starts
// it, under xcb on a private Xvfb with the pointer where its window opens:
// from its start to the first page painted, to search usable, and its peak
// memory. Search itself is timed in this process.

#include "help/helpdocument.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kanaroll;

namespace {

constexpr int kPages = 20000;
constexpr int kChapter = 100;
// On every 500th page: 40 pages hold it.
const QByteArray kRareWord = "quokkaword";

const char *const kWords[] = {"value", "index", "stream", "buffer", "handle", "result", "count", "string",
                              "method", "property", "event", "object", "class", "record", "array", "pointer"};

QByteArray pageName(int i)
{
    return "u" + QByteArray::number(i / kChapter) + "/p" + QByteArray::number(i) + ".html";
}

QByteArray identifier(int i)
{
    return "TUnit" + QByteArray::number(i / kChapter) + "Class.GetNumBytesAvailable" + QByteArray::number(i);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray page(int i)
{
    QByteArray b = "<html><head><title>" + identifier(i)
        + "</title><link rel=\"stylesheet\" type=\"text/css\" href=\"../ref.css\"></head><body>\n<h1>" + identifier(i) + "</h1>\n";
    quint32 seed = quint32(i) * 2654435761u;
    for (int para = 0; para < 4; ++para) {
        b += "<p>";
        for (int w = 0; w < 40; ++w) {
            seed = seed * 1664525u + 1013904223u;
            b += kWords[seed >> 28];
            b += ' ';
        }
        if (i % 500 == 7 && para == 2)
            b += kRareWord + ' ';
        b += "</p>\n";
    }
    b += "<table><tr><th>Name</th><th>Description</th></tr>\n";
    for (int row = 0; row < 4; ++row) {
        b += "<tr><td><span class=\"code\">function " + identifier(i + row) + "(const Buffer: Pointer)</span></td>"
             "<td>Returns the value of the " + QByteArray(kWords[(i + row) % 16]) + ".</td></tr>\n";
    }
    b += "</table>\n<p><a href=\"p" + QByteArray::number(i + 1) + ".html\">Next</a></p></body></html>\n";
    return b;
}

QByteArray sitemapEntry(const QByteArray &name, const QByteArray &local)
{
    QByteArray b = "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name + "\">";
    if (!local.isEmpty())
        b += "<param name=\"Local\" value=\"" + local + "\">";
    return b + "</OBJECT>\n";
}

// The reference's sources and their compiled file; false when chmcmd fails.
bool compile(const QString &chmcmd, const QString &target)
{
    QTemporaryDir work;
    const QDir dir(work.path());
    QByteArray files;
    QByteArray contents = "<HTML><BODY><UL>\n";
    QByteArray index = "<HTML><BODY><UL>\n";
    for (int i = 0; i < kPages; ++i) {
        if (!writeFile(dir.filePath(QString::fromLatin1(pageName(i))), page(i)))
            return false;
        files += pageName(i) + '\n';
        if (i % kChapter == 0) {
            contents += (i ? "</UL>\n" : "") + sitemapEntry("Unit " + QByteArray::number(i / kChapter), {}) + "<UL>\n";
        }
        contents += sitemapEntry(identifier(i), pageName(i));
        index += sitemapEntry(identifier(i), pageName(i));
    }
    contents += "</UL></UL></BODY></HTML>\n";
    index += "</UL></BODY></HTML>\n";
    const QByteArray css = "body { font-family: sans-serif; font-size: 13px; }\n"
                           "h1 { font-size: 20px; }\ntd, th { font-size: 12px; }\n"
                           "span.code { white-space: nowrap; font-family: monospace; }\n";
    const QByteArray project = "[OPTIONS]\nCompatibility=1.1 or later\nCompiled file=ref.chm\n"
                               "Contents file=ref.hhc\nIndex file=ref.hhk\nDefault topic=u0/p0.html\n"
                               "Display compile progress=No\nFull-text search=No\nLanguage=0x409 English\n"
                               "Title=Reference\n\n[FILES]\nref.css\n" + files;
    if (!writeFile(dir.filePath("ref.css"), css) || !writeFile(dir.filePath("ref.hhc"), contents)
        || !writeFile(dir.filePath("ref.hhk"), index) || !writeFile(dir.filePath("ref.hhp"), project))
        return false;
    QProcess p;
    p.setWorkingDirectory(work.path());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(chmcmd, {QStringLiteral("--no-html-scan"), QStringLiteral("ref.hhp")});
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return false;
    QFile::remove(target);
    return QFile::copy(dir.filePath("ref.chm"), target);
}

struct ViewerRun {
    double shown = -1; // seconds from start to the first page painted
    double ready = -1; // to search usable
    double peakMb = -1;
};

double since(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// Starts the viewer with a control socket, as the program does, and reads
// its messages until search is ready.
ViewerRun runViewer(const QString &chm)
{
    ViewerRun run;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return run;
    const QByteArray program = KANAROLL_HELP_VIEWER;
    const QByteArray file = QFile::encodeName(chm);
    QElapsedTimer t;
    t.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDIN_FILENO);
        execl(program.constData(), program.constData(), file.constData(), static_cast<char *>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    QByteArray input;
    while (run.ready < 0 && t.elapsed() < 120000) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            continue;
        char buffer[64];
        const ssize_t got = ::recv(fds[0], buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        input.append(buffer, got);
        if (run.shown < 0 && input.contains("shown\n"))
            run.shown = since(t);
        if (input.contains("ready\n"))
            run.ready = since(t);
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                run.peakMb = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    ::close(fds[0]); // the viewer closes with its socket
    int wstatus = 0;
    for (int i = 0; i < 100 && ::waitpid(pid, &wstatus, WNOHANG) == 0; ++i)
        ::usleep(50000);
    if (::waitpid(pid, &wstatus, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wstatus, 0);
    }
    return run;
}

template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? T() : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    const QString chm = QStringLiteral(KANAROLL_BENCH_CACHE "/reference-20000.chm");
    if (!QFile::exists(chm)) {
        const QString chmcmd = QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
        if (chmcmd.isEmpty()) {
            std::printf("help: skipped (chmcmd missing; it comes with fp-utils)\n");
            return 0;
        }
        std::printf("help: compiling a reference of %d pages with chmcmd (once)\n", kPages);
        std::fflush(stdout);
        if (!compile(chmcmd, chm)) {
            std::printf("help: skipped (chmcmd could not compile the reference)\n");
            return 0;
        }
    }

    XvfbServer server;
    if (!server.ok()) {
        std::printf("help: skipped (Xvfb could not be started; the window figures need it)\n");
        return 0;
    }
    server.useIt();
    // Holds the display open between viewers, and rests the pointer where
    // the viewer's window opens.
    QApplication app(argc, argv);
    QCursor::setPos(200, 200);
    QTemporaryDir config; // the viewer's remembered size and zoom stay out of it
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    std::vector<double> shown;
    std::vector<double> ready;
    std::vector<double> peak;
    for (int i = 0; i < 3; ++i) {
        const ViewerRun run = runViewer(chm);
        if (run.shown < 0 || run.ready < 0) {
            std::printf("help: the viewer did not show the file\n");
            return 1;
        }
        shown.push_back(run.shown * 1000);
        ready.push_back(run.ready);
        peak.push_back(run.peakMb);
    }
    std::printf("help_open_20000_pages: %.0f ms start to the default topic shown (target: <= 500)\n", median(shown));
    std::printf("help_viewer_peak_memory: %.0f MB (target: <= 100)\n", *std::max_element(peak.begin(), peak.end()));
    std::printf("help_search_ready: %.2f s start to search usable (target: <= 4)\n", median(ready));

    HelpDocument doc;
    if (!doc.open(chm))
        return 1;
    doc.buildSearchIndex();
    std::vector<double> searches;
    qsizetype pages = 0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        pages = doc.search(QString::fromLatin1(kRareWord)).size();
        searches.push_back(since(t) * 1000);
    }
    std::printf("help_search_word: %.0f ms for a word on %lld pages (target: <= 300)\n", median(searches),
                static_cast<long long>(pages));
    return 0;
}
