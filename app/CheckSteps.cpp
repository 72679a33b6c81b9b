#include "CheckSteps.h"

bool CollectRun(CRollTally& run, CRollTally& totals, int& resetRequest, bool stopped, CTxt& status)
{
    if (run.m_nState != 2)
        return false;
    if (resetRequest == 1) {
        resetRequest = 0;
        totals.Reset();
    } else {
        totals.AddRun(run);
    }
    if (!stopped) {
        run.Reset();
        status.Format("Completed Runs: %d - Running ...", totals.m_nRuns);
    } else {
        status.Format("Completed Runs: %d - Stopped", totals.m_nRuns);
    }
    return true;
}

bool GetBarCell(const CRollTally& totals, int row, int& position, CTxt& caption)
{
    if (!(totals.m_fMaxDev > 0.0f) || totals.m_Devs.GetSize() != totals.m_nValues || row < 0 ||
        row >= totals.m_nValues)
        return false;
    const float scale = static_cast<float>(500.0 / (100.0 * totals.m_fMaxDev));
    const float x = totals.GetDev(row) * 100.0f;
    const float at = x * scale + 500.0f;
    position = static_cast<int>(at);
    caption.Format("%.2f", x);
    return true;
}
