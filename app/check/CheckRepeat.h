// rolvek-check --repeat K: the runs of K checks are collected into one set of totals in run
// order; this cuts them into the K checks again and keeps the tails of each check's tests.
//
//   CheckRepeat repeat(runsPerCheck, options.testFaces, options.testPairs);
//   RunCheck(executor, totals, k * runsPerCheck, [&](int) { repeat.AfterRun(totals); });
//   report.verdicts = repeat.Verdicts(alpha);
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "RollTally.h"
#include "check/CheckReport.h"

class CheckRepeat {
public:
    CheckRepeat(int runsPerCheck, bool faces, bool pairs);

    // Called after each run collected into `totals`: when the totals hold one check more, that
    // check's counts (and pairs) are the difference to the totals at the end of the check before.
    void AfterRun(const CRollTally& totals);

    // Checks completed so far.
    int Checks() const { return m_checks; }
    // The verdict per test over the completed checks ("faces", then "pairs").
    std::vector<RepeatVerdict> Verdicts(double alpha) const;

private:
    int m_runsPerCheck;
    bool m_faces, m_pairs;
    int m_checks = 0;
    std::vector<std::int64_t> m_counts;  // the totals' counts at the end of the last check
    std::unique_ptr<PairTally> m_pairCounts;
    std::vector<TwoTails> m_faceTails, m_pairTails;
};
