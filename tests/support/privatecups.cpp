#include "privatecups.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    bool ok = false;
    QString out;
};

Run runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return {false, u"did not finish"_s};
    return {p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, QString::fromUtf8(p.readAll())};
}

} // namespace

PrivateCups::~PrivateCups()
{
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000))
            m_cupsd.kill();
    }
}

QString PrivateCups::start()
{
    const QString cupsd = QStandardPaths::findExecutable(u"cupsd"_s, {u"/usr/sbin"_s, u"/sbin"_s});
    if (cupsd.isEmpty() || QStandardPaths::findExecutable(u"lpadmin"_s).isEmpty())
        return u"CUPS (cupsd, lpadmin) is not installed"_s;
    if (!m_dir.isValid())
        return u"cannot make a directory for cupsd"_s;
    const QString d = m_dir.path();
    for (const char *sub : {"spool", "cache", "state", "tmp", "log", "out"})
        QDir(d).mkpath(QString::fromLatin1(sub));
    // Filters run as the scheduler's own user and need the temporary and output folders.
    QFile::setPermissions(d + u"/tmp"_s, QFileDevice::Permissions(0x7777));
    QFile::setPermissions(d + u"/out"_s, QFileDevice::Permissions(0x7777));
    QFile::setPermissions(d, QFileDevice::Permissions(0x7755));
    const QString sock = d + u"/cups.sock"_s;
    QFile conf(d + u"/cupsd.conf"_s);
    if (!conf.open(QIODevice::WriteOnly))
        return u"cannot write cupsd.conf"_s;
    conf.write(("LogLevel warn\nListen " + sock.toUtf8()
                + "\nBrowsing No\nWebInterface No\nDefaultAuthType Basic\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"));
    conf.close();
    QFile files(d + u"/cups-files.conf"_s);
    if (!files.open(QIODevice::WriteOnly))
        return u"cannot write cups-files.conf"_s;
    const QByteArray root = d.toUtf8();
    files.write("FileDevice Yes\nSystemGroup root\nServerRoot " + root + "\nRequestRoot " + root
                + "/spool\nCacheDir " + root + "/cache\nStateDir " + root + "/state\nTempDir " + root
                + "/tmp\nErrorLog " + root + "/log/error_log\nAccessLog " + root + "/log/access_log\nPageLog "
                + root + "/log/page_log\n");
    files.close();

    // libcups, in this process and in lpadmin/lpstat, talks to this scheduler only.
    qputenv("CUPS_SERVER", sock.toUtf8());
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(cupsd, {u"-f"_s, u"-c"_s, conf.fileName(), u"-s"_s, files.fileName()});
    bool running = m_cupsd.waitForStarted(5000);
    for (int i = 0; running && i < 100; ++i) {
        if (runTool(u"lpstat"_s, {u"-r"_s}).out.contains(u"is running"_s))
            return {};
        if (m_cupsd.state() == QProcess::NotRunning)
            break;
        QThread::msleep(100);
    }
    QFile log(d + u"/log/error_log"_s);
    log.open(QIODevice::ReadOnly);
    return u"cupsd could not be started: "_s + QString::fromUtf8(m_cupsd.readAll() + log.readAll()).trimmed().right(400);
}

bool PrivateCups::addFileQueue(QString *error)
{
    const QString uri = u"file://"_s + outPdf();
    Run add = runTool(u"lpadmin"_s, {u"-p"_s, u"K"_s, u"-v"_s, uri, u"-m"_s,
                                      u"lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s, u"-E"_s});
    if (!add.ok)
        add = runTool(u"lpadmin"_s, {u"-p"_s, u"K"_s, u"-v"_s, uri, u"-P"_s,
                                      u"/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s, u"-E"_s});
    if (add.ok)
        add = runTool(u"lpadmin"_s, {u"-d"_s, u"K"_s});
    if (!add.ok && error)
        *error = add.out;
    return add.ok;
}

int PrivateCups::allJobs() const
{
    return int(runTool(u"lpstat"_s, {u"-W"_s, u"all"_s, u"-o"_s}).out.split(u'\n', Qt::SkipEmptyParts).size());
}

QString PrivateCups::pendingJobs() const
{
    return runTool(u"lpstat"_s, {u"-o"_s}).out.trimmed();
}

bool PrivateCups::waitPrinted() const
{
    for (int i = 0; i < 600; ++i) {
        QThread::msleep(100);
        if (QFileInfo(outPdf()).size() > 0 && pendingJobs().isEmpty())
            return true;
    }
    return false;
}
