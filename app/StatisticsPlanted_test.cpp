// Faults planted in generators written here, rolled through the engine's roll loop, and found
// (or, where the generator is fair, not found) by the statistics.
#include "RollLoop.h"
#include "SerialTest.h"
#include "Statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// A fair 15-bit generator: the top bits of SplitMix64 (Steele, Lea and Flood 2014).
struct Fair {
    std::uint64_t state;
    std::uint64_t Next64()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    int operator()() { return static_cast<int>(Next64() >> 49); }
};

struct Rolled {
    std::vector<std::int64_t> counts;
    PairTally pairs;
};

// `rolls` accepted rolls of `next` through the engine's loop, as one run, with the pairs of the
// accepted rolls tallied beside the counts (unless `pairs` is false).
template <class Next>
Rolled Roll(int values, int rolls, Next next, bool pairs = true)
{
    Rolled out{std::vector<std::int64_t>(static_cast<size_t>(values)), PairTally(pairs ? values : 0)};
    std::vector<void*> slots(static_cast<size_t>(values), nullptr);
    const int limit = 32766 - 32767 % values;
    RollLoop(
        slots.data(), values, rolls,
        [&] {
            const int r = next();
            if (pairs && r <= limit)
                out.pairs.Feed(r % values);
            return r;
        },
        [] {});
    out.pairs.Close();
    for (int i = 0; i < values; ++i)
        out.counts[static_cast<size_t>(i)] = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(slots[static_cast<size_t>(i)]));
    return out;
}

// Fails the check as rolvek-check does: a tail below alpha, or a face beyond the band.
bool FacesFail(const std::vector<std::int64_t>& counts)
{
    const ChiSquareTest chi = ChiSquareOfFaces(counts);
    const double band = FlagBand(static_cast<int>(counts.size()));
    bool flagged = false;
    for (const double z : FaceZScores(counts))
        flagged |= std::fabs(z) > band;
    return flagged || chi.p.Smaller() < kDefaultAlpha;
}

TEST(PlantedFaults, AFaceTwoPerMilleTooLikelyIsFoundWhereTheBiasFigureSays)
{
    const int values = 3;
    const double bias = 0.002;
    const int rolls = static_cast<int>(RollsForBias(values, bias));
    EXPECT_NEAR(rolls, 17.5e6, 0.3e6) << rolls;
    // Face 1 (result 0) comes up 0.2 % more often than 1/3: with chance q = b / (V - 1) a roll
    // is 0, else it is fair.
    const std::uint64_t q = static_cast<std::uint64_t>(bias / (values - 1) * 0x1p64);
    auto biased = [fair = Fair{1}, q]() mutable {
        const std::uint64_t x = fair.Next64();
        return x < q ? 0 : static_cast<int>(x >> 49);
    };
    for (const int n : {rolls, rolls / 10}) {
        const Rolled r = Roll(values, n, biased, false);
        const std::vector<double> z = FaceZScores(r.counts);
        const double band = FlagBand(values);
        EXPECT_EQ(z[0] > band, n == rolls) << n << " rolls: z " << z[0] << ", band " << band;
        for (int i = 1; i < values; ++i)
            EXPECT_LT(std::fabs(z[static_cast<size_t>(i)]), band) << "face " << i + 1;
    }
}

TEST(PlantedFaults, RepeatingThePreviousRollPassesTheFacesAndFailsThePairs)
{
    // With chance 1 % a roll repeats the previous result: every face stays equally likely, but
    // each face follows itself 6 % more often than chance.
    auto sticky = [fair = Fair{2}, last = 0]() mutable {
        const std::uint64_t x = fair.Next64();
        if ((x & 0xFFFF) >= 655)
            last = static_cast<int>(x >> 49);
        return last;
    };
    const Rolled r = Roll(6, 1000000, sticky);
    EXPECT_FALSE(FacesFail(r.counts));
    const SerialTest s = GoodSerialTest(r.pairs);
    ASSERT_TRUE(s.made);
    EXPECT_LT(s.p.upper, 1e-20);
}

TEST(PlantedFaults, RanduFailsThePairsOfACoin)
{
    // RANDU, x = 65539 x mod 2^31, the top 15 of its 31 bits, one stream from seed 1: as a coin
    // (2 values) its faces are fair, but one face follows the other far too often.
    auto randu = [x = std::uint32_t{1}]() mutable {
        x = (65539u * x) & 0x7FFFFFFFu;
        return static_cast<int>(x >> 16);
    };
    const Rolled r = Roll(2, 10000, randu);
    EXPECT_FALSE(FacesFail(r.counts));
    const SerialTest s = GoodSerialTest(r.pairs);
    ASSERT_TRUE(s.made);
    EXPECT_LT(s.p.log10Upper, -200);
}

TEST(PlantedFaults, TheCommonLcgIsTooEvenInPairsOfAnEightFacedDie)
{
    // x = 214013 x + 2531011, bits 16 to 30, one stream from seed 1, 10^7 rolls of an 8-faced
    // die: the low bits of the faces repeat with short periods, so the pairs are dealt out far
    // too evenly (a plain pair chi-square of 1.1 over 64 cells), and the faces too evenly as well.
    auto lcg = [x = std::uint32_t{1}]() mutable {
        x = x * 214013u + 2531011u;
        return static_cast<int>((x >> 16) & 0x7FFF);
    };
    const Rolled r = Roll(8, 10000000, lcg);
    const SerialTest s = GoodSerialTest(r.pairs);
    ASSERT_TRUE(s.made);
    EXPECT_NEAR(s.pairStatistic, 1.08, 0.01);
    EXPECT_LT(s.p.lower, 1e-30);
    EXPECT_LT(ChiSquareOfFaces(r.counts).p.lower, kDefaultAlpha);
}

TEST(PlantedFaults, AFairGeneratorPassesNinetyFiveOfAHundredVerdicts)
{
    // 100 verdicts over 10 checks of 6000 rolls of a six-faced die, for faces and pairs.
    int passedFaces = 0, passedPairs = 0;
    Fair fair{3};
    for (int verdict = 0; verdict < 100; ++verdict) {
        std::vector<TwoTails> faces, pairs;
        for (int check = 0; check < 10; ++check) {
            const Rolled r = Roll(6, 6000, [&fair] { return fair(); });
            faces.push_back(ChiSquareOfFaces(r.counts).p);
            pairs.push_back(GoodSerialTest(r.pairs).p);
        }
        passedFaces += UniformityOf(faces).verdict == Verdict::Passed;
        passedPairs += UniformityOf(pairs).verdict == Verdict::Passed;
    }
    EXPECT_GE(passedFaces, 95);
    EXPECT_GE(passedPairs, 95);
}

} // namespace
