#include "help/helpwindow.h"

#include "batch/messages.h"
#include "batch/print.h"
#include "help/helpviewer.h"

#include <QAction>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QPainter>
#include <QSplitter>
#include <QSvgRenderer>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

// The pictures live in this static library, which nothing else names.
static void initHelpviewPictures()
{
    Q_INIT_RESOURCE(helpview);
}

namespace kanaroll {

using helptext::SitemapEntry;

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kShownChildRole = Qt::UserRole + 3; // while filtering
// Index lines added to the list per turn of the event loop.
constexpr int kIndexBatch = 2000;

constexpr QSize kWindowEms(72, 52);
constexpr int kPaneEms = 18;

// Under the program's name, apart from anything else.
const QString kSettingsApp = QStringLiteral("help");

QString pathKey(const QString &path)
{
    const qsizetype hash = path.indexOf(u'#');
    return (hash >= 0 ? path.left(hash) : path).toLower();
}

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback, const QStyle *style)
{
    return QIcon::fromTheme(QLatin1String(name), style->standardIcon(fallback));
}

// One of the toolbar's own pictures, rendered at the sizes a toolbar asks for.
QIcon artIcon(const char *name)
{
    static const bool loaded = (initHelpviewPictures(), true);
    Q_UNUSED(loaded);
    QSvgRenderer renderer(QStringLiteral(":/helpview/%1.svg").arg(QLatin1String(name)));
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

const QList<qreal> &HelpWindow::zoomFactors()
{
    static const QList<qreal> factors = {0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
    return factors;
}

HelpWindow::HelpWindow(HelpDocument document, QWidget *parent)
    : QMainWindow(parent), m_doc(std::move(document))
{
    m_zoomStep = int(zoomFactors().indexOf(1.0));
    setWindowTitle(m_doc.title().isEmpty() ? QStringLiteral("ヘルプ") : m_doc.title());

    m_viewer = new HelpViewer(&m_doc);
    m_tabs = new QTabWidget;

    m_contents = new QTreeWidget;
    m_contents->setHeaderHidden(true);
    m_contents->setRootIsDecorated(m_doc.hasContentsFile());
    m_tabs->addTab(m_contents, QStringLiteral("目次"));

    auto *indexPage = new QWidget;
    auto *indexLayout = new QVBoxLayout(indexPage);
    indexLayout->addWidget(new QLabel(QStringLiteral("キーワードを入力してください:")));
    m_indexFilter = new QLineEdit;
    m_indexFilter->setClearButtonEnabled(true);
    m_indexFilter->setAccessibleName(QStringLiteral("キーワード"));
    indexLayout->addWidget(m_indexFilter);
    m_indexList = new QListWidget;
    indexLayout->addWidget(m_indexList);
    auto *indexOpen = new QPushButton(QStringLiteral("表示"));
    indexLayout->addWidget(indexOpen, 0, Qt::AlignRight);
    m_tabs->addTab(indexPage, QStringLiteral("キーワード"));

    auto *searchPage = new QWidget;
    auto *searchLayout = new QVBoxLayout(searchPage);
    searchLayout->addWidget(new QLabel(QStringLiteral("検索する語句を入力してください:")));
    m_searchBox = new QLineEdit;
    m_searchBox->setClearButtonEnabled(true);
    searchLayout->addWidget(m_searchBox);
    m_searchRun = new QPushButton(QStringLiteral("検索開始"));
    searchLayout->addWidget(m_searchRun, 0, Qt::AlignRight);
    m_searchNote = new QLabel;
    m_searchNote->setWordWrap(true);
    m_searchBox->setAccessibleName(QStringLiteral("検索する語句"));
    m_searchNote->setAccessibleName(QStringLiteral("検索の状態"));
    searchLayout->addWidget(m_searchNote);
    m_searchResults = new QListWidget;
    searchLayout->addWidget(m_searchResults);
    auto *searchOpen = new QPushButton(QStringLiteral("表示"));
    searchLayout->addWidget(searchOpen, 0, Qt::AlignRight);
    m_tabs->addTab(searchPage, QStringLiteral("検索"));

    // What could not be read is said above the page, never by a crash.
    m_damageNote = new QLabel;
    m_damageNote->setWordWrap(true);
    m_damageNote->setStyleSheet(QStringLiteral("background: #ffffc0; color: #000000; padding: 4px;"));
    updateDamageNote();
    auto *pageArea = new QWidget;
    auto *pageLayout = new QVBoxLayout(pageArea);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    pageLayout->addWidget(m_damageNote);
    pageLayout->addWidget(m_viewer);

    m_splitter = new QSplitter;
    m_splitter->addWidget(m_tabs);
    m_splitter->addWidget(pageArea);
    m_splitter->setStretchFactor(1, 1);
    // First-run sizes follow the text size, in full-width characters.
    const int em = fontMetrics().horizontalAdvance(u'あ');
    m_splitter->setSizes({em * kPaneEms, em * (kWindowEms.width() - kPaneEms)});
    setCentralWidget(m_splitter);

    QToolBar *bar = addToolBar(QStringLiteral("ツールバー"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const QStyle *st = style();
    m_back = bar->addAction(themeIcon("go-previous", QStyle::SP_ArrowBack, st), QStringLiteral("戻る"));
    m_forward = bar->addAction(themeIcon("go-next", QStyle::SP_ArrowForward, st), QStringLiteral("進む"));
    m_home = bar->addAction(themeIcon("go-home", QStyle::SP_DirHomeIcon, st), QStringLiteral("ホーム"));
    m_print = bar->addAction(artIcon("print"), QStringLiteral("印刷"));
    bar->addSeparator();
    m_zoomIn = bar->addAction(artIcon("zoom-in"), QStringLiteral("拡大"));
    m_zoomOut = bar->addAction(artIcon("zoom-out"), QStringLiteral("縮小"));
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);
    m_home->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    m_print->setShortcut(QKeySequence::Print);
    m_zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    m_zoomOut->setShortcuts(QKeySequence::ZoomOut);
    m_back->setToolTip(QStringLiteral("前のページに戻ります"));
    m_forward->setToolTip(QStringLiteral("次のページに進みます"));
    m_home->setToolTip(QStringLiteral("最初のページを表示します"));
    m_print->setToolTip(QStringLiteral("表示しているページを印刷します"));
    m_zoomIn->setToolTip(QStringLiteral("文字を大きくします"));
    m_zoomOut->setToolTip(QStringLiteral("文字を小さくします"));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    connect(m_back, &QAction::triggered, m_viewer, &QTextBrowser::backward);
    connect(m_forward, &QAction::triggered, m_viewer, &QTextBrowser::forward);
    connect(m_home, &QAction::triggered, this, [this] { m_viewer->showDefaultTopic(); });
    connect(m_print, &QAction::triggered, this, &HelpWindow::printPage);
    connect(m_zoomIn, &QAction::triggered, this, [this] { zoomBy(1); });
    connect(m_zoomOut, &QAction::triggered, this, [this] { zoomBy(-1); });
    connect(m_viewer, &HelpViewer::zoomStep, this, &HelpWindow::zoomBy);
    connect(m_viewer, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_viewer, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_viewer, &QTextBrowser::sourceChanged, this, &HelpWindow::pageChanged);

    connect(m_contents, &QTreeWidget::itemExpanded, this, &HelpWindow::fillContentsItem);
    // A heading without a page of its own opens and closes; the page
    // shown stays, and history gets no step.
    connect(m_contents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item && !m_following && !item->data(0, kPathRole).toString().isEmpty())
            m_viewer->showPath(item->data(0, kPathRole).toString());
    });
    connect(m_contents, &QTreeWidget::itemClicked, this, [](QTreeWidgetItem *item) {
        if (item->data(0, kPathRole).toString().isEmpty())
            item->setExpanded(!item->isExpanded());
    });
    m_contents->installEventFilter(this);
    connect(m_indexFilter, &QLineEdit::textChanged, this, &HelpWindow::filterIndex);
    connect(m_indexFilter, &QLineEdit::returnPressed, this, [this] {
        QListWidgetItem *item = m_indexList->currentItem();
        openIndexItem(item && !item->isHidden() ? item : nullptr);
    });
    connect(m_indexList, &QListWidget::itemActivated, this, &HelpWindow::openIndexItem);
    connect(indexOpen, &QPushButton::clicked, this, [this] { openIndexItem(m_indexList->currentItem()); });
    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] { search(m_searchBox->text()); });
    connect(m_searchRun, &QPushButton::clicked, this, [this] { search(m_searchBox->text()); });
    connect(m_searchResults, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { openSearchResult(m_searchResults->row(item)); });
    connect(searchOpen, &QPushButton::clicked, this,
            [this] { openSearchResult(m_searchResults->currentRow()); });
    m_indexFilter->installEventFilter(this);

    m_tabs->setTabVisible(1, !m_doc.chm().indexFile().isEmpty());
    resize(kWindowEms * em);
    restoreSettings();
    pageChanged(QUrl());
    startSearchIndex();
}

HelpWindow::~HelpWindow()
{
    if (m_indexThread) {
        m_indexProgress->cancel = true;
        m_indexThread->wait();
        delete m_indexThread;
    }
}

void HelpWindow::updateDamageNote()
{
    if (!m_doc.isOpen()) {
        m_damageNote->setText(
            QStringLiteral("ヘルプファイル <%1> を読み取れませんでした。ファイルが壊れているか、ヘルプファイルではありません。")
                .arg(QFileInfo(m_doc.fileName()).fileName()));
    } else if (m_doc.home().isEmpty()) {
        m_damageNote->setText(QStringLiteral("このヘルプファイルは壊れていて、表示できるページがありません。"));
    } else {
        m_damageNote->setText(
            QStringLiteral("このヘルプファイルは一部が壊れています。読み取れたページだけを表示しています。"));
    }
    m_damageNote->setVisible(!m_doc.isOpen() || m_doc.damaged() || m_doc.home().isEmpty());
}

// Search needs every topic read, which in a large file takes seconds: it is
// built on a thread of its own, with a handle of its own on the file, while
// the window already shows the first page.
void HelpWindow::startSearchIndex()
{
    if (m_doc.searchReady()) {
        buildContents();
        m_indexRows = helptext::indexRows(m_doc.index());
        while (m_indexList->count() < m_indexRows.size())
            addIndexRows();
        return;
    }
    m_searchBox->setEnabled(false);
    m_searchRun->setEnabled(false);
    if (!m_doc.isOpen()) {
        m_searchNote->setText(QStringLiteral("検索はできません。"));
        return;
    }
    m_searchNote->setText(QStringLiteral("検索の準備をしています..."));
    auto progress = std::make_shared<IndexProgress>();
    m_indexProgress = progress;
    ChmFile chm = m_doc.chm().reopen();
    m_indexFilter->setEnabled(false);
    m_indexThread = QThread::create([this, progress, chm = std::move(chm)] {
        const auto contents = HelpDocument::readContents(chm);
        QMetaObject::invokeMethod(this, [this, contents] { contentsReady(contents); }, Qt::QueuedConnection);
        const auto keywords = HelpDocument::readIndex(chm);
        const auto rows = helptext::indexRows(keywords.value_or(QList<SitemapEntry>()));
        QMetaObject::invokeMethod(
            this, [this, keywords, rows] { keywordsReady(keywords, rows); }, Qt::QueuedConnection);
        auto index = HelpDocument::buildSearchIndex(chm, progress->cancel, &progress->done, &progress->total);
        if (index)
            QMetaObject::invokeMethod(this, [this, index] { searchIndexReady(index); }, Qt::QueuedConnection);
    });
    m_indexThread->start(QThread::LowPriority);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(250);
    connect(m_progressTimer, &QTimer::timeout, this, &HelpWindow::showSearchProgress);
    m_progressTimer->start();
}

void HelpWindow::keywordsReady(const std::optional<QList<SitemapEntry>> &index, const QList<helptext::IndexRow> &rows)
{
    m_doc.setIndex(index);
    m_indexRows = rows;
    updateDamageNote();
    addIndexRows();
}

// A long index goes into the list a part at a time, so that the window
// keeps painting; the filter waits for the whole.
void HelpWindow::addIndexRows()
{
    const int end = int(std::min<qsizetype>(m_indexList->count() + kIndexBatch, m_indexRows.size()));
    for (int row = m_indexList->count(); row < end; ++row) {
        auto *item = new QListWidgetItem(m_indexRows.at(row).text, m_indexList);
        item->setData(kPathRole, m_indexRows.at(row).path);
    }
    if (end < m_indexRows.size()) {
        QMetaObject::invokeMethod(this, &HelpWindow::addIndexRows, Qt::QueuedConnection);
        return;
    }
    m_tabs->setTabVisible(1, m_indexList->count() > 0);
    m_indexFilter->setEnabled(true);
    if (!m_indexFilter->text().isEmpty())
        filterIndex(m_indexFilter->text());
}

void HelpWindow::showSearchProgress()
{
    const int total = m_indexProgress->total;
    if (total > 0)
        m_searchNote->setText(QStringLiteral("検索の準備をしています... %1%")
                                  .arg(qint64(m_indexProgress->done) * 100 / total));
}

void HelpWindow::searchIndexReady(std::shared_ptr<const HelpDocument::SearchIndex> index)
{
    m_progressTimer->stop();
    m_doc.setSearchIndex(std::move(index));
    m_searchBox->setEnabled(true);
    m_searchRun->setEnabled(true);
    m_searchNote->clear();
    updateDamageNote();
    if (!m_doc.hasContentsFile()) {
        // The pages' titles stand in for the missing contents.
        m_contents->clear();
        m_contentsByPath.clear();
        buildContents();
        pageChanged(m_viewer->source());
    }
    if (!m_searchBox->text().trimmed().isEmpty())
        search(m_searchBox->text());
    emit searchReady();
}

bool HelpWindow::waitForSearch()
{
    if (m_indexThread)
        m_indexThread->wait();
    while (m_indexList->count() < m_indexRows.size() || !m_doc.indexReady() || !m_doc.contentsReady()
           || (m_doc.isOpen() && !m_doc.searchReady())) {
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (!m_indexThread)
            break;
    }
    return m_doc.searchReady();
}

bool HelpWindow::showHome()
{
    return m_viewer->showDefaultTopic();
}

void HelpWindow::contentsReady(const std::optional<QList<SitemapEntry>> &contents)
{
    m_doc.setContents(contents);
    m_contents->setRootIsDecorated(m_doc.hasContentsFile());
    updateDamageNote();
    buildContents();
    pageChanged(m_viewer->source());
}

void HelpWindow::buildContents()
{
    m_contents->clear();
    m_unfilled.clear();
    m_contentsByPath.clear();
    qsizetype total = 0;
    auto index = [&](auto &self, const QList<SitemapEntry> &entries, QList<int> route) -> void {
        route.append(0);
        for (const SitemapEntry &entry : entries) {
            ++total;
            if (!entry.locals.isEmpty()) {
                // A page is found under its anchor, else at its first entry.
                const QString local = entry.locals.first();
                for (const QString &key : {local.toLower(), pathKey(local)}) {
                    if (!m_contentsByPath.contains(key))
                        m_contentsByPath.insert(key, route);
                }
            }
            self(self, entry.children, route);
            ++route.last();
        }
    };
    index(index, m_doc.contents(), {});
    SitemapEntry root;
    root.children = m_doc.contents();
    m_unfilled.insert(m_contents->invisibleRootItem(), &root);
    fillContentsItem(m_contents->invisibleRootItem());
    // A short contents opens its first level, as a book shows its chapters.
    if (total <= 2000) {
        for (int i = 0; i < m_contents->topLevelItemCount(); ++i) {
            fillContentsItem(m_contents->topLevelItem(i));
            m_contents->topLevelItem(i)->setExpanded(true);
        }
    }
}

void HelpWindow::fillContentsItem(QTreeWidgetItem *item)
{
    const SitemapEntry *entry = m_unfilled.take(item);
    if (!entry)
        return;
    QList<QTreeWidgetItem *> children;
    children.reserve(entry->children.size());
    for (const SitemapEntry &child : entry->children) {
        auto *childItem = new QTreeWidgetItem(QStringList{child.name});
        if (!child.locals.isEmpty())
            childItem->setData(0, kPathRole, child.locals.first());
        if (!child.children.isEmpty()) {
            childItem->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
            m_unfilled.insert(childItem, &child);
        }
        children.append(childItem);
    }
    item->addChildren(children);
}

QTreeWidgetItem *HelpWindow::contentsItem(const QList<int> &route)
{
    QTreeWidgetItem *item = m_contents->invisibleRootItem();
    for (const int at : route) {
        fillContentsItem(item);
        item = item->child(at);
        if (!item)
            return nullptr;
    }
    return item;
}

void HelpWindow::filterIndex(const QString &text)
{
    if (m_indexList->count() < m_indexRows.size())
        return; // still being filled; filtered once whole
    const QString wanted = helptext::fold(text.trimmed());
    // The current entry is the best match: a top-level keyword that is the
    // text, else the first that starts with it; only then a sub-keyword
    // (one of the same name can stand under any keyword), else the first
    // entry that holds the text.
    QListWidgetItem *best = nullptr;
    int bestRank = 5;
    // Backwards, so that a shown sub-keyword shows its keyword above it.
    for (int row = m_indexList->count() - 1; row >= 0; --row) {
        QListWidgetItem *item = m_indexList->item(row);
        const helptext::IndexRow &line = m_indexRows.at(row);
        const int rank = helptext::matchRank(line, wanted);
        if (rank < 3) {
            item->setHidden(false);
            const int order = rank == 2 ? 4 : rank + (line.parent >= 0 ? 2 : 0);
            if (order <= bestRank) {
                best = item;
                bestRank = order;
            }
        } else if (!item->data(kShownChildRole).toBool()) {
            item->setHidden(true);
        }
        item->setData(kShownChildRole, false);
        if (!item->isHidden() && line.parent >= 0)
            m_indexList->item(line.parent)->setData(kShownChildRole, true);
    }
    m_indexList->setCurrentItem(best);
}

void HelpWindow::openIndexItem(QListWidgetItem *item)
{
    if (!item) {
        for (int row = 0; row < m_indexList->count() && !item; ++row) {
            if (!m_indexList->item(row)->isHidden())
                item = m_indexList->item(row);
        }
    }
    if (item)
        m_viewer->showPath(item->data(kPathRole).toString());
}

int HelpWindow::search(const QString &query)
{
    if (m_searchBox->text() != query)
        m_searchBox->setText(query);
    m_searchTerms = helptext::searchTerms(query);
    m_searchResults->clear();
    if (!m_doc.searchReady())
        return 0; // the note says it is being prepared; the query runs when it is
    const auto hits = m_doc.search(query);
    for (const HelpDocument::SearchHit &hit : hits) {
        auto *item = new QListWidgetItem(hit.title, m_searchResults);
        item->setData(kPathRole, hit.path);
        item->setToolTip(QStringLiteral("%1 か所").arg(hit.count));
    }
    if (m_searchTerms.isEmpty())
        m_searchNote->clear();
    else if (hits.isEmpty())
        m_searchNote->setText(QStringLiteral("見つかりませんでした。"));
    else
        m_searchNote->setText(QStringLiteral("%1 ページ見つかりました。").arg(hits.size()));
    if (!hits.isEmpty())
        m_searchResults->setCurrentRow(0);
    return int(hits.size());
}

void HelpWindow::openSearchResult(int row)
{
    const QListWidgetItem *item = m_searchResults->item(row);
    if (!item)
        return;
    m_searchResults->setCurrentRow(row);
    if (m_viewer->showPath(item->data(kPathRole).toString()))
        m_viewer->highlight(m_searchTerms);
}

void HelpWindow::pageChanged(const QUrl &url)
{
    // The viewer announces the page before its source() says so.
    const QString path = url.path();
    m_home->setEnabled(!m_doc.home().isEmpty() && path.compare(m_doc.home(), Qt::CaseInsensitive) != 0);
    m_print->setEnabled(!path.isEmpty());
    QString title = m_doc.pageTitle(path);
    if (title.isEmpty())
        title = m_doc.title();
    setWindowTitle(title.isEmpty() ? QStringLiteral("ヘルプ") : title);

    // The tree follows the page, without opening it again.
    QTreeWidgetItem *item = nullptr;
    if (url.hasFragment())
        item = contentsItem(m_contentsByPath.value((path + u'#' + url.fragment()).toLower()));
    if (!item || item == m_contents->invisibleRootItem())
        item = contentsItem(m_contentsByPath.value(pathKey(path)));
    if (item && item != m_contents->invisibleRootItem()) {
        m_following = true;
        m_contents->setCurrentItem(item);
        m_contents->scrollToItem(item);
        m_following = false;
    }
}

void HelpWindow::zoomBy(int steps)
{
    const int last = int(zoomFactors().size()) - 1;
    m_zoomStep = std::clamp(m_zoomStep + steps, 0, last);
    m_viewer->setZoomFactor(zoomFactors().at(m_zoomStep));
    m_zoomIn->setEnabled(m_zoomStep < last);
    m_zoomOut->setEnabled(m_zoomStep > 0);
}

void HelpWindow::printPage()
{
    const IchiranPrintStatus status = printDocumentDefault(*m_viewer->document(), windowTitle());
    const QString message = ichiranPrintMessage(status);
    if (!message.isEmpty())
        QMessageBox::warning(this, batchmsg::kPrinterTitle, message);
}

bool HelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a heading opens or closes it, as a click does.
    if (watched == m_contents && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        QTreeWidgetItem *item = m_contents->currentItem();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && item
            && item->data(0, kPathRole).toString().isEmpty()) {
            item->setExpanded(!item->isExpanded());
            return true;
        }
    }
    // Up and down in the filter box move through the keywords.
    if (watched == m_indexFilter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(m_indexList, event);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void HelpWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    QMainWindow::closeEvent(event);
}

QPoint HelpWindow::besideOwner(const QRect &owner, const QSize &frame, const QRect &screen)
{
    constexpr int kGap = 8;
    const int rightRoom = screen.right() - owner.right() - kGap;
    const int leftRoom = owner.left() - screen.left() - kGap;
    int x = 0;
    if (rightRoom >= frame.width() || (leftRoom < frame.width() && rightRoom >= leftRoom))
        x = owner.right() + 1 + kGap;
    else
        x = owner.left() - kGap - frame.width();
    x = std::clamp(x, screen.left(), qMax(screen.left(), screen.right() + 1 - frame.width()));
    const int y = std::clamp(owner.top(), screen.top(), qMax(screen.top(), screen.bottom() + 1 - frame.height()));
    return QPoint(x, y);
}

void HelpWindow::placeBeside(const QRect &owner)
{
    const QSettings s(QStringLiteral("Kanaroll"), kSettingsApp);
    const QVariant saved = s.value(QStringLiteral("window/pos"));
    if (saved.isValid()) {
        const QPoint at = saved.toPoint();
        if (QGuiApplication::screenAt(at + QPoint(20, 20))) {
            move(at);
            return;
        }
    }
    if (!owner.isValid())
        return;
    const QScreen *on = QGuiApplication::screenAt(owner.center());
    if (!on)
        on = screen();
    move(besideOwner(owner, frameGeometry().size().expandedTo(size()), on->availableGeometry()));
}

void HelpWindow::saveSettings() const
{
    QSettings s(QStringLiteral("Kanaroll"), kSettingsApp);
    s.setValue(QStringLiteral("window/pos"), pos());
    s.setValue(QStringLiteral("window/size"), size());
    s.setValue(QStringLiteral("window/splitter"), m_splitter->saveState());
    s.setValue(QStringLiteral("window/zoom"), zoomFactors().at(m_zoomStep));
}

void HelpWindow::restoreSettings()
{
    const QSettings s(QStringLiteral("Kanaroll"), kSettingsApp);
    const QSize size = s.value(QStringLiteral("window/size")).toSize();
    if (size.isValid())
        resize(size.boundedTo(screen()->availableGeometry().size()).expandedTo(minimumSizeHint()));
    m_splitter->restoreState(s.value(QStringLiteral("window/splitter")).toByteArray());
    const qsizetype step = zoomFactors().indexOf(s.value(QStringLiteral("window/zoom"), 1.0).toReal());
    zoomBy(step >= 0 ? int(step) - m_zoomStep : 0);
}

} // namespace kanaroll
