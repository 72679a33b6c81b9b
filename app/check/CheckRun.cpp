#include "check/CheckRun.h"

#include <qdx/Log.h>
#include <qdx/Txt.h>

#include <chrono>
#include <thread>

namespace {

// Start can only fail when the system refuses a thread; the window retries at every tick.
constexpr int kStartTries = 10;
constexpr auto kStartRetryPause = std::chrono::milliseconds(100);

// The window's bar position for a deviation: 500 is no deviation, 0 and 1000 the largest one
// below and above the mean. While no deviation is known the bar stays in the middle.
int BarPosition(const CRollTally& totals, int row)
{
    if (!(totals.m_fMaxDev > 0.0f) || totals.m_Devs.GetSize() != totals.m_nValues)
        return 500;
    const float x = totals.GetDev(row) * 100.0f;
    const float scale = 500.0f / (100.0f * totals.m_fMaxDev);
    const float position = x * scale + 500.0f;
    return static_cast<int>(position);
}

} // namespace

int RunCheck(CRollTally& run, CRollTally& totals, int runs, const std::function<void(int)>& progress)
{
    int failedStarts = 0;
    while (totals.m_nRuns < runs) {
        if (run.m_nState == 0 && run.Start() < 0) {  // "Start failed" is logged by Start
            if (++failedStarts >= kStartTries)
                return -1;
            std::this_thread::sleep_for(kStartRetryPause);
            continue;
        }
        failedStarts = 0;
        // In place of the window's next tick: the worker ends right after it has set state 2.
        if (run.m_hThread.joinable())
            run.m_hThread.join();
        if (run.m_nState != 2)
            continue;
        totals.AddRun(run);
        if (totals.m_nRuns < runs) {
            run.Reset();
            LogTrace("RunTally", 1, "Completed Runs: %d - Running ...", totals.m_nRuns);
        } else {
            LogTrace("RunTally", 1, "Completed Runs: %d - Stopped", totals.m_nRuns);
        }
        if (progress)
            progress(totals.m_nRuns);
    }
    return 0;
}

CheckReport MakeCheckReport(const CRollTally& totals)
{
    CheckReport report;
    report.generator = RollGeneratorName(totals.m_nGenerator);
    report.values = totals.m_nValues;
    report.rollsPerRun = totals.m_nRolls;
    report.runs = totals.m_nRuns;
    std::vector<std::int64_t> counts;
    CTxt text;
    for (int i = 0; i < totals.m_nValues && i < totals.m_Counts.GetSize(); ++i) {
        CheckFace face;
        face.value = i + 1;
        face.count = totals.GetCount(i);
        totals.GetCountText(i, text);
        face.countText = text;
        totals.GetDeviationText(i, -1, text);
        face.less = text;
        totals.GetDeviationText(i, 1, text);
        face.more = text;
        face.barPosition = BarPosition(totals, i);
        report.faces.push_back(face);
        counts.push_back(face.count);
    }
    const ChiSquare chi = ChiSquareOfCounts(counts);
    report.chiSquare = chi.statistic;
    report.degreesOfFreedom = chi.degreesOfFreedom;
    report.pValue = chi.pValue;
    return report;
}
