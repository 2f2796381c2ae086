#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kanaroll {

class IchiranModel;
struct IchiranRun;

struct IkkatsuPair {
    QString first;  // goes into the first entry box: the self side of the fortune
    QString second; // goes into the second entry box

    friend bool operator==(const IkkatsuPair &, const IkkatsuPair &) = default;
};

// Every self x partner pairing twice: first (self, partner) for each self name
// and within it each partner name, then (partner, self) in the same loop order.
std::vector<IkkatsuPair> IkkatsuPairs(const QStringList &self, const QStringList &partner);

// Pause after each pair while the animated mode is on, in seconds.
inline constexpr double kIkkatsuPause = 0.8;

// What a batch run needs of the window. Required: wait, selfCount, selfAt,
// partnerCount, partnerAt, play. The rest may be left empty.
struct IkkatsuHooks {
    std::function<double()> wait;    // the pause per drawn digit; 0 in the quick mode. Read anew each time.
    std::function<void()> modeNotice; // the mode question notice, shown before a run in the animated mode
    std::function<void(bool shown)> showFrame; // the grid frame: hidden for the run, shown at its end
    std::function<int()> selfCount;
    std::function<QString(int)> selfAt;
    std::function<int()> partnerCount;
    std::function<QString(int)> partnerAt;
    // The entry boxes, set as the loops reach each name (so an empty partner
    // list still leaves the last self name in both boxes).
    std::function<void(const QString &)> setName1;
    std::function<void(const QString &)> setName2;
    // Tells the fortune of (first, second) as a click of the play button
    // would; the percentage, or nullopt when the pair was refused.
    std::function<std::optional<int>(const QString &first, const QString &second)> play;
    // Waits the given seconds while processing window events.
    std::function<void(double seconds)> pause;
};

// One click of the batch button. The lists are read through the hooks while
// the run goes, because they can be edited during its pauses: each loop takes
// its bound when it starts, and a position that no longer exists is skipped.
class IkkatsuRun
{
public:
    enum class Outcome { Finished, Aborted };

    IkkatsuRun(IchiranModel &grid, IkkatsuHooks hooks);
    IkkatsuRun(const IkkatsuRun &) = delete;
    IkkatsuRun &operator=(const IkkatsuRun &) = delete;

    Outcome run();
    // Ends a running run after the current play or pause returns (program exit).
    // The frame is not shown again and no further row is written.
    void abort() { m_aborted = true; }

    bool isRunning() const { return m_running; }
    bool isAborted() const { return m_aborted; }
    // Pairs played and rows written by the last or current run.
    int pairsPlayed() const { return m_pairs; }
    int rowsWritten() const { return m_rows; }

private:
    bool pass(bool reversed);
    bool onePair(const QString &first, const QString &second);
    bool animated() const { return m_hooks.wait && m_hooks.wait() != 0; }

    IchiranModel &m_grid;
    IkkatsuHooks m_hooks;
    bool m_running = false;
    bool m_aborted = false;
    int m_pairs = 0;
    int m_rows = 0;
};

// Whether the play accepts a name in any pair: not empty, and every
// character in the vowel table.
bool ikkatsuAccepts(const QString &name);

// Shared between a quick run's workers and the window that waits for them.
struct IkkatsuProgress {
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> rows{0}; // rows computed so far
};

// Computes every percentage of an allocated run (IchiranRun::allocate) and
// the per-block counts, on the given number of threads. False when cancelled
// on the way; the run is then incomplete.
bool IkkatsuCompute(IchiranRun &run, IkkatsuProgress &progress, int threads);

} // namespace kanaroll
