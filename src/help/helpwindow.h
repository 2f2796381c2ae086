#pragma once

#include "help/helpdocument.h"

#include <QMainWindow>

#include <atomic>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSplitter;
class QThread;
class QTimer;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kanaroll {

class HelpViewer;

// The help window: a navigation pane (contents, index, search) beside the
// page, and a toolbar. Its size, the pane's width and the zoom are kept
// between runs.
class HelpWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit HelpWindow(HelpDocument document, QWidget *parent = nullptr);
    ~HelpWindow() override;

    const HelpDocument &document() const { return m_doc; }
    HelpViewer *viewer() const { return m_viewer; }

    // Shows the default topic; false when the file has no readable page.
    bool showHome();

    // Waits for the index and the search index built in the background and
    // takes them in; false when there is none (the file did not open).
    bool waitForSearch();

    // Runs a search as typed into the search box; returns the number of
    // pages, 0 while the search index is still being built.
    int search(const QString &query);
    // Opens a result of the last search, its hits highlighted.
    void openSearchResult(int row);

    QTabWidget *tabs() const { return m_tabs; }
    QTreeWidget *contentsTree() const { return m_contents; }
    QLineEdit *indexFilter() const { return m_indexFilter; }
    QListWidget *indexList() const { return m_indexList; }
    QLineEdit *searchBox() const { return m_searchBox; }
    QListWidget *searchResults() const { return m_searchResults; }
    QLabel *damageNote() const { return m_damageNote; }
    QAction *backAction() const { return m_back; }
    QAction *forwardAction() const { return m_forward; }
    QAction *homeAction() const { return m_home; }
    QAction *printAction() const { return m_print; }
    QAction *zoomInAction() const { return m_zoomIn; }
    QAction *zoomOutAction() const { return m_zoomOut; }

    static const QList<qreal> &zoomFactors();

    // Puts the window where it stood when last closed, if that is still on
    // a screen; else beside the owner's frame (global coordinates), on the
    // owner's screen, as a user would place it.
    void placeBeside(const QRect &owner);
    // Where a window of this frame size goes beside the owner within the
    // screen's available area: right of it, else left of it, else on the
    // side with more room, kept on the screen; its top at the owner's.
    static QPoint besideOwner(const QRect &owner, const QSize &frame, const QRect &screen);

signals:
    // The search index is in and search can be used.
    void searchReady();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void startSearchIndex();
    void searchIndexReady(std::shared_ptr<const HelpDocument::SearchIndex> index);
    void keywordsReady(const std::optional<QList<helptext::SitemapEntry>> &index, const QList<helptext::IndexRow> &rows);
    void addIndexRows();
    void showSearchProgress();
    void updateDamageNote();
    void contentsReady(const std::optional<QList<helptext::SitemapEntry>> &contents);
    void buildContents();
    void fillContentsItem(QTreeWidgetItem *item);
    QTreeWidgetItem *contentsItem(const QList<int> &route);
    void filterIndex(const QString &text);
    void openIndexItem(QListWidgetItem *item);
    void pageChanged(const QUrl &url);
    void zoomBy(int steps);
    void printPage();
    void saveSettings() const;
    void restoreSettings();

    HelpDocument m_doc;
    HelpViewer *m_viewer = nullptr;
    QSplitter *m_splitter = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTreeWidget *m_contents = nullptr;
    QLineEdit *m_indexFilter = nullptr;
    QListWidget *m_indexList = nullptr;
    QLineEdit *m_searchBox = nullptr;
    QListWidget *m_searchResults = nullptr;
    QLabel *m_searchNote = nullptr;
    QPushButton *m_searchRun = nullptr;
    struct IndexProgress {
        std::atomic_bool cancel{false};
        std::atomic_int done{0};
        std::atomic_int total{0};
    };
    std::shared_ptr<IndexProgress> m_indexProgress;
    QThread *m_indexThread = nullptr;
    QTimer *m_progressTimer = nullptr;
    QLabel *m_damageNote = nullptr;
    QAction *m_back = nullptr;
    QAction *m_forward = nullptr;
    QAction *m_home = nullptr;
    QAction *m_print = nullptr;
    QAction *m_zoomIn = nullptr;
    QAction *m_zoomOut = nullptr;
    QList<helptext::IndexRow> m_indexRows; // as shown in m_indexList
    // Where each page stands in the contents, as child numbers from the top:
    // lower-case path, with and without anchor. Items are made as their
    // parents open, so that a contents of thousands costs nothing at first.
    QHash<QString, QList<int>> m_contentsByPath;
    QHash<QTreeWidgetItem *, const helptext::SitemapEntry *> m_unfilled;
    QStringList m_searchTerms;
    int m_zoomStep = 0;
    bool m_following = false;
};

} // namespace kanaroll
