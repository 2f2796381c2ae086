#include "help/chmfile.h"
#include "ui/help/chmhelpservice.h"
#include "help/helpdocument.h"
#include "help/helpviewer.h"
#include "help/helpwindow.h"

#include "tempworkdir.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTextFrame>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>

#include <sys/stat.h>

using namespace kanaroll;

namespace {

const QStringList kContentSuffixes = {"htm", "html", "css", "png", "gif", "jpg"};

QString committedChm()
{
    return sourcePath(QStringLiteral("resources/help/zqHelp.chm"));
}

// Pages, style sheets and pictures under resources/help, relative to it.
QStringList sourceFiles()
{
    const QDir root(sourcePath(QStringLiteral("resources/help")));
    QStringList out;
    QDirIterator it(root.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (kContentSuffixes.contains(QFileInfo(path).suffix().toLower()))
            out.append(root.relativeFilePath(path));
    }
    out.sort();
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString testFile(const char *name)
{
    return sourcePath(QStringLiteral("tests/help/data/") + QLatin1String(name));
}

HelpDocument openDocument(const QString &path)
{
    HelpDocument doc;
    if (!doc.open(path))
        qFatal("cannot open %s", qPrintable(path));
    doc.buildSearchIndex();
    return doc;
}

// Names of a sitemap tree, children in brackets: "a[b c[d]] e".
QString shape(const QList<helptext::SitemapEntry> &entries)
{
    QStringList parts;
    for (const auto &e : entries)
        parts.append(e.children.isEmpty() ? e.name : e.name + u'[' + shape(e.children) + u']');
    return parts.join(u' ');
}

QStringList hitTitles(const QList<HelpDocument::SearchHit> &hits)
{
    QStringList out;
    for (const auto &h : hits)
        out.append(h.title);
    return out;
}

// The directory of a help file: where each object's length is written.
struct DirEntry {
    QByteArray name;
    quint64 section = 0;
    quint64 offset = 0;
    qsizetype lengthAt = 0, lengthEnd = 0, chunk = 0, chunkEnd = 0;
};

quint64 le(const QByteArray &b, qsizetype at, int bytes)
{
    quint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | quint8(b[at + i]);
    return v;
}

quint64 encint(const QByteArray &b, qsizetype *at)
{
    quint64 v = 0;
    quint8 c = 0;
    do {
        c = quint8(b[(*at)++]);
        v = v << 7 | (c & 0x7f);
    } while (c & 0x80);
    return v;
}

QList<DirEntry> directory(const QByteArray &chm, quint64 *dataOffset)
{
    const qsizetype dir = qsizetype(le(chm, 0x48, 8));
    *dataOffset = le(chm, 0x58, 8);
    const qsizetype block = qsizetype(le(chm, dir + 0x10, 4));
    QList<DirEntry> out;
    for (qsizetype chunk = dir + 0x54; chunk + block <= dir + qsizetype(le(chm, 0x50, 8)); chunk += block) {
        if (!chm.mid(chunk).startsWith("PMGL"))
            continue;
        const qsizetype end = chunk + block - qsizetype(le(chm, chunk + 4, 4));
        for (qsizetype at = chunk + 20; at < end;) {
            DirEntry e;
            const qsizetype nameLength = qsizetype(encint(chm, &at));
            e.name = chm.mid(at, nameLength);
            at += nameLength;
            e.section = encint(chm, &at);
            e.offset = encint(chm, &at);
            e.lengthAt = at;
            encint(chm, &at);
            e.lengthEnd = at;
            e.chunk = chunk;
            e.chunkEnd = end;
            out.append(e);
        }
    }
    return out;
}

// The file with one object's recorded length replaced; the chunk's free
// space takes up the longer number.
QByteArray withObjectLength(QByteArray chm, const QByteArray &name, quint64 length)
{
    quint64 dataOffset = 0;
    for (const DirEntry &e : directory(chm, &dataOffset)) {
        if (e.name != name)
            continue;
        QByteArray number(1, char(length & 0x7f));
        for (quint64 v = length >> 7; v; v >>= 7)
            number.prepend(char(0x80 | (v & 0x7f)));
        const qsizetype grow = number.size() - (e.lengthEnd - e.lengthAt);
        const QByteArray tail = chm.mid(e.lengthEnd, e.chunkEnd - e.lengthEnd);
        chm.replace(e.lengthAt, number.size() + tail.size(), number + tail);
        const quint32 freeSpace = quint32(le(chm, e.chunk + 4, 4) - quint64(grow));
        chm.replace(e.chunk + 4, 4, QByteArray(reinterpret_cast<const char *>(&freeSpace), 4));
        return chm;
    }
    qFatal("no object %s", name.constData());
}

// The file with a field of the compressed section's reset table (or its
// control data) replaced.
QByteArray withResetTableField(QByteArray chm, qsizetype field, quint64 value,
                               const QByteArray &object = "/InstanceData/ResetTable")
{
    quint64 dataOffset = 0;
    for (const DirEntry &e : directory(chm, &dataOffset)) {
        if (e.name.endsWith(object)) {
            const qsizetype at = qsizetype(dataOffset + e.offset) + field;
            const int bytes = field >= 0x10 ? 8 : 4;
            chm.replace(at, bytes, QByteArray(reinterpret_cast<const char *>(&value), bytes));
            return chm;
        }
    }
    qFatal("no reset table");
}

QString viewerProgram()
{
    return QStringLiteral(KANAROLL_HELP_VIEWER);
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void committedFileMatchesSources();
    void pagesLinkOnlyToFilesInside();
    void unreadableFilesDoNotOpen();
    void damagedFilesOpenWhatTheyCan();
    void craftedLengthsAreDamageNotCrashes_data();
    void craftedLengthsAreDamageNotCrashes();
    void defaultTopicFallsBackToRootPage();
    void sitemapsGiveTreeAndIndex();
    void pagesDecodeInTheirCodePage();
    void searchFoldsKanaAndWidth_data();
    void searchFoldsKanaAndWidth();
    void windowPaneFollowsAndOpens();
    void fileWithoutContentsOrIndex();
    void searchIsBuiltInTheBackground();
    void topicsOfEveryKind();
    void headingOpensWithoutLeavingThePage();
    void indexEnterOpensBestMatch_data();
    void indexEnterOpensBestMatch();
    void zoomScalesPointsAndPixels();
    void bulletsReadUnderDarkPalette();
    void nowrapRunsStayWhole_data();
    void nowrapRunsStayWhole();
    void toolbarEnablement();
    void searchResultHighlightsHits();
    void windowRemembersSizeAndZoom();
    void windowOpensBesideOwner_data();
    void windowOpensBesideOwner();
    void windowOpensWhereItWasClosed();
    void viewerNavigatesInsideTheFile();
    void serviceOpensOneViewerAndClosesIt();
    void serviceSurvivesCrashingViewer();
    void serviceShowsNothingForMissingFile();
    void serviceFallsBackToInstalledCopy();
    void serviceFromBuildTreeFindsSourceCopy();
};

// Nothing a test does may reach the user's own settings.
void TestHelp::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QSettings(QStringLiteral("Kanaroll"), QStringLiteral("help")).clear();
}

// A page edited without rebuilding the help file fails here.
void TestHelp::committedFileMatchesSources()
{
    ChmFile chm;
    QVERIFY(chm.open(committedChm()));
    const QStringList sources = sourceFiles();
    QVERIFY(sources.contains(QStringLiteral("index.htm")));
    QVERIFY(sources.contains(QStringLiteral("help.css")));

    for (const QString &rel : sources) {
        const auto inside = chm.read(rel);
        QVERIFY2(inside, qPrintable(rel + " is missing from zqHelp.chm; run build-chm.sh"));
        QVERIFY2(*inside == fileBytes(sourcePath("resources/help/" + rel)),
                 qPrintable(rel + " differs in zqHelp.chm; run build-chm.sh"));
    }
    // Nor may it keep content whose source was removed.
    for (const QString &path : chm.files()) {
        if (kContentSuffixes.contains(QFileInfo(path).suffix().toLower()))
            QVERIFY2(sources.contains(path.mid(1)), qPrintable(path + " has no source page"));
    }

    // The sitemaps are kept in UTF-8 and stored in code page 932.
    for (const char *sitemap : {"zqHelp.hhc", "zqHelp.hhk"}) {
        const auto inside = chm.read(QLatin1String(sitemap));
        QVERIFY2(inside && helptext::decode(*inside, chm.locale())
                               == QString::fromUtf8(fileBytes(sourcePath("resources/help/") + sitemap)),
                 qPrintable(QLatin1String(sitemap) + " differs in zqHelp.chm; run build-chm.sh"));
    }
    QCOMPARE(chm.contentsFile(), QStringLiteral("/zqHelp.hhc"));
    QCOMPARE(chm.indexFile(), QStringLiteral("/zqHelp.hhk"));
    QCOMPARE(chm.defaultTopic(), QStringLiteral("/index.htm"));
    QCOMPARE(chm.title(), QStringLiteral("Kanaroll ヘルプ"));
    QVERIFY(chm.contains(QStringLiteral("INDEX.HTM"))); // names match without case
    QVERIFY(!chm.read(QStringLiteral("/nothing.htm")));
}

void TestHelp::pagesLinkOnlyToFilesInside()
{
    ChmFile chm;
    QVERIFY(chm.open(committedChm()));
    const QRegularExpression ref(QStringLiteral("(?:href|src)=\"([^\"#]+)"));
    for (const QString &rel : sourceFiles()) {
        if (!rel.endsWith(QLatin1String(".htm")))
            continue;
        const QString html = QString::fromUtf8(fileBytes(sourcePath("resources/help/" + rel)));
        for (const auto &m : ref.globalMatch(html)) {
            const QUrl target = QUrl(QStringLiteral("chm:/") + rel).resolved(QUrl(m.captured(1)));
            QVERIFY2(target.scheme() == QLatin1String("chm") && chm.contains(target.path()),
                     qPrintable(rel + " links to " + m.captured(1)));
        }
    }
}

void TestHelp::unreadableFilesDoNotOpen()
{
    TempWorkDir dir;
    ChmFile chm;
    QVERIFY(!chm.open(dir.filePath("missing.chm")));
    dir.write("garbage.chm", QByteArray(4096, 'x'));
    QVERIFY(!chm.open(dir.filePath("garbage.chm")));
    dir.write("empty.chm", {});
    QVERIFY(!chm.open(dir.filePath("empty.chm")));
    QVERIFY(QDir(dir.path()).mkdir("folder.chm"));
    QVERIFY(!chm.open(dir.filePath("folder.chm")));
    // A fifo is refused without waiting for a writer.
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo.chm")).constData(), 0600), 0);
    QVERIFY(!chm.open(dir.filePath("fifo.chm")));
    QVERIFY(!chm.isOpen());
    QVERIFY(!chm.read(QStringLiteral("/index.htm")));
    QVERIFY(chm.files().isEmpty());
}

// Cut short, or with a run of bytes wiped, at many places: whatever opens is
// read without a crash, and a file with unreadable parts says so. (A wipe
// that still decompresses cannot be told from content.)
void TestHelp::damagedFilesOpenWhatTheyCan()
{
    TempWorkDir dir;
    const QByteArray whole = fileBytes(committedChm());
    const HelpDocument good = openDocument(committedChm());
    QVERIFY(!good.damaged());
    int opened = 0;
    int damaged = 0;
    for (qsizetype at = 0; at < whole.size(); at += whole.size() / 40) {
        QByteArray wiped = whole;
        wiped.replace(at, 256, QByteArray(256, '\0'));
        for (const QByteArray &bytes : {whole.left(at), wiped.left(whole.size())}) {
            dir.write("bad.chm", bytes);
            HelpDocument doc;
            if (!doc.open(dir.filePath("bad.chm")))
                continue;
            doc.buildSearchIndex();
            ++opened;
            if (!doc.damaged())
                continue;
            ++damaged;
            HelpWindow window(std::move(doc));
            QVERIFY(window.damageNote()->isVisibleTo(&window));
            window.showHome(); // may find nothing to show, but must not crash
            window.search(QStringLiteral("相性"));
        }
    }
    QVERIFY(opened > 0);
    QVERIFY(damaged > 0);

    // Not a help file at all: the window says so, and shows no page.
    // A window chmlib would divide by, also when the file is cut short
    // before the compressed data.
    const QByteArray zeroWindow = withResetTableField(whole, 16, 0, "/MSCompressed/ControlData");
    for (const qsizetype length : {whole.size(), qsizetype(28155)}) {
        dir.write("window.chm", zeroWindow.left(length));
        QVERIFY(!HelpDocument().open(dir.filePath("window.chm")));
    }

    dir.write("broken.chm", QByteArray("ITSF") + QByteArray(100, '\0'));
    HelpDocument broken;
    QVERIFY(!broken.open(dir.filePath("broken.chm")));
    HelpWindow brokenWindow(std::move(broken));
    QVERIFY(!brokenWindow.showHome());
    QVERIFY(brokenWindow.damageNote()->isVisibleTo(&brokenWindow));
    QVERIFY(brokenWindow.damageNote()->text().contains(QStringLiteral("<broken.chm> を読み取れませんでした")));
    QVERIFY(!brokenWindow.homeAction()->isEnabled());
    QVERIFY(!brokenWindow.printAction()->isEnabled());
    HelpWindow window(openDocument(committedChm()));
    QVERIFY(!window.damageNote()->isVisibleTo(&window));
}

// Lengths a crafted file gives to one object or to the compressed blocks:
// once a heap overrun inside chmlib, once an allocation of terabytes. The
// window opens with the damage note and what can still be read.
void TestHelp::craftedLengthsAreDamageNotCrashes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("unreadable");
    QTest::addColumn<QString>("home"); // empty: no page left to show
    const QByteArray chm = fileBytes(committedChm());
    QTest::newRow("block length 2^33") << withResetTableField(chm, 0x20, 0x200000000) << "/index.htm" << "";
    QTest::newRow("block length 0") << withResetTableField(chm, 0x20, 0) << "/index.htm" << "";
    QTest::newRow("block count 0") << withResetTableField(chm, 4, 0) << "/index.htm" << "";
    QTest::newRow("uncompressed 2^40") << withResetTableField(chm, 0x10, 1ull << 40) << "/index.htm" << "";
    QTest::newRow("index page 2^40") << withObjectLength(chm, "/index.htm", 1ull << 40) << "/index.htm"
                                     << "/file.htm";
    QTest::newRow("contents 2^62") << withObjectLength(chm, "/zqHelp.hhc", 1ull << 62) << "/zqHelp.hhc"
                                   << "/index.htm";
    QTest::newRow("keywords 2^32+5") << withObjectLength(chm, "/zqHelp.hhk", (1ull << 32) + 5) << "/zqHelp.hhk"
                                     << "/index.htm";
    QTest::newRow("picture 2^40") << withObjectLength(chm, "/images/sankaku.png", 1ull << 40)
                                  << "/images/sankaku.png" << "/index.htm";
    QTest::newRow("style sheet 2^32+5") << withObjectLength(chm, "/help.css", (1ull << 32) + 5) << "/help.css"
                                        << "/index.htm";
    QTest::newRow("plain object past the end") << withObjectLength(chm, "/#SYSTEM", 1ull << 40) << "/#SYSTEM"
                                               << "/index.htm";
}

void TestHelp::craftedLengthsAreDamageNotCrashes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, unreadable);
    QFETCH(QString, home);
    TempWorkDir dir;
    dir.write("crafted.chm", bytes);
    HelpDocument doc;
    QVERIFY(doc.open(dir.filePath("crafted.chm")));
    QVERIFY(!doc.chm().read(unreadable));
    HelpWindow window(std::move(doc));
    QVERIFY(window.waitForSearch());
    QVERIFY(window.document().damaged());
    QVERIFY(window.damageNote()->isVisibleTo(&window));
    QCOMPARE(window.showHome(), !home.isEmpty());
    QCOMPARE(window.viewer()->currentPath(), home);
    window.search(QStringLiteral("相性"));
}

// nodefault.chm names a default topic it lacks and has no index page
// (built from data/nodefault/ with chmcmd).
void TestHelp::defaultTopicFallsBackToRootPage()
{
    ChmFile chm;
    QVERIFY(chm.open(testFile("nodefault.chm")));
    QCOMPARE(chm.title(), QStringLiteral("No default"));
    const QStringList files = chm.files();
    for (const char *page : {"/0/x.htm", "/a.htm", "/b.htm"})
        QVERIFY2(files.contains(QLatin1String(page)), page);
    QCOMPARE(chm.defaultTopic(), QStringLiteral("/a.htm")); // not the one in 0/
    QVERIFY(!chm.read(QStringLiteral("/0/"))); // a directory has no content

    HelpWindow window(openDocument(testFile("nodefault.chm")));
    QVERIFY(window.showHome());
    QCOMPARE(window.windowTitle(), QStringLiteral("A"));
}

// nested.chm (data/nested/, chmcmd): contents three levels deep, an index
// with a sub-keyword, pages in UTF-8 and in code page 932.
void TestHelp::sitemapsGiveTreeAndIndex()
{
    const HelpDocument nested = openDocument(testFile("nested.chm"));
    QVERIFY(nested.hasContentsFile());
    QCOMPARE(shape(nested.contents()), QStringLiteral("はじめに[かな[半角] シフトJIS] 宣言なし"));
    QCOMPARE(nested.contents()[0].children[0].children[0].locals, QStringList{"/sub/kana.htm#two"});
    QCOMPARE(shape(nested.index()), QStringLiteral("カタカナ[半角] 漢字 はじめに"));
    QCOMPARE(nested.index()[1].locals, QStringList{"/sub/sjis.htm"});
    QVERIFY(!nested.damaged());

    const HelpDocument own = openDocument(committedChm());
    QVERIFY(own.hasContentsFile());
    QVERIFY(own.contents().size() >= 5);
    QVERIFY(own.index().size() >= 10);
    // Every entry leads to a page that is in the file.
    auto check = [&](auto &self, const QList<helptext::SitemapEntry> &entries) -> void {
        for (const auto &e : entries) {
            QVERIFY2(!e.locals.isEmpty(), qPrintable(e.name));
            for (const QString &local : e.locals)
                QVERIFY2(own.chm().contains(local.section(u'#', 0, 0)), qPrintable(e.name + " " + local));
            self(self, e.children);
        }
    };
    check(check, own.contents());
    check(check, own.index());

    // Sloppy sitemaps: unclosed tags, stray </UL>, single quotes, entities.
    const auto sloppy = helptext::parseSitemap(QStringLiteral(
        "</UL><UL><LI><OBJECT type='text/sitemap'><param name=Name value='a &amp; b'>"
        "<param name=\"Local\" value=\"x.htm\"></OBJECT><UL><LI><OBJECT type=\"text/sitemap\">"
        "<param name=\"Name\" value=\"c\"></OBJECT></UL></UL></UL><LI><OBJECT type=\"text/sitemap\">"
        "<param name=\"Name\" value=\"d\"><param name=\"Local\" value=\"mk:@MSITStore:z.chm::/e/f.htm\">"));
    QCOMPARE(shape(sloppy), QStringLiteral("a & b[c]"));
    QCOMPARE(helptext::sitemapTarget(QStringLiteral("mk:@MSITStore:z.chm::/e/f.htm"), "/t.hhc"), "/e/f.htm");
    QCOMPARE(helptext::sitemapTarget(QStringLiteral("../g.htm#h"), "/s/t.hhc"), "/g.htm#h");
    QCOMPARE(helptext::sitemapTarget(QStringLiteral("http://example.org/"), "/t.hhc"), QString());
}

void TestHelp::pagesDecodeInTheirCodePage()
{
    const HelpDocument doc = openDocument(testFile("nested.chm"));
    QCOMPARE(doc.pageTitle("/sub/sjis.htm"), QStringLiteral("シフトJIS")); // charset=shift_jis
    QVERIFY(doc.text("/sub/sjis.htm")->contains(QStringLiteral("表示できる漢字と～と①")));
    QCOMPARE(doc.pageTitle("/sub/plain.htm"), QStringLiteral("宣言なし")); // no charset
    QVERIFY(doc.text("/sub/plain.htm")->contains(QStringLiteral("能力")));
    QCOMPARE(doc.pageTitle("/sub/kana.htm"), QStringLiteral("かなのページ")); // utf-8
    // Undeclared text of another locale, and a declared one.
    QCOMPARE(helptext::decode("caf\xe9", 0x0409), QStringLiteral("café"));
    QCOMPARE(helptext::decode("<meta charset=\"iso-8859-1\">\xe9", 0x0411).right(1), QStringLiteral("é"));
}

void TestHelp::searchFoldsKanaAndWidth_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("titles");
    const QStringList kana{"かなのページ"};
    QTest::newRow("hiragana finds katakana") << "かたかな" << kana;
    QTest::newRow("ascii finds full width") << "abc" << QStringList{"かなのページ", "Top"};
    QTest::newRow("full width finds ascii") << "ＡＢＣ" << QStringList{"かなのページ", "Top"};
    QTest::newRow("half-width voiced kana") << "はんかくが" << kana;
    QTest::newRow("every word must match") << "かたかな letters" << QStringList{};
    QTest::newRow("code page 932 page") << "漢字" << QStringList{"シフトJIS"};
    QTest::newRow("title and head not searched") << "宣言なし" << QStringList{};
    QTest::newRow("blank query") << "  　 " << QStringList{};
}

void TestHelp::searchFoldsKanaAndWidth()
{
    QFETCH(QString, query);
    QFETCH(QStringList, titles);
    static const HelpDocument doc = openDocument(testFile("nested.chm"));
    QCOMPARE(hitTitles(doc.search(query)), titles);
}

void TestHelp::windowPaneFollowsAndOpens()
{
    HelpWindow window(openDocument(testFile("nested.chm")));
    QVERIFY(window.showHome());
    QTreeWidget *tree = window.contentsTree();
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("はじめに"));

    // Choosing an entry shows its page; following a link moves the tree.
    QTreeWidgetItem *sjis = tree->topLevelItem(0)->child(1);
    tree->setCurrentItem(sjis);
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/sub/sjis.htm"));
    QVERIFY(window.viewer()->toPlainText().contains(QStringLiteral("漢字")));
    window.viewer()->showPath(QStringLiteral("/sub/plain.htm"));
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("宣言なし"));
    QCOMPARE(window.windowTitle(), QStringLiteral("宣言なし"));
    window.viewer()->showPath(QStringLiteral("/sub/kana.htm#two")); // the entry with the anchor
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("半角"));
    window.viewer()->showPath(QStringLiteral("/SUB/KANA.HTM")); // the page's first entry
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("かな"));

    // The index: typing narrows it, a sub-keyword matches by its keyword too,
    // and Enter opens the entry.
    QVERIFY(window.tabs()->isTabVisible(1));
    QListWidget *index = window.indexList();
    QLineEdit *filter = window.indexFilter();
    auto visible = [index] {
        QStringList out;
        for (int r = 0; r < index->count(); ++r)
            if (!index->item(r)->isHidden())
                out.append(index->item(r)->text().trimmed());
        return out;
    };
    filter->setText(QStringLiteral("かた"));
    QCOMPARE(visible(), (QStringList{"カタカナ", "半角"}));
    filter->setText(QStringLiteral("半角")); // a sub-keyword brings its keyword
    QCOMPARE(visible(), (QStringList{"カタカナ", "半角"}));
    QCOMPARE(index->currentItem()->text().trimmed(), QStringLiteral("半角"));
    filter->setText(QStringLiteral("漢"));
    QCOMPARE(visible(), QStringList{"漢字"});
    QTest::keyClick(filter, Qt::Key_Return);
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/sub/sjis.htm"));
    filter->setText(QStringLiteral("zzz"));
    QVERIFY(visible().isEmpty());
    QTest::keyClick(filter, Qt::Key_Return); // nothing to open
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/sub/sjis.htm"));
}

void TestHelp::fileWithoutContentsOrIndex()
{
    HelpWindow window(openDocument(testFile("nodefault.chm")));
    QVERIFY(!window.document().hasContentsFile());
    QVERIFY(!window.tabs()->isTabVisible(1));
    QVERIFY(window.tabs()->isTabVisible(0));
    QStringList titles;
    for (int i = 0; i < window.contentsTree()->topLevelItemCount(); ++i)
        titles.append(window.contentsTree()->topLevelItem(i)->text(0));
    QCOMPARE(titles, (QStringList{"Z", "A", "B"})); // the pages' titles, in file order
    window.contentsTree()->setCurrentItem(window.contentsTree()->topLevelItem(2));
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/b.htm"));
    QCOMPARE(window.search(QStringLiteral("b")), 1);
}

// The window shows the first page at once; search says it is not ready
// until the thread that reads every page is done, then runs what was typed.
void TestHelp::searchIsBuiltInTheBackground()
{
    for (const char *file : {"nested.chm", "nodefault.chm"}) {
        HelpDocument doc;
        QVERIFY(doc.open(testFile(file)));
        QVERIFY(!doc.searchReady());
        HelpWindow window(std::move(doc));
        QVERIFY(window.showHome());
        if (!window.document().searchReady()) {
            QVERIFY(!window.searchBox()->isEnabled());
            QCOMPARE(window.search(QStringLiteral("b")), 0);
        }
        QVERIFY(window.waitForSearch());
        QVERIFY(window.searchBox()->isEnabled());
        QVERIFY(window.contentsTree()->topLevelItemCount() > 0);
        QVERIFY(window.searchResults()->count() > 0 || window.search(QStringLiteral("b")) > 0);
        QVERIFY(!window.damageNote()->isVisibleTo(&window));
    }
    // Closed at once while the thread still reads.
    HelpDocument doc;
    QVERIFY(doc.open(committedChm()));
    delete new HelpWindow(std::move(doc));
}

// kinds.chm (data/kinds/, chmcmd): a page, a text and a picture under a
// heading without a page; textonly.chm holds nothing but a text.
void TestHelp::topicsOfEveryKind()
{
    HelpWindow window(openDocument(testFile("kinds.chm")));
    QVERIFY(window.showHome());
    QVERIFY(window.viewer()->showPath(QStringLiteral("/note.txt")));
    QVERIFY(window.viewer()->toPlainText().contains(QStringLiteral("  Second line <not a tag> & more.")));
    QCOMPARE(window.windowTitle(), QStringLiteral("note.txt"));
    QVERIFY(window.viewer()->showPath(QStringLiteral("/pic.png")));
    QVERIFY(window.viewer()->toHtml().contains(QStringLiteral("<img src=\"pic.png\"")));
    const QImage picture = QImage::fromData(
        window.viewer()->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic.png"))).toByteArray());
    QCOMPARE(picture.size(), QSize(8, 4));
    QVERIFY(!window.damageNote()->isVisibleTo(&window));

    HelpWindow text(openDocument(testFile("textonly.chm")));
    QVERIFY(text.showHome());
    QCOMPARE(text.viewer()->currentPath(), QStringLiteral("/readme.txt"));
    QVERIFY(text.viewer()->toPlainText().contains(QStringLiteral("Readme of a library.")));
    QVERIFY(!text.damageNote()->isVisibleTo(&text));
    QCOMPARE(text.search(QStringLiteral("library")), 1);
}

void TestHelp::headingOpensWithoutLeavingThePage()
{
    HelpWindow window(openDocument(testFile("kinds.chm")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.showHome());
    QTreeWidget *tree = window.contentsTree();
    QTreeWidgetItem *heading = tree->topLevelItem(0);
    QCOMPARE(heading->text(0), QStringLiteral("Chapter"));
    QVERIFY(heading->isExpanded());
    tree->setCurrentItem(heading);
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/page.htm"));
    QVERIFY(!window.backAction()->isEnabled());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(heading).center());
    QVERIFY(!heading->isExpanded());
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Return);
    QVERIFY(heading->isExpanded());
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/page.htm"));
    QVERIFY(!window.backAction()->isEnabled());
    QVERIFY(window.viewer()->toPlainText().contains(QStringLiteral("Body text.")));
}

void TestHelp::indexEnterOpensBestMatch_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("opened");
    QTest::newRow("same keyword, before longer ones") << "tform" << "/page.htm";
    QTest::newRow("same keyword, not a sub-keyword") << "TSTRINGGRID" << "/pic.png";
    QTest::newRow("lower case, not the sub-keyword of that name above it") << "tstringgrid" << "/pic.png";
    QTest::newRow("sub-keyword when no keyword starts so") << "tstringgrids" << "/note.txt";
    QTest::newRow("starts with") << "tformb" << "/pic.png";
    QTest::newRow("holds") << "ontrol" << "/note.txt";
}

void TestHelp::indexEnterOpensBestMatch()
{
    QFETCH(QString, typed);
    QFETCH(QString, opened);
    HelpWindow window(openDocument(testFile("kinds.chm")));
    QVERIFY(window.showHome());
    window.indexFilter()->setText(typed);
    QTest::keyClick(window.indexFilter(), Qt::Key_Return);
    QCOMPARE(window.viewer()->currentPath(), opened);
}

// The pages bring their own ivory; a dark palette's light text would make
// the bullets, drawn in the palette's text colour, vanish on it.
void TestHelp::bulletsReadUnderDarkPalette()
{
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Text, QColor(238, 238, 236));
    dark.setColor(QPalette::Base, QColor(45, 45, 45));
    QApplication::setPalette(dark);
    HelpWindow window(openDocument(committedChm()));
    QVERIFY(window.showHome());
    const QBrush page = window.viewer()->document()->rootFrame()->frameFormat().background();
    QApplication::setPalette(before);
    QCOMPARE(page.color(), QColor(255, 255, 240));
    QCOMPARE(window.viewer()->palette().color(QPalette::Text), QColor(Qt::black));
}

// style.css sizes body text and cells in px and the heading in pt.
void TestHelp::zoomScalesPointsAndPixels()
{
    HelpWindow window(openDocument(testFile("kinds.chm")));
    QVERIFY(window.showHome());
    HelpViewer *viewer = window.viewer();
    auto size = [viewer](const QString &text) {
        const QTextCursor at = viewer->document()->find(text);
        const QTextCharFormat f = at.charFormat();
        return f.hasProperty(QTextFormat::FontPixelSize) ? QString::number(f.intProperty(QTextFormat::FontPixelSize)) + "px"
                                                         : QString::number(f.fontPointSize()) + "pt";
    };
    const QStringList texts = {"Body text", "plain cell", "Heading"};
    const QStringList sizes = {"14px", "12px", "10pt"};
    const QStringList doubled = {"28px", "24px", "20pt"};
    QStringList got;
    for (const qreal factor : {2.0, 0.5, 1.0}) {
        viewer->setZoomFactor(factor);
        QStringList now;
        for (const QString &t : texts)
            now.append(size(t));
        got.append(now.join(u' '));
    }
    QCOMPARE(got, (QStringList{doubled.join(u' '), "7px 6px 5pt", sizes.join(u' ')}));
    viewer->setZoomFactor(2.0);
    QVERIFY(viewer->showPath(QStringLiteral("/page.htm#x"))); // reloaded: scaled from the page's sizes
    viewer->showPath(QStringLiteral("/note.txt"));
    viewer->backward();
    QCOMPARE(size(QStringLiteral("Body text")), QStringLiteral("28px"));
}

void TestHelp::nowrapRunsStayWhole_data()
{
    QTest::addColumn<QString>("css");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("joined"); // "_" for a no-break space
    QTest::newRow("class from a rule") << "span.code { white-space: nowrap }"
                                       << "<span class=\"x code\">a b\n c</span> d e" << "<span class=\"x code\">a_b_c</span> d e";
    QTest::newRow("class in a group") << "p { color: red } td, .ident { WHITE-SPACE : NoWrap; }"
                                      << "<span class=ident>f g</span>" << "<span class=ident>f_g</span>";
    QTest::newRow("inline style, nested") << ""
                                          << "<span style=\"white-space:nowrap\">h <b>i j</b><span>k l</span></span> m"
                                          << "<span style=\"white-space:nowrap\">h_<b>i_j</b><span>k_l</span></span> m";
    QTest::newRow("nobr") << "" << "<nobr>n o</nobr> p" << "<nobr>n_o</nobr> p";
    QTest::newRow("other classes untouched") << ".code { white-space: normal }"
                                             << "<span class=code>q r</span>" << "<span class=code>q r</span>";
}

void TestHelp::nowrapRunsStayWhole()
{
    QFETCH(QString, css);
    QFETCH(QString, html);
    QFETCH(QString, joined);
    QCOMPARE(helptext::joinNowrapRuns(html, helptext::nowrapClasses(css)).replace(QChar(0xa0), u'_'), joined);
    // And in a page, through its linked style sheet.
    HelpWindow window(openDocument(testFile("kinds.chm")));
    QVERIFY(window.showHome());
    QVERIFY(window.viewer()->document()->toRawText().contains(QStringLiteral("function\u00a0GetNumBytesAvailable\u00a0(const\u00a0Buffer)")));
}

void TestHelp::toolbarEnablement()
{
    HelpWindow window(openDocument(testFile("nested.chm")));
    window.show(); // for the shortcuts
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.showHome());
    auto state = [&] {
        return QString::fromLatin1("%1%2%3").arg(window.backAction()->isEnabled() ? "B" : "-",
                                                 window.forwardAction()->isEnabled() ? "F" : "-",
                                                 window.homeAction()->isEnabled() ? "H" : "-");
    };
    QCOMPARE(state(), QStringLiteral("---")); // at home, no history
    // Every button has a picture: the program's own where the theme has none.
    for (QAction *action : {window.printAction(), window.zoomInAction(), window.zoomOutAction()})
        QVERIFY2(!action->icon().pixmap(16).toImage().isNull() && action->icon().pixmap(16).toImage().pixel(5, 1) != 0,
                 qPrintable(action->text()));
    QVERIFY(window.printAction()->isEnabled());
    window.viewer()->showPath(QStringLiteral("/sub/kana.htm"));
    QCOMPARE(state(), QStringLiteral("B-H"));
    window.backAction()->trigger();
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/top.htm"));
    QCOMPARE(state(), QStringLiteral("-F-"));
    window.forwardAction()->trigger();
    QCOMPARE(state(), QStringLiteral("B-H"));
    window.homeAction()->trigger();
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/top.htm"));
    QCOMPARE(state(), QStringLiteral("B--"));

    // Zoom stops at its ends, by button, key or wheel alike.
    const int steps = int(HelpWindow::zoomFactors().size());
    for (int i = 0; i < steps; ++i)
        QTest::keyClick(window.viewer(), Qt::Key_Minus, Qt::ControlModifier);
    QVERIFY(!window.zoomOutAction()->isEnabled());
    QVERIFY(window.zoomInAction()->isEnabled());
    QCOMPARE(window.viewer()->zoomFactor(), HelpWindow::zoomFactors().first());
    for (int i = 0; i < steps; ++i) {
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), {}, QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.viewer()->viewport(), &wheel);
    }
    QVERIFY(!window.zoomInAction()->isEnabled());
    QCOMPARE(window.viewer()->zoomFactor(), HelpWindow::zoomFactors().last());
    // Text grows by the factor and stays so from page to page.
    const qreal base = QTextDocument().defaultFont().pointSizeF();
    window.backAction()->trigger();
    window.forwardAction()->trigger();
    QCOMPARE(window.viewer()->document()->defaultFont().pointSizeF(), base * HelpWindow::zoomFactors().last());
}

void TestHelp::searchResultHighlightsHits()
{
    HelpWindow window(openDocument(testFile("nested.chm")));
    QVERIFY(window.showHome());
    QCOMPARE(window.search(QStringLiteral("かたかな")), 1);
    QCOMPARE(window.searchResults()->item(0)->text(), QStringLiteral("かなのページ"));
    window.openSearchResult(0);
    QCOMPARE(window.viewer()->currentPath(), QStringLiteral("/sub/kana.htm"));
    QCOMPARE(window.viewer()->highlightCount(), 2);
    const auto marks = window.viewer()->extraSelections();
    for (const auto &mark : marks)
        QCOMPARE(mark.cursor.selectedText(), QStringLiteral("カタカナ"));
    // Half-width kana are marked whole, voiced mark included.
    QCOMPARE(window.search(QStringLiteral("かくが")), 1);
    window.openSearchResult(0);
    QCOMPARE(window.viewer()->extraSelections().value(0).cursor.selectedText(), QStringLiteral("ｶｸｶﾞ"));
    // Another page drops the marks.
    window.homeAction()->trigger();
    QCOMPARE(window.viewer()->highlightCount(), 0);
}

void TestHelp::windowRemembersSizeAndZoom()
{
    {
        HelpWindow window(openDocument(testFile("nested.chm")));
        window.resize(640, 480);
        window.zoomInAction()->trigger();
        window.zoomInAction()->trigger();
        window.close();
    }
    HelpWindow again(openDocument(testFile("nested.chm")));
    QCOMPARE(again.size(), QSize(640, 480));
    QCOMPARE(again.viewer()->zoomFactor(), 1.25);
    again.zoomOutAction()->trigger();
    again.zoomOutAction()->trigger();
    again.close();
}

void TestHelp::viewerNavigatesInsideTheFile()
{
    const HelpDocument doc = openDocument(committedChm());
    HelpViewer viewer(&doc);
    QVERIFY(viewer.showDefaultTopic());
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/index.htm"));
    QCOMPARE(viewer.documentTitle(), QStringLiteral("Kanaroll ヘルプ - 目次"));
    QVERIFY(viewer.toPlainText().contains(QStringLiteral("相性の計算のしくみ")));

    // A relative link, as a click on it delivers it.
    emit viewer.anchorClicked(QUrl(QStringLiteral("keisan.htm")));
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/keisan.htm"));
    QCOMPARE(viewer.documentTitle(), QStringLiteral("相性の計算のしくみ"));
    QVERIFY(viewer.toPlainText().contains(QStringLiteral("153115")));

    // Pictures and the style sheet come from the file, relative to the page.
    QImage picture;
    QVERIFY(picture.loadFromData(
        viewer.loadResource(QTextDocument::ImageResource, QUrl("images/sankaku.png")).toByteArray()));
    QCOMPARE(picture.size(), QSize(300, 250));
    QVERIFY(viewer.loadResource(QTextDocument::StyleSheetResource, QUrl("help.css"))
                .toString().contains(QStringLiteral("h1")));
    // Nothing outside it, even a file that exists.
    const QUrl onDisk = QUrl::fromLocalFile(sourcePath("resources/help/index.htm"));
    QVERIFY(!viewer.loadResource(QTextDocument::HtmlResource, onDisk).isValid());
    emit viewer.anchorClicked(onDisk);
    emit viewer.anchorClicked(QUrl(QStringLiteral("nothing.htm")));
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/keisan.htm"));

    QTest::keyClick(&viewer, Qt::Key_Backspace);
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/index.htm"));
    QTest::keyClick(&viewer, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/keisan.htm"));
    QTest::keyClick(&viewer, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/index.htm"));
}

void TestHelp::serviceOpensOneViewerAndClosesIt()
{
    TempWorkDir dir;
    QVERIFY(QFile::copy(committedChm(), dir.filePath("zqHelp.chm")));
    ChmHelpService service(viewerProgram());
    QSignalSpy ended(&service, &ChmHelpService::viewerEnded);

    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QCOMPARE(service.openFiles(), QStringList{QFileInfo("zqHelp.chm").absoluteFilePath()});
    QTRY_VERIFY_WITH_TIMEOUT(service.isShown("zqHelp.chm"), 20000);
    // A second request raises the same viewer.
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QCOMPARE(service.openFiles().size(), 1);
    QCOMPARE(service.raiseCount("zqHelp.chm"), 1);

    // Closing returns at once; the viewer goes by itself.
    const auto pid = pid_t(service.viewerPid("zqHelp.chm"));
    QVERIFY(pid > 0);
    service.closeAll();
    QVERIFY(service.openFiles().isEmpty());
    QCOMPARE(ended.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(::kill(pid, 0) != 0, 20000); // gone and collected

    // A viewer is started anew after that, and a fifo in the way starts
    // none and blocks nothing.
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QTRY_VERIFY_WITH_TIMEOUT(service.isShown("zqHelp.chm"), 20000);
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo.chm")).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    service.displayTopic(nullptr, QStringLiteral("fifo.chm"));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(service.openFiles().size(), 1);
}

// A viewer that dies costs only its window: the program goes on, and help
// opens again. The damaged file (one byte changed) that made chmlib divide
// by zero no longer reaches it, here or in the viewer.
void TestHelp::serviceSurvivesCrashingViewer()
{
    TempWorkDir dir;
    QVERIFY(QFile::copy(committedChm(), dir.filePath("zqHelp.chm")));
    ChmHelpService service(viewerProgram());
    QSignalSpy ended(&service, &ChmHelpService::viewerEnded);
    // The viewer does not inherit signals the program blocks.
    sigset_t term;
    sigset_t before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    QCOMPARE(pthread_sigmask(SIG_BLOCK, &term, &before), 0);
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QCOMPARE(pthread_sigmask(SIG_SETMASK, &before, nullptr), 0);
    QTRY_VERIFY_WITH_TIMEOUT(service.isShown("zqHelp.chm"), 20000);
    // Ended from outside (a crash signal would become a sanitizer report).
    QCOMPARE(::kill(pid_t(service.viewerPid("zqHelp.chm")), SIGTERM), 0);
    QVERIFY(ended.wait(20000));
    QVERIFY(service.openFiles().isEmpty());
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QTRY_VERIFY_WITH_TIMEOUT(service.isShown("zqHelp.chm"), 20000);
    service.closeAll();

    ChmFile chm;
    QVERIFY(!chm.open(testFile("crash.chm")));
    QVERIFY(QFile::remove(dir.filePath("zqHelp.chm")));
    QVERIFY(QFile::copy(testFile("crash.chm"), dir.filePath("zqHelp.chm")));
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QTRY_VERIFY_WITH_TIMEOUT(service.isShown("zqHelp.chm"), 20000); // saying it cannot read it
    service.closeAll();
}

void TestHelp::serviceShowsNothingForMissingFile()
{
    TempWorkDir dir;
    ChmHelpService service(viewerProgram());
    QSignalSpy ended(&service, &ChmHelpService::viewerEnded);
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm")); // missing
    QVERIFY(QDir(dir.path()).mkdir("folder.chm"));
    service.displayTopic(nullptr, QStringLiteral("folder.chm"));
    QVERIFY(service.openFiles().isEmpty());
    QVERIFY(ended.isEmpty());
    service.closeAll(); // with nothing open
}

void TestHelp::serviceFallsBackToInstalledCopy()
{
    TempWorkDir dir;
    QTemporaryDir installed;
    QVERIFY(QFile::copy(committedChm(), QDir(installed.path()).filePath("zqHelp.chm")));
    ChmHelpService service(viewerProgram(), {dir.filePath("nowhere"), installed.path()});
    QCOMPARE(service.locate("zqHelp.chm"), QFileInfo(QDir(installed.path()), "zqHelp.chm").absoluteFilePath());
    // A copy in the working directory comes first.
    QVERIFY(QFile::copy(committedChm(), dir.filePath("zqHelp.chm")));
    QCOMPARE(service.locate("zqHelp.chm"), QFileInfo("zqHelp.chm").absoluteFilePath());
}

QTEST_MAIN(TestHelp)
// This test runs from the build tree, in a folder without the help file.
void TestHelp::serviceFromBuildTreeFindsSourceCopy()
{
    TempWorkDir dir;
    const auto service = createHelpService();
    QCOMPARE(static_cast<ChmHelpService &>(*service).locate("zqHelp.chm"), QFileInfo(committedChm()).absoluteFilePath());
}

void TestHelp::windowOpensBesideOwner_data()
{
    QTest::addColumn<QRect>("owner");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QPoint>("at");
    const QSize help(500, 400);
    QTest::newRow("right of it") << QRect(100, 100, 600, 400) << help << QPoint(708, 100);
    QTest::newRow("left where the right has no room") << QRect(1300, 100, 600, 400) << help << QPoint(792, 100);
    QTest::newRow("neither: the roomier side, on the screen") << QRect(700, 100, 600, 400) << QSize(900, 600)
                                                             << QPoint(0, 100);
    QTest::newRow("kept above the screen's bottom") << QRect(100, 800, 600, 250) << help << QPoint(708, 680);
}

void TestHelp::windowOpensBesideOwner()
{
    QFETCH(QRect, owner);
    QFETCH(QSize, frame);
    QFETCH(QPoint, at);
    QCOMPARE(HelpWindow::besideOwner(owner, frame, QRect(0, 0, 1920, 1080)), at);
}

// Placed by the user once, it comes back there rather than beside the owner.
void TestHelp::windowOpensWhereItWasClosed()
{
    const QRect owner(10, 10, 200, 150);
    QSettings(QStringLiteral("Kanaroll"), QStringLiteral("help")).remove(QStringLiteral("window/pos"));
    {
        HelpWindow window(openDocument(testFile("kinds.chm")));
        window.placeBeside(owner);
        QCOMPARE(window.pos(), HelpWindow::besideOwner(owner, window.frameGeometry().size(),
                                                       window.screen()->availableGeometry()));
        window.move(30, 40);
        window.close();
    }
    HelpWindow again(openDocument(testFile("kinds.chm")));
    again.placeBeside(owner);
    QCOMPARE(again.pos(), QPoint(30, 40));
    QSettings(QStringLiteral("Kanaroll"), QStringLiteral("help")).remove(QStringLiteral("window/pos"));
}

#include "tst_help.moc"
