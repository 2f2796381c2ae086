// The batch run, the result grid's sorts, its export and its printout.

#include "batch/export.h"
#include "batch/ichiran.h"
#include "batch/ikkatsu.h"
#include "batch/messages.h"
#include "batch/print.h"
#include "ui/access.h"
#include "ui/ichiranwindow.h"
#include "ui/inputhold.h"
#include "lists/namaewaku.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/threadpriority.h"
#include "ui/twips.h"
#include "ui/wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocale>
#include <QProgressDialog>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <tuple>

namespace kanaroll {

void MainWindow::IchiranInit()
{
    if (!m_ichiran) {
        m_ichiran = std::make_unique<IchiranModel>();
        m_ichiranWindow = std::make_unique<IchiranWindow>(*m_ichiran);
        m_ichiranWindow->attach(msgList);
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
    m_ichiranOfEmptyLists = m_sides->jibun().names().isEmpty() || m_sides->aite().names().isEmpty();
    // The plays write what they show into the display; it reaches the
    // controls only when the window processes events, and at the end.
    m_inBatch = true;
    startRun();
    if (sngWait == 0.0f) {
        quickBatch();
        m_inBatch = false;
        applyDisplay();
        if (!m_closing)
            announceBatch(*this, m_ichiran->size());
        endRun();
        return;
    }

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
    bool quickFromStart = false;
    hooks.play = [this, &runPtr, &quickFromStart](const QString &first, const QString &second) -> std::optional<int> {
        // Switched to the quick mode with many pairs to go: pair by pair they
        // would take long and a row each in memory, so the run starts again
        // as a quick run over the lists as they now stand.
        constexpr std::int64_t kPairByPairMost = 1 << 20;
        if (sngWait == 0.0f && !m_closing
            && 2 * std::int64_t(m_sides->jibun().names().size()) * m_sides->aite().names().size()
                       - runPtr->pairsPlayed()
                   > kPairByPairMost) {
            quickFromStart = true;
            runPtr->abort();
            return std::nullopt;
        }
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
    if (quickFromStart && !m_closing)
        quickBatch();
    m_inBatch = false;
    applyDisplay();
    if (!m_closing)
        announceBatch(*this, m_ichiran->size());
    endRun();
}

namespace {

// Waits for a worker while the window keeps painting and taking clicks:
// events() lets them through, first after firstEvents, then every 10 ms. A
// long task shows how far it is in the title from the first second on.
template<typename Result>
Result waitShowing(QWidget *window, const QString &what, std::future<Result> &task,
                   std::chrono::milliseconds firstEvents, const std::function<double()> &fraction,
                   const std::function<void()> &events)
{
    using namespace std::chrono_literals;
    QElapsedTimer clock;
    clock.start();
    const QString title = window->windowTitle();
    std::chrono::milliseconds wait = firstEvents;
    for (; task.wait_for(wait) != std::future_status::ready; wait = 10ms) {
        if (clock.elapsed() >= 1000) {
            const int percent = std::clamp(int(fraction() * 100), 0, 99);
            window->setWindowTitle(QStringLiteral("%1 — %2 %3 %").arg(title, what).arg(percent));
        }
        events();
    }
    window->setWindowTitle(title);
    return task.get();
}

} // namespace

void MainWindow::quickBatch()
{
    // The run takes the lists as they stand now; edits while it computes
    // count for the next run.
    const QStringList self = m_sides->jibun().names();
    const QStringList partner = m_sides->aite().names();
    m_display.ichiranShown = false;
    if (self.isEmpty()) {
        m_display.ichiranShown = true;
        return;
    }
    // The loops leave the last names of the last pass in the boxes.
    m_display.name1 = partner.isEmpty() ? self.last() : partner.last();
    m_display.name2 = self.last();
    if (partner.isEmpty()) {
        m_display.ichiranShown = true;
        return;
    }

    std::vector<char> selfOk;
    std::vector<char> partnerOk;
    IchiranRun run;
    for (const QString &n : self) {
        selfOk.push_back(ikkatsuAccepts(n) ? 1 : 0);
        if (selfOk.back())
            run.self.push_back(n);
    }
    for (const QString &n : partner) {
        partnerOk.push_back(ikkatsuAccepts(n) ? 1 : 0);
        if (partnerOk.back())
            run.partner.push_back(n);
    }
    // Room first: a run that cannot have it leaves the rows of the one before.
    if (!run.allocate()) {
        MsgBoxShow(batchmsg::kRunNoMemoryBody, batchmsg::kMemoryTitle, MsgKind::WarningNotice, this);
        m_display.ichiranShown = true;
        return;
    }
    // The first pair replaces the rows of the run before.
    m_ichiran->clear();
    const double total = double(std::max<std::size_t>(run.rowCount(), 1));
    IkkatsuProgress progress;
    const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    std::future<bool> task = std::async(std::launch::async, [&] {
        yieldToWindow();
        return IkkatsuCompute(run, progress, threads);
    });

    // The picture shows a pair the run has reached, as it goes; a pair of
    // very long names would hold the window up, and is left out.
    auto show = [&](const QString &first, const QString &second) {
        m_display.name1 = first;
        m_display.name2 = second;
        Play();
        return !m_closing;
    };
    auto showReached = [&] {
        const std::size_t half = run.self.size() * run.partner.size();
        if (half == 0)
            return;
        const auto r = std::size_t(progress.rows.load()) % (2 * half);
        const std::size_t q = r % half;
        const QString &s = run.self[q / run.partner.size()];
        const QString &p = run.partner[q % run.partner.size()];
        if (s.size() + p.size() <= 1000)
            r < half ? show(s, p) : show(p, s);
    };
    // Each refused pair is told as the play tells it, in run order, over
    // what the pairs before it would have left in the window: the last
    // accepted pair's fortune, or the refusal told just before it.
    const qsizetype S = self.size();
    const qsizetype P = partner.size();
    std::vector<qsizetype> okSelfUpTo(static_cast<std::size_t>(S)); // last accepted self name at or before i, or -1
    std::vector<qsizetype> okPartnerUpTo(static_cast<std::size_t>(P));
    for (qsizetype i = 0, last = -1; i < S; ++i)
        okSelfUpTo[std::size_t(i)] = last = selfOk[std::size_t(i)] ? i : last;
    for (qsizetype j = 0, last = -1; j < P; ++j)
        okPartnerUpTo[std::size_t(j)] = last = partnerOk[std::size_t(j)] ? j : last;
    const qsizetype lastOkPartner = okPartnerUpTo.back();
    struct RunPair {
        int pass = -1; // -1: none
        qsizetype i = 0;
        qsizetype j = 0;
        bool operator<(const RunPair &o) const
        {
            return std::tie(pass, i, j) < std::tie(o.pass, o.i, o.j);
        }
    };
    // The last accepted pair strictly before (pass, i, j) in run order.
    auto acceptedBefore = [&](int pass, qsizetype i, qsizetype j) -> RunPair {
        if (i < S && selfOk[std::size_t(i)] && j > 0 && okPartnerUpTo[std::size_t(j - 1)] >= 0)
            return {pass, i, okPartnerUpTo[std::size_t(j - 1)]};
        if (lastOkPartner >= 0) {
            if (i > 0 && okSelfUpTo[std::size_t(i - 1)] >= 0)
                return {pass, okSelfUpTo[std::size_t(i - 1)], lastOkPartner};
            if (pass == 1 && okSelfUpTo.back() >= 0)
                return {0, okSelfUpTo.back(), lastOkPartner};
        }
        return {};
    };
    auto playPair = [&](const RunPair &p) {
        return p.pass == 0 ? show(self[p.i], partner[p.j]) : show(partner[p.j], self[p.i]);
    };
    RunPair lastTold;       // the last refused pair told
    DisplayState afterTold; // what it left in the window
    // An accepted pair after the last refusal told stands in the window.
    auto standAfter = [&](const RunPair &accepted) { return lastTold < accepted ? playPair(accepted) : !m_closing; };
    std::vector<qsizetype> refusedPartners;
    for (qsizetype j = 0; j < P; ++j) {
        if (!partnerOk[std::size_t(j)])
            refusedPartners.push_back(j);
    }
    bool going = true;
    for (int pass = 0; pass < 2 && going; ++pass) {
        for (qsizetype i = 0; i < S && going; ++i) {
            auto tell = [&](qsizetype j) {
                going = standAfter(acceptedBefore(pass, i, j));
                if (!going)
                    return;
                lastTold = {pass, i, j};
                going = playPair(lastTold);
                afterTold = m_display;
            };
            if (!selfOk[std::size_t(i)]) {
                for (qsizetype j = 0; j < P && going; ++j)
                    tell(j);
            } else {
                for (std::size_t k = 0; k < refusedPartners.size() && going; ++k)
                    tell(refusedPartners[k]);
            }
        }
    }
    if (!going || m_closing) {
        progress.cancel = true;
        task.wait();
        return;
    }
    showReached();
    QElapsedTimer shown;
    shown.start();
    const bool done = waitShowing<bool>(
        this, QStringLiteral("一括"), task, std::chrono::milliseconds(0),
        [&] { return double(progress.rows.load()) / total; },
        [&] {
            if (!m_closing && shown.elapsed() >= 100) {
                showReached();
                shown.start();
            }
            m_input->hold();
            runEvents([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
            if (m_closing)
                progress.cancel = true;
        });
    if (!done || m_closing)
        return;
    m_ichiran->setRun(std::move(run));
    // The window ends as the last pair of the run leaves it.
    const RunPair lastAccepted = acceptedBefore(1, S, 0);
    if (lastTold < lastAccepted)
        playPair(lastAccepted);
    else
        m_display = afterTold;
    m_display.name1 = partner.last();
    m_display.name2 = self.last();
    m_display.ichiranShown = true;
}

void MainWindow::IchiranSortBy(IchiranSortButton button)
{
    // A save or print under way reads the rows in their order.
    if (m_running || m_closing)
        return;
    const IchiranSortKey key = ichiranSortKey(button);
    // Rows move: a selection would be carried along row by row.
    msgList->clearSelection();
    m_ichiran->sort(button);
    const QAbstractItemModel *shown = msgList->model();
    if (shown->rowCount() > 0) {
        const int row = msgList->currentIndex().isValid() ? msgList->currentIndex().row() : 0;
        msgList->setCurrentIndex(shown->index(row, key.column));
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
void currentToLastCell(QTableView *grid, IchiranWindow *window, int gridRows)
{
    const QAbstractItemModel *m = grid->model();
    if (m == window && gridRows > 0) // the window moves to the grid's end
        window->showRow(gridRows - 1);
    if (m->rowCount() > 0)
        grid->setCurrentIndex(m->index(m->rowCount() - 1, kIchiranColumns - 1));
}

// A bound on the export's size without converting any name: a UTF-16 unit
// takes at most two bytes of code page 932.
qint64 ichiranFileSizeAtMost(const IchiranModel &grid)
{
    std::vector<std::int64_t> uses;
    std::array<std::int64_t, 101> perPercent{};
    grid.useCounts(uses, perPercent);
    const std::vector<const QString *> names = grid.nameTable();
    qint64 total = qint64(grid.size()) * 14;
    for (std::size_t i = 0; i < names.size(); ++i)
        total += uses[i] * names[i]->size() * 2;
    return total;
}

} // namespace

void MainWindow::cmdIHozon_Click()
{
    if (m_running || m_closing)
        return;
    if (MsgBoxShow(batchmsg::kSaveBody, batchmsg::kSaveTitle, MsgKind::YesNoQuestion, this) != MsgAnswer::Yes)
        return;
    if (ichiranEmptySaveAsks(*m_ichiran, m_ichiranOfEmptyLists)
        && MsgBoxShow(batchmsg::kEmptySaveBody, batchmsg::kEmptySaveTitle, MsgKind::DeleteQuestion, this)
               != MsgAnswer::Ok)
        return;
    currentToLastCell(msgList, m_ichiranWindow.get(), m_ichiran->rowCount());
    // A small file is written at once, whole, before any event is served
    // (a quit signal then ends the program after it). A larger one is
    // written by a worker while the window paints; 終了 and the quit
    // signals stop it, and the old file then stays.
    constexpr qint64 kAtOnceBytes = qint64(16) << 20;
    if (ichiranFileSizeAtMost(*m_ichiran) <= kAtOnceBytes) {
        const IchiranSaveResult r = IchiranSave(*m_ichiran);
        if (r.ok())
            MsgBoxShow(batchmsg::kSavedBody, batchmsg::kSavedTitle, MsgKind::InformationNotice, this);
        else
            MsgBoxShow(r.message(), batchmsg::kSaveFailedTitle, MsgKind::WarningNotice, this);
        return;
    }
    m_running = true;
    std::atomic<bool> cancel{false};
    std::atomic<double> done{0.0};
    std::future<IchiranSaveResult> task = std::async(std::launch::async, [&] {
        yieldToWindow();
        return IchiranSave(*m_ichiran, kIchiranFileName, [&](double share) {
            done = share;
            return !cancel.load();
        });
    });
    const IchiranSaveResult r = waitShowing<IchiranSaveResult>(
        this, QStringLiteral("保存"), task, std::chrono::milliseconds(10), [&] { return done.load(); },
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (m_closing)
                cancel = true;
        });
    m_running = false;
    if (r.status == IchiranSaveResult::Cancelled || m_closing)
        return;
    if (r.ok())
        MsgBoxShow(batchmsg::kSavedBody, batchmsg::kSavedTitle, MsgKind::InformationNotice, this);
    else
        MsgBoxShow(r.message(), batchmsg::kSaveFailedTitle, MsgKind::WarningNotice, this);
}

void MainWindow::cmdIPrint_Click()
{
    if (m_running || m_closing)
        return;
    // Counted before anything is asked, so that a giant job says its size
    // ahead of the usual question.
    IchiranPrintJob job(*m_ichiran);
    if (job.ready() == IchiranPrintStatus::Printed && job.isGiant()
        && MsgBoxShow(batchmsg::kPrintPagesBody.arg(QLocale(QLocale::Japanese).toString(job.pages())),
                      batchmsg::kPrintPagesTitle, MsgKind::DeleteQuestion, this)
               != MsgAnswer::Ok)
        return;
    if (MsgBoxShow(batchmsg::kPrintBody, batchmsg::kPrintTitle, MsgKind::YesNoQuestion, this) != MsgAnswer::Yes)
        return;
    currentToLastCell(msgList, m_ichiranWindow.get(), m_ichiran->rowCount());
    if (job.ready() == IchiranPrintStatus::Printed && !job.hasRoom()) {
        MsgBoxShow(ichiranPrintMessage(IchiranPrintStatus::NoSpace, job.spoolFolder(), job.spoolEstimate()),
                   batchmsg::kPrinterTitle, MsgKind::WarningNotice, this);
        return;
    }
    // Page by page on this thread, letting the window paint between lines
    // at least every 50 ms. The job is spooled whole before the queue sees
    // it: 中止, 終了 and the quit signals leave nothing to print.
    m_running = true;
    const QString title = windowTitle();
    QProgressDialog box(batchmsg::kPrintProgressLabel, batchmsg::kPrintProgressCancel, 0, 1000, this);
    box.setWindowTitle(batchmsg::kPrintProgressTitle);
    box.setWindowModality(Qt::NonModal);
    box.setMinimumDuration(1000);
    box.setAutoReset(false);
    box.setAutoClose(false);
    box.setValue(0);
    QElapsedTimer clock;
    clock.start();
    qint64 lastEvents = 0;
    const IchiranPrintStatus status = job.print([&](double share) {
        if (clock.elapsed() - lastEvents >= 50) {
            if (clock.elapsed() >= 1000)
                setWindowTitle(QStringLiteral("%1 — 印刷 %2 %").arg(title).arg(std::clamp(int(share * 100), 0, 99)));
            box.setValue(std::clamp(int(share * 1000), 0, 999));
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            lastEvents = clock.elapsed();
        }
        return !m_closing && !box.wasCanceled();
    });
    box.hide();
    setWindowTitle(title);
    m_running = false;
    const QString problem =
        m_closing ? QString() : ichiranPrintMessage(status, job.spoolFolder(), job.spoolEstimate());
    if (!problem.isEmpty())
        MsgBoxShow(problem, batchmsg::kPrinterTitle, MsgKind::WarningNotice, this);
}

} // namespace kanaroll
