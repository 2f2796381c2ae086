#include "tempworkdir.h"
#include "batch/ichiran.h"
#include "lists/namaewaku.h"
#include "ui/fonts.h"
#include "ui/help/chmhelpservice.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QtTest>

using namespace kanaroll;

class TestStartupExit : public QObject
{
    Q_OBJECT

    QStringList titles;

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        setMsgBoxHook([this](const QString &, const QString &title, MsgKind) {
            titles << title;
            return MsgAnswer::Ok;
        });
    }
    void init() { titles.clear(); }

    void startupFillsListsAndBoxes_data()
    {
        QTest::addColumn<QByteArray>("jibun");
        QTest::addColumn<QByteArray>("aite");
        QTest::addColumn<QStringList>("jibunNames");
        QTest::addColumn<QStringList>("aiteNames");
        QTest::addColumn<QString>("namae1");
        const QByteArray taro("\x82\xbd\x82\xeb\x82\xa4"); // たろう
        const QByteArray hanako("\x82\xcd\x82\xc8\x82\xb1"); // はなこ
        QTest::newRow("zero-byte self file") << QByteArray("") << hanako + "\r\n" << QStringList{}
                                             << QStringList{"はなこ"} << "";
        QTest::newRow("first line empty") << "\r\n" + taro + "\r\n" << QByteArray() << QStringList{"", "たろう"}
                                          << QStringList{} << "";
        QTest::newRow("names on both sides") << taro + "\r\n" << hanako + "\r\n" + taro + "\r\n"
                                             << QStringList{"たろう"} << QStringList{"はなこ", "たろう"} << "たろう";
    }

    void startupFillsListsAndBoxes()
    {
        QFETCH(QByteArray, jibun);
        QFETCH(QByteArray, aite);
        QFETCH(QStringList, jibunNames);
        QFETCH(QStringList, aiteNames);
        QFETCH(QString, namae1);
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), jibun);
        if (!aite.isNull())
            dir.write(QStringLiteral("相手.txt"), aite);
        MainWindow w;
        QCOMPARE(w.sides().jibun().names(), jibunNames);
        QCOMPARE(w.sides().aite().names(), aiteNames);
        QCOMPARE(w.lstJibun->model()->rowCount(), jibunNames.size());
        QCOMPARE(w.txtNamae1->text(), namae1);
        QVERIFY(w.txtNamae2->text().isEmpty());
        QVERIFY(!w.lstJibun->selectionModel()->hasSelection());
        QVERIFY(!w.lstAite->selectionModel()->hasSelection());
        QCOMPARE(w.sngWait, 0.005f);
        QVERIFY(w.Option1(1)->isChecked());
        QCOMPARE(w.ichiran().rowCount(), 0);
        QCOMPARE(w.ichiran().headerData(2, Qt::Horizontal).toString(), QStringLiteral("％"));
        QApplication::processEvents();
        QVERIFY(titles.isEmpty()); // a normal start asks and warns nothing
    }

    void helpOpensDefaultTopicAndClosesOnExit()
    {
        TempWorkDir dir;
        QVERIFY(QFile::copy(sourcePath("resources/help/zqHelp.chm"), dir.filePath("zqHelp.chm")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); // the viewer's settings
        MainWindow w;
        w.show();
        w.cmdHelp->click();
        auto *service = dynamic_cast<ChmHelpService *>(w.helpService());
        QVERIFY(service);
        // The help window lives in a viewer process of its own.
        QCOMPARE(service->openFiles().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(service->isShown(QStringLiteral("zqHelp.chm")), 20000);
        w.cmdHelp->click(); // raises the same window
        QCOMPARE(service->openFiles().size(), 1);
        QCOMPARE(service->raiseCount(QStringLiteral("zqHelp.chm")), 1);
        QSignalSpy ended(service, &ChmHelpService::viewerEnded);
        w.cmdEnd->click();
        QVERIFY(!w.isVisible());
        QVERIFY(service->openFiles().isEmpty());
        QCOMPARE(ended.size(), 1);
    }

    void missingHelpFileShowsNothing()
    {
        TempWorkDir dir;
        MainWindow w;
        w.strHelpFile = QStringLiteral("nohelp.chm");
        w.cmdHelp->click();
        auto *service = dynamic_cast<ChmHelpService *>(w.helpService());
        QVERIFY(service->openFiles().isEmpty());
        QVERIFY(titles.isEmpty());
    }

    // The exit button or the close box in the middle of a run: the run
    // unwinds at its next pause and writes nothing more.
    void endDuringAnimatedFortune()
    {
        TempWorkDir dir;
        MainWindow w;
        w.show();
        w.txtNamae1->setText(QString(15, QChar(u'か')));
        w.txtNamae2->setText(QString(15, QChar(u'き')));
        QTimer::singleShot(30, &w, [&w] { w.cmdEnd->click(); });
        const PlayOutcome out = w.Play();
        QCOMPARE(out.kind, PlayOutcome::Aborted);
        QVERIFY(w.isClosing());
        QVERIFY(!w.isVisible());
        QCOMPARE(w.lblKekka->text(), QStringLiteral("100%")); // never reached
    }

    void endDuringBatch_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("exit button") << false;
        QTest::newRow("close box") << true;
    }

    void endDuringBatch()
    {
        QFETCH(bool, closeBox);
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), QByteArray("\x82\xbd\x82\xeb\x82\xa4\r\n\x82\xb3\x82\xad\x82\xe7\r\n"));
        dir.write(QStringLiteral("相手.txt"), QByteArray("\x82\xcd\x82\xc8\x82\xb1\r\n\x82\xe4\x82\xa4\x82\xab\r\n"));
        MainWindow w;
        w.show();
        QTimer::singleShot(300, &w, [&w, closeBox] {
            if (closeBox)
                w.close();
            else
                w.cmdEnd->click();
        });
        QElapsedTimer t;
        t.start();
        w.cmdHozon->click(); // animated: about 0.9 s per pair
        QVERIFY(t.elapsed() < 3000);
        QVERIFY(w.isClosing());
        QVERIFY(!w.isVisible());
        QVERIFY(w.ichiran().rowCount() <= 1);
        QVERIFY(!w.fraIchiran->isVisibleTo(&w));
        QCOMPARE(titles, QStringList{"モード確認"});
    }
};

QTEST_MAIN(TestStartupExit)
#include "tst_startup_exit.moc"
