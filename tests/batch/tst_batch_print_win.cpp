// The printout through the Windows spooler. Without a printer (as
// test-windows runs it under Wine) a print says so and starts nothing. With
// KANAROLL_WIN_PRINTER=1 on a machine whose default printer is set up for
// it, the stops and failures must leave the queue untouched and only the
// complete job, of the pages logged here, reach it.
#include "batch/messages.h"
#include "batch/print.h"

#include <QFont>
#include <QGuiApplication>
#include <QTest>

#include <limits>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

bool printerExpected()
{
    return qgetenv("KANAROLL_WIN_PRINTER") == "1";
}

IchiranModel *grid(int count, QObject *parent)
{
    auto *g = new IchiranModel(parent);
    for (int i = 0; i < count; ++i)
        g->append(u"たろう"_s + QString::number(i), u"はなこ"_s, i % 101);
    return g;
}

} // namespace

class TestBatchPrintWin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Wine's PostScript driver breaks on OpenType (CFF) fonts, which its
        // font list may give the toolkit's default; the run under Wine names
        // a TrueType font instead.
        const QString font = qEnvironmentVariable("KANAROLL_WIN_PRINT_FONT");
        if (!font.isEmpty())
            QGuiApplication::setFont(QFont(font));
    }

    // No printer: a clear message, no job, no crash; an empty grid starts nothing.
    void withoutPrinter()
    {
        if (printerExpected())
            QSKIP("a default printer is set up");
        QVERIFY(!ichiranHasDefaultPrinter());
        IchiranModel *g = grid(8, this);
        IchiranPrintJob job(*g);
        QCOMPARE(job.ready(), IchiranPrintStatus::NoPrinter);
        QCOMPARE(job.print(), IchiranPrintStatus::NoPrinter);
        QCOMPARE(IchiranPrintDefault(*g), IchiranPrintStatus::NoPrinter);
        QCOMPARE(ichiranPrintMessage(IchiranPrintStatus::NoPrinter), batchmsg::kNoPrinterBody);
        IchiranModel empty;
        QCOMPARE(IchiranPrintDefault(empty), IchiranPrintStatus::Empty);
    }

    // Every stop and failure hands nothing to the spooler; only the complete
    // job goes, and its page count is known before it starts.
    void onDefaultPrinter_data()
    {
        QTest::addColumn<QString>("hostile");
        QTest::addColumn<int>("status");
        for (const auto &[name, status] : std::initializer_list<std::pair<const char *, IchiranPrintStatus>>{
                 {"stop at once", IchiranPrintStatus::Cancelled},
                 {"stop midway", IchiranPrintStatus::Cancelled},
                 {"no room for the spool", IchiranPrintStatus::NoSpace},
                 {"complete", IchiranPrintStatus::Printed},
             })
            QTest::newRow(name) << QString::fromLatin1(name) << int(status);
    }
    void onDefaultPrinter()
    {
        if (!printerExpected())
            QSKIP("no default printer is set up");
        QFETCH(QString, hostile);
        QFETCH(int, status);
        QVERIFY(ichiranHasDefaultPrinter());
        const IchiranPrintLimits oldLimits = ichiranPrintLimits();
        IchiranModel *g = grid(400, this);
        IchiranPrintJob job(*g);
        QCOMPARE(job.ready(), IchiranPrintStatus::Printed);
        QVERIFY(job.pages() >= 3);
        if (hostile == u"no room for the spool"_s)
            ichiranPrintLimits().spoolReserve = std::numeric_limits<qint64>::max() / 2;
        int calls = 0;
        const IchiranPrintStatus got = job.print([&](double share) {
            ++calls;
            if (hostile == u"stop at once"_s)
                return false;
            return hostile != u"stop midway"_s || share < 0.45;
        });
        ichiranPrintLimits() = oldLimits;
        QCOMPARE(int(got), status);
        if (got == IchiranPrintStatus::Printed) {
            QVERIFY(calls > 1);
            qInfo("printed pages: %lld", job.pages());
        } else if (got == IchiranPrintStatus::NoSpace) {
            QVERIFY(!job.spoolFolder().isEmpty());
            QVERIFY(ichiranPrintMessage(got, job.spoolFolder(), job.spoolEstimate()).contains(job.spoolFolder()));
        }
    }
};

QTEST_MAIN(TestBatchPrintWin)
#include "tst_batch_print_win.moc"
