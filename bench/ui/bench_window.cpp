// Drives the real window offscreen: a batch of 300 x 300 names in the quick
// mode with its sort and save.

#include "batch/ichiran.h"
#include "lists/namaewaku.h"
#include "benchwindow.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "benchnames.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <cstdio>
#include <malloc.h>

using namespace kanaroll;

static const int kSide = qEnvironmentVariableIntValue("KANAROLL_BENCH_SIDE") > 0 ? qEnvironmentVariableIntValue("KANAROLL_BENCH_SIDE") : 300;

namespace {

double ms(const QElapsedTimer &t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    BenchWindowApp bench(argc, argv);
    setMsgBoxHook([](const QString &, const QString &, MsgKind) { return MsgAnswer::Yes; });

    // Batch of 300 x 300 in the quick mode.
    writeList(QStringLiteral("自分.txt"), randomNames(kSide, 3, 6, 2));
    writeList(QStringLiteral("相手.txt"), randomNames(kSide, 3, 6, 3));
    MainWindow w;
    w.show();
    QApplication::processEvents();
    w.Option1(0)->click();
    const std::size_t heap0 = mallinfo2().uordblks;
    QElapsedTimer t;
    t.start();
    w.cmdHozon_Click();
    const double runMs = ms(t);
    const int rows = w.ichiran().rowCount();
    const double perRow = static_cast<double>(mallinfo2().uordblks - heap0) / rows;
    std::printf("window_batch_300x300_run: %.2f s for %d rows (target: <= 3)\n", runMs / 1000.0, rows);
    std::printf("window_batch_memory_per_row: %.0f B/row (target: <= 200)\n", perRow);
    t.start();
    w.cmdKza_Click();
    std::printf("window_batch_sort_kza: %.1f ms (target: <= 150)\n", ms(t));
    t.start();
    w.cmdIHozon_Click();
    std::printf("window_batch_save: %.1f ms (target: <= 300)\n", ms(t));
    return 0;
}
