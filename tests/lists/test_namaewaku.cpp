#include "cp932.h"
#include "lists/namaetexts.h"
#include "lists/namaewaku.h"
#include "tempworkdir.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

const QString kJibun = u"自分.txt"_s;
const QString kAite = u"相手.txt"_s;

struct FakeDialogs : NamaeDialogs {
    struct Box {
        QString kind, body, title;
    };
    QList<Box> shown;
    bool answer = true;

    void warn(const QString &body, const QString &title) override { shown.append({u"warn"_s, body, title}); }
    bool confirmDelete(const QString &body, const QString &title) override
    {
        shown.append({u"confirm"_s, body, title});
        return answer;
    }
};

// Both sides loaded from the given files in a fresh working directory.
struct Fixture {
    TempWorkDir dir;
    FakeDialogs dialogs;
    NamaeSides sides{dialogs};

    Fixture(const QString &jibun = QString(), const QString &aite = QString())
    {
        if (!jibun.isNull())
            dir.write(kJibun, sjis(jibun));
        if (!aite.isNull())
            dir.write(kAite, sjis(aite));
        startup = sides.NamaeStartup();
    }
    QList<NamaeNotice> startup;
};

QStringList fileNames(const Fixture &f)
{
    return NamaeListLoad(f.dir.filePath(kJibun)).names;
}

// A long list, each name of two-byte kana, so that one can be rewritten in
// place at the same length.
QStringList longList(int count)
{
    static const QString kana = u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほ"_s;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString n;
        for (int k = i; k > 0 || n.isEmpty(); k /= int(kana.size()))
            n += kana[k % kana.size()];
        names << n + u"こ"_s;
    }
    return names;
}

QByteArray fileOf(const QStringList &names)
{
    return names.isEmpty() ? QByteArray() : sjis(names.join(u"\r\n"_s) + u"\r\n"_s);
}

// The self file written long ago, so that any change now moves its times.
void writeOld(const QByteArray &bytes)
{
    QFile f(kJibun);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    f.close();
    const timespec past[2] = {{946684800, 0}, {946684800, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(kJibun).constData(), past, 0) == 0);
}

// Writes over the file where it stands: the same inode, as an editor that
// saves in place or a program that writes into it.
void writeInPlace(const QByteArray &bytes, bool cutFirst)
{
    QFile f(kJibun);
    QVERIFY(f.open(QIODevice::ReadWrite | (cutFirst ? QIODevice::Truncate : QIODevice::OpenModeFlag(0))));
    QVERIFY(f.write(bytes) == bytes.size());
    if (!cutFirst && f.size() > bytes.size())
        QVERIFY(f.resize(bytes.size()));
}

} // namespace

class TestNamaeWaku : public QObject
{
    Q_OBJECT
private slots:
    void startup();
    void startupWarnings();
    void addByEnter();
    void addRefusals();
    void addFailureKeepsListEqualToFile();
    void listBoundOfNames_data();
    void listBoundOfNames();
    void pickCopiesSelection();
    void deleteAsksThenRemoves();
    void deleteCancelledOrWithoutSelection();
    void deleteFailureKeepsEntry();
    void clearList();
    void swap();
    void modelFollowsList();
    void twoWindowsOnOneFile();
    void reloadFollowsOtherWindow();
    void changedInPlace_data();
    void changedInPlace();
    void addChecksTheFileAsItIs();
    void changedRightAfterOwnWrite_data();
    void changedRightAfterOwnWrite();
};

void TestNamaeWaku::startup()
{
    Fixture f(u"たろう\r\nじろう\r\n"_s, u"はなこ\r\n"_s);
    QVERIFY(f.startup.isEmpty());
    QCOMPARE(f.sides.jibun().names(), (QStringList{u"たろう"_s, u"じろう"_s}));
    QCOMPARE(f.sides.aite().names(), QStringList{u"はなこ"_s});
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"たろう"_s);
    QCOMPARE(f.sides.entryText(NamaeSide::Aite), QString());
    QCOMPARE(f.sides.jibun().selected(), -1);
    QCOMPARE(f.sides.aite().selected(), -1);

    Fixture firstEmpty(u"\r\nたろう\r\n"_s);
    QCOMPARE(firstEmpty.sides.jibun().names().size(), 2);
    QCOMPARE(firstEmpty.sides.entryText(NamaeSide::Jibun), QString());

    Fixture none; // the first start: no files, no messages
    QVERIFY(none.startup.isEmpty());
    QVERIFY(none.sides.jibun().names().isEmpty());
    QCOMPARE(none.sides.entryText(NamaeSide::Jibun), QString());
}

void TestNamaeWaku::startupWarnings()
{
    TempWorkDir dir;
    dir.write(kJibun, sjis(u"たろう\r\n"_s) + "\x82\r\n");
    QVERIFY(QDir().mkdir(kAite));
    FakeDialogs dialogs;
    NamaeSides sides(dialogs);
    const QList<NamaeNotice> notices = sides.NamaeStartup();
    QCOMPARE(notices.size(), 2);
    QCOMPARE(notices[0].title, namaetext::fileTitle);
    QVERIFY(notices[0].body.startsWith(namaetext::damagedLines(kJibun)));
    QCOMPARE(notices[1].title, namaetext::fileTitle);
    QVERIFY(notices[1].body.startsWith(namaetext::readFailed(kAite)));
    QCOMPARE(sides.jibun().names(), QStringList{u"たろう"_s});
    QCOMPARE(sides.entryText(NamaeSide::Jibun), u"たろう"_s);
    QVERIFY(dialogs.shown.isEmpty()); // the window shows them once it is up
}

void TestNamaeWaku::addByEnter()
{
    Fixture f(QString(), u"たろう\r\n"_s);
    f.sides.setEntryText(NamaeSide::Jibun, u"たろう"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 'a'), NamaeAddResult::Ignored);
    QVERIFY(!QFile::exists(kJibun));

    // Standing only in the partner list does not count.
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    QCOMPARE(f.dir.read(kJibun), QByteArray("\x82\xBD\x82\xEB\x82\xA4\r\n"));
    QCOMPARE(f.sides.jibun().names(), QStringList{u"たろう"_s});
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"たろう"_s); // the box keeps its text

    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Duplicate);
    QCOMPARE(f.sides.jibun().names().size(), 1);
    QCOMPARE(f.dir.read(kJibun), sjis(u"たろう\r\n"_s));

    // Exact equality: a trailing space or other kana make another name.
    f.sides.setEntryText(NamaeSide::Jibun, u"たろう "_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    f.sides.setEntryText(NamaeSide::Jibun, u"タロウ"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    f.sides.setEntryText(NamaeSide::Jibun, u" "_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    QCOMPARE(f.dir.read(kJibun), sjis(u"たろう\r\nたろう \r\nタロウ\r\n \r\n"_s));
    QVERIFY(f.dialogs.shown.isEmpty());

    // The selection stays where it was.
    f.sides.jibun().setSelected(1);
    f.sides.setEntryText(NamaeSide::Jibun, u"じろう"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    QCOMPARE(f.sides.jibun().selected(), 1);
}

void TestNamaeWaku::addRefusals()
{
    Fixture f(u"たろう\r\n"_s);
    f.sides.setEntryText(NamaeSide::Aite, QString());
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Aite, 13), NamaeAddResult::Ignored);

    f.sides.setEntryText(NamaeSide::Jibun, u"𠮷こ"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Refused);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].kind, u"warn"_s);
    QCOMPARE(f.dialogs.shown[0].title, namaetext::charTitle);
    QCOMPARE(f.dialogs.shown[0].body, namaetext::unheldChar(u"𠮷こ"_s, u"𠮷"_s, kJibun) + namaetext::paragraph
                                          + namaetext::notAdded(u"𠮷こ"_s));
    QCOMPARE(f.sides.jibun().names(), QStringList{u"たろう"_s});
    QCOMPARE(f.dir.read(kJibun), sjis(u"たろう\r\n"_s));
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"𠮷こ"_s);
}

// At the bound, an add is refused and nothing written; past it, a file is
// listed cut to the bound, the user told, and the file left as it is.
void TestNamaeWaku::listBoundOfNames_data()
{
    QTest::addColumn<int>("inFile");
    QTest::newRow("at the bound") << int(kNamaeListMaxNames);
    QTest::newRow("past the bound") << int(kNamaeListMaxNames) + 2;
}

void TestNamaeWaku::listBoundOfNames()
{
    QFETCH(int, inFile);
    QString text;
    for (int i = 0; i < inFile; ++i)
        text += QString::number(i) + u"\r\n"_s;
    Fixture f(text);
    const QByteArray before = f.dir.read(kJibun);
    QCOMPARE(f.sides.jibun().names().size(), kNamaeListMaxNames);
    const bool capped = inFile > kNamaeListMaxNames;
    QCOMPARE(f.startup.size(), capped ? 1 : 0);
    if (capped)
        QCOMPARE(f.startup[0].body, namaetext::tooManyNames(kJibun) + namaetext::paragraph + namaetext::cappedKept());

    f.sides.setEntryText(NamaeSide::Jibun, u"あたらしい"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Failed);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].title, namaetext::fileTitle);
    QCOMPARE(f.dialogs.shown[0].body,
             namaetext::listFull(kJibun) + namaetext::paragraph + namaetext::notAdded(u"あたらしい"_s));
    QCOMPARE(f.dir.read(kJibun), before);
    QCOMPARE(f.sides.jibun().names().size(), kNamaeListMaxNames);
}

void TestNamaeWaku::addFailureKeepsListEqualToFile()
{
    Fixture f;
    QVERIFY(QDir().mkdir(kAite));
    f.sides.setEntryText(NamaeSide::Aite, u"はなこ"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Aite, 13), NamaeAddResult::Failed);
    QVERIFY(f.sides.aite().names().isEmpty());
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].title, namaetext::fileTitle);
    QCOMPARE(f.dialogs.shown[0].body,
             namaetext::writeFailed(kAite) + namaetext::paragraph + namaetext::notAdded(u"はなこ"_s));
}

void TestNamaeWaku::pickCopiesSelection()
{
    Fixture f(u"たろう\r\nじろう\r\n"_s, u"はなこ\r\n"_s);
    f.sides.setEntryText(NamaeSide::Aite, u"さくら"_s);
    f.sides.NamaePick(NamaeSide::Jibun, 1);
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"じろう"_s);
    QCOMPARE(f.sides.entryText(NamaeSide::Aite), u"さくら"_s);
    f.sides.NamaePick(NamaeSide::Jibun, -1);
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), QString());
}

void TestNamaeWaku::deleteAsksThenRemoves()
{
    Fixture f(u"たろう\r\nじろう\r\nたろう\r\n"_s);
    f.sides.jibun().setSelected(2);
    f.sides.setEntryText(NamaeSide::Jibun, u"さくら"_s);
    QCOMPARE(f.sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Deleted);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown[0].kind, u"confirm"_s);
    QCOMPARE(f.dialogs.shown[0].title, u"削除確認"_s);
    QCOMPARE(f.dialogs.shown[0].body, u"『たろう』をリストから削除します"_s);
    // Only the selected one of the two goes.
    QCOMPARE(f.sides.jibun().names(), (QStringList{u"たろう"_s, u"じろう"_s}));
    QCOMPARE(f.dir.read(kJibun), sjis(u"たろう\r\nじろう\r\n"_s));
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), QString());
    QCOMPARE(f.sides.jibun().selected(), -1);

    // A file line with several names is written back one name a line.
    Fixture g(QString(), u"はなこ,さくら,もも\r\n"_s);
    g.sides.NamaePick(NamaeSide::Aite, 1);
    QCOMPARE(g.sides.NamaeDelete(NamaeSide::Aite), NamaeDeleteResult::Deleted);
    QCOMPARE(g.dir.read(kAite), sjis(u"はなこ\r\nもも\r\n"_s));

    // Deleting the last one leaves zero bytes.
    Fixture h(u"たろう\r\n"_s);
    h.sides.jibun().setSelected(0);
    QCOMPARE(h.sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Deleted);
    QVERIFY(QFile::exists(kJibun));
    QCOMPARE(QFileInfo(kJibun).size(), 0);
}

void TestNamaeWaku::deleteCancelledOrWithoutSelection()
{
    Fixture f(u"たろう\r\n"_s);
    QCOMPARE(f.sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::NoSelection);
    QVERIFY(f.dialogs.shown.isEmpty());

    f.sides.NamaePick(NamaeSide::Jibun, 0);
    f.dialogs.answer = false;
    QCOMPARE(f.sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Cancelled);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.sides.jibun().names(), QStringList{u"たろう"_s});
    QCOMPARE(f.dir.read(kJibun), sjis(u"たろう\r\n"_s));
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"たろう"_s);
    QCOMPARE(f.sides.jibun().selected(), 0);

    Fixture empty;
    QCOMPARE(empty.sides.NamaeDelete(NamaeSide::Aite), NamaeDeleteResult::NoSelection);
    QVERIFY(empty.dialogs.shown.isEmpty());
}

void TestNamaeWaku::deleteFailureKeepsEntry()
{
    Fixture f(u"たろう\r\nじろう\r\n"_s);
    QVERIFY(QFile::remove(kJibun));
    QVERIFY(QDir().mkdir(kJibun)); // the rewrite cannot replace a folder
    f.sides.NamaePick(NamaeSide::Jibun, 0);
    QCOMPARE(f.sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Failed);
    QCOMPARE(f.sides.jibun().names(), (QStringList{u"たろう"_s, u"じろう"_s}));
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"たろう"_s);
    QCOMPARE(f.dialogs.shown.size(), 2);
    QCOMPARE(f.dialogs.shown[1].title, namaetext::fileTitle);
    QCOMPARE(f.dialogs.shown[1].body,
             namaetext::writeFailed(kJibun) + namaetext::paragraph + namaetext::stillListed(u"たろう"_s));

    QCOMPARE(f.sides.NamaeListClear(NamaeSide::Jibun), NamaeClearResult::Failed);
    QCOMPARE(f.sides.jibun().names().size(), 2);
    QCOMPARE(f.dialogs.shown.last().body, namaetext::writeFailed(kJibun) + namaetext::paragraph + namaetext::listKept);
}

void TestNamaeWaku::clearList()
{
    Fixture f(u"たろう\r\nじろう\r\n"_s, u"はなこ\r\n"_s);
    f.dialogs.answer = false;
    QCOMPARE(f.sides.NamaeListClear(NamaeSide::Aite), NamaeClearResult::Cancelled);
    QCOMPARE(f.dialogs.shown[0].body, u"相手リスト全てを削除します"_s);
    QCOMPARE(f.dialogs.shown[0].title, u"削除確認"_s);
    QCOMPARE(f.sides.aite().names().size(), 1);
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"たろう"_s);

    f.dialogs.answer = true;
    QCOMPARE(f.sides.NamaeListClear(NamaeSide::Jibun), NamaeClearResult::Cleared);
    QCOMPARE(f.dialogs.shown[1].body, u"自分リスト全てを削除します"_s);
    QVERIFY(f.sides.jibun().names().isEmpty());
    QCOMPARE(QFileInfo(kJibun).size(), 0);
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), QString());
    QCOMPARE(f.dir.read(kAite), sjis(u"はなこ\r\n"_s));
}

void TestNamaeWaku::swap()
{
    Fixture f(u"たろう\r\n"_s);
    QSignalSpy spy(&f.sides, &NamaeSides::entryTextChanged);
    f.sides.NamaeSwap();
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), QString());
    QCOMPARE(f.sides.entryText(NamaeSide::Aite), u"たろう"_s);
    QCOMPARE(spy.size(), 2);
    f.sides.setEntryText(NamaeSide::Jibun, u"はなこ"_s);
    f.sides.NamaeSwap();
    QCOMPARE(f.sides.entryText(NamaeSide::Jibun), u"たろう"_s);
    QCOMPARE(f.sides.entryText(NamaeSide::Aite), u"はなこ"_s);
    QCOMPARE(f.sides.jibun().names(), QStringList{u"たろう"_s});
    QVERIFY(f.sides.aite().names().isEmpty());
    QCOMPARE(f.dir.read(kJibun), sjis(u"たろう\r\n"_s));
}

void TestNamaeWaku::modelFollowsList()
{
    Fixture f(u"たろう\r\nじろう\r\n"_s);
    NamaeWaku &w = f.sides.jibun();
    QCOMPARE(w.rowCount(), 2);
    QCOMPARE(w.data(w.index(1)).toString(), u"じろう"_s);

    QSignalSpy inserted(&w, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&w, &QAbstractItemModel::rowsRemoved);
    f.sides.setEntryText(NamaeSide::Jibun, u"さぶろう"_s);
    f.sides.NamaeAdd(NamaeSide::Jibun, 13);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(w.data(w.index(2)).toString(), u"さぶろう"_s);
    // What the window knows of the file is what it wrote.
    QVERIFY(!w.reload());
    QCOMPARE(inserted.size(), 1);

    w.setSelected(2);
    f.sides.NamaeDelete(NamaeSide::Jibun);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(w.rowCount(), 2);
}

void TestNamaeWaku::twoWindowsOnOneFile()
{
    // Two windows that do not watch: every change still starts from the file.
    Fixture a(u"たろう\r\nさくら\r\n"_s);
    FakeDialogs dialogsB;
    NamaeSides b(dialogsB);
    b.NamaeStartup();
    const auto add = [](NamaeSides &s, const QString &name) {
        s.setEntryText(NamaeSide::Jibun, name);
        return s.NamaeAdd(NamaeSide::Jibun, 13);
    };
    const auto del = [](NamaeSides &s, const QString &name) {
        s.NamaePick(NamaeSide::Jibun, int(s.jibun().indexOf(name)));
        return s.NamaeDelete(NamaeSide::Jibun);
    };
    QCOMPARE(add(a.sides, u"はなこ"_s), NamaeAddResult::Added);
    QCOMPARE(add(b, u"はなこ"_s), NamaeAddResult::Duplicate); // there by now: nothing added, no message
    QCOMPARE(add(b, u"ゆうき"_s), NamaeAddResult::Added);
    QCOMPARE(del(a.sides, u"たろう"_s), NamaeDeleteResult::Deleted);
    QCOMPARE(fileNames(a), (QStringList{u"さくら"_s, u"はなこ"_s, u"ゆうき"_s}));
    QCOMPARE(a.sides.jibun().names(), fileNames(a)); // each list shows the file after its change
    QCOMPARE(b.jibun().names(), (QStringList{u"たろう"_s, u"さくら"_s, u"はなこ"_s, u"ゆうき"_s}));

    // B deletes たろう, which A already deleted: not an error, B now shows the file.
    QCOMPARE(del(b, u"たろう"_s), NamaeDeleteResult::Deleted);
    QCOMPARE(b.jibun().names(), fileNames(a));
    QCOMPARE(b.entryText(NamaeSide::Jibun), QString());
    // A name twice: the one chosen goes, as it stands in the file now.
    QCOMPARE(add(b, u"もも"_s), NamaeAddResult::Added);
    QCOMPARE(del(a.sides, u"ゆうき"_s), NamaeDeleteResult::Deleted);
    QCOMPARE(add(a.sides, u"ゆうき"_s), NamaeAddResult::Added);
    QCOMPARE(fileNames(a), (QStringList{u"さくら"_s, u"はなこ"_s, u"もも"_s, u"ゆうき"_s}));
    QCOMPARE(b.NamaeListClear(NamaeSide::Jibun), NamaeClearResult::Cleared);
    QCOMPARE(add(a.sides, u"じろう"_s), NamaeAddResult::Added);
    QCOMPARE(fileNames(a), QStringList{u"じろう"_s});
    QCOMPARE(a.sides.jibun().names(), QStringList{u"じろう"_s});
    // The delete questions, and nothing more.
    QCOMPARE(a.dialogs.shown.size(), 2);
    QCOMPARE(dialogsB.shown.size(), 2);
}

void TestNamaeWaku::reloadFollowsOtherWindow()
{
    Fixture a(u"たろう\r\nさくら\r\nはなこ\r\n"_s);
    bool batchRunning = false;
    a.sides.watchFiles([&] { return batchRunning; });
    a.sides.NamaePick(NamaeSide::Jibun, 2);
    NamaeWaku &w = a.sides.jibun();

    FakeDialogs dialogsB;
    NamaeSides b(dialogsB);
    b.NamaeStartup();
    b.NamaePick(NamaeSide::Jibun, 0);
    QCOMPARE(b.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Deleted);
    QTRY_COMPARE(w.names(), (QStringList{u"さくら"_s, u"はなこ"_s}));
    QCOMPARE(w.selectedText(), u"はなこ"_s); // the selection stays on the name

    // Not while a batch runs; at its end.
    batchRunning = true;
    b.setEntryText(NamaeSide::Jibun, u"ゆうき"_s);
    QCOMPARE(b.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    QTest::qWait(400);
    QCOMPARE(w.names().size(), 2);
    batchRunning = false;
    QTRY_COMPARE(w.names(), (QStringList{u"さくら"_s, u"はなこ"_s, u"ゆうき"_s}));
    QCOMPARE(w.selected(), 1);
    QVERIFY(a.dialogs.shown.isEmpty());
}

// Another program changes the file where it stands. Whatever it changed,
// the list shows what the file now holds: no name it no longer holds is
// kept, none it holds is missing.
void TestNamaeWaku::changedInPlace_data()
{
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("cutFirst"); // cut to nothing, then written again
    const QStringList before = longList(20000);
    QStringList middle = before;
    middle[10000] = u"ら"_s + middle[10000].mid(1); // same length in code page 932
    QVERIFY(middle[10000] != before[10000] && !before.contains(middle[10000]));
    QTest::newRow("middle rewritten, a line appended") << (QStringList(middle) << u"ついか"_s) << false;
    QTest::newRow("middle rewritten, same length") << middle << false;
    QTest::newRow("lines appended") << (QStringList(before) << u"ついか"_s << u"もうひとつ"_s) << false;
    QTest::newRow("cut and grown again") << (before.mid(0, 10000) + QStringList{u"べつ"_s} + before.mid(10001)
                                             << u"ついか"_s)
                                         << true;
    QTest::newRow("cut short") << before.mid(0, 19990) << false;
    QTest::newRow("a line put in at the head") << (QStringList{u"さいしょ"_s} + before) << false;
    QTest::newRow("emptied") << QStringList() << true;
}

void TestNamaeWaku::changedInPlace()
{
    QFETCH(QStringList, after);
    QFETCH(bool, cutFirst);
    Fixture f;
    writeOld(fileOf(longList(20000)));
    f.sides.jibun().load();
    struct stat st0 {}, st1 {};
    QVERIFY(::stat(QFile::encodeName(kJibun).constData(), &st0) == 0);
    writeInPlace(fileOf(after), cutFirst);
    QVERIFY(::stat(QFile::encodeName(kJibun).constData(), &st1) == 0);
    QCOMPARE(st1.st_ino, st0.st_ino);

    NamaeWaku &w = f.sides.jibun();
    QVERIFY(w.reload());
    QCOMPARE(w.names(), after);
    // The next change starts from the file as it now is.
    f.sides.setEntryText(NamaeSide::Jibun, u"さいご"_s);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    QCOMPARE(w.names(), fileNames(f));
    QCOMPARE(fileNames(f), QStringList(after) << u"さいご"_s);
}

// Enter with the list not yet shown again after a change in place: the name
// is looked for in the file, and the list then shows the file.
void TestNamaeWaku::addChecksTheFileAsItIs()
{
    Fixture f;
    const QStringList before = longList(20000);
    writeOld(fileOf(before));
    f.sides.jibun().load();
    QStringList now = before;
    now[10000] = u"ら"_s + now[10000].mid(1);
    writeInPlace(fileOf(now), false);

    NamaeWaku &w = f.sides.jibun();
    f.sides.setEntryText(NamaeSide::Jibun, now[10000]);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Duplicate);
    QCOMPARE(w.names(), now);
    QCOMPARE(fileOf(fileNames(f)), fileOf(now)); // nothing written
    // The name the file no longer holds is a new one.
    f.sides.setEntryText(NamaeSide::Jibun, before[10000]);
    QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    QCOMPARE(fileNames(f), QStringList(now) << before[10000]);
    QCOMPARE(w.names(), fileNames(f));
    QVERIFY(f.dialogs.shown.isEmpty());
}

// Another program writes at once after the window's own change, within the
// same tick of the file times: its status after the change proves nothing,
// and the next check still shows what the file holds.
void TestNamaeWaku::changedRightAfterOwnWrite_data()
{
    QTest::addColumn<bool>("ownAdd"); // else the window deletes an entry
    QTest::addColumn<bool>("append"); // the other program also adds a line
    QTest::newRow("add, then a line rewritten in place") << true << false;
    QTest::newRow("add, then rewritten and a line added") << true << true;
    QTest::newRow("delete, then a line rewritten in place") << false << false;
    QTest::newRow("delete, then rewritten and a line added") << false << true;
}

void TestNamaeWaku::changedRightAfterOwnWrite()
{
    QFETCH(bool, ownAdd);
    QFETCH(bool, append);
    Fixture f;
    writeOld(fileOf(longList(2000)));
    NamaeWaku &w = f.sides.jibun();
    w.load();
    if (ownAdd) {
        f.sides.setEntryText(NamaeSide::Jibun, u"じぶん"_s);
        QCOMPARE(f.sides.NamaeAdd(NamaeSide::Jibun, 13), NamaeAddResult::Added);
    } else {
        f.sides.NamaePick(NamaeSide::Jibun, 500);
        QCOMPARE(f.sides.NamaeDelete(NamaeSide::Jibun), NamaeDeleteResult::Deleted);
    }
    QStringList now = w.names();
    now[1000] = u"ら"_s + now[1000].mid(1); // same length in code page 932
    if (append)
        now << u"ついか"_s;
    writeInPlace(fileOf(now), false);

    QVERIFY(w.reload());
    QCOMPARE(w.names(), now);
    QVERIFY(!w.reload()); // confirmed: nothing more to show
    QCOMPARE(w.names(), now);
    QCOMPARE(fileNames(f), now);
}

QTEST_GUILESS_MAIN(TestNamaeWaku)
#include "test_namaewaku.moc"
