#include "gestures.h"
#include "tempworkdir.h"
#include "batch/export.h"
#include "batch/ichiran.h"
#include "lists/namaewaku.h"
#include "ui/fonts.h"
#include "ui/help/chmhelpservice.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/signals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <thread>

using namespace kanaroll;

constexpr int kExitButton = -1; // ways to end a run that are not signals
constexpr int kCloseBox = -2;

class TestStartupExit : public QObject
{
    Q_OBJECT

    QStringList titles;

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        setMsgBoxHook([this](const QString &, const QString &title, MsgKind kind) {
            titles << title;
            return kind == MsgKind::YesNoQuestion ? MsgAnswer::Yes : MsgAnswer::Ok;
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

    // 終了, the close box and a quit signal from outside all take one path:
    // an animated batch unwinds at its next pause, help closes, nothing more
    // is written.
    void endDuringBatch_data()
    {
        QTest::addColumn<int>("how"); // a signal number, or one of the two below
        QTest::newRow("exit button") << kExitButton;
        QTest::newRow("close box") << kCloseBox;
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void endDuringBatch()
    {
        QFETCH(int, how);
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), QByteArray("\x82\xbd\x82\xeb\x82\xa4\r\n\x82\xb3\x82\xad\x82\xe7\r\n"));
        dir.write(QStringLiteral("相手.txt"), QByteArray("\x82\xcd\x82\xc8\x82\xb1\r\n\x82\xe4\x82\xa4\x82\xab\r\n"));
        QVERIFY(QFile::copy(sourcePath("resources/help/zqHelp.chm"), dir.filePath("zqHelp.chm")));
        SignalRelay relay;
        QVERIFY(relay.isActive());
        MainWindow w;
        connect(&relay, &SignalRelay::quitRequested, &w, &MainWindow::cmdEnd_Click);
        w.show();
        w.cmdHelp->click();
        auto *service = dynamic_cast<ChmHelpService *>(w.helpService());
        QCOMPARE(service->openFiles().size(), 1);
        QTimer::singleShot(300, &w, [&w, how] {
            if (how == kCloseBox)
                w.close();
            else if (how == kExitButton)
                w.cmdEnd->click();
            else
                std::raise(how);
        });
        QElapsedTimer t;
        t.start();
        w.cmdHozon->click(); // animated: about 0.9 s per pair
        QVERIFY(t.elapsed() < 3000);
        QVERIFY(w.isClosing());
        QVERIFY(!w.isVisible());
        QVERIFY(service->openFiles().isEmpty());
        QVERIFY(w.ichiran().rowCount() <= 1);
        QVERIFY(!w.fraIchiran->isVisibleTo(&w));
        QVERIFY(!QFile::exists(dir.filePath(kIchiranFileName)));
        QCOMPARE(titles, QStringList{"モード確認"});
    }

    // Quit signals hammering the main thread while a file is replaced: the
    // save completes, leaves no temporary file, and the ending comes after it.
    void quitSignalsDuringSave_data()
    {
        QTest::addColumn<bool>("results");
        QTest::newRow("export") << true;
        QTest::newRow("list rewrite") << false;
    }

    void quitSignalsDuringSave()
    {
        QFETCH(bool, results);
        TempWorkDir dir;
        QStringList names;
        QByteArray listBytes;
        for (int i = 0; i < 30000; ++i) {
            names << QStringLiteral("たろう%1").arg(i);
            listBytes += "\x82\xbd\x82\xeb\x82\xa4" + QByteArray::number(i) + "\r\n";
        }
        dir.write(QStringLiteral("自分.txt"), listBytes);
        SignalRelay relay;
        MainWindow w;
        connect(&relay, &SignalRelay::quitRequested, &w, &MainWindow::cmdEnd_Click);
        w.show();
        QByteArray expected;
        QString file;
        if (results) {
            for (int i = 0; i < 200000; ++i)
                w.ichiran().append(names.at(i % names.size()), QStringLiteral("はなこ"), i % 101);
            QVERIFY(IchiranEncode(w.ichiran(), expected).ok());
            file = kIchiranFileName;
        } else {
            const QRect first = w.lstJibun->visualRect(w.lstJibun->model()->index(0, 0));
            QTest::mouseClick(w.lstJibun->viewport(), Qt::LeftButton, {}, first.center());
            expected = listBytes.mid(listBytes.indexOf("\r\n") + 2);
            file = QStringLiteral("自分.txt");
        }

        const pthread_t mainThread = pthread_self();
        std::atomic<bool> saving{true};
        std::atomic<int> sent{0};
        std::thread storm([&] {
            while (saving) {
                pthread_kill(mainThread, SIGTERM);
                ++sent;
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        });
        if (results)
            w.cmdIHozon_Click();
        else
            doubleClick(w.lstJibun->viewport(), w.lstJibun->visualRect(w.lstJibun->model()->index(0, 0)).center());
        saving = false;
        storm.join();

        QVERIFY(sent > 0);
        QVERIFY(!w.isClosing()); // no event was served during the save
        QCOMPARE(dir.read(file), expected);
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString &f : left)
            QVERIFY2(!f.contains(QStringLiteral(".txt.")), qPrintable(f));
        QTRY_VERIFY(w.isClosing()); // then the event loop ends the program
    }

    // The real program where no window system can be had: one plain line and
    // status 1, not Qt's abort; --help still answers.
    void noWindowSystem_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no display") << QString() << QStringList{} << 1;
        QTest::newRow("display gone") << QStringLiteral(":977") << QStringList{} << 1;
        QTest::newRow("help") << QString() << QStringList{QStringLiteral("--help")} << 0;
    }
    void noWindowSystem()
    {
        QFETCH(QString, display);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_SOCKET"})
            env.remove(QString::fromLatin1(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        TempWorkDir dir;
        QProcess app;
        app.setProcessEnvironment(env);
        app.setWorkingDirectory(dir.path());
        app.start(QString::fromUtf8(KANAROLL_APP), args);
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), exitCode);
        if (exitCode == 1) {
            const QByteArray err = app.readAllStandardError();
            QCOMPARE(err.count('\n'), 1);
            QVERIFY2(err.startsWith("kanaroll: ") && err.contains("desktop session"), err.constData());
        } else {
            QVERIFY(app.readAllStandardOutput().contains("--dir"));
        }
    }

    // A list file that is one giant line: the name stays whole in the list,
    // the entry box and the file; only what is drawn is short. The window
    // may end while the file is still being read.
    void giantOneLineListFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("length"); // of the one name
        QTest::addColumn<bool>("endAtOnce");
        QTest::newRow("3 M of あ") << QByteArray("\x82\xa0").repeated(3'000'000) << qsizetype(3'000'000) << false;
        QTest::newRow("10 MB of NUL") << QByteArray(10'000'000, '\0') << qsizetype(10'000'000) << false;
        QTest::newRow("ended while read") << QByteArray(64'000'000, '\0') << qsizetype(64'000'000) << true;
    }

    void giantOneLineListFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, length);
        QFETCH(bool, endAtOnce);
        TempWorkDir dir;
        dir.write(QStringLiteral("自分.txt"), bytes);
        {
            MainWindow w;
            w.show();
            if (endAtOnce) {
                w.cmdEnd->click();
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(!w.sides().isLoading(), 120000);
                QVERIFY(w.Frame2->isEnabled() && w.cmdHozon->isEnabled());
                QCOMPARE(w.sides().jibun().names().size(), 1);
                QCOMPARE(w.sides().jibun().names().constFirst().size(), length);
                QCOMPARE(w.txtNamae1->text(), w.sides().jibun().names().constFirst()); // as stored
                QVERIFY(w.txtNamae1->drawsItself());
                const QModelIndex row = w.lstJibun->model()->index(0, 0);
                QCOMPARE(row.data(Qt::DisplayRole).toString().size(), 1001);
                QCOMPARE(row.data(Qt::EditRole).toString().size(), length);
                w.repaint();
                w.txtNamae1->selectAll(); // a whole name can still be cleared
                QTest::keyClick(w.txtNamae1, Qt::Key_Backspace);
                QVERIFY(w.txtNamae1->text().isEmpty() && !w.txtNamae1->drawsItself());
            }
        }
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("自分.txt"))).size(), bytes.size());
        QCOMPARE(dir.read(QStringLiteral("自分.txt")), bytes);
        QVERIFY(titles.isEmpty());
    }
};

QTEST_MAIN(TestStartupExit)
#include "tst_startup_exit.moc"
