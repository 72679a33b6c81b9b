#include "Statistics.h"

#include <boost/math/distributions/binomial.hpp>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLn10 = 2.302585092994045684;

// ln Q(a, x), the regularized upper incomplete gamma function, from Legendre's continued
// fraction (Abramowitz and Stegun 1964, 6.5.31) evaluated by the modified Lentz method
// (Thompson and Barnett 1986, "Coulomb and Bessel functions of complex arguments and order",
// J. Comput. Phys. 64). Used where Q is below what a double holds, so x lies well above a.
double LogUpperGamma(double a, double x)
{
    constexpr double tiny = 1e-300;
    double b = x + 1 - a;
    double c = 1 / tiny;
    double d = 1 / b;
    double h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1) < 1e-16)
            break;
    }
    return -x + a * std::log(x) - boost::math::lgamma(a) + std::log(h);
}

// ln P(a, x), the regularized lower incomplete gamma function, from its power series
// (Abramowitz and Stegun 1964, 6.5.29): P = x^a e^-x / Gamma(a) * sum x^n / (a (a+1) ... (a+n)).
// Used where P is below what a double holds, so x lies well below a and the series is short.
double LogLowerGamma(double a, double x)
{
    if (x <= 0)
        return -kInfinity;
    double term = 1 / a;
    double sum = term;
    for (int n = 1; n < 100000; ++n) {
        term *= x / (a + n);
        sum += term;
        if (term < sum * 1e-17)
            break;
    }
    return -x + a * std::log(x) - boost::math::lgamma(a) + std::log(sum);
}

// A tail p-value and its base-10 logarithm: Boost's value where it is at least 1e-300, else
// the logarithm computed apart (and the p-value from it, 0 once it leaves the doubles).
void SetTail(double p, double (*logTail)(double, double), double a, double x, double& value, double& log10)
{
    if (p >= kSmallestShownP) {
        value = p;
        log10 = std::log10(p);
        return;
    }
    log10 = logTail(a, x) / kLn10;
    value = std::pow(10.0, log10);
}

double NormalUpperQuantile(double tail)
{
    return boost::math::quantile(boost::math::complement(boost::math::normal(), tail));
}

// The chance that the flag band catches one face of chance (1 + bias)/V after `rolls` rolls:
// its binomial count lies above N/V + band * sqrt(N (1/V) (1 - 1/V)).
double CatchChance(int values, double rolls, double bias, double band)
{
    const double p0 = 1.0 / values;
    const double threshold = std::floor(rolls * p0 + band * std::sqrt(rolls * p0 * (1 - p0)));
    const double p1 = std::min(1.0, (1 + bias) * p0);
    if (threshold >= rolls)
        return 0;
    if (p1 >= 1)
        return 1;
    return boost::math::cdf(boost::math::complement(boost::math::binomial(rolls, p1), threshold));
}

} // namespace

TwoTails ChiSquareTails(double statistic, double degreesOfFreedom, double lowerAt)
{
    TwoTails t;
    if (!(degreesOfFreedom > 0))
        return t;
    const double a = degreesOfFreedom / 2;
    const double upperAt = std::max(statistic, 0.0) / 2;
    const double lowerAtHalf = std::max(lowerAt, 0.0) / 2;
    SetTail(boost::math::gamma_q(a, upperAt), LogUpperGamma, a, upperAt, t.upper, t.log10Upper);
    SetTail(boost::math::gamma_p(a, lowerAtHalf), LogLowerGamma, a, lowerAtHalf, t.lower, t.log10Lower);
    return t;
}

ChiSquareTest ChiSquareOfFaces(std::span<const std::int64_t> counts)
{
    ChiSquareTest test;
    double total = 0;
    for (const std::int64_t c : counts)
        total += static_cast<double>(c);
    if (counts.size() < 2 || total <= 0)
        return test;
    const double values = static_cast<double>(counts.size());
    const double expected = total / values;
    for (const std::int64_t c : counts) {
        const double d = static_cast<double>(c) - expected;
        test.statistic += d * d / expected;
    }
    test.degreesOfFreedom = values - 1;
    test.p = ChiSquareTails(test.statistic, test.degreesOfFreedom, test.statistic + values / total);
    return test;
}

std::vector<double> FaceZScores(std::span<const std::int64_t> counts)
{
    std::vector<double> z(counts.size(), 0.0);
    double total = 0;
    for (const std::int64_t c : counts)
        total += static_cast<double>(c);
    if (counts.size() < 2 || total <= 0)
        return z;
    const double p = 1.0 / static_cast<double>(counts.size());
    const double mean = total * p;
    const double sd = std::sqrt(total * p * (1 - p));
    for (size_t i = 0; i < counts.size(); ++i)
        z[i] = (static_cast<double>(counts[i]) - mean) / sd;
    return z;
}

double FlagBand(int values, double familywise)
{
    if (values < 2)
        return kInfinity;
    // 1 - (1 - familywise)^(1/V), without losing the digits of a small familywise.
    const double perFace = -std::expm1(std::log1p(-familywise) / values);
    return NormalUpperQuantile(perFace / 2);
}

double DetectableBias(int values, double rolls, double power)
{
    if (values < 2 || !(rolls > 0))
        return kInfinity;
    const double band = FlagBand(values);
    double low = 0, high = values - 1.0;  // at V - 1 the face comes up every time
    if (CatchChance(values, rolls, high, band) < power)
        return kInfinity;
    for (int i = 0; i < 200 && high - low > 1e-9 * high; ++i) {
        const double mid = (low + high) / 2;
        (CatchChance(values, rolls, mid, band) >= power ? high : low) = mid;
    }
    return high;
}

double RollsForBias(int values, double bias, double power)
{
    if (values < 2 || !(bias > 0) || bias >= values - 1)
        return kInfinity;
    const double band = FlagBand(values);
    // The normal approximation, (band + z_power)^2 (V - 1) / bias^2, brackets the answer.
    const double zPower = NormalUpperQuantile(1 - power);
    const double guess = (band + zPower) * (band + zPower) * (values - 1) / (bias * bias);
    double low = std::max(1.0, guess / 8), high = guess * 8 + 100;
    if (CatchChance(values, low, bias, band) >= power)
        low = 1;
    for (int i = 0; i < 200 && high - low > 1; ++i) {
        const double mid = std::floor((low + high) / 2);
        (CatchChance(values, mid, bias, band) >= power ? high : low) = mid;
    }
    return high;
}

// --- a verdict over repeated checks ---------------------------------------------------------------

const char* VerdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Weak:
        return "WEAK";
    case Verdict::Failed:
        return "FAILED";
    case Verdict::Passed:
        break;
    }
    return "PASSED";
}

double AndersonDarlingStatistic(std::span<const TwoTails> pValues)
{
    const size_t n = pValues.size();
    if (n == 0)
        return 0;
    // Sorted by the upper tail, ln p and ln (1 - p) each from the tail that holds it exactly.
    std::vector<std::pair<double, double>> logs;  // (ln p, ln (1 - p))
    logs.reserve(n);
    for (const TwoTails& t : pValues)
        logs.emplace_back(t.log10Upper * kLn10, t.log10Lower * kLn10);
    std::sort(logs.begin(), logs.end());
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += (2.0 * static_cast<double>(i) + 1) * (logs[i].first + logs[n - 1 - i].second);
    return -static_cast<double>(n) - sum / static_cast<double>(n);
}

namespace {

// The limiting distribution of A^2 as n grows, by the fit of Marsaglia and Marsaglia (2004),
// which holds to within 2e-6 up to z = 6. Beyond z = 6 the fit turns away; there the tail
// follows the largest term of the limit's expansion A^2 = sum Y_j / (j (j + 1)), Y_j
// independent chi-square with one degree of freedom (Anderson and Darling 1952, "Asymptotic
// theory of certain goodness of fit criteria", Ann. Math. Stat. 23): the upper tail falls as
// e^-z / sqrt(z), joined to the fit at z = 6.
constexpr double kFitEnd = 6;

double LimitExponent(double z)
{
    return 1.0776 - (2.30695 - (.43424 - (.082433 - (.008056 - .0003146 * z) * z) * z) * z) * z;
}

// 1 - the limit's distribution function, without cancellation for large z.
double LimitUpper(double z)
{
    if (z <= 0)
        return 1;
    if (z < 2)
        return 1 - std::exp(-1.2337141 / z) / std::sqrt(z) *
                       (2.00012 + (.247105 - (.0649821 - (.0347962 - (.011672 - .00168691 * z) * z) * z) * z) * z);
    if (z <= kFitEnd)
        return -std::expm1(-std::exp(LimitExponent(z)));
    return -std::expm1(-std::exp(LimitExponent(kFitEnd))) * std::sqrt(kFitEnd / z) * std::exp(kFitEnd - z);
}

// The correction for n p-values (Marsaglia and Marsaglia 2004, "errfix"), a function of the
// limit's distribution function x = 1 - u. Above x = 0.8 their polynomial P(x) / n, with its
// coefficients rounded to seven digits, leaves P(1) / n = -6e-4 / n at x = 1, which would keep
// every upper tail above 6e-4 / n; that residue is taken out linearly over 0.8 .. 1, and the
// polynomial is evaluated in u, so that the correction shrinks with u however small u is.
double FiniteCorrection(int n, double u)
{
    const double x = 1 - u;
    if (x > .8) {
        static constexpr double c[] = {-130.2137, 745.2337, -1705.091, 1950.646, -1116.360, 255.7844};
        double p1 = 0;
        for (const double ck : c)
            p1 += ck;
        // P(1 - u) - P(1) = -u sum_k c_k sum_{m<k} (1 - u)^m
        double inner = 0, power = 1, partial = 0;
        for (int k = 1; k < 6; ++k) {
            partial += power;  // sum_{m<k} (1 - u)^m
            power *= x;
            inner += c[k] * partial;
        }
        return u * (-inner + p1 / .2) / n;
    }
    const double c = .01265 + .1757 / n;
    if (x < c) {
        double t = x / c;
        t = std::sqrt(t) * (1. - t) * (49 * t - 102);
        return t * (.0037 / (n * n) + .00078 / n + .00006) / n;
    }
    const double y = (x - c) / (.8 - c);
    return (-.00022633 + (6.54034 - (14.6538 - (14.458 - (8.259 - 1.91864 * y) * y) * y) * y) * y) *
           (.04213 / n + .01365 / (n * n));
}

} // namespace

double AndersonDarlingUpper(int n, double a2)
{
    n = std::max(n, 1);
    const double u = LimitUpper(a2);
    return std::clamp(u - FiniteCorrection(n, u), 0.0, 1.0);
}

double AndersonDarlingCdf(int n, double a2)
{
    return 1 - AndersonDarlingUpper(n, a2);
}

Uniformity UniformityOf(std::span<const TwoTails> checks, double alpha)
{
    Uniformity u;
    u.checks = static_cast<int>(checks.size());
    if (checks.empty())
        return u;
    u.statistic = AndersonDarlingStatistic(checks);
    u.andersonP = AndersonDarlingUpper(u.checks, u.statistic);
    double q = 1;
    for (const TwoTails& t : checks)
        q = std::min(q, 2 * t.Smaller());
    u.extremeP = -std::expm1(u.checks * std::log1p(-std::min(q, 1.0)));
    u.pValue = std::min(u.andersonP, u.extremeP);
    u.verdict = u.pValue < alpha ? Verdict::Failed : u.pValue < kWeakBelow ? Verdict::Weak : Verdict::Passed;
    return u;
}

std::string PValueText(double p)
{
    if (p < kSmallestShownP)
        return "< 1e-300";
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", p);
    return text;
}

std::string StatisticsTip(std::span<const std::int64_t> counts)
{
    const ChiSquareTest chi = ChiSquareOfFaces(counts);
    if (!(chi.degreesOfFreedom > 0))
        return counts.size() < 2 ? "Nothing to test with one value" : "Nothing rolled yet";
    const int values = static_cast<int>(counts.size());
    const double band = FlagBand(values);
    char line[160];
    std::snprintf(line, sizeof line, "Chi-square p-value of the totals: %s too uneven, %s too even\nFlagged faces (|z| above %.2f): ",
                  PValueText(chi.p.upper).c_str(), PValueText(chi.p.lower).c_str(), band);
    std::string tip = line;
    int flagged = 0;
    const std::vector<double> z = FaceZScores(counts);
    for (int i = 0; i < values; ++i) {
        if (!(std::fabs(z[static_cast<size_t>(i)]) > band))
            continue;
        if (++flagged <= 20)
            tip += (flagged > 1 ? ", " : "") + std::to_string(i + 1);
    }
    if (flagged > 20)
        tip += ", ... (" + std::to_string(flagged) + " in all)";
    return flagged ? tip : tip + "none";
}
