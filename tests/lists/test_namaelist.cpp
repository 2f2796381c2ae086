#include "cp932.h"
#include "lists/namaelist.h"
#include "lists/namaetexts.h"
#include "tempworkdir.h"

#include <QDir>
#include <QStringEncoder>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kanaroll;
using namespace Qt::StringLiterals;

namespace {

const QString kFile = QStringLiteral("自分.txt");

// Limits the size of any file this process writes, for the length of one
// scope; the signal that would end the process is ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};

QByteArray utf16(const QString &text, bool le)
{
    QStringEncoder e(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return (le ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF")) + QByteArray(e.encode(text));
}

} // namespace

class TestNamaeList : public QObject
{
    Q_OBJECT
private slots:
    void reading_data();
    void reading();
    void encodings_data();
    void encodings();
    void damagedLinesAreLeftOut();
    void missingAndUnreadable();
    void saveBytes();
    void appendBytes();
    void unheldCharacters();
    void lineBreaksNeverWritten_data();
    void lineBreaksNeverWritten();
    void storedNamesStayAsRead_data();
    void storedNamesStayAsRead();
    void addToKnownNames_data();
    void addToKnownNames();
    void saveFailureKeepsOldFile();
    void appendFailureLeavesFileAsItWas();
    void boundOnNames();
    void utf16Append();
    void notRegularFiles();
    void fileOverTheCap();
    void lockHeldElsewhere();
    void changesFromTwoProcesses();
    void appendedLinesReadAlone_data();
    void appendedLinesReadAlone();
};

void TestNamaeList::reading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");

    const QStringList taroHana{u"たろう"_s, u"はなこ"_s};
    QTest::newRow("zero bytes") << QByteArray() << QStringList();
    QTest::newRow("two lines") << sjis(u"たろう\r\nはなこ\r\n"_s) << taroHana;
    QTest::newRow("no final line end") << sjis(u"たろう"_s) << QStringList{u"たろう"_s};
    QTest::newRow("comma") << sjis(u"たろう,はなこ\r\n"_s) << taroHana;
    QTest::newRow("leading spaces") << sjis(u"  たろう\r\n"_s) << QStringList{u"たろう"_s};
    QTest::newRow("empty line") << sjis(u"たろう\r\n\r\nはなこ\r\n"_s) << QStringList{u"たろう"_s, QString(), u"はなこ"_s};
    QTest::newRow("quoted comma") << sjis(u"\"たろう,はなこ\"\r\n"_s) << QStringList{u"たろう,はなこ"_s};
    QTest::newRow("full-width comma") << sjis(u"たろう、はなこ\r\n"_s) << QStringList{u"たろう、はなこ"_s};
    QTest::newRow("spaces after comma") << sjis(u"たろう, はなこ\r\n"_s) << taroHana;

    // Finer points.
    QTest::newRow("trailing spaces kept") << sjis(u"たろう  \r\n"_s) << QStringList{u"たろう  "_s};
    QTest::newRow("leading tab skipped, inner tab kept") << sjis(u"\tた\tろう\r\n"_s) << QStringList{u"た\tろう"_s};
    QTest::newRow("text after closing quote kept") << sjis(u"\"たろう\"じろう,はなこ\r\n"_s)
                                                    << QStringList{u"たろうじろう"_s, u"はなこ"_s};
    QTest::newRow("blanks after closing quote dropped") << sjis(u"\"たろう\"  ,はなこ\r\n"_s) << taroHana;
    QTest::newRow("quote inside a field") << sjis(u"た\"ろう\r\n"_s) << QStringList{u"た\"ろう"_s};
    QTest::newRow("unclosed quote ends at line end") << sjis(u"\"たろう\r\nはなこ\r\n"_s) << taroHana;
    QTest::newRow("lone LF") << sjis(u"たろう\nはなこ\n"_s) << taroHana;
    QTest::newRow("lone CR") << sjis(u"たろう\rはなこ"_s) << taroHana;
    QTest::newRow("CR then CR LF") << sjis(u"たろう\r\r\n"_s) << QStringList{u"たろう"_s, QString()};
    QTest::newRow("comma then line end") << sjis(u"たろう,\r\n"_s) << QStringList{u"たろう"_s, QString()};
    QTest::newRow("comma then end of file") << sjis(u"たろう,"_s) << QStringList{u"たろう"_s};
    QTest::newRow("blanks then end of file") << sjis(u"たろう\r\n   "_s) << QStringList{u"たろう"_s};
    QTest::newRow("one line end") << QByteArray("\r\n") << QStringList{QString()};
    QTest::newRow("end-of-file mark") << sjis(u"たろう\r\n"_s) + '\x1A' << QStringList{u"たろう"_s};
    QTest::newRow("half-width kana and symbols") << sjis(u"ﾀﾛｳ\r\n～\r\n"_s) << QStringList{u"ﾀﾛｳ"_s, u"～"_s};
}

void TestNamaeList::reading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    TempWorkDir dir;
    dir.write(kFile, bytes);
    const NamaeLoadResult r = NamaeListLoad(kFile);
    QVERIFY(r.ok);
    QVERIFY(!r.damaged);
    QCOMPARE(r.names, names);
    QCOMPARE(r.encoding, NamaeEncoding::Cp932);
}

void TestNamaeList::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<NamaeEncoding>("encoding");

    const QString text = u"たろう\r\nはなこ\r\n"_s;
    const QStringList names{u"たろう"_s, u"はなこ"_s};
    QTest::newRow("UTF-8") << text.toUtf8() << names << NamaeEncoding::Utf8;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + text.toUtf8() << names << NamaeEncoding::Utf8;
    // Two kana in UTF-8 also pass as code page 932; they are still UTF-8.
    QTest::newRow("UTF-8 also valid as 932") << u"あい\r\nたろ\r\n"_s.toUtf8() << QStringList{u"あい"_s, u"たろ"_s}
                                             << NamaeEncoding::Utf8;
    // Half-width kana in 932 that happen to be valid UTF-8 stay 932.
    QTest::newRow("932 also valid as UTF-8") << sjis(u"ﾂｱ\r\n"_s) << QStringList{u"ﾂｱ"_s} << NamaeEncoding::Cp932;
    QTest::newRow("lines of both") << sjis(u"たろう\r\n"_s) + u"はなこ\r\n"_s.toUtf8() << names << NamaeEncoding::Mixed;
    QTest::newRow("UTF-16 LE") << utf16(text, true) << names << NamaeEncoding::Utf16LE;
    QTest::newRow("UTF-16 BE") << utf16(text, false) << names << NamaeEncoding::Utf16BE;
    QTest::newRow("UTF-16 LE, end-of-file mark") << utf16(text + u"\x1A"_s, true) << names << NamaeEncoding::Utf16LE;
}

void TestNamaeList::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(NamaeEncoding, encoding);
    TempWorkDir dir;
    dir.write(kFile, bytes);
    NamaeLoadResult r = NamaeListLoad(kFile);
    QVERIFY(r.ok);
    QVERIFY(!r.damaged);
    QCOMPARE(r.names, names);
    QCOMPARE(r.encoding, encoding);

    // The next rewrite stores code page 932 again.
    QVERIFY(NamaeListSave(kFile, r.names));
    QCOMPARE(dir.read(kFile), sjis(names.join(u"\r\n"_s) + u"\r\n"_s));
}

void TestNamaeList::damagedLinesAreLeftOut()
{
    TempWorkDir dir;
    // A lone lead byte fits neither encoding.
    dir.write(kFile, sjis(u"たろう\r\n"_s) + "\x82\r\n" + sjis(u"じろう\r\n"_s) + "\xFF\xFE\r\n" + sjis(u"はなこ"_s));
    const NamaeLoadResult r = NamaeListLoad(kFile);
    QVERIFY(r.ok);
    QVERIFY(r.damaged);
    QCOMPARE(r.names, (QStringList{u"たろう"_s, u"じろう"_s, u"はなこ"_s}));
    QVERIFY(r.error.contains(kFile));
}

void TestNamaeList::missingAndUnreadable()
{
    TempWorkDir dir;
    NamaeLoadResult missing = NamaeListLoad(kFile);
    QVERIFY(missing.ok);
    QVERIFY(!missing.damaged);
    QVERIFY(missing.names.isEmpty());
    QVERIFY(missing.error.isEmpty());
    QVERIFY(!QFile::exists(kFile)); // loading creates nothing

    QVERIFY(QDir().mkdir(kFile));
    NamaeLoadResult unreadable = NamaeListLoad(kFile);
    QVERIFY(!unreadable.ok);
    QVERIFY(unreadable.names.isEmpty());
    QVERIFY(unreadable.error.contains(kFile));
}

void TestNamaeList::saveBytes()
{
    TempWorkDir dir;
    QVERIFY(NamaeListSave(kFile, {u"たろう"_s, u"はなこ"_s}));
    QCOMPARE(dir.read(kFile), QByteArray("\x82\xBD\x82\xEB\x82\xA4\r\n\x82\xCD\x82\xC8\x82\xB1\r\n"));

    QVERIFY(NamaeListSave(kFile, {}));
    QVERIFY(QFile::exists(kFile));
    QCOMPARE(QFileInfo(kFile).size(), 0);

    // Names go out as they are: empty, blanks, duplicates.
    QVERIFY(NamaeListSave(kFile, {QString(), u" たろう "_s, u"たろう"_s, u"たろう"_s}));
    QCOMPARE(dir.read(kFile), "\r\n " + sjis(u"たろう \r\nたろう\r\nたろう\r\n"_s));
}

void TestNamaeList::appendBytes()
{
    TempWorkDir dir;
    QVERIFY(NamaeListAppend(kFile, u"たろう"_s));
    QCOMPARE(dir.read(kFile), QByteArray("\x82\xBD\x82\xEB\x82\xA4\r\n"));
    QVERIFY(NamaeListAppend(kFile, u"はなこ"_s));
    QCOMPARE(dir.read(kFile), sjis(u"たろう\r\nはなこ\r\n"_s));

    // A name with a comma comes back as two.
    QVERIFY(NamaeListAppend(kFile, u"じろう,さぶろう"_s));
    QCOMPARE(NamaeListLoad(kFile).names, (QStringList{u"たろう"_s, u"はなこ"_s, u"じろう"_s, u"さぶろう"_s}));

    // A last line without its line end is not glued to the new name.
    dir.write(kFile, sjis(u"たろう"_s));
    QVERIFY(NamaeListAppend(kFile, u"はなこ"_s));
    QCOMPARE(dir.read(kFile), sjis(u"たろう\r\nはなこ\r\n"_s));

    // An old end-of-file mark is written over, not left as a name.
    dir.write(kFile, sjis(u"たろう\r\n"_s) + "\x1A");
    QVERIFY(NamaeListAppend(kFile, u"はなこ"_s));
    QCOMPARE(dir.read(kFile), sjis(u"たろう\r\nはなこ\r\n"_s));
    dir.write(kFile, sjis(u"たろう"_s) + "\x1A");
    QVERIFY(NamaeListAppend(kFile, u"はなこ"_s));
    QCOMPARE(NamaeListLoad(kFile).names, (QStringList{u"たろう"_s, u"はなこ"_s}));

    // A file saved in UTF-8 gets its new line in UTF-8, so that it is still
    // read whole as UTF-8 (あい and みさき in UTF-8 are also valid code page
    // 932, and a code page 932 line would tip the guess).
    dir.write(kFile, u"あい\r\nみさき\r\n"_s.toUtf8());
    QCOMPARE(NamaeListLoad(kFile).encoding, NamaeEncoding::Utf8);
    QVERIFY(NamaeListAppend(kFile, u"う"_s, NamaeEncoding::Utf8));
    const NamaeLoadResult again = NamaeListLoad(kFile);
    QCOMPARE(again.names, (QStringList{u"あい"_s, u"みさき"_s, u"う"_s}));
    QCOMPARE(again.encoding, NamaeEncoding::Utf8);
    QVERIFY(!NamaeListAppend(kFile, u"😀"_s, NamaeEncoding::Utf8)); // still refused
}

void TestNamaeList::unheldCharacters()
{
    QVERIFY(cp932CanHold(u"たろう ﾀﾛｳ 髙 ① ～"_s));
    QVERIFY(!cp932CanHold(u"𠮷田"_s));
    QCOMPARE(cp932FirstUnheld(u"たろう😀"_s), 3);
    QCOMPARE(characterAt(u"たろう😀"_s, 3), u"😀"_s);
    QCOMPARE(cp932FirstUnheld(u"な〜"_s), 1); // the wave dash 932 has no place for

    TempWorkDir dir;
    NamaeFileResult r = NamaeListAppend(kFile, u"𠮷こ"_s);
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains(u"𠮷"_s));
    QVERIFY(r.error.contains(kFile));
    QVERIFY(!QFile::exists(kFile));

    dir.write(kFile, sjis(u"たろう\r\n"_s));
    QVERIFY(!NamaeListAppend(kFile, u"😀"_s));
    r = NamaeListSave(kFile, {u"はなこ"_s, u"😀"_s});
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains(u"😀"_s));
    QCOMPARE(dir.read(kFile), sjis(u"たろう\r\n"_s));

    // Invisible characters are named by their code point.
    const struct {
        QString name;
        QString named;
    } invisible[] = {{u"か\u200Fえ"_s, u"「U+200F」"_s}, {u"か\u2028え"_s, u"「U+2028」"_s},
                     {u"か\u3099え"_s, u"「U+3099」"_s}, {u"か\U000E0100え"_s, u"「U+E0100」"_s},
                     {u"か😀え"_s, u"「😀」"_s}};
    for (const auto &c : invisible) {
        r = NamaeListAppend(kFile, c.name);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(c.named), qPrintable(r.error));
    }
}

void TestNamaeList::lineBreaksNeverWritten_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("pasted line break") << u"はなこ\n"_s;
    QTest::newRow("CR LF inside") << u"はな\r\nこ"_s;
    QTest::newRow("bare CR") << u"\rはなこ"_s;
}

// Whoever asks for the write, the file gets はなこ on a line of its own.
void TestNamaeList::lineBreaksNeverWritten()
{
    QFETCH(QString, name);
    const QByteArray expected = sjis(u"たろう\r\nはなこ\r\n"_s);
    TempWorkDir dir;

    QVERIFY(NamaeListSave(kFile, {u"たろう"_s, name}));
    QCOMPARE(dir.read(kFile), expected);

    dir.write(kFile, sjis(u"たろう\r\n"_s));
    QVERIFY(NamaeListAppend(kFile, name));
    QCOMPARE(dir.read(kFile), expected);

    dir.write(kFile, sjis(u"たろう\r\n"_s));
    NamaeChangeResult added = NamaeListAddName(kFile, name, NamaeListLoad(kFile));
    QVERIFY(added.changed);
    QCOMPARE(dir.read(kFile), expected);
    QCOMPARE(added.now.names, (QStringList{u"たろう"_s, u"はなこ"_s}));
    // Added again, it is the name already there.
    QVERIFY(!NamaeListAddName(kFile, name, added.now).changed);

    // Nothing but line breaks adds no line.
    QVERIFY(NamaeListAppend(kFile, u"\r\n"_s));
    QCOMPARE(dir.read(kFile), expected);
}

void TestNamaeList::addToKnownNames_data()
{
    QTest::addColumn<QString>("elsewhere"); // written by another program after the read
    QTest::addColumn<QStringList>("names");  // the names that come back
    QTest::addColumn<QString>("appended");
    QTest::newRow("as known") << QString() << QStringList{u"たろう"_s} << u"はなこ"_s;
    QTest::newRow("changed elsewhere") << u"じろう\r\n"_s << QStringList{u"じろう"_s, u"はなこ"_s} << QString();
}

// Where only the name was added to what the caller knows, it comes back for
// the caller to put after its own; the bytes are always the file's.
void TestNamaeList::addToKnownNames()
{
    QFETCH(QString, elsewhere);
    QFETCH(QStringList, names);
    QFETCH(QString, appended);
    TempWorkDir dir;
    dir.write(kFile, sjis(u"たろう\r\n"_s));
    NamaeLoadResult known = NamaeListLoad(kFile);
    if (!elsewhere.isEmpty())
        dir.write(kFile, sjis(elsewhere));
    const NamaeChangeResult added = NamaeListAddNameToKnown(kFile, u"はな\nこ"_s, known);
    QVERIFY(added.changed);
    QCOMPARE(added.now.names, names);
    QCOMPARE(added.appended, appended);
    QCOMPARE(added.appended.isNull(), appended.isNull());
    QCOMPARE(added.now.bytes, dir.read(kFile));
    QCOMPARE(dir.read(kFile), sjis((elsewhere.isEmpty() ? u"たろう\r\n"_s : elsewhere) + u"はなこ\r\n"_s));
}

void TestNamaeList::storedNamesStayAsRead_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("tab") << u"た\tろう"_s;
    QTest::newRow("DEL, SOH") << u"た\x7Fろ\x01う"_s;
    QTest::newRow("end-of-file mark inside") << u"た\x1Aろう"_s;
    QTest::newRow("NUL") << QString(u"た"_s + QChar(0) + u"ろう"_s);
}

// A name read from the file is the same name in every rewrite: deleting
// another keeps its bytes, and adding it again is adding a name already there.
void TestNamaeList::storedNamesStayAsRead()
{
    QFETCH(QString, stored);
    TempWorkDir dir;
    dir.write(kFile, sjis(stored + u"\r\nさくら\r\n"_s));
    const NamaeLoadResult loaded = NamaeListLoad(kFile);
    QCOMPARE(loaded.names, (QStringList{stored, u"さくら"_s}));

    QVERIFY(!NamaeListAddName(kFile, stored, loaded).changed);
    const NamaeChangeResult removed = NamaeListRemoveName(kFile, u"さくら"_s, 1, loaded);
    QVERIFY(removed.changed);
    QCOMPARE(removed.now.names, QStringList{stored});
    QCOMPARE(dir.read(kFile), sjis(stored + u"\r\n"_s));
    QVERIFY(NamaeListSave(kFile, {stored, stored}));
    QCOMPARE(dir.read(kFile), sjis(stored + u"\r\n"_s + stored + u"\r\n"_s));
}

void TestNamaeList::saveFailureKeepsOldFile()
{
    TempWorkDir dir;
    const QByteArray old = sjis(u"たろう\r\nはなこ\r\n"_s);
    dir.write(kFile, old);
    QStringList longer;
    for (int i = 0; i < 100; ++i)
        longer << u"じろう"_s;
    NamaeFileResult r;
    {
        // Nothing may be printed while the limit holds: the log may be a file.
        FileSizeLimit limit(old.size());
        QVERIFY(limit.isSet());
        r = NamaeListSave(kFile, longer);
    }
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains(kFile));
    QCOMPARE(dir.read(kFile), old);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{kFile}); // no new file left behind

    const QString other = u"相手.txt"_s;
    QVERIFY(QDir().mkdir(other));
    QVERIFY(!NamaeListSave(other, {u"たろう"_s}));
    QVERIFY(QFileInfo(other).isDir());
}

void TestNamaeList::appendFailureLeavesFileAsItWas()
{
    TempWorkDir dir;
    const QByteArray old = sjis(u"たろう\r\n"_s);
    dir.write(kFile, old);
    NamaeFileResult r;
    {
        FileSizeLimit limit(old.size() + 4); // half of the new line fits
        QVERIFY(limit.isSet());
        r = NamaeListAppend(kFile, u"はなこ"_s);
    }
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains(kFile));
    QCOMPARE(dir.read(kFile), old);

    const QString other = u"相手.txt"_s;
    QVERIFY(QDir().mkdir(other));
    QVERIFY(!NamaeListAppend(other, u"たろう"_s));
}

void TestNamaeList::boundOnNames()
{
    // A longer file is listed to the bound and told; its lines all stay in the file.
    TempWorkDir dir;
    QStringList names;
    for (int i = 0; i < 40000; ++i)
        names << u"な"_s + QString::number(i);
    QVERIFY(NamaeListSave(kFile, names));
    const QByteArray saved = dir.read(kFile);
    NamaeLoadResult r = NamaeListLoad(kFile);
    QCOMPARE(r.names, names.first(kNamaeListMaxNames));
    QVERIFY(r.capped);
    QCOMPARE(r.bytes, saved);
    QVERIFY(NamaeListAppend(kFile, u"おわり"_s));
    QCOMPARE(dir.read(kFile), saved + sjis(u"おわり\r\n"_s));
    // A change through the list refuses to grow it, and writes nothing.
    r = NamaeListLoad(kFile);
    const NamaeChangeResult c = NamaeListAddName(kFile, u"もうひとり"_s, r);
    QVERIFY(!c.file);
    QCOMPARE(c.file.error, namaetext::listFull(kFile));
    QCOMPARE(dir.read(kFile), saved + sjis(u"おわり\r\n"_s));
}

void TestNamaeList::utf16Append()
{
    TempWorkDir dir;
    for (bool le : {true, false}) {
        dir.write(kFile, utf16(u"たろう\r\nはなこ"_s, le)); // no final line end
        QVERIFY(NamaeListAppend(kFile, u"ゆうき"_s));
        QCOMPARE(dir.read(kFile), utf16(u"たろう\r\nはなこ\r\nゆうき\r\n"_s, le));
        const NamaeLoadResult r = NamaeListLoad(kFile);
        QCOMPARE(r.names, (QStringList{u"たろう"_s, u"はなこ"_s, u"ゆうき"_s}));
        QCOMPARE(r.encoding, le ? NamaeEncoding::Utf16LE : NamaeEncoding::Utf16BE);
    }
    // A mark alone is an empty list: the first name gets no empty line before it.
    dir.write(kFile, utf16(QString(), true));
    QVERIFY(NamaeListAppend(kFile, u"たろう"_s));
    QCOMPARE(dir.read(kFile), utf16(u"たろう\r\n"_s, true));
    // Half a character at the end is reported and not kept.
    dir.write(kFile, utf16(u"たろう\r\n"_s, true) + 'x');
    NamaeLoadResult r = NamaeListLoad(kFile);
    QVERIFY(r.damaged);
    QCOMPARE(r.names, QStringList{u"たろう"_s});
    QVERIFY(NamaeListAppend(kFile, u"はなこ"_s));
    QCOMPARE(dir.read(kFile), utf16(u"たろう\r\nはなこ\r\n"_s, true));
}

void TestNamaeList::notRegularFiles()
{
    TempWorkDir dir;
    const QString fifo = u"相手.txt"_s;
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QFile::link(u"/dev/zero"_s, kFile));
    for (const QString &name : {fifo, kFile}) {
        // Neither blocks nor reads without end; neither is written through.
        const NamaeLoadResult r = NamaeListLoad(name);
        QVERIFY(!r.ok);
        QVERIFY(r.leftAlone);
        QVERIFY(r.names.isEmpty());
        QCOMPARE(r.error, namaetext::notRegular(name));
        const NamaeFileResult add = NamaeListAppend(name, u"たろう"_s);
        QVERIFY(!add.ok);
        QCOMPARE(add.error, namaetext::notRegular(name));
        QVERIFY(!NamaeListSave(name, {u"たろう"_s}).ok);
    }
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QVERIFY(QFileInfo(kFile).isSymLink());
    QCOMPARE(::stat("/dev/zero", &st), 0);
    QVERIFY(S_ISCHR(st.st_mode));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
}

void TestNamaeList::fileOverTheCap()
{
    TempWorkDir dir;
    dir.write(kFile, sjis(u"たろう\r\n"_s));
    // Sparse: takes no room on the disk.
    QVERIFY(QFile::resize(kFile, kNamaeListMaxBytes + 1));
    const NamaeLoadResult r = NamaeListLoad(kFile);
    QVERIFY(!r.ok);
    QVERIFY(r.leftAlone);
    QVERIFY(r.names.isEmpty());
    QCOMPARE(r.error, namaetext::tooLarge(kFile));
    QCOMPARE(NamaeListAppend(kFile, u"はなこ"_s).error, namaetext::tooLarge(kFile));
    QCOMPARE(QFileInfo(kFile).size(), kNamaeListMaxBytes + 1);
}

void TestNamaeList::lockHeldElsewhere()
{
    TempWorkDir dir;
    const QByteArray old = sjis(u"たろう\r\n"_s);
    dir.write(kFile, old);
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) { // holds the lock as a change would, until killed
        const int fd = ::open(QFile::encodeName(kFile).constData(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        const char ok = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        for (;;)
            ::pause();
    }
    struct Reap { // also when a check below fails
        pid_t pid;
        ~Reap()
        {
            if (pid > 0 && ::kill(pid, SIGKILL) == 0)
                ::waitpid(pid, nullptr, 0);
        }
    } reap{holder};
    char ok = 0;
    QCOMPARE(::read(ready[0], &ok, 1), 1);
    QCOMPARE(ok, 'y');

    NamaeLoadResult known = NamaeListLoad(kFile, 0);
    QCOMPARE(known.names, QStringList{u"たろう"_s});
    const NamaeChangeResult busy = NamaeListAddName(kFile, u"はなこ"_s, known, 300);
    QVERIFY(!busy.file.ok);
    QCOMPARE(busy.file.error, namaetext::lockBusy(kFile));
    QCOMPARE(NamaeListRemoveAll(kFile, 300).file.error, namaetext::lockBusy(kFile));
    QCOMPARE(dir.read(kFile), old);

    // The holder dies without letting go: the next change does not wait.
    ::kill(holder, SIGKILL);
    QCOMPARE(::waitpid(holder, nullptr, 0), holder);
    reap.pid = 0;
    const NamaeChangeResult added = NamaeListAddName(kFile, u"はなこ"_s, known, 300);
    QVERIFY(added.file.ok);
    QCOMPARE(dir.read(kFile), sjis(u"たろう\r\nはなこ\r\n"_s));
    ::close(ready[0]);
    ::close(ready[1]);
}

void TestNamaeList::changesFromTwoProcesses()
{
    // Two processes add names and delete every other one of their own, each
    // from a list it never refreshes: nothing may be lost or come back.
    TempWorkDir dir;
    constexpr int kEach = 60;
    auto name = [](int who, int i) { return QString(QChar(u'あ' + who)) + QString::number(i); };
    pid_t pids[2];
    for (int who = 0; who < 2; ++who) {
        pids[who] = ::fork();
        if (pids[who] == 0) {
            NamaeLoadResult stale;
            for (int i = 0; i < kEach; ++i) {
                bool ok = NamaeListAddName(kFile, name(who, i), stale).file.ok;
                if (i % 2 == 1)
                    ok = ok && NamaeListRemoveName(kFile, name(who, i - 1), -1, stale).file.ok;
                if (!ok)
                    ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    QStringList expected;
    for (int who = 0; who < 2; ++who) {
        for (int i = 1; i < kEach; i += 2)
            expected << name(who, i);
    }
    QStringList got = NamaeListLoad(kFile).names;
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestNamaeList)
#include "test_namaelist.moc"

// Lines another program appends are read alone, and give the list a whole
// read would; a file changed otherwise is read whole.
void TestNamaeList::appendedLinesReadAlone_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after"); // the whole file afterwards
    QTest::addColumn<bool>("sameFile");
    QTest::addColumn<bool>("alone");
    const QByteArray taro = sjis(u"たろう\r\n"_s);
    QTest::newRow("a line added") << taro << taro + sjis(u"はなこ\r\n"_s) << true << true;
    QTest::newRow("last line completed") << taro + sjis(u"は"_s) << taro + sjis(u"はなこ\r\n"_s) << true << true;
    QTest::newRow("CR, then its LF") << sjis(u"たろう\r"_s) << taro + sjis(u"はなこ\r\n"_s) << true << true;
    QTest::newRow("half a line added") << taro << taro + sjis(u"はな"_s) << true << true;
    QTest::newRow("end-of-file mark") << taro + '\x1A' << taro + '\x1A' + sjis(u"はなこ\r\n"_s) << true << true;
    QTest::newRow("UTF-8 file") << u"たろう\r\n"_s.toUtf8() << u"たろう\r\nはなこ\r\n"_s.toUtf8() << true << true;
    QTest::newRow("UTF-8 added to code page 932") << taro << taro + u"はなこ\r\n"_s.toUtf8() << true << false;
    QTest::newRow("rewritten in place") << taro << sjis(u"じろう\r\nはなこ\r\n"_s) << true << false;
    // A check after the window's own write: confirmed or read whole.
    QTest::newRow("nothing added") << taro << taro << true << true;
    QTest::newRow("same length, changed in place") << taro << sjis(u"じろう\r\n"_s) << true << false;
    QTest::newRow("cut short") << taro + sjis(u"はなこ\r\n"_s) << taro << true << false;
    QTest::newRow("replaced") << taro << taro + sjis(u"はなこ\r\n"_s) << false << false;
}

void TestNamaeList::appendedLinesReadAlone()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, sameFile);
    QFETCH(bool, alone);
    TempWorkDir dir;
    dir.write(kFile, before);
    const NamaeFileStamp stamp = NamaeFileStamp::of(kFile);
    const NamaeLoadResult first = NamaeListLoad(kFile);
    if (sameFile) {
        QFile f(kFile);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.write(after) == after.size());
        QVERIFY(f.resize(after.size()));
    } else {
        dir.write(u"new"_s, after); // made while the old one stands: another file
        QVERIFY(::rename("new", QFile::encodeName(kFile).constData()) == 0);
    }
    QByteArray bytes = first.bytes;
    QStringList names = first.names;
    QCOMPARE(NamaeListReadAppended(kFile, stamp, NamaeFileStamp::of(kFile), first.encoding, bytes, names), alone);
    if (alone) {
        const NamaeLoadResult whole = NamaeListLoad(kFile);
        QCOMPARE(names, whole.names);
        QCOMPARE(bytes, after);
    } else {
        QCOMPARE(names, first.names);
        QCOMPARE(bytes, before);
    }
}
