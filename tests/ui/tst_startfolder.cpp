#include "tempworkdir.h"
#include "ui/startfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

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
            QCOMPARE(QFileInfo(now).canonicalFilePath(), QFileInfo(scratch.path()).canonicalFilePath());
        }
        // Nothing existing is touched.
        QCOMPARE(scratch.read(u"old/自分.txt"_s), QByteArray("keep\r\n"));
        QCOMPARE(scratch.read(u"file"_s), QByteArray("not a folder"));
    }
};

QTEST_GUILESS_MAIN(TestStartFolder)
#include "tst_startfolder.moc"
