// The batch run, the result grid's sorts, its export and its printout.

#include "batch/export.h"
#include "batch/ichiran.h"
#include "batch/ikkatsu.h"
#include "batch/messages.h"
#include "batch/print.h"
#include "lists/namaewaku.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/twips.h"
#include "ui/wait.h"

#include <QHeaderView>

namespace kanaroll {

void MainWindow::IchiranInit()
{
    if (!m_ichiran) {
        m_ichiran = std::make_unique<IchiranModel>();
        msgList->setModel(m_ichiran.get());
    }
    m_ichiran->IchiranInit();
    for (int c = 0; c < kIchiranColumns; ++c)
        msgList->setColumnWidth(c, twipsToPixels(kIchiranColumnTwips[static_cast<std::size_t>(c)]));
    msgList->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

void MainWindow::cmdHozon_Click()
{
    // A second batch or a fortune under way would mix two runs in one grid.
    if (m_running || m_closing)
        return;
    m_running = true;
    // The plays write what they show into the display; it reaches the
    // controls only when the window processes events, and at the end.
    m_inBatch = true;
    startRun();

    IkkatsuHooks hooks;
    hooks.wait = [this] { return m_closing ? 0.0 : static_cast<double>(sngWait); };
    hooks.modeNotice = [this] {
        runEvents([this] { MsgBoxShow(batchmsg::kModeBody, batchmsg::kModeTitle, MsgKind::QuestionNotice, this); });
    };
    hooks.showFrame = [this](bool shown) { m_display.ichiranShown = shown; };
    hooks.selfCount = [this] { return static_cast<int>(m_sides->jibun().names().size()); };
    hooks.selfAt = [this](int i) { return m_sides->jibun().names().at(i); };
    hooks.partnerCount = [this] { return static_cast<int>(m_sides->aite().names().size()); };
    hooks.partnerAt = [this](int i) { return m_sides->aite().names().at(i); };
    hooks.setName1 = [this](const QString &n) { m_display.name1 = n; };
    hooks.setName2 = [this](const QString &n) { m_display.name2 = n; };
    IkkatsuRun *runPtr = nullptr;
    hooks.play = [this, &runPtr](const QString &first, const QString &second) -> std::optional<int> {
        // The loops have already put the names there; a user's edit during a
        // pause is put right again.
        m_display.name1 = first;
        m_display.name2 = second;
        const PlayOutcome out = Play();
        if (out.kind == PlayOutcome::Aborted || !runTick(true)) {
            runPtr->abort();
            return std::nullopt;
        }
        if (out.kind != PlayOutcome::Shown)
            return std::nullopt;
        return out.percentage;
    };
    hooks.pause = [this](double seconds) {
        runEvents([this, seconds] { WaitWithEvents([this, seconds] { return m_closing ? 0.0 : seconds; }); });
    };

    IkkatsuRun run(*m_ichiran, std::move(hooks));
    runPtr = &run;
    run.run();
    m_inBatch = false;
    applyDisplay();
    m_running = false;
}

void MainWindow::IchiranSortBy(IchiranSortButton button)
{
    const IchiranSortKey key = ichiranSortKey(button);
    // Rows move: a selection would be carried along row by row.
    msgList->clearSelection();
    m_ichiran->sort(button);
    if (m_ichiran->rowCount() > 0) {
        const int row = msgList->currentIndex().isValid() ? msgList->currentIndex().row() : 0;
        msgList->setCurrentIndex(m_ichiran->index(row, key.column));
    }
}

void MainWindow::cmdKza_Click()
{
    IchiranSortBy(IchiranSortButton::Kza);
}

void MainWindow::cmdKaz_Click()
{
    IchiranSortBy(IchiranSortButton::Kaz);
}

void MainWindow::cmdNza_Click()
{
    IchiranSortBy(IchiranSortButton::Nza);
}

void MainWindow::cmdNaz_Click()
{
    IchiranSortBy(IchiranSortButton::Naz);
}

namespace {

// Saving and printing read the grid cell by cell, row by row, and leave its
// current cell where the reading ended: the last row, column 2.
void currentToLastCell(QTableView *grid)
{
    const QAbstractItemModel *m = grid->model();
    if (m->rowCount() > 0)
        grid->setCurrentIndex(m->index(m->rowCount() - 1, kIchiranColumns - 1));
}

} // namespace

void MainWindow::cmdIHozon_Click()
{
    if (MsgBoxShow(batchmsg::kSaveBody, batchmsg::kSaveTitle, MsgKind::YesNoQuestion, this) != MsgAnswer::Yes)
        return;
    currentToLastCell(msgList);
    const IchiranSaveResult r = IchiranSave(*m_ichiran);
    if (r.ok())
        MsgBoxShow(batchmsg::kSavedBody, batchmsg::kSavedTitle, MsgKind::InformationNotice, this);
    else
        MsgBoxShow(r.message(), batchmsg::kSaveFailedTitle, MsgKind::WarningNotice, this);
}

void MainWindow::cmdIPrint_Click()
{
    if (MsgBoxShow(batchmsg::kPrintBody, batchmsg::kPrintTitle, MsgKind::YesNoQuestion, this) != MsgAnswer::Yes)
        return;
    currentToLastCell(msgList);
    const QString problem = ichiranPrintMessage(IchiranPrintDefault(*m_ichiran));
    if (!problem.isEmpty())
        MsgBoxShow(problem, batchmsg::kPrinterTitle, MsgKind::WarningNotice, this);
}

} // namespace kanaroll
