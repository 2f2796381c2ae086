#include "ikkatsu.h"

#include "ichiran.h"

namespace kanaroll {

std::vector<IkkatsuPair> IkkatsuPairs(const QStringList &self, const QStringList &partner)
{
    std::vector<IkkatsuPair> pairs;
    pairs.reserve(std::size_t(2) * std::size_t(self.size()) * std::size_t(partner.size()));
    for (const QString &s : self)
        for (const QString &p : partner)
            pairs.push_back({s, p});
    for (const QString &s : self)
        for (const QString &p : partner)
            pairs.push_back({p, s});
    return pairs;
}

IkkatsuRun::IkkatsuRun(IchiranModel &grid, IkkatsuHooks hooks)
    : m_grid(grid)
    , m_hooks(std::move(hooks))
{
}

IkkatsuRun::Outcome IkkatsuRun::run()
{
    m_running = true;
    m_aborted = false;
    m_pairs = 0;
    m_rows = 0;
    // Views hear of the rows when a pause lets them paint, or at the end.
    m_grid.holdUpdates(true);
    struct Release {
        IkkatsuRun *run;
        ~Release()
        {
            run->m_grid.holdUpdates(false);
            run->m_running = false;
        }
    } release{this};

    if (animated() && m_hooks.modeNotice)
        m_hooks.modeNotice();
    if (m_aborted)
        return Outcome::Aborted;
    if (m_hooks.showFrame)
        m_hooks.showFrame(false);
    if (!pass(false) || !pass(true))
        return Outcome::Aborted;
    m_grid.flush();
    if (m_hooks.showFrame)
        m_hooks.showFrame(true);
    return Outcome::Finished;
}

bool IkkatsuRun::pass(bool reversed)
{
    const int selfBound = m_hooks.selfCount();
    for (int i = 0; i < selfBound; ++i) {
        if (i >= m_hooks.selfCount())
            break; // the list shrank during a pause
        const QString self = m_hooks.selfAt(i);
        const auto &setSelfBox = reversed ? m_hooks.setName2 : m_hooks.setName1;
        const auto &setPartnerBox = reversed ? m_hooks.setName1 : m_hooks.setName2;
        if (setSelfBox)
            setSelfBox(self);
        const int partnerBound = m_hooks.partnerCount();
        for (int j = 0; j < partnerBound; ++j) {
            if (j >= m_hooks.partnerCount())
                break;
            const QString partner = m_hooks.partnerAt(j);
            if (setPartnerBox)
                setPartnerBox(partner);
            const bool ok = reversed ? onePair(partner, self) : onePair(self, partner);
            if (!ok)
                return false;
        }
    }
    return true;
}

bool IkkatsuRun::onePair(const QString &first, const QString &second)
{
    const std::optional<int> percent = m_hooks.play(first, second);
    if (m_aborted)
        return false;
    // The first pair replaces what an earlier run left; a run without pairs keeps it.
    if (m_pairs++ == 0)
        m_grid.clear();
    // A refused pair has no percentage of its own, so it gets no row.
    if (percent) {
        m_grid.append(first, second, *percent);
        ++m_rows;
    }
    if (animated() && m_hooks.pause) {
        m_grid.flush();
        m_hooks.pause(kIkkatsuPause);
        if (m_aborted)
            return false;
    }
    return true;
}

} // namespace kanaroll
