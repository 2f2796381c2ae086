// Printing from the real window onto a queue of a private scheduler: what
// the user is asked, and that a stopped print leaves nothing to print.

#include "cp932.h"
#include "privatecups.h"
#include "tempworkdir.h"
#include "batch/messages.h"
#include "batch/print.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QProgressDialog>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

// count distinct hiragana names ending in tail.
QStringList names(const QString &tail, int count)
{
    const QString kana = u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわ"_s;
    QStringList out;
    for (int k = 0; k < count; ++k)
        out << QString(kana[(k / kana.size()) % kana.size()]) + kana[k % kana.size()] + tail;
    return out;
}

} // namespace

class TestPrintWindow : public QObject
{
    Q_OBJECT

    PrivateCups m_cups;
    QString m_skip;
    QStringList m_titles;
    MsgAnswer m_pagesAnswer = MsgAnswer::Cancel;
    MsgAnswer m_printAnswer = MsgAnswer::Yes;
    std::function<void()> m_onPrintQuestion;

    struct Window {
        TempWorkDir dir;
        std::unique_ptr<MainWindow> w;
        Window(int self, int partner)
        {
            dir.write(u"自分.txt"_s, listFile(names(u"ろう"_s, self)));
            dir.write(u"相手.txt"_s, listFile(names(u"なこ"_s, partner)));
            w = std::make_unique<MainWindow>();
            w->show();
            w->sngWait = 0;
            w->cmdHozon->click();
        }
    };

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        m_skip = m_cups.start();
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
        QString why;
        QVERIFY2(m_cups.addFileQueue(&why), qPrintable(why));
        setMsgBoxHook([this](const QString &, const QString &title, MsgKind kind) {
            m_titles << title;
            if (title == batchmsg::kPrintTitle && m_onPrintQuestion)
                m_onPrintQuestion();
            if (kind == MsgKind::DeleteQuestion)
                return m_pagesAnswer;
            return kind == MsgKind::YesNoQuestion ? m_printAnswer : MsgAnswer::Ok;
        });
    }
    void cleanupTestCase() { setMsgBoxHook({}); }
    void init()
    {
        m_titles.clear();
        m_onPrintQuestion = nullptr;
        QFile::remove(m_cups.outPdf());
    }
    void cleanup() { ichiranPrintLimits() = {}; }

    // The page count is told before the design's question, only for a
    // giant job; Cancel there, or No to the question, prints nothing.
    void giantJobTellsItsPagesFirst_data()
    {
        QTest::addColumn<int>("askPages");
        QTest::addColumn<MsgAnswer>("pagesAnswer");
        QTest::addColumn<MsgAnswer>("printAnswer");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("jobs");
        const QString pages = batchmsg::kPrintPagesTitle;
        const QString print = batchmsg::kPrintTitle;
        QTest::newRow("small job: the question only") << 1000 << MsgAnswer::Cancel << MsgAnswer::Yes << QStringList{print} << 1;
        QTest::newRow("giant, Cancel") << 0 << MsgAnswer::Cancel << MsgAnswer::Yes << QStringList{pages} << 0;
        QTest::newRow("giant, OK, No") << 0 << MsgAnswer::Ok << MsgAnswer::No << QStringList{pages, print} << 0;
        QTest::newRow("giant, OK, Yes") << 0 << MsgAnswer::Ok << MsgAnswer::Yes << QStringList{pages, print} << 1;
    }
    void giantJobTellsItsPagesFirst()
    {
        QFETCH(int, askPages);
        QFETCH(MsgAnswer, pagesAnswer);
        QFETCH(MsgAnswer, printAnswer);
        QFETCH(QStringList, titles);
        QFETCH(int, jobs);
        Window f(2, 2);
        ichiranPrintLimits().askPages = askPages;
        m_pagesAnswer = pagesAnswer;
        m_printAnswer = printAnswer;
        const int before = m_cups.allJobs();
        f.w->cmdIPrint->click();
        QCOMPARE(m_titles, titles);
        if (jobs)
            QVERIFY2(m_cups.waitPrinted(), qPrintable(m_cups.pendingJobs()));
        QCOMPARE(m_cups.allJobs(), before + jobs);
        QCOMPARE(QFile::exists(m_cups.outPdf()), jobs > 0);
    }

    // Stopped while it prints, by 終了 or by 中止 in the progress box:
    // no job, no page, and no message after.
    void stoppedPrintLeavesNothing_data()
    {
        QTest::addColumn<bool>("byExit");
        QTest::newRow("終了") << true;
        QTest::newRow("中止") << false;
    }
    void stoppedPrintLeavesNothing()
    {
        QFETCH(bool, byExit);
        Window f(200, 100); // 40,000 rows: some hundred pages
        MainWindow *w = f.w.get();
        const int before = m_cups.allJobs();
        // The first events the print lets through stop it.
        m_onPrintQuestion = [&] {
            QTimer::singleShot(0, w, [w, byExit] {
                if (byExit)
                    w->cmdEnd->click();
                else if (auto *box = w->findChild<QProgressDialog *>())
                    box->cancel();
            });
        };
        w->cmdIPrint->click();
        QCOMPARE(m_titles, QStringList{batchmsg::kPrintTitle});
        QThread::msleep(300);
        QCOMPARE(m_cups.allJobs(), before);
        QVERIFY(m_cups.pendingJobs().isEmpty());
        QVERIFY(!QFile::exists(m_cups.outPdf()));
        QVERIFY(!w->isRunning());
    }
};

QTEST_MAIN(TestPrintWindow)
#include "tst_print_window.moc"
