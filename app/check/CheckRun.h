// The check without a window: rolls the runs on a RunExecutor, collects each into the totals with
// the window's collect step, and turns the totals into a report.
#pragma once

#include <functional>

#include "RollTally.h"
#include "RunExecutor.h"
#include "check/CheckReport.h"

// Rolls `runs` runs on `executor` and collects them into `totals` with CollectRun, the step of
// the window's timer (the last one as if Stop had been pressed). Logs one line when the check
// starts and one when it ends, none per run. `progress`, when given, is called with the number
// of completed runs after each one. Returns 0 when all runs were collected, 1 when the executor
// was cancelled first (the totals hold the runs completed so far), 2 when the totals' input
// stream ended or failed first (the stream says which), -1 when no worker thread could be
// started.
int RunCheck(RunExecutor& executor, CRollTally& totals, int runs, const std::function<void(int)>& progress = {});

// The report of `totals`: per face the exact count, the texts the window's list shows, the bar
// position the window's bar takes, the z-score and flag; the completed runs, the face test and
// the detectable bias (AddFaceStatistics), and Good's serial test when the totals tally pairs.
CheckReport MakeCheckReport(const CRollTally& totals);
