#include "ui/help/chmfile.h"
#include "ui/help/chmhelpservice.h"
#include "ui/help/helpviewer.h"

#include "tempworkdir.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

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

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void committedFileMatchesSources();
    void pagesLinkOnlyToFilesInside();
    void unreadableFilesDoNotOpen();
    void defaultTopicFallsBackToRootPage();
    void viewerNavigatesInsideTheFile();
    void serviceOpensOneWindowAndClosesIt();
    void serviceShowsNothingForMissingFile();
    void serviceFallsBackToInstalledCopy();
};

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
    QVERIFY(!chm.isOpen());
    QVERIFY(!chm.read(QStringLiteral("/index.htm")));
    QVERIFY(chm.files().isEmpty());
}

// nodefault.chm names a default topic it lacks and has no index page
// (built from data/nodefault/ with chmcmd).
void TestHelp::defaultTopicFallsBackToRootPage()
{
    ChmFile chm;
    QVERIFY(chm.open(sourcePath(QStringLiteral("tests/help/data/nodefault.chm"))));
    QCOMPARE(chm.title(), QStringLiteral("No default"));
    const QStringList files = chm.files();
    for (const char *page : {"/0/x.htm", "/a.htm", "/b.htm"})
        QVERIFY2(files.contains(QLatin1String(page)), page);
    QCOMPARE(chm.defaultTopic(), QStringLiteral("/a.htm")); // not the one in 0/
    QVERIFY(!chm.read(QStringLiteral("/0/"))); // a directory has no content

    HelpViewer viewer(std::move(chm));
    QVERIFY(viewer.showDefaultTopic());
    QCOMPARE(viewer.windowTitle(), QStringLiteral("A"));
}

void TestHelp::viewerNavigatesInsideTheFile()
{
    ChmFile chm;
    QVERIFY(chm.open(committedChm()));
    HelpViewer viewer(std::move(chm));
    QVERIFY(viewer.showDefaultTopic());
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/index.htm"));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Kanaroll ヘルプ - 目次"));
    QVERIFY(viewer.toPlainText().contains(QStringLiteral("相性の計算のしくみ")));

    // A relative link, as a click on it delivers it.
    emit viewer.anchorClicked(QUrl(QStringLiteral("keisan.htm")));
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/keisan.htm"));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("相性の計算のしくみ"));
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
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Kanaroll ヘルプ - 目次"));
    QTest::keyClick(&viewer, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/keisan.htm"));
    QTest::keyClick(&viewer, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(viewer.source(), HelpViewer::urlFor("/index.htm"));
}

void TestHelp::serviceOpensOneWindowAndClosesIt()
{
    TempWorkDir dir;
    QVERIFY(QFile::copy(committedChm(), dir.filePath("zqHelp.chm")));
    QWidget owner;
    owner.show();
    ChmHelpService service;

    service.displayTopic(&owner, QStringLiteral("zqHelp.chm"));
    QCOMPARE(service.windows().size(), 1);
    QPointer<HelpViewer> first = service.windows().first();
    QVERIFY(first->isVisible());
    QVERIFY(first->isWindow());
    QCOMPARE(first->source(), HelpViewer::urlFor("/index.htm"));

    // A second request brings the same window back, minimized or not.
    first->showMinimized();
    service.displayTopic(&owner, QStringLiteral("zqHelp.chm"));
    QCOMPARE(service.windows(), QList<HelpViewer *>{first.data()});
    QVERIFY(!(first->windowState() & Qt::WindowMinimized));

    service.closeAll();
    QVERIFY(service.windows().isEmpty());
    flushDeletes();
    QVERIFY(first.isNull());

    // A window the user closed is opened anew; so is one whose owner went away.
    service.displayTopic(&owner, QStringLiteral("zqHelp.chm"));
    QPointer<HelpViewer> second = service.windows().value(0);
    QVERIFY(second);
    second->close();
    flushDeletes();
    QVERIFY(second.isNull());
    QVERIFY(service.windows().isEmpty());
    {
        QWidget shortLived;
        service.displayTopic(&shortLived, QStringLiteral("zqHelp.chm"));
        QCOMPARE(service.windows().size(), 1);
    }
    QVERIFY(service.windows().isEmpty());
    service.closeAll();
}

void TestHelp::serviceShowsNothingForMissingFile()
{
    TempWorkDir dir;
    QWidget owner;
    ChmHelpService service;
    service.displayTopic(&owner, QStringLiteral("zqHelp.chm")); // missing
    dir.write("broken.chm", QByteArray("ITSF") + QByteArray(100, '\0'));
    service.displayTopic(&owner, QStringLiteral("broken.chm"));
    QVERIFY(QDir(dir.path()).mkdir("folder.chm"));
    service.displayTopic(&owner, QStringLiteral("folder.chm"));
    QVERIFY(service.windows().isEmpty());
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<HelpViewer *>(w));
    service.closeAll(); // with nothing open
}

void TestHelp::serviceFallsBackToInstalledCopy()
{
    TempWorkDir dir;
    QTemporaryDir installed;
    QVERIFY(QFile::copy(committedChm(), QDir(installed.path()).filePath("zqHelp.chm")));
    ChmHelpService service({dir.filePath("nowhere"), installed.path()});

    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QCOMPARE(service.windows().size(), 1);
    QCOMPARE(QFileInfo(service.windows().first()->chm().fileName()).absolutePath(),
             QFileInfo(installed.path()).absoluteFilePath());
    service.closeAll();

    // A copy in the working directory comes first.
    QVERIFY(QFile::copy(committedChm(), dir.filePath("zqHelp.chm")));
    service.displayTopic(nullptr, QStringLiteral("zqHelp.chm"));
    QCOMPARE(service.windows().size(), 1);
    QCOMPARE(service.windows().first()->chm().fileName(), QFileInfo("zqHelp.chm").absoluteFilePath());
    service.closeAll();
    flushDeletes();
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
