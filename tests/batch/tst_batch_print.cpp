#include "batch/messages.h"
#include "batch/print.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

const std::vector<IchiranRow> kExample{
    {u"たろう"_s, u"はなこ"_s, u"42"_s}, {u"たろう"_s, u"ゆうき"_s, u"49"_s},
    {u"さくら"_s, u"はなこ"_s, u"42"_s}, {u"さくら"_s, u"ゆうき"_s, u"49"_s},
    {u"はなこ"_s, u"たろう"_s, u"40"_s}, {u"ゆうき"_s, u"たろう"_s, u"60"_s},
    {u"はなこ"_s, u"さくら"_s, u"20"_s}, {u"ゆうき"_s, u"さくら"_s, u"40"_s},
};

struct Result {
    bool ok = false;
    QString out;
};

Result runTool(const QString &program, const QStringList &args, int timeoutMs = 30000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        return {false, u"did not finish"_s};
    return {p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, QString::fromUtf8(p.readAll())};
}

// The printed lines, blanks between the two items squeezed to one.
QStringList pdfLines(const QString &pdf)
{
    const Result r = runTool(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
    QStringList lines;
    for (QString line : r.out.split(u'\n')) {
        line = line.simplified();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

QStringList expectedLines(const std::vector<IchiranRow> &rows)
{
    QStringList out;
    for (const auto &r : rows)
        out << r.name1 + u'-' + r.name2 + u' ' + r.percent + u'%';
    return out;
}

IchiranModel *grid(const std::vector<IchiranRow> &rows, QObject *parent)
{
    auto *g = new IchiranModel(parent);
    for (const auto &r : rows)
        g->append(r.name1, r.name2, r.percent.toInt());
    return g;
}

} // namespace

class TestBatchPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        // Before anything asks libcups for printers: it keeps the server it first finds.
        startCups();
    }

    void printLineItems()
    {
        QCOMPARE(IchiranPrintLine({u"たろう"_s, u"はなこ"_s, u"42"_s}),
                 (IchiranPrintItems{u"たろう-はなこ"_s, u"42%"_s}));
        QCOMPARE(IchiranPrintLine({u"a"_s, u"b"_s, u"8"_s}).second, u"8%"_s);
        QCOMPARE(IchiranPrintLine({u"a"_s, u"b"_s, u"100"_s}).second, u"100%"_s);
        QVERIFY(ichiranPrintMessage(IchiranPrintStatus::Printed).isEmpty());
        QVERIFY(ichiranPrintMessage(IchiranPrintStatus::NoPrinter).contains(u"\r\n\r\n"_s));
        QVERIFY(batchmsg::kPrinterTitle.endsWith(u"確認"_s));
    }

    void printToPdf()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"out.pdf"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QCOMPARE(IchiranPrint(kExample, printer), IchiranPrintStatus::Printed);
        QCOMPARE(pdfLines(pdf), expectedLines(kExample));
        QCOMPARE(runTool(u"pdfinfo"_s, {pdf}).out.contains(QRegularExpression(u"Pages:\\s+1\\n"_s)), true);

        // The two items on one line, the second at a tab stop: both percentage
        // columns of two names of different width start at the same place.
        const QString layout = runTool(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}).out;
        const QStringList raw = layout.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(raw.size() >= 2);
        QCOMPARE(raw[0].indexOf(u"42%"_s), raw[1].indexOf(u"49%"_s));
    }

    void printPageBreaks()
    {
        std::vector<IchiranRow> rows;
        for (int i = 0; i < 150; ++i)
            rows.push_back({u"たろう"_s + QString::number(i), u"はなこ"_s, QString::number(i % 101)});
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"many.pdf"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QCOMPARE(IchiranPrint(rows, printer), IchiranPrintStatus::Printed);
        const QString info = runTool(u"pdfinfo"_s, {pdf}).out;
        const auto m = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(info);
        QVERIFY(m.hasMatch());
        QVERIFY2(m.captured(1).toInt() >= 2, qPrintable(info));
        QCOMPARE(pdfLines(pdf), expectedLines(rows));
    }

    void printEmptyStartsNoJob()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"none.pdf"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QCOMPARE(IchiranPrint(std::vector<IchiranRow>{}, printer), IchiranPrintStatus::Empty);
        QVERIFY(!QFile::exists(pdf));
        IchiranModel empty;
        QCOMPARE(IchiranPrintDefault(empty), IchiranPrintStatus::Empty);
    }

    void printOnDefaultCupsQueue()
    {
        if (!m_cupsSkip.isEmpty())
            QSKIP(qPrintable(m_cupsSkip));
        QVERIFY(!ichiranHasDefaultPrinter()); // a fresh scheduler has no queue yet

        const QString pdf = m_cupsDir.filePath(u"out/out.pdf"_s);
        Result add = runTool(u"lpadmin"_s, {u"-p"_s, u"K"_s, u"-v"_s, u"file://"_s + pdf, u"-m"_s,
                                             u"lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s, u"-E"_s});
        if (!add.ok)
            add = runTool(u"lpadmin"_s, {u"-p"_s, u"K"_s, u"-v"_s, u"file://"_s + pdf, u"-P"_s,
                                          u"/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd"_s, u"-E"_s});
        QVERIFY2(add.ok, qPrintable(add.out));
        QVERIFY(runTool(u"lpadmin"_s, {u"-d"_s, u"K"_s}).ok);
        QVERIFY(ichiranHasDefaultPrinter());

        IchiranModel *g = grid(kExample, this);
        QCOMPARE(IchiranPrintDefault(*g), IchiranPrintStatus::Printed);

        // Wait until the job has left the queue and the file is written.
        bool done = false;
        for (int i = 0; i < 600 && !done; ++i) {
            QThread::msleep(100);
            done = QFileInfo(pdf).size() > 0 && runTool(u"lpstat"_s, {u"-o"_s}).out.trimmed().isEmpty();
        }
        QVERIFY2(done, qPrintable(runTool(u"lpstat"_s, {u"-l"_s, u"-o"_s}).out));
        QCOMPARE(pdfLines(pdf), expectedLines(kExample));
    }

    void cleanupTestCase()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000))
                m_cupsd.kill();
        }
    }

private:
    // A scheduler of our own on a private socket, so that neither the
    // system's printers nor other tests' queues are touched.
    void startCups()
    {
        const QString cupsd = QStandardPaths::findExecutable(u"cupsd"_s, {u"/usr/sbin"_s, u"/sbin"_s});
        if (cupsd.isEmpty() || QStandardPaths::findExecutable(u"lpadmin"_s).isEmpty()) {
            m_cupsSkip = u"CUPS (cupsd, lpadmin) is not installed"_s;
            return;
        }
        if (!m_cupsDir.isValid()) {
            m_cupsSkip = u"cannot make a directory for cupsd"_s;
            return;
        }
        const QString d = m_cupsDir.path();
        for (const char *sub : {"spool", "cache", "state", "tmp", "log", "out"})
            QDir(d).mkpath(QString::fromLatin1(sub));
        // Filters run as the scheduler's own user and need the temporary and output folders.
        QFile::setPermissions(d + u"/tmp"_s, QFileDevice::Permissions(0x7777));
        QFile::setPermissions(d + u"/out"_s, QFileDevice::Permissions(0x7777));
        QFile::setPermissions(d, QFileDevice::Permissions(0x7755));
        const QString sock = d + u"/cups.sock"_s;
        QFile conf(d + u"/cupsd.conf"_s);
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(("LogLevel warn\nListen " + sock.toUtf8()
                    + "\nBrowsing No\nWebInterface No\nDefaultAuthType Basic\n"
                      "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                      "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n"));
        conf.close();
        QFile files(d + u"/cups-files.conf"_s);
        QVERIFY(files.open(QIODevice::WriteOnly));
        const QByteArray root = d.toUtf8();
        files.write("FileDevice Yes\nSystemGroup root\nServerRoot " + root + "\nRequestRoot " + root
                    + "/spool\nCacheDir " + root + "/cache\nStateDir " + root + "/state\nTempDir " + root
                    + "/tmp\nErrorLog " + root + "/log/error_log\nAccessLog " + root
                    + "/log/access_log\nPageLog " + root + "/log/page_log\n");
        files.close();

        // libcups, in this process and in lpadmin/lpstat, talks to our scheduler only.
        qputenv("CUPS_SERVER", sock.toUtf8());
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(cupsd, {u"-f"_s, u"-c"_s, conf.fileName(), u"-s"_s, files.fileName()});
        bool running = m_cupsd.waitForStarted(5000);
        for (int i = 0; running && i < 100; ++i) {
            if (runTool(u"lpstat"_s, {u"-r"_s}).out.contains(u"is running"_s))
                return;
            if (m_cupsd.state() == QProcess::NotRunning)
                break;
            QThread::msleep(100);
        }
        QFile log(d + u"/log/error_log"_s);
        log.open(QIODevice::ReadOnly);
        m_cupsSkip = u"cupsd could not be started: "_s
                     + QString::fromUtf8(m_cupsd.readAll() + log.readAll()).trimmed().right(400);
    }

    QTemporaryDir m_cupsDir{u"/tmp/kanaroll-cups-XXXXXX"_s};
    QProcess m_cupsd;
    QString m_cupsSkip;
};

QTEST_MAIN(TestBatchPrint)
#include "tst_batch_print.moc"
