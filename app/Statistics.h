// The check's statistics: how far each face is off, both tails of the chi-square, the smallest
// bias a check could have seen, and a verdict over repeated checks. The serial test of
// consecutive rolls is in SerialTest.h.
//
//   std::vector<std::int64_t> counts = ...;          // one count per face
//   const ChiSquareTest chi = ChiSquareOfFaces(counts);
//   chi.p.upper, chi.p.lower                          // "too uneven", "too even"
//   const std::vector<double> z = FaceZScores(counts);
//   const double band = FlagBand(counts.size());      // |z| > band: the face is flagged
//   DetectableBias(counts.size(), rolls)              // 0.0021: 0.21 % too frequent is caught
//
// Everything here is a pure function of its arguments, safe to call from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A face is flagged when its z-score lies outside the band that a fair die leaves with this
// chance over all its faces together.
constexpr double kFlagFamilywise = 1e-3;
// DetectableBias and RollsForBias: the chance with which the bias is to be caught.
constexpr double kDetectPower = 0.99;
// Default of --alpha: a tail p-value below it fails the check.
constexpr double kDefaultAlpha = 1e-6;
// Verdicts over repeated checks: a verdict p-value below this is WEAK (below alpha FAILED).
constexpr double kWeakBelow = 0.005;
// Below this a p-value is printed as "< 1e-300"; its base-10 logarithm is still exact.
constexpr double kSmallestShownP = 1e-300;

// The p-values of a statistic in both tails. Each tail is also kept as its base-10 logarithm,
// computed apart where the p-value is below 1e-300, so that a p-value too small for a double is
// still known (log10 is -infinity only for a p-value that is exactly 0).
struct TwoTails {
    double upper = 1;       // chance of a statistic at least this large: "too uneven"
    double lower = 1;       // chance of a statistic at most this large: "too even"
    double log10Upper = 0;
    double log10Lower = 0;

    // The smaller tail's p-value and its logarithm.
    double Smaller() const { return upper < lower ? upper : lower; }
    double Log10Smaller() const { return log10Upper < log10Lower ? log10Upper : log10Lower; }
};

// Both tails of the chi-square distribution with `degreesOfFreedom` at `statistic`; the lower
// tail is taken at `lowerAt` (see ChiSquareOfFaces). With no degree of freedom both tails are 1.
TwoTails ChiSquareTails(double statistic, double degreesOfFreedom, double lowerAt);
inline TwoTails ChiSquareTails(double statistic, double degreesOfFreedom)
{
    return ChiSquareTails(statistic, degreesOfFreedom, statistic);
}

struct ChiSquareTest {
    double statistic = 0;
    double degreesOfFreedom = 0;  // faces - 1; 0 when there is nothing to test
    TwoTails p;
};

// Pearson's chi-square of the counts against equal chances, V - 1 degrees of freedom, both
// tails. The statistic moves in steps of 2V/N (N the rolls), so a fair die gives exactly even
// counts far more often than the continuous distribution says; the lower tail is therefore
// taken half a step higher, at statistic + V/N. With fewer than two faces or nothing rolled
// there is nothing to test: statistic 0, both tails 1.
ChiSquareTest ChiSquareOfFaces(std::span<const std::int64_t> counts);

// The z-score of each face: (count - N/V) / sqrt(N (1/V) (1 - 1/V)), its distance from the
// fair expectation in standard deviations of its binomial count. All 0 with fewer than two
// faces or nothing rolled.
std::vector<double> FaceZScores(std::span<const std::int64_t> counts);

// The flag band of a V-faced die: a fair die shows any face with |z| beyond it with chance
// `familywise` over all V faces together. Each face is tested two-sided at
// 1 - (1 - familywise)^(1/V) (Sidak 1967, "Rectangular confidence regions for the means of
// multivariate normal distributions", JASA 62), on the normal approximation of its count.
// Infinite for fewer than two faces (nothing is ever flagged).
double FlagBand(int values, double familywise = kFlagFamilywise);

// The smallest relative bias b of one face (its chance (1 + b)/V instead of 1/V, the others
// sharing the rest) that the flag band catches with chance `power` after `rolls` rolls: that
// face's count, binomial, lies above the band. 0.0021 means a face 0.21 % too frequent.
// Infinite when no bias of a face can reach that chance (too few rolls, fewer than two faces).
double DetectableBias(int values, double rolls, double power = kDetectPower);

// The fewest rolls at which DetectableBias(values, rolls, power) is at most `bias`: how long a
// check must be to catch a face that much too frequent. Infinite when bias <= 0, bias >= V - 1
// or fewer than two faces.
double RollsForBias(int values, double bias, double power = kDetectPower);

// --- a verdict over repeated checks ---------------------------------------------------------------

enum class Verdict { Passed, Weak, Failed };
const char* VerdictName(Verdict verdict);  // "PASSED", "WEAK", "FAILED"

// Anderson and Darling's A^2 of p-values against the uniform distribution on 0..1 (Anderson
// and Darling 1954, "A test of goodness of fit", JASA 49). Each p is given by both its tails:
// ln p = log10Upper ln 10 and ln (1 - p) = log10Lower ln 10, so p-values at 0 or 1 to within a
// double still count for what they are.
double AndersonDarlingStatistic(std::span<const TwoTails> pValues);
// The chance that n uniform p-values give A^2 below `a2` (Marsaglia and Marsaglia 2004,
// "Evaluating the Anderson-Darling distribution", Journal of Statistical Software 9(2)).
double AndersonDarlingCdf(int n, double a2);
// 1 - AndersonDarlingCdf, without losing the digits of a small upper tail.
double AndersonDarlingUpper(int n, double a2);

struct Uniformity {
    int checks = 0;
    double statistic = 0;   // A^2 of the checks' upper-tail p-values
    double andersonP = 1;   // its upper tail: the p-values are not uniform
    double extremeP = 1;    // chance that the most extreme of the checks is as extreme
    double pValue = 1;      // the smaller of the two: the verdict's p-value
    Verdict verdict = Verdict::Passed;
};

// The verdict over K checks, each given by the two tails of its statistic. Two ways a
// generator fails: its p-values are not spread evenly over 0..1 (Anderson-Darling of the upper
// tails, which sees a pile near 0, "too uneven", just as one near 1, "too even"), or one check
// is far out: with q the smallest two-sided p-value 2 min(upper, lower) of the K, a share
// 1 - (1 - q)^K of fair repeats has one as extreme. The verdict's p-value is the smaller of the
// two: FAILED below `alpha`, WEAK below kWeakBelow, else PASSED. A fair generator is FAILED in
// at most 2 alpha and WEAK in at most 1 % of verdicts.
Uniformity UniformityOf(std::span<const TwoTails> checks, double alpha = kDefaultAlpha);

// --- texts ----------------------------------------------------------------------------------------

// A p-value for people: "%.4g" ("0.6818", "1e-40"), or "< 1e-300" below kSmallestShownP.
std::string PValueText(double p);

// The window's status-line tooltip for the totals' counts, two lines:
//   "Chi-square p-value of the totals: 0.6818 too uneven, 0.3182 too even"
//   "Flagged faces (|z| above 3.76): 2, 5"            ("none"; at most 20 listed)
// Before anything is rolled, or with one face, a line saying there is nothing to test.
std::string StatisticsTip(std::span<const std::int64_t> counts);
