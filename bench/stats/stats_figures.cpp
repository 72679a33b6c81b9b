// The README's figures: at how many rolls the face test and the pair test flag the 15-bit LCG
// x = 214013 x + 2531011 and RANDU (x = 65539 x mod 2^31, top 15 of 31 bits), read as one
// stream from one seed and with the engine's reseeding (runs of RollsPerRun = 100000 rolls per
// face, reseeded from the clock before attempt rolls/2 and then every rolls/10 + 1 attempts).
//
//   stats_figures                       # every generator, die size and roll count
//   stats_figures lcg214013 8           # one generator and die size
//
// A test flags when a tail p-value is below 1e-6 (rolvek-check's default --alpha) or, for the
// faces, when a face lies beyond the flag band. Each roll count is rolled afresh.
#include "RollLoop.h"
#include "SerialTest.h"
#include "Statistics.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRollsPerFace = 100000;  // the engine's default RollsPerRun

unsigned ClockSeed()
{
    return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

struct Generator {
    const char* name;
    int (*next)(std::uint32_t& x);
    std::uint32_t (*seed)(unsigned s);
};

const Generator kGenerators[] = {
    {"lcg214013",
     [](std::uint32_t& x) {
         x = x * 214013u + 2531011u;
         return static_cast<int>((x >> 16) & 0x7FFF);
     },
     [](unsigned s) { return static_cast<std::uint32_t>(s); }},
    {"randu",
     [](std::uint32_t& x) {
         x = (65539u * x) & 0x7FFFFFFFu;
         return static_cast<int>(x >> 16);
     },
     [](unsigned s) { return static_cast<std::uint32_t>(s) | 1u; }},  // RANDU needs an odd seed
};

struct Outcome {
    ChiSquareTest faces;
    double maxZ = 0;
    SerialTest pairs;
    bool facesFlag = false, pairsFlag = false;
};

// `rolls` rolls in runs of `runRolls` (the last run shorter), reseeded as the engine does when
// `reseed` is set, else one stream from seed 1.
Outcome Check(const Generator& g, int values, std::int64_t rolls, std::int64_t runRolls, bool reseed)
{
    std::vector<std::int64_t> counts(static_cast<size_t>(values));
    PairTally pairs(values <= kMaxPairValues ? values : 0), run(values <= kMaxPairValues ? values : 0);
    std::uint32_t x = g.seed(reseed ? ClockSeed() : 1);
    const int limit = 32766 - 32767 % values;
    for (std::int64_t done = 0; done < rolls;) {
        const int n = static_cast<int>(std::min(runRolls, rolls - done));
        std::vector<void*> slots(static_cast<size_t>(values), nullptr);
        RollLoop(
            slots.data(), values, n,
            [&] {
                const int r = g.next(x);
                if (r <= limit)
                    run.Feed(r % values);
                return r;
            },
            [&] {
                if (reseed)
                    x = g.seed(ClockSeed());
            });
        run.Close();
        pairs.Add(run);
        run.Reset(run.Values());
        for (int i = 0; i < values; ++i)
            counts[static_cast<size_t>(i)] += static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(slots[static_cast<size_t>(i)]));
        done += n;
        if (reseed)
            x = g.seed(ClockSeed());  // each run starts from SeedRandom
    }
    Outcome o;
    o.faces = ChiSquareOfFaces(counts);
    for (const double z : FaceZScores(counts))
        o.maxZ = std::max(o.maxZ, std::fabs(z));
    o.facesFlag = o.faces.p.Smaller() < kDefaultAlpha || o.maxZ > FlagBand(values);
    o.pairs = GoodSerialTest(pairs);
    o.pairsFlag = o.pairs.made && o.pairs.p.Smaller() < kDefaultAlpha;
    return o;
}

std::string Tails(const TwoTails& p)
{
    return "up " + PValueText(p.upper) + " low " + PValueText(p.lower);
}

} // namespace

int main(int argc, char** argv)
{
    const char* only = argc > 1 ? argv[1] : nullptr;
    std::vector<int> sizes = {2, 6, 8, 10, 64};
    if (argc > 2)
        sizes = {std::atoi(argv[2])};
    for (const Generator& g : kGenerators) {
        if (only && std::strcmp(only, g.name) != 0)
            continue;
        for (const int values : sizes) {
            for (const bool reseed : {false, true}) {
                std::printf("== %s, %d values, %s\n", g.name, values,
                            reseed ? "engine's reseeding (clock seeds)" : "one stream from seed 1");
                std::int64_t facesAt = 0, pairsAt = 0;
                for (std::int64_t decade = 1000; decade <= 100000000; decade *= 10) {
                    for (const int step : {1, 2, 5}) {
                        const std::int64_t rolls = decade * step;
                        if (rolls > 100000000 || rolls < 2 * values)
                            continue;
                        const std::int64_t runRolls = reseed ? static_cast<std::int64_t>(values) * kRollsPerFace : rolls;
                        const Outcome o = Check(g, values, rolls, runRolls, reseed);
                        std::printf("%10lld rolls  faces %s chi %.4g %s max|z| %.2f   pairs %s\n",
                                    static_cast<long long>(rolls), o.facesFlag ? "FLAG" : "ok  ", o.faces.statistic,
                                    Tails(o.faces.p).c_str(), o.maxZ,
                                    o.pairs.made ? ((o.pairsFlag ? "FLAG plain " : "ok   plain ") +
                                                    std::to_string(o.pairs.pairStatistic) + " good " +
                                                    std::to_string(o.pairs.statistic) + " " + Tails(o.pairs.p))
                                                       .c_str()
                                                 : "-");
                        if (o.facesFlag && !facesAt)
                            facesAt = rolls;
                        if (o.pairsFlag && !pairsAt)
                            pairsAt = rolls;
                    }
                }
                std::printf("-> first flagged: faces at %lld, pairs at %lld rolls (0: not up to 10^8)\n",
                            static_cast<long long>(facesAt), static_cast<long long>(pairsAt));
            }
        }
    }
    return 0;
}
