// The statistics against published tables, closed forms and simulation.
#include "SerialTest.h"
#include "Statistics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace {

using Counts = std::vector<std::int64_t>;

// --- chi-square tails ----------------------------------------------------------------------------

TEST(ChiSquareTails, MatchPublishedPercentagePoints)
{
    // Percentage points of the chi-square distribution as tabled by NIST/SEMATECH, e-Handbook of
    // Statistical Methods, 1.3.6.7.4: upper tails, then lower tails.
    struct Point {
        double df, x, upper;
    };
    for (const Point& t : {Point{1, 3.841, .05}, Point{1, 10.828, .001}, Point{5, 15.086, .01}, Point{10, 18.307, .05},
                           Point{10, 23.209, .01}, Point{10, 29.588, .001}, Point{100, 124.342, .05},
                           Point{100, 135.807, .01}}) {
        const TwoTails p = ChiSquareTails(t.x, t.df);
        EXPECT_NEAR(p.upper, t.upper, t.upper * 2e-3) << t.df << " " << t.x;
        EXPECT_NEAR(p.lower, 1 - t.upper, t.upper * 2e-3) << t.df << " " << t.x;
        EXPECT_NEAR(p.log10Upper, std::log10(t.upper), 1e-3);
    }
    for (const Point& t : {Point{10, 3.940, .05}, Point{10, 2.558, .01}, Point{100, 77.929, .05}}) {
        const TwoTails p = ChiSquareTails(t.x, t.df);
        EXPECT_NEAR(p.lower, t.upper, t.upper * 2e-3) << t.df << " " << t.x;
    }
    const TwoTails none = ChiSquareTails(12, 0);  // nothing to test
    EXPECT_EQ(none.upper, 1);
    EXPECT_EQ(none.lower, 1);
}

TEST(ChiSquareTails, BelowWhatADoubleHoldsTheLogarithmStaysExact)
{
    // One degree of freedom: upper tail erfc(sqrt(x/2)); its asymptotic series
    // erfc(s) = e^-s^2 / (s sqrt(pi)) (1 - 1/(2 s^2) + 3/(4 s^4)) (Abramowitz and Stegun 7.1.23).
    for (const double x : {1200.0, 1500.0, 2000.0, 1e5}) {
        const double s = std::sqrt(x / 2);
        const double log10Erfc =
            (-s * s - std::log(s * std::sqrt(M_PI)) + std::log1p(-1 / (2 * s * s) + 3 / (4 * s * s * s * s))) /
            std::log(10.0);
        const TwoTails p = ChiSquareTails(x, 1);
        EXPECT_NEAR(p.log10Upper, log10Erfc, 1e-9 * std::fabs(log10Erfc)) << x;
        EXPECT_EQ(p.upper > 0, log10Erfc > -323) << x;  // unclipped down to the smallest double
        EXPECT_NEAR(p.lower, 1, 1e-15);
    }
    EXPECT_NEAR(ChiSquareTails(1200, 1).upper, std::erfc(std::sqrt(600.0)), 1e-6 * std::erfc(std::sqrt(600.0)));

    // Lower tails: two degrees of freedom 1 - e^-(x/2), four 1 - e^-y (1 + y) with y = x/2.
    EXPECT_NEAR(ChiSquareTails(2e-305, 2).log10Lower, -305, 1e-12);
    EXPECT_NEAR(ChiSquareTails(2e-160, 4).log10Lower, std::log10(0.5) - 320, 1e-9);
    EXPECT_NEAR(ChiSquareTails(2e-40, 2).lower, 1e-40, 1e-52);
    EXPECT_EQ(PValueText(ChiSquareTails(2e-40, 2).lower), "1e-40");
    EXPECT_EQ(PValueText(ChiSquareTails(2e-305, 2).lower), "< 1e-300");
    EXPECT_EQ(PValueText(0.68181), "0.6818");
}

TEST(ChiSquareOfFaces, BothTailsAndTheirStepAtExactlyEvenCounts)
{
    ChiSquareTest c = ChiSquareOfFaces(Counts{30, 10, 20});
    EXPECT_DOUBLE_EQ(c.statistic, 10.0);
    EXPECT_EQ(c.degreesOfFreedom, 2);
    EXPECT_NEAR(c.p.upper, std::exp(-5.0), 1e-15);

    // Exactly even: half a step (V/N) up, so a fair coin's tie at 2000 tosses (a chance of 1.8 %)
    // is not called impossible.
    c = ChiSquareOfFaces(Counts{1000, 1000});
    EXPECT_EQ(c.statistic, 0);
    EXPECT_EQ(c.p.upper, 1);
    EXPECT_NEAR(c.p.lower, std::erf(std::sqrt(0.0005)), 1e-12);

    for (const Counts& none : {Counts{600000}, Counts{0, 0}, Counts{}}) {
        c = ChiSquareOfFaces(none);
        EXPECT_EQ(c.statistic, 0);
        EXPECT_EQ(c.p.upper, 1);
        EXPECT_EQ(c.p.lower, 1);
    }
}

// --- faces: z-scores, flag band, detectable bias ---------------------------------------------------

TEST(FaceZScores, AreBinomialDistancesAndTheBandHoldsTheFamilywiseRate)
{
    const std::vector<double> z = FaceZScores(Counts{900, 1100, 1000});
    const double sd = std::sqrt(3000.0 / 3 * 2 / 3);
    EXPECT_THAT(z, testing::ElementsAre(testing::DoubleNear(-100 / sd, 1e-12), testing::DoubleNear(100 / sd, 1e-12),
                                        0.0));
    EXPECT_THAT(FaceZScores(Counts{5}), testing::ElementsAre(0.0));

    // The window's tooltip: both tails and the flagged faces.
    EXPECT_EQ(StatisticsTip(Counts{850, 1150, 1000, 1000, 1000, 1000}),
              "Chi-square p-value of the totals: 1.451e-08 too uneven, 1 too even\n"
              "Flagged faces (|z| above 3.76): 1, 2");
    EXPECT_THAT(StatisticsTip(Counts{1000, 1010, 990}), testing::EndsWith("(|z| above 3.59): none"));
    EXPECT_EQ(StatisticsTip(Counts{0, 0}), "Nothing rolled yet");

    // A fair die shows no face beyond the band with chance (1 - erfc(band / sqrt 2))^V = 0.999.
    for (const int v : {2, 6, 100, 32767}) {
        const double band = FlagBand(v);
        EXPECT_NEAR(std::pow(1 - std::erfc(band / std::sqrt(2.0)), v), 0.999, 1e-9) << v;
    }
    EXPECT_NEAR(FlagBand(6), 3.764, 1e-3);
    EXPECT_TRUE(std::isinf(FlagBand(1)));
}

// The share of `trials` multinomial draws of `rolls` rolls in which face 1, of chance
// (1 + bias)/V, lies above the flag band; the counts drawn face by face as binomials.
double FlaggedShare(int values, double rolls, double bias, int trials, std::uint64_t seed)
{
    std::mt19937_64 random(seed);
    const double band = FlagBand(values);
    int flagged = 0;
    Counts counts(static_cast<size_t>(values));
    for (int t = 0; t < trials; ++t) {
        auto left = static_cast<std::int64_t>(rolls);
        double chanceLeft = 1;
        for (int i = 0; i < values; ++i) {
            const double chance = i == 0 ? (1 + bias) / values : (1 - (1 + bias) / values) / (values - 1);
            const double share = i + 1 == values ? 1 : std::min(1.0, chance / chanceLeft);
            counts[static_cast<size_t>(i)] = std::binomial_distribution<std::int64_t>(left, share)(random);
            left -= counts[static_cast<size_t>(i)];
            chanceLeft -= chance;
        }
        flagged += FaceZScores(counts)[0] > band;
    }
    return static_cast<double>(flagged) / trials;
}

TEST(DetectableBias, AgreesWithMultinomialDrawsWithinATenth)
{
    struct Case {
        int values;
        double rolls;
    };
    for (const Case c : {Case{6, 1e6}, Case{2, 2e5}, Case{30, 1e7}}) {
        const double predicted = DetectableBias(c.values, c.rolls);
        // The bias the draws flag 99 % of the time, by bisection (the same draws at each step).
        double low = predicted / 2, high = predicted * 2;
        for (int i = 0; i < 9; ++i) {
            const double mid = (low + high) / 2;
            (FlaggedShare(c.values, c.rolls, mid, 1500, 17) >= 0.99 ? high : low) = mid;
        }
        EXPECT_NEAR(high, predicted, 0.1 * predicted) << c.values << " faces, " << c.rolls << " rolls";
    }
}

TEST(DetectableBias, RollsForBiasIsItsInverse)
{
    for (const double bias : {0.002, 0.01, 0.3}) {
        const double rolls = RollsForBias(6, bias);
        EXPECT_LE(DetectableBias(6, rolls), bias);
        EXPECT_GT(DetectableBias(6, rolls * 0.99), bias);
    }
    // The normal approximation for large counts: (band + z_0.99)^2 (V - 1) / b^2.
    EXPECT_NEAR(RollsForBias(6, 0.002), std::pow(3.7640 + 2.3263, 2) * 5 / 4e-6, 0.01 * 4.6e7);
    EXPECT_TRUE(std::isinf(RollsForBias(1, 0.1)));
    EXPECT_TRUE(std::isinf(RollsForBias(6, 5)));   // a face cannot come up more than always
    EXPECT_TRUE(std::isinf(RollsForBias(6, -0.1)));
    EXPECT_TRUE(std::isinf(DetectableBias(6, 2)));  // two rolls never flag a face
}

// --- the pair tally --------------------------------------------------------------------------------

TEST(PairTally, CountsEachRunAroundItsOwnCircle)
{
    PairTally run(3), totals(3);
    for (const int f : {0, 1, 1, 2})
        run.Feed(f);
    run.Close();  // pairs 01 11 12 and the closing 20
    totals.Add(run);
    run.Reset(3);
    run.Feed(2);  // one roll: it follows itself
    run.Close();
    totals.Add(run);
    run.Close();  // nothing fed: nothing added
    std::vector<std::uint64_t> cells;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            cells.push_back(totals.Count(i, j));
    EXPECT_THAT(cells, testing::ElementsAre(0, 1, 0, 0, 1, 1, 1, 0, 1));
    EXPECT_EQ(totals.Pairs(), 5u);
    PairTally other(4);
    totals.Add(other);  // another size is not added
    EXPECT_EQ(totals.Pairs(), 5u);
    PairTally since = totals;
    since.Subtract(run);  // the first run alone
    EXPECT_EQ(since.Pairs(), 4u);
    EXPECT_EQ(since.Count(2, 2), 0u);
}

// Runs of rolls fed into one tally that closes each (and so goes on from run to run), and into a
// run tally reset for each run and added to totals: both must hold exactly the pairs counted
// plainly, each run around its own circle. Sizes for each way of counting, and cells far past 255
// pairs (the wrap of a run's byte counts).
TEST(PairTally, MatchesAPlainTallyAtEverySize)
{
    struct Case {
        int values;
        std::vector<int> runLengths;
        bool oneFace;  // every roll the same face: one cell takes the whole run
    };
    const Case cases[] = {
        {2, {5000, 1, 700}, false},        // straight into the totals
        {200, {50000, 1, 5}, true},        // byte counts
        {200, {60000, 3}, false},
        {513, {100000, 2, 31, 33}, false},  // lagged byte counts; runs shorter than the lag
        {600, {1000}, true},
        {4096, {60000}, false},  // the largest die
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        std::map<std::pair<int, int>, std::uint64_t> plain;
        std::uint64_t rolls = 0;
        PairTally closing(c.values), run(c.values), totals(c.values);
        std::uniform_int_distribution<int> face(0, c.values - 1);
        for (const int length : c.runLengths) {
            std::vector<int> faces(static_cast<size_t>(length), face(random));
            if (!c.oneFace)
                for (int& f : faces)
                    f = face(random);
            run.Reset(c.values);
            for (size_t i = 0; i < faces.size(); ++i) {
                closing.Feed(faces[i]);
                run.Feed(faces[i]);
                ++plain[{faces[i], faces[(i + 1) % faces.size()]}];
            }
            closing.Close();
            run.Close();
            totals.Add(run);
            rolls += faces.size();
        }
        // Every pair counted plainly, and no more pairs than rolls: all other cells are 0.
        for (const PairTally* t : {&closing, &totals}) {
            for (const auto& [pair, count] : plain)
                ASSERT_EQ(t->Count(pair.first, pair.second), count)
                    << c.values << " faces, " << pair.first << " then " << pair.second;
            EXPECT_EQ(t->Pairs(), rolls) << c.values << " faces";
        }
    }
}

TEST(GoodSerialTest, RefusesTooFewRollsAndTooManyFaces)
{
    EXPECT_EQ(SerialTestRefusal(6, 180), "");
    EXPECT_EQ(SerialTestRefusal(6, 179), "the pair test needs 180 rolls or more for 6 values (5 per each of the 6 x 6 "
                                         "cells); there are 179");
    EXPECT_EQ(SerialTestRefusal(4097, 1e12),
              "the pair test takes at most 4096 values (4096 x 4096 cells); 4097 values are too many");
    PairTally pairs(2);
    for (int i = 0; i < 19; ++i)
        pairs.Feed(i % 2);
    pairs.Close();
    EXPECT_FALSE(GoodSerialTest(pairs).made);
    EXPECT_THAT(GoodSerialTest(pairs).refusal, testing::HasSubstr("there are 19"));
    EXPECT_FALSE(GoodSerialTest(PairTally(1)).made);
}

// --- verdicts over repeated checks -----------------------------------------------------------------

TEST(AndersonDarling, MatchesPublishedPointsAndSimulation)
{
    // Upper percentage points of the limiting distribution (Stephens 1974, "EDF statistics for
    // goodness of fit and some comparisons", JASA 69, table 1A).
    struct Point {
        double a2, upper;
    };
    for (const Point& t : {Point{1.933, .10}, Point{2.492, .05}, Point{3.070, .025},
                           Point{3.857, .01}})
        EXPECT_NEAR(AndersonDarlingUpper(1000000, t.a2), t.upper, 5e-4) << t.a2;

    // Finite n against uniform samples drawn here.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> uniform(0, 1);
    for (const int n : {3, 8}) {
        int above = 0;
        const int trials = 20000;
        for (int t = 0; t < trials; ++t) {
            std::vector<TwoTails> p(static_cast<size_t>(n));
            for (TwoTails& x : p) {
                const double u = uniform(random);
                x = {u, 1 - u, std::log10(u), std::log10(1 - u)};
            }
            above += AndersonDarlingStatistic(p) > 2.492;
        }
        EXPECT_NEAR(AndersonDarlingUpper(n, 2.492), static_cast<double>(above) / trials, 0.005) << n;
    }

    // The far tail keeps falling, smoothly across the end of the fit at 6, and never below 0.
    EXPECT_NEAR(AndersonDarlingUpper(10, 5.999) / AndersonDarlingUpper(10, 6.001), 1, 3e-3);
    double last = 1;
    for (const double a2 : {4.0, 8.0, 20.0, 100.0, 700.0}) {
        const double upper = AndersonDarlingUpper(10, a2);
        EXPECT_LT(upper, last) << a2;
        EXPECT_GT(upper, 0) << a2;
        last = upper;
    }
    EXPECT_LT(AndersonDarlingUpper(10, 20), 1e-8);
    EXPECT_DOUBLE_EQ(AndersonDarlingCdf(10, 2) + AndersonDarlingUpper(10, 2), 1);
}

TEST(UniformityOf, GivesTheDocumentedBands)
{
    auto tails = [](std::vector<double> upper) {
        std::vector<TwoTails> t;
        for (const double u : upper)
            t.push_back({u, 1 - u, std::log10(u), std::log10(1 - u)});
        return t;
    };
    std::vector<double> even;
    for (int i = 0; i < 20; ++i)
        even.push_back((i + 0.5) / 20);
    struct Case {
        std::vector<double> p;
        Verdict verdict;
    };
    std::vector<double> oneFarOut = even;
    oneFarOut[0] = 1e-9;  // one check in twenty far out: the smallest p-value gives it away
    std::vector<double> crowded(20, 0.03);  // every check mildly uneven
    std::vector<double> low(20);
    for (int i = 0; i < 20; ++i)
        low[static_cast<size_t>(i)] = (i + 0.5) / 20 * 0.4;  // p-values leaning to 0
    for (const Case& c : {Case{even, Verdict::Passed}, Case{oneFarOut, Verdict::Failed}, Case{crowded, Verdict::Failed},
                          Case{low, Verdict::Weak}, Case{{0.5}, Verdict::Passed}}) {
        const Uniformity u = UniformityOf(tails(c.p));
        EXPECT_EQ(VerdictName(u.verdict), std::string(VerdictName(c.verdict))) << u.andersonP << " " << u.extremeP;
        EXPECT_EQ(u.pValue, std::min(u.andersonP, u.extremeP));
    }
    EXPECT_EQ(UniformityOf(tails(crowded), 1e-30).verdict, Verdict::Weak);  // --alpha moves FAILED
}

} // namespace
