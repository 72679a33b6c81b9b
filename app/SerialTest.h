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
//
// Cost: each roll lands on a random one of the V * V cells, and at large V those miss the cache
// (64-bit cells take 8 MiB at 1024 faces). So past kDirectCells cells a run counts into a byte
// per cell (1 MiB at 1024 faces), each wrap past 255 carried into the cell's 64-bit total at
// once and the bytes added in by Close; past kUnlaggedCells a roll is also counted kLag rolls
// late, after a prefetch of its cell, whose line has arrived by then. The counts stay exact.
// bench/stats measures the cost against the face test's.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Statistics.h"

// V * V cells of 8 bytes, and of 1 more byte in a tally that is fed: 144 MiB at 4096 faces.
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
    // Close pairs it with the last roll. The pair is counted kLag rolls later (see the top).
    void Feed(int face)
    {
        unsigned cell = m_row + static_cast<unsigned>(face);
        m_row = static_cast<unsigned>(face) * m_values;
        if (m_way == Way::Direct) {
            ++m_cells[cell];
            return;
        }
        if (m_run.empty()) [[unlikely]]
            StartFeeding();
        if (m_way == Way::Lagged) {
            __builtin_prefetch(&m_run[cell], 1);
            Lagging& slot = m_lagging[m_fed++ % kLag];
            const unsigned due = static_cast<unsigned>(slot);
            slot = static_cast<Lagging>(cell);
            cell = due;
        }
        CountRun(cell);
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

    int Values() const { return static_cast<int>(m_values); }
    // How often face `second` followed face `first` (both 0-based) in the closed runs.
    std::uint64_t Count(int first, int second) const
    {
        return m_cells[static_cast<std::size_t>(first) * m_values + static_cast<std::size_t>(second)];
    }
    // Pairs counted in the closed runs: one per roll.
    std::uint64_t Pairs() const;

private:
    // Rolls between the prefetch of a cell and its count: enough to cover a miss to memory.
    static constexpr unsigned kLag = 32;
    // Up to this many cells (128 KiB, 128 faces) a roll goes straight into its 64-bit cell, in
    // the cache already; the byte counts would only cost.
    static constexpr unsigned kDirectCells = 128 * 128;
    // Up to this many cells (a run's bytes in a quarter of a core's L2 cache, 512 faces) a roll
    // is counted at once: its cell is in the cache already, and the lag would only cost.
    static constexpr unsigned kUnlaggedCells = 512 * 512;
    enum class Way : std::uint8_t { Direct, Bytes, Lagged };

    // The roll loop keeps the members Feed reads in registers only when none of its stores may
    // alias them; so its two arrays take types of their own. A run's count of a cell, modulo
    // 256 (an enum: a byte store may alias anything), and the cell of a roll not counted yet:
    enum class RunCount : std::uint8_t {};
    enum class Lagging : std::uint32_t {};

    void StartFeeding();
    // Counts one roll into this run's count of `cell`, a wrap to 0 into the cell's total.
    void CountRun(unsigned cell)
    {
        const auto count = static_cast<std::uint8_t>(static_cast<std::uint8_t>(m_run[cell]) + 1);
        m_run[cell] = static_cast<RunCount>(count);
        if (count == 0) [[unlikely]]
            m_cells[cell] += 256;
    }

    // V * V cells, then the row of a run's first roll, then a spare cell (m_spare) that the
    // lagging slots name before they hold a roll; its count is thrown away.
    std::vector<std::uint64_t> m_cells;
    // The current run's counts, laid out as m_cells; empty until the first Feed of more than
    // kDirectCells cells, so a tally that only adds up runs never has them.
    std::vector<RunCount> m_run;
    std::array<Lagging, kLag> m_lagging{};  // the cells of the last kLag rolls, when Lagged
    unsigned m_fed = 0;     // rolls fed; wraps harmlessly, 2^32 being a multiple of kLag
    unsigned m_values = 0;
    unsigned m_row = 0;     // offset of the previous roll's row
    unsigned m_spare = 0;
    Way m_way = Way::Direct;
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
