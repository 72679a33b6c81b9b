#include "check/CheckRun.h"

#include "CheckSteps.h"
#include "RollStream.h"

#include <qdx/Log.h>
#include <qdx/Txt.h>

int RunCheck(RunExecutor& executor, CRollTally& totals, int runs, const std::function<void(int)>& progress)
{
    if (totals.m_pInput)
        LogTrace("RunTally", 1, "Check started: runs of %d rolls (%d values) from %s", totals.m_nRolls,
                 totals.m_nValues, totals.m_pInput->Name().c_str());
    else
        LogTrace("RunTally", 1, "Check started: %d runs of %d rolls (%d values), generator %s", runs, totals.m_nRolls,
                 totals.m_nValues, RollGeneratorName(totals.m_nGenerator));
    CTxt status;
    int resetRequest = 0;
    const int done = executor.Run(runs, [&](CRollTally& run) {
        CollectRun(run, totals, resetRequest, totals.m_nRuns + 1 >= runs, status);
        if (progress)
            progress(totals.m_nRuns);
    });
    if (done < 0) {
        LogTrace("RunTally", 1, "Check failed: no run could be started");
        return -1;
    }
    if (done < runs && !executor.Cancelled() && totals.m_pInput) {
        const RollStream& in = *totals.m_pInput;
        LogTrace("RunTally", 1, "Check ended: Completed Runs: %d - Stopped, %s", totals.m_nRuns,
                 in.Error().empty() ? "the input has ended" : in.Error().c_str());
        return 2;
    }
    if (done < runs) {
        LogTrace("RunTally", 1, "Check interrupted: Completed Runs: %d", totals.m_nRuns);
        return 1;
    }
    LogTrace("RunTally", 1, "Check ended: %s", static_cast<const char*>(status));
    return 0;
}

CheckReport MakeCheckReport(const CRollTally& totals)
{
    CheckReport report;
    report.generator = RollGeneratorName(totals.m_nGenerator);
    report.values = totals.m_nValues;
    report.rollsPerRun = totals.m_nRolls;
    report.runs = totals.m_nRuns;
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
        GetBarCell(totals, i, face.barPosition, text);  // the middle while no deviation is known
        report.faces.push_back(face);
    }
    AddFaceStatistics(report);
    if (totals.m_pPairs)
        report.pairs = MakePairsOutcome(GoodSerialTest(*totals.m_pPairs));
    return report;
}
