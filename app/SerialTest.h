// The serial test of consecutive rolls: how often each face follows each other face.
//
// The pair tally is a second tally fed the same accepted rolls as the counts of the faces, in
// the same order, one call per accepted roll. It is opt-in: a roll loop without it pays nothing.
//
//   PairTally pairs(values);            // V * V cells; V at most kMaxPairValues
//   ... in the roll loop, after a roll is accepted as face f (0-based):
//   pairs.Feed(f);
//   ... after the run's last roll:
//   pairs.Close();                      // the last roll is followed by the first
//   totals.Add(pairs);                  // a totals tally adds up closed runs
//   const SerialTest s = GoodSerialTest(totals);
//
// A PairTally belongs to one thread at a time, like a run's counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Statistics.h"

// V * V cells of 8 bytes: 128 MiB at 4096 faces.
constexpr int kMaxPairValues = 4096;
// The serial test needs rolls for an expected count of at least this in each of its V * V cells.
constexpr double kMinPairExpected = 5;

class PairTally {
public:
    // A tally of `values` faces (1 .. kMaxPairValues), all cells 0; 0 faces: an empty tally.
    explicit PairTally(int values = 0) { Reset(values); }

    // Back to all cells 0 for `values` faces, with no roll fed yet.
    void Reset(int values);

    // Counts the pair (previous face, `face`) for a 0-based face below Values(). The first roll
    // of a run has no previous one: it goes to a row of its own, past the V * V cells, and
    // Close pairs it with the last roll. No branch, one increment and one multiply per roll.
    void Feed(int face)
    {
        ++m_cells[static_cast<unsigned>(m_row + face)];
        m_row = face * m_values;
    }

    // Ends a run: the last roll fed is followed by the first one, as on a circle, so that every
    // roll starts exactly one pair and ends exactly one. Then ready for the next run. Does
    // nothing when no roll was fed.
    void Close();

    // Adds the cells of `run`, a closed tally of the same number of faces, into this one.
    void Add(const PairTally& run);
    // Takes the cells of `earlier`, a copy of this tally made before some runs were added, out
    // again: what is left are the pairs of those runs.
    void Subtract(const PairTally& earlier);

    int Values() const { return m_values; }
    // How often face `second` followed face `first` (both 0-based) in the closed runs.
    std::uint64_t Count(int first, int second) const
    {
        return m_cells[static_cast<size_t>(first) * static_cast<size_t>(m_values) + static_cast<size_t>(second)];
    }
    // Pairs counted in the closed runs: one per roll.
    std::uint64_t Pairs() const;

private:
    std::vector<std::uint64_t> m_cells;  // V * V cells, then the row of a run's first roll
    int m_values = 0;
    int m_row = 0;  // offset of the previous roll's row (int: never an alias of a cell)
};

// Why the serial test cannot be made for `rolls` rolls of a V-faced die, or empty when it can:
// V above kMaxPairValues, or fewer rolls than kMinPairExpected per cell.
std::string SerialTestRefusal(int values, double rolls);

struct SerialTest {
    bool made = false;
    std::string refusal;            // why it was not made
    double pairStatistic = 0;       // Pearson's chi-square of the V * V pair counts
    double faceStatistic = 0;       // the same of the V face counts
    double statistic = 0;           // Good's statistic: pair statistic less face statistic
    double degreesOfFreedom = 0;    // V * V - V
    TwoTails p;
};

// Good's serial test (Good 1953, "The serial test for sampling numbers and other tests for
// randomness", Proc. Cambridge Philos. Soc. 49; Knuth, TAOCP vol. 2, 3.3.2): with the pairs
// counted around a circle, the chi-square of the V * V pair counts less the chi-square of the
// V face counts is chi-square with V * V - V degrees of freedom for a fair sequence, while the
// pair statistic alone is not. Both tails: a large statistic means some face follows another
// too often, a small one that the pairs are more even than chance allows. Refused (made false,
// refusal set) as SerialTestRefusal says, or for fewer than two faces.
SerialTest GoodSerialTest(const PairTally& pairs);
