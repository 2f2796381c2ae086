// Name entry and list editing: the window's events forwarded to the model of
// the two sides.

#include "lists/namaewaku.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"

#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTimer>

#include <utility>

namespace kanaroll {

namespace {

// The list model's questions and warnings as the program's message boxes.
class WindowDialogs final : public NamaeDialogs
{
public:
    explicit WindowDialogs(QWidget *owner) : m_owner(owner) {}
    void warn(const QString &body, const QString &title) override
    {
        MsgBoxShow(body, title, MsgKind::WarningNotice, m_owner);
    }
    bool confirmDelete(const QString &body, const QString &title) override
    {
        return MsgBoxShow(body, title, MsgKind::DeleteQuestion, m_owner) == MsgAnswer::Ok;
    }

private:
    QWidget *m_owner;
};

// Text an input method commits searches the list as typed keys do.
class CommitSearch : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The view lets an input method in only where an entry can be
        // edited, and these cannot; asked, it says yes.
        if (event->type() == QEvent::InputMethodQuery) {
            static_cast<QWidget *>(watched)->setAttribute(Qt::WA_InputMethodEnabled);
            return false;
        }
        if (event->type() != QEvent::InputMethod)
            return false;
        const QString commit = static_cast<QInputMethodEvent *>(event)->commitString();
        if (!commit.isEmpty())
            static_cast<QAbstractItemView *>(watched)->keyboardSearch(commit);
        event->accept();
        return true;
    }
};

// Every row has the size of the last (the views' sizes are uniform). Given
// to the view as its grid, that size spares a change of the list asking each
// of up to 32,767 rows for it again; the rows stand where they stood.
void fixRowSize(QListView *view)
{
    const auto fit = [view] {
        const QAbstractItemModel *model = view->model();
        if (!model || model->rowCount() == 0)
            return;
        const QSize size = view->sizeHintForIndex(model->index(model->rowCount() - 1, 0));
        if (size.isValid() && size != view->gridSize())
            view->setGridSize(size);
    };
    QAbstractItemModel *model = view->model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, fit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, view, fit);
    QObject::connect(model, &QAbstractItemModel::modelReset, view, fit);
    QObject::connect(model, &QAbstractItemModel::dataChanged, view, fit);
    // A new font or style sizes the rows anew.
    class Refit : public QObject
    {
    public:
        Refit(QListView *view, std::function<void()> fit) : QObject(view), m_fit(std::move(fit)) {}

    protected:
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
                m_fit();
            return false;
        }

    private:
        std::function<void()> m_fit;
    };
    view->installEventFilter(new Refit(view, fit));
    fit();
}

} // namespace

void MainWindow::createLists()
{
    m_dialogs = std::make_unique<WindowDialogs>(this);
    m_sides = std::make_unique<NamaeSides>(*m_dialogs);
    // A change of a huge list file reads it whole: the window is painted
    // meanwhile, but takes no input until the change is done.
    m_sides->setPace([this, clock = QElapsedTimer()](qint64 done, qint64) mutable {
        if (done == 0 || !clock.isValid()) // a read begins
            clock.start();
        if (clock.elapsed() < 40)
            return true;
        repaint();
        clock.start();
        return true;
    });
    lstJibun->setModel(&m_sides->jibun());
    lstAite->setModel(&m_sides->aite());
    for (QListView *view : {lstJibun, lstAite}) {
        view->installEventFilter(new CommitSearch(view));
        fixRowSize(view);
    }

    connect(txtNamae1, &QLineEdit::textChanged, this,
            [this](const QString &t) { m_sides->setEntryText(NamaeSide::Jibun, t); });
    connect(txtNamae2, &QLineEdit::textChanged, this,
            [this](const QString &t) { m_sides->setEntryText(NamaeSide::Aite, t); });
    connect(m_sides.get(), &NamaeSides::entryTextChanged, this, [this](NamaeSide side, const QString &t) {
        KeyPressEdit *box = side == NamaeSide::Jibun ? txtNamae1 : txtNamae2;
        if (box->text() != t)
            box->setText(t);
    });

    // A click or an arrow key that selects an entry picks it, and so does a
    // click on the entry already selected. Focus alone makes an entry current
    // without selecting it, and picks nothing.
    connect(lstJibun->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::lstJibun_Click);
    connect(lstAite->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::lstAite_Click);
    connect(lstJibun, &QListView::clicked, this, &MainWindow::lstJibun_Click);
    connect(lstAite, &QListView::clicked, this, &MainWindow::lstAite_Click);
    // After a deletion the model has no selection, after a reload it may
    // stand on another row; the views follow it without picking.
    for (NamaeSide side : {NamaeSide::Jibun, NamaeSide::Aite}) {
        QListView *view = side == NamaeSide::Jibun ? lstJibun : lstAite;
        connect(&m_sides->waku(side), &NamaeWaku::selectedChanged, this, [this, view](int row) {
            QItemSelectionModel *selection = view->selectionModel();
            if (row >= 0 && selection->isRowSelected(row))
                return;
            const QScopedValueRollback sync(m_syncingList, true);
            if (row < 0)
                selection->clear();
            else
                selection->setCurrentIndex(view->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
        });
        connect(&m_sides->waku(side), &NamaeWaku::namesUpdating, this, [this, saved = false](bool begins) mutable {
            if (begins)
                saved = std::exchange(m_syncingList, true);
            else
                m_syncingList = saved;
        });
    }
}

void MainWindow::loadLists()
{
    // Files of ordinary size are in before the window first shows. A huge
    // one is read while the window runs: the lists, the entry boxes and the
    // batch wait for it, and a note over the lists tells how far it is.
    const QString noteName = QStringLiteral("loadingNote");
    const bool ready = m_sides->NamaeStartupBegin(300, [this, noteName](const QList<NamaeNotice> &notices) {
        // A damaged list file is reported once the window is up.
        for (const NamaeNotice &n : notices) {
            QTimer::singleShot(0, this, [this, n] { MsgBoxShow(n.body, n.title, MsgKind::WarningNotice, this); });
        }
        // Another window on the same folder: its changes show here too, but
        // not under a running batch, which reads the lists by position.
        m_sides->watchFiles([this] { return m_running; });
        Frame2->setEnabled(true);
        cmdHozon->setEnabled(true);
        delete findChild<QLabel *>(noteName, Qt::FindDirectChildrenOnly);
    });
    if (ready)
        return;
    Frame2->setEnabled(false);
    cmdHozon->setEnabled(false);
    auto *note = new QLabel(this);
    note->setObjectName(noteName);
    note->setAlignment(Qt::AlignCenter);
    note->setWordWrap(true);
    note->setFrameShape(QFrame::Box);
    note->setAutoFillBackground(true);
    note->setGeometry(QRect(lstJibun->mapTo(this, QPoint(0, 0)),
                            lstAite->mapTo(this, QPoint(lstAite->width() - 1, lstAite->height() - 1))));
    auto *ticker = new QTimer(note);
    const auto tell = [this, note] {
        note->setText(QStringLiteral("リストを読み込んでいます… %1%").arg(m_sides->loadPermille() / 10));
    };
    connect(ticker, &QTimer::timeout, note, tell);
    tell();
    ticker->start(100);
}

bool MainWindow::NamaeKeyPress(NamaeSide side, int keyAscii)
{
    if (m_sides->NamaeAdd(side, keyAscii) == NamaeAddResult::Ignored)
        return false;
    if (side == NamaeSide::Jibun)
        txtNamae2->setFocus();
    else
        cmdPlay->setFocus();
    return true;
}

bool MainWindow::txtNamae1_KeyPress(int keyAscii)
{
    return NamaeKeyPress(NamaeSide::Jibun, keyAscii);
}

bool MainWindow::txtNamae2_KeyPress(int keyAscii)
{
    return NamaeKeyPress(NamaeSide::Aite, keyAscii);
}

void MainWindow::NamaeClick(NamaeSide side, QListView *view)
{
    if (m_syncingList)
        return;
    const QModelIndex current = view->currentIndex();
    if (!current.isValid() || !view->selectionModel()->isSelected(current)) {
        // Ctrl+click took the selection away: the pick of no entry empties
        // the box. Focus alone never selected anything, so it picks nothing.
        if (!view->selectionModel()->hasSelection() && m_sides->waku(side).selected() >= 0)
            m_sides->NamaePick(side, -1);
        return;
    }
    m_sides->NamaePick(side, current.row());
}

void MainWindow::lstJibun_Click()
{
    NamaeClick(NamaeSide::Jibun, lstJibun);
}

void MainWindow::lstAite_Click()
{
    NamaeClick(NamaeSide::Aite, lstAite);
}

void MainWindow::NamaeDblClick(NamaeSide side, QListView *view)
{
    // The entry under the mouse is the one picked by the first click.
    const QModelIndex current = view->currentIndex();
    if (!current.isValid() || !view->selectionModel()->isSelected(current))
        return;
    m_syncingList = true;
    m_sides->NamaeDelete(side);
    m_syncingList = false;
}

void MainWindow::lstJibun_DblClick()
{
    NamaeDblClick(NamaeSide::Jibun, lstJibun);
}

void MainWindow::lstAite_DblClick()
{
    NamaeDblClick(NamaeSide::Aite, lstAite);
}

void MainWindow::lblJlist_DblClick()
{
    m_syncingList = true;
    m_sides->NamaeListClear(NamaeSide::Jibun);
    m_syncingList = false;
}

void MainWindow::lblAlist_DblClick()
{
    m_syncingList = true;
    m_sides->NamaeListClear(NamaeSide::Aite);
    m_syncingList = false;
}

void MainWindow::cmdKoukan_Click()
{
    m_sides->NamaeSwap();
}

} // namespace kanaroll
