// Pairs per second of AishoCalc for several combined lengths, with one reused
// result as the batch run uses it; rows and percentage are both produced.

#include "engine/aisho.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Members of every vowel column, so the triangles are varied.
constexpr char16_t kKana[] = u"あかさたなはまやらわんがざだばぱぁゃいきしちにひみりぎじぢびぴぃ"
                             u"うくすつぬふむゆるぐずづぶぷぅゅえけせてねへめれげぜでべぺぇ"
                             u"おこそとのほもよろをごぞどぼぽぉょ";

struct Pair {
    std::u16string self;
    std::u16string partner;
};

std::vector<Pair> makePairs(std::size_t length, std::size_t count, std::mt19937 &rng)
{
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kKana) - 2);
    std::vector<Pair> pairs(count);
    for (Pair &p : pairs) {
        for (std::size_t i = 0; i < length; ++i)
            (i < length / 2 ? p.self : p.partner).push_back(kKana[pick(rng)]);
    }
    return pairs;
}

volatile unsigned long long g_sink;

double pairsPerSecond(const std::vector<Pair> &pairs, std::chrono::milliseconds budget)
{
    using Clock = std::chrono::steady_clock;
    kanaroll::AishoResult result;
    unsigned long long sink = 0;
    std::size_t done = 0;
    const auto start = Clock::now();
    Clock::duration elapsed{};
    do {
        for (const Pair &p : pairs) {
            kanaroll::AishoCalc(p.self, p.partner, result);
            sink += static_cast<unsigned>(result.percentage) + result.rowCount()
                + static_cast<unsigned char>(result.digits.back());
        }
        done += pairs.size();
        elapsed = Clock::now() - start;
    } while (elapsed < budget);
    g_sink = sink;
    return static_cast<double>(done) / std::chrono::duration<double>(elapsed).count();
}

} // namespace

int main()
{
    std::mt19937 rng(12345);
    for (std::size_t length : {6, 12, 24, 48}) {
        const auto pairs = makePairs(length, 1024, rng);
        pairsPerSecond(pairs, std::chrono::milliseconds(50)); // warm up
        const double rate = pairsPerSecond(pairs, std::chrono::milliseconds(300));
        const char *target = length == 12 ? ">= 2000000 at L=12" : "none, for comparison";
        std::printf("aisho_pairs_per_second_L%zu: %.0f pairs/s (target: %s)\n", length, rate, target);
    }
    return 0;
}
