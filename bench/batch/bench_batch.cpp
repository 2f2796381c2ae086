// A 300 x 300 batch in the quick mode with the real engine as the play:
// 180,000 rows into the grid model with a table view attached, then the four
// sorts and the save.
#include "enginebatch.h"
#include "batch/export.h"
#include "batch/ichiran.h"
#include "batch/ikkatsu.h"
#include "engine/aisho.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <random>

using namespace kanaroll;

namespace {

QStringList names(std::mt19937 &rng, int count)
{
    static const QString kana = QStringLiteral(
        "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわ"
        "がぎぐげござじずぜぞだぢづでどばびぶべぼぱぴぷぺぽ");
    QStringList out;
    for (int i = 0; i < count; ++i) {
        const int len = 3 + int(rng() % 4);
        QString name;
        for (int k = 0; k < len; ++k)
            name += kana[int(rng() % kana.size())];
        out << name;
    }
    return out;
}

std::size_t heapInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::mt19937 rng(300);
    const QStringList self = names(rng, 300);
    const QStringList partner = names(rng, 300);

    // The engine alone on the same pairs, for the cost of the loop and grid per pair.
    AishoResult result;
    QElapsedTimer t;
    t.start();
    long sum = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString &s : self) {
            for (const QString &p : partner) {
                AishoCalc(u16view(pass == 0 ? s : p), u16view(pass == 0 ? p : s), result);
                sum += result.percentage;
            }
        }
    }
    const double engineSeconds = double(t.nsecsElapsed()) / 1e9;

    auto *grid = new IchiranModel(&app);
    QTableView table;
    table.setModel(grid);
    table.resize(320, 240);
    table.show();
    QApplication::processEvents();

    const IkkatsuHooks hooks = engineBatchHooks(self, partner, result);

    IkkatsuRun run(*grid, hooks);
    const std::size_t before = heapInUse();
    t.restart();
    run.run();
    QApplication::processEvents();
    const double runSeconds = double(t.nsecsElapsed()) / 1e9;
    const std::size_t after = heapInUse();
    const int rows = grid->size();

    std::printf("batch_rows: %d rows (target: = 180000)\n", rows);
    std::printf("batch_run_300x300: %.3f s (target: <= 3)\n", runSeconds);
    std::printf("batch_engine_alone_300x300: %.3f s (target: none, reference)\n", engineSeconds);
    std::printf("batch_run_to_engine_ratio: %.1f x (target: none, reference)\n", runSeconds / engineSeconds);
    std::printf("batch_memory_per_row: %.1f B/row (target: <= 200)\n",
                double(after > before ? after - before : 0) / rows);

    const std::pair<const char *, IchiranSortButton> sorts[] = {
        {"cmdKza", IchiranSortButton::Kza}, {"cmdKaz", IchiranSortButton::Kaz},
        {"cmdNza", IchiranSortButton::Nza}, {"cmdNaz", IchiranSortButton::Naz}};
    for (const auto &[name, button] : sorts) {
        t.restart();
        grid->sort(button);
        QApplication::processEvents();
        std::printf("batch_sort_%s: %.1f ms (target: <= 150)\n", name, double(t.nsecsElapsed()) / 1e6);
    }

    // The percentages alone, as a quick run in the window computes them:
    // 2000 x 2000 names of six characters, so every pair has L = 12.
    {
        std::mt19937 rng6(12);
        static const QString kana = QStringLiteral("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわん");
        auto six = [&](int count) {
            std::vector<QString> out;
            for (int i = 0; i < count; ++i) {
                QString n;
                for (int k = 0; k < 6; ++k)
                    n += kana[int(rng6() % kana.size())];
                out.push_back(n);
            }
            return out;
        };
        for (int threads : {1, 2}) {
            IchiranRun quick;
            quick.self = six(2000);
            quick.partner = six(2000);
            if (!quick.allocate())
                return 1;
            IkkatsuProgress progress;
            t.restart();
            IkkatsuCompute(quick, progress, threads);
            const double secs = double(t.nsecsElapsed()) / 1e9;
            const double rate = double(quick.rowCount()) / secs;
            if (threads == 1)
                std::printf("batch_result_pairs_per_second_L12_one_core: %.0f pairs/s (target: >= 50000000)\n", rate);
            else
                std::printf("batch_result_pairs_per_second_L12_two_threads: %.0f pairs/s (target: none, reference)\n",
                            rate);
        }
    }

    QTemporaryDir dir;
    t.restart();
    const IchiranSaveResult saved = IchiranSave(*grid, dir.filePath(kIchiranFileName));
    const double saveMs = double(t.nsecsElapsed()) / 1e6;
    std::printf("batch_save: %.1f ms (target: <= 300)\n", saveMs);
    if (!saved.ok() || sum == 0) {
        std::fprintf(stderr, "bench_batch: save failed: %s\n", qPrintable(saved.error));
        return 1;
    }
    return 0;
}
