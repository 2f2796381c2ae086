#include "tempworkdir.h"
#include "ui/startfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kanaroll;
using namespace Qt::StringLiterals;

class TestStartFolder : public QObject
{
    Q_OBJECT

private slots:
    // Each case runs in a scratch working directory holding the folder "old"
    // and the plain file "file".
    void folderOptions_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expectedFolder"); // empty: stays where it was
        QTest::addColumn<int>("exitCode");           // -1: the program runs
        QTest::newRow("no option") << QStringList{} << QString() << -1;
        QTest::newRow("new folder") << QStringList{u"--dir"_s, u"new/sub"_s} << u"new/sub"_s << -1;
        QTest::newRow("existing folder") << QStringList{u"--dir=old"_s} << u"old"_s << -1;
        QTest::newRow("documents") << QStringList{u"--documents"_s} << u"home/Documents/Kanaroll"_s << -1;
        QTest::newRow("a file") << QStringList{u"--dir"_s, u"file"_s} << QString() << 2;
        QTest::newRow("under a file") << QStringList{u"--dir"_s, u"file/sub"_s} << QString() << 2;
        QTest::newRow("empty name") << QStringList{u"--dir="_s} << QString() << 2;
        QTest::newRow("unknown option") << QStringList{u"--bogus"_s} << QString() << 2;
        QTest::newRow("stray argument") << QStringList{u"here"_s} << QString() << 2;
        QTest::newRow("both") << QStringList{u"--documents"_s, u"--dir=old"_s} << QString() << 2;
        QTest::newRow("help") << QStringList{u"--help"_s} << QString() << 0;
        QTest::newRow("version") << QStringList{u"--version"_s} << QString() << 0;
        QTest::newRow("-v") << QStringList{u"-v"_s} << QString() << 0;
    }
    void folderOptions()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, expectedFolder);
        QFETCH(int, exitCode);

        TempWorkDir scratch;
        QVERIFY(QDir(scratch.path()).mkpath(u"old"_s));
        scratch.write(u"old/自分.txt"_s, "keep\r\n");
        scratch.write(u"file"_s, "not a folder");
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", scratch.filePath(u"home"_s).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", scratch.filePath(u"config"_s).toLocal8Bit()); // no user-dirs.dirs
        // Relative names resolve against the scratch directory, the working one.
        const StartFolder start = enterStartFolder(QStringList{u"kanaroll"_s} + options);
        const QString now = QDir::currentPath();
        QDir::setCurrent(scratch.path());
        qputenv("HOME", oldHome);
        qunsetenv("XDG_CONFIG_HOME");

        if (exitCode < 0) {
            QCOMPARE(start.outcome, StartFolder::Run);
            const QString want = expectedFolder.isEmpty() ? scratch.path() : scratch.filePath(expectedFolder);
            QCOMPARE(QFileInfo(now).canonicalFilePath(), QFileInfo(want).canonicalFilePath());
        } else {
            QCOMPARE(start.outcome, StartFolder::Exit);
            QCOMPARE(start.exitCode, exitCode);
            QVERIFY(!start.message.isEmpty());
            if (options.value(0).startsWith(u"-v"_s) || options.value(0) == u"--version"_s)
                QCOMPARE(start.message, u"kanaroll " KANAROLL_TEST_VERSION ""_s);
            QCOMPARE(QFileInfo(now).canonicalFilePath(), QFileInfo(scratch.path()).canonicalFilePath());
        }
        // Nothing existing is touched.
        QCOMPARE(scratch.read(u"old/自分.txt"_s), QByteArray("keep\r\n"));
        QCOMPARE(scratch.read(u"file"_s), QByteArray("not a folder"));
    }

    // Without HOME the documents folder is the password database's; a user
    // with none there gets a message, and no folder is made at the root.
    void documentsWithoutHome_data()
    {
        QTest::addColumn<bool>("unset"); // else empty
        QTest::newRow("HOME unset") << true;
        QTest::newRow("HOME empty") << false;
    }
    void documentsWithoutHome()
    {
        QFETCH(bool, unset);
        constexpr uid_t kNobodyListed = 54321;
        if (::geteuid() != 0 || ::getpwuid(kNobodyListed))
            QSKIP("needs root and a user id the password database does not list");
        TempWorkDir scratch;
        const pid_t child = ::fork();
        if (child == 0) {
            unset ? qunsetenv("HOME") : qputenv("HOME", "");
            qputenv("XDG_CONFIG_HOME", scratch.filePath(u"config"_s).toLocal8Bit());
            if (::setuid(kNobodyListed) != 0)
                ::_exit(3);
            const StartFolder start = enterStartFolder({u"kanaroll"_s, u"--documents"_s});
            ::_exit(start.outcome == StartFolder::Exit && start.exitCode == 2
                            && start.message.contains(u"home folder"_s) && !QFileInfo::exists(u"/Documents"_s)
                        ? 0
                        : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_GUILESS_MAIN(TestStartFolder)
#include "tst_startfolder.moc"
