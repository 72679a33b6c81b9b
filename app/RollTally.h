// The check engine: rolls a die with RollValues faces on a worker thread, counts how often each
// face came up and turns the counts into percent deviations from the mean.
//
// One class serves twice: as the current run, whose worker does the rolling, and as the totals,
// into which every finished run is added.
//
//   CRollTally totals, run;
//   run.Start();                          // state 0 -> 1: the worker rolls
//   ... once run.m_nState == 2:
//   totals.AddRun(run);                   // run -> state 3; totals.m_Counts grow
//   run.Reset();                          // joins the finished worker; state 0 again
//
// States of a run (m_nState): 0 idle, 1 rolling (the worker owns the arrays), 2 finished (counts
// and deviations complete, worker done), 3 added to the totals. The totals object stays in state
// 0. The state is the only signal between the threads: read a run's arrays only in state 2 or 3.
//
// The settings come from one RunSettings record (RunSettings.h).
#pragma once

#include "RunSettings.h"
#include "SerialTest.h"

#include <qdx/SPtrArray.h>
#include <qdx/Txt.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <memory>
#include <thread>

// The window's seed from the high-resolution clock: the clock's nanosecond count modulo 1000000,
// passed to srand and returned; a run seeds its own generator with it.
unsigned SeedRandom();

class CRollTally {
public:
    // Reads the run settings from `iniFile` (null: the program's settings file) with
    // ReadRunSettings; each value it cannot use as written is logged once per process under
    // "TallyRun" (and so reaches the window's status line). Both arrays start empty, state 0.
    explicit CRollTally(const char* iniFile = nullptr);
    // From a record read before: nothing is read.
    explicit CRollTally(const RunSettings& settings);
    // Waits for a worker that is still rolling, then joins it.
    ~CRollTally();
    CRollTally(const CRollTally&) = delete;
    CRollTally& operator=(const CRollTally&) = delete;

    // Starts the worker thread. Returns 1 (doing nothing) when the state is above 0, 0 when the
    // worker runs, -1 when no thread could be created (reported as "Start failed"; state 0).
    int Start();

    // The worker: sets state 1, rolls m_nRolls accepted rolls into m_Counts, computes the
    // deviations, records its thread in m_hDoneThread and sets state 2. A run stopped by Cancel
    // or by the end of its input stream drops its counts and goes back to state 0. Returns 0.
    // Start runs it on a new thread; it may also be called directly.
    static int RollThread(CRollTally* tally);

    // Asks a rolling worker to stop: it ends within kRollStopCheckAttempts rolls, drops its
    // partial counts and leaves the run idle (state 0, no counts). Until Reset the run stops
    // again as soon as it starts. Only stores an atomic flag: safe from a signal handler.
    void Cancel() { m_bStop.store(true, std::memory_order_relaxed); }

    // Recomputes m_Devs and m_fMaxDev from m_Counts. Without a full set of counts m_Devs stays
    // empty and m_fMaxDev 0.
    void CalcDeviations();

    // Back to an idle, empty object: state 0, no runs, no counts or deviations, the finished
    // worker joined, a Cancel forgotten. A worker that is still rolling is waited for first.
    // m_nValues, m_nRolls and the generator stay, and so does the arrays' storage for the next run.
    void Reset();

    // Adds a finished run into these totals face by face, counts the run and recomputes the
    // deviations; the run goes to state 3. Returns 0, or -1 (nothing changed) when the run's
    // worker is still rolling.
    int AddRun(CRollTally& run);

    // Text of the count of face `row` + 1 for the result list: "%d", or from one million on
    // "%.5f Mill" of the count times 1e-6 in single precision (1234567 -> "1.23457 Mill").
    // Empty for a row outside the counts. Returns the length of `out`.
    int GetCountText(int row, CTxt& out) const;

    // Text of the deviation of face `row` + 1 in hundredths of a percent, "%.2f" of the percent
    // deviation times 100 in single precision (0.1234 % -> "12.34"). Written for the "Less"
    // column (sign -1) only when negative, for the "More" column (sign +1) only when not negative,
    // so an exact 0 shows as "0.00" under "More"; any other sign always writes. Empty for a row
    // outside the deviations. Returns the length of `out`.
    int GetDeviationText(int row, int sign, CTxt& out) const;

    // Count of face `i` + 1, as kept in m_Counts.
    std::int64_t GetCount(int i) const { return m_Counts.GetAtInt64(i); }
    // Percent deviation of face `i` + 1 from the mean, as kept in m_Devs.
    float GetDev(int i) const { return m_Devs.GetAtFloat(i); }

    int m_nValues;   // faces of the die, 1 .. 32767
    int m_nRolls;    // accepted rolls per run: m_nValues x max(RollsPerRun, 1000)
    int m_nRuns;     // runs added so far (totals)
    float m_fMaxDev; // largest absolute deviation in m_Devs; 0 when none
    // One slot per face (index 0 is face 1): its count as a 64-bit integer (AddInt64 and
    // GetAtInt64), so totals never wrap however long the check runs.
    SPtrArray m_Counts;
    // One slot per face: its percent deviation from the mean as a float (AddFloat, GetAtFloat).
    SPtrArray m_Devs;
    std::atomic<int> m_nState;
    // The finished worker's thread id, set by the worker just before state 2; cleared by Reset.
    std::thread::id m_hDoneThread;
    // The worker as created by Start; joined and cleared by Reset.
    std::thread m_hThread;
    RollGenerator m_nGenerator;
    std::atomic<bool> m_bStop; // set by Cancel, cleared by Reset
    // With a seed (rolvek-check), this run's seeds are RunSeeds(seed, m_nRunIndex); without one
    // every seed and reseed comes from SeedRandom, as in the window.
    std::optional<std::uint64_t> m_seed;
    std::uint64_t m_nRunIndex = 0;  // which run of the check this is; set by RunExecutor
    // Rolls take the stream's values instead of the generator's (not owned): the run ends
    // incomplete, and is dropped like a stopped one, when the input ends first.
    RollStream* m_pInput;
    // With RunSettings::pairs: the pairs of consecutive rolls, fed by the worker beside m_Counts
    // (a run's own, closed at its end) and added up by AddRun (the totals'); emptied by Reset.
    std::unique_ptr<PairTally> m_pPairs;
};
