#include "privatecups.h"
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

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

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

volatile std::sig_atomic_t g_quitSignal = 0;

std::vector<IchiranRow> manyRows(int count)
{
    std::vector<IchiranRow> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({u"たろう"_s + QString::number(i), u"はなこ"_s, QString::number(i % 101)});
    return rows;
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
        m_cupsSkip = m_cups.start();
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
        addQueue();
        QVERIFY(ichiranHasDefaultPrinter());

        IchiranModel *g = grid(kExample, this);
        QCOMPARE(IchiranPrintDefault(*g), IchiranPrintStatus::Printed);
        QVERIFY2(waitPrinted(), qPrintable(runTool(u"lpstat"_s, {u"-l"_s, u"-o"_s}).out));
        QCOMPARE(pdfLines(outPdf()), expectedLines(kExample));
    }

    // A job reaches the queue whole or not at all: every stop and failure
    // leaves no job, not even a cancelled one, and nothing for the backend;
    // the spool goes too. The page count is known before the job starts.
    void printStoppedOrFailedSendsNothing_data()
    {
        QTest::addColumn<QString>("hostile");
        QTest::addColumn<int>("status");
        for (const auto &[name, status] : std::initializer_list<std::pair<const char *, IchiranPrintStatus>>{
                 {"complete", IchiranPrintStatus::Printed},
                 {"stop at once", IchiranPrintStatus::Cancelled},
                 {"stop midway", IchiranPrintStatus::Cancelled},
                 {"stop while sending", IchiranPrintStatus::Cancelled},
                 {"SIGTERM midway", IchiranPrintStatus::Cancelled},
                 {"file size limit", IchiranPrintStatus::Failed},
                 {"temporary folder is a file", IchiranPrintStatus::Failed},
                 {"no room in the temporary folder", IchiranPrintStatus::NoSpace},
             })
            QTest::newRow(name) << QString::fromLatin1(name) << int(status);
    }
    void printStoppedOrFailedSendsNothing()
    {
        if (!m_cupsSkip.isEmpty())
            QSKIP(qPrintable(m_cupsSkip));
        QFETCH(QString, hostile);
        QFETCH(int, status);
        if (!ichiranHasDefaultPrinter())
            addQueue();
        QFile::remove(outPdf());
        const int jobsBefore = allJobs();
        QTemporaryDir tmp;
        const QByteArray oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp.path().toUtf8());
        const IchiranPrintLimits oldLimits = ichiranPrintLimits();
        ichiranPrintLimits().askPages = 2;

        const std::vector<IchiranRow> rows = manyRows(400);
        IchiranModel *g = grid(rows, this);
        IchiranPrintJob job(*g);
        QCOMPARE(job.ready(), IchiranPrintStatus::Printed);
        QVERIFY(job.pages() >= 3);
        QVERIFY(job.isGiant());

        struct sigaction relay = {}, oldTerm = {};
        relay.sa_handler = [](int) { g_quitSignal = 1; };
        sigaction(SIGTERM, &relay, &oldTerm);
        g_quitSignal = 0;
        rlimit oldSize{};
        getrlimit(RLIMIT_FSIZE, &oldSize);
        std::signal(SIGXFSZ, SIG_IGN);
        if (hostile == u"file size limit"_s) {
            rlimit small = oldSize;
            small.rlim_cur = 8192;
            setrlimit(RLIMIT_FSIZE, &small);
        } else if (hostile == u"temporary folder is a file"_s) {
            QFile blocker(tmp.filePath(u"file"_s));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            qputenv("TMPDIR", blocker.fileName().toUtf8());
        } else if (hostile == u"no room in the temporary folder"_s) {
            ichiranPrintLimits().spoolReserve = std::numeric_limits<qint64>::max() / 2;
        }
        int calls = 0;
        const IchiranPrintStatus got = job.print([&](double share) {
            ++calls;
            if (hostile == u"stop at once"_s)
                return false;
            if (hostile == u"stop midway"_s)
                return share < 0.45;
            if (hostile == u"stop while sending"_s)
                return share <= 0.9;
            if (hostile == u"SIGTERM midway"_s && share >= 0.45 && !g_quitSignal)
                ::kill(::getpid(), SIGTERM);
            return !g_quitSignal;
        });
        setrlimit(RLIMIT_FSIZE, &oldSize);
        sigaction(SIGTERM, &oldTerm, nullptr);
        ichiranPrintLimits() = oldLimits;
        qputenv("TMPDIR", oldTmp);

        QCOMPARE(int(got), status);
        QVERIFY(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size() <= 1); // no spool left
        if (got == IchiranPrintStatus::Printed) {
            QVERIFY(calls > 1);
            QVERIFY2(waitPrinted(), qPrintable(runTool(u"lpstat"_s, {u"-l"_s, u"-o"_s}).out));
            QCOMPARE(allJobs(), jobsBefore + 1);
            QCOMPARE(pdfLines(outPdf()), expectedLines(rows));
            const auto pages = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(runTool(u"pdfinfo"_s, {outPdf()}).out);
            QCOMPARE(pages.captured(1).toLongLong(), job.pages());
            return;
        }
        // Give a job that slipped through time to show.
        QThread::msleep(300);
        QCOMPARE(allJobs(), jobsBefore);
        QVERIFY(runTool(u"lpstat"_s, {u"-o"_s}).out.trimmed().isEmpty());
        QVERIFY(!QFile::exists(outPdf()));
        if (got == IchiranPrintStatus::NoSpace)
            QVERIFY(ichiranPrintMessage(got, tmp.path(), job.spoolEstimate()).contains(tmp.path()));
    }

private:
    QString outPdf() const { return m_cups.outPdf(); }
    void addQueue()
    {
        QString why;
        QVERIFY2(m_cups.addFileQueue(&why), qPrintable(why));
    }
    int allJobs() const { return m_cups.allJobs(); }
    bool waitPrinted() const { return m_cups.waitPrinted(); }

    PrivateCups m_cups;
    QString m_cupsSkip;
};

QTEST_MAIN(TestBatchPrint)
#include "tst_batch_print.moc"
