#include "ikkatsu.h"

#include "ichiran.h"

#include "engine/aisho.h"

#include <algorithm>
#include <memory>
#include <thread>

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

namespace kanaroll {

bool ikkatsuAccepts(const QString &name)
{
    thread_local std::vector<std::uint8_t> digits;
    return !name.isEmpty()
           && AishoDigits(std::u16string_view(reinterpret_cast<const char16_t *>(name.utf16()), std::size_t(name.size())),
                          digits);
}

namespace {

struct NameDigits {
    std::vector<std::vector<std::uint8_t>> digits; // per name
    std::vector<std::uint32_t> lengthClass;        // per name: index into lengths
    std::vector<std::size_t> lengths;              // the distinct lengths
};

NameDigits digitsOf(const std::vector<QString> &names)
{
    NameDigits out;
    out.digits.resize(names.size());
    for (std::size_t k = 0; k < names.size(); ++k)
        AishoDigits(std::u16string_view(reinterpret_cast<const char16_t *>(names[k].utf16()),
                                        std::size_t(names[k].size())),
                    out.digits[k]);
    for (const auto &d : out.digits)
        out.lengths.push_back(d.size());
    std::sort(out.lengths.begin(), out.lengths.end());
    out.lengths.erase(std::unique(out.lengths.begin(), out.lengths.end()), out.lengths.end());
    for (const auto &d : out.digits)
        out.lengthClass.push_back(std::uint32_t(std::lower_bound(out.lengths.begin(), out.lengths.end(), d.size())
                                                - out.lengths.begin()));
    return out;
}

// One thread's tables. For a self name of length a, every partner's share in
// both orders is the same for all self names of that length, so it is worked
// out once per length and kept while memory allows.
struct Shares {
    const NameDigits &self;
    const NameDigits &partner;
    struct ByLength {
        std::vector<AishoPart> asPartner; // partner j second, after a self name of this length
        std::vector<AishoPart> asSelf;    // partner j first, before it
    };
    std::vector<std::unique_ptr<ByLength>> byLength; // per self length class
    std::size_t kept = 0;
    std::size_t current = SIZE_MAX;                  // self position of the two below
    std::vector<AishoPart> selfFirst;                // per partner length class
    std::vector<AishoPart> selfSecond;

    const ByLength &forSelfLength(std::uint32_t cls)
    {
        if (byLength.empty())
            byLength.resize(self.lengths.size());
        if (!byLength[cls]) {
            constexpr std::size_t kKeepShares = std::size_t(1) << 24;
            if (kept + partner.digits.size() > kKeepShares) {
                for (auto &b : byLength)
                    b.reset();
                kept = 0;
            }
            auto b = std::make_unique<ByLength>();
            const std::size_t a = self.lengths[cls];
            for (const auto &d : partner.digits) {
                b->asPartner.push_back(AishoPartnerPart(d.data(), d.size(), a + d.size()));
                b->asSelf.push_back(AishoSelfPart(d.data(), d.size(), a + d.size()));
            }
            kept += partner.digits.size();
            byLength[cls] = std::move(b);
        }
        return *byLength[cls];
    }
    void forSelf(std::size_t i)
    {
        if (current == i)
            return;
        current = i;
        const auto &d = self.digits[i];
        selfFirst.clear();
        selfSecond.clear();
        for (std::size_t b : partner.lengths) {
            selfFirst.push_back(AishoSelfPart(d.data(), d.size(), d.size() + b));
            selfSecond.push_back(AishoPartnerPart(d.data(), d.size(), d.size() + b));
        }
    }
};

// Rows [from, to) of the run.
void computeRows(IchiranRun &run, Shares &sh, std::size_t from, std::size_t to)
{
    const std::size_t P = run.partner.size();
    const std::size_t half = run.self.size() * P;
    std::uint8_t *out = run.percent.get();
    std::size_t r = from;
    while (r < to) {
        const bool second = r >= half;
        const std::size_t q = second ? r - half : r;
        const std::size_t i = q / P;
        const std::size_t j0 = q % P;
        const std::size_t j1 = std::min(P, j0 + (to - r));
        sh.forSelf(i);
        const Shares::ByLength &b = sh.forSelfLength(sh.self.lengthClass[i]);
        const std::uint32_t *cls = sh.partner.lengthClass.data();
        std::uint8_t *o = out + r - j0;
        if (!second) {
            const AishoPart *mine = sh.selfFirst.data();
            const AishoPart *theirs = b.asPartner.data();
            for (std::size_t j = j0; j < j1; ++j)
                o[j] = std::uint8_t(AishoCombine(mine[cls[j]], theirs[j]));
        } else {
            const AishoPart *mine = sh.selfSecond.data();
            const AishoPart *theirs = b.asSelf.data();
            for (std::size_t j = j0; j < j1; ++j)
                o[j] = std::uint8_t(AishoCombine(theirs[j], mine[cls[j]]));
        }
        r += j1 - j0;
    }
    // The blocks of a chunk are its own, so no other thread counts them.
    for (std::size_t blockStart = from; blockStart < to; blockStart += IchiranRun::kBlock) {
        std::uint32_t *c = run.counts.data() + blockStart / IchiranRun::kBlock * IchiranRun::kValues;
        const std::size_t end = std::min(to, blockStart + IchiranRun::kBlock);
        for (std::size_t k = blockStart; k < end; ++k)
            ++c[out[k]];
    }
}

} // namespace

bool IkkatsuCompute(IchiranRun &run, IkkatsuProgress &progress, int threads)
{
    const NameDigits self = digitsOf(run.self);
    const NameDigits partner = digitsOf(run.partner);
    const std::size_t n = run.rowCount();
    constexpr std::size_t kChunk = IchiranRun::kBlock * 16;
    std::atomic<std::size_t> nextChunk{0};
    auto work = [&] {
        Shares sh{self, partner, {}, 0, SIZE_MAX, {}, {}};
        for (;;) {
            if (progress.cancel.load(std::memory_order_relaxed))
                return;
            const std::size_t from = nextChunk.fetch_add(kChunk);
            if (from >= n)
                return;
            const std::size_t to = std::min(n, from + kChunk);
            computeRows(run, sh, from, to);
            progress.rows.fetch_add(std::int64_t(to - from), std::memory_order_relaxed);
        }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (auto &t : helpers)
        t.join();
    return !progress.cancel.load();
}

} // namespace kanaroll
