// The check without a window: drives the engine with the sequence of the window's timer and
// turns the totals into a report.
#pragma once

#include <functional>

#include "RollTally.h"
#include "check/CheckReport.h"

// Runs the check until `runs` runs have been added to `totals`, with the steps of the window's
// timer: start `run` when it is idle, add it to the totals once finished, make it idle again and
// report "Completed Runs: %d - Running ..." through LogTrace ("... - Stopped" after the last).
// Instead of waiting for the next tick it waits for the run's worker to end. `progress`, when
// given, is called with the number of completed runs after each one.
// Returns 0, or -1 when no worker thread could be started (after a few tries).
int RunCheck(CRollTally& run, CRollTally& totals, int runs, const std::function<void(int)>& progress = {});

// The report of `totals`: per face the exact count, the texts the window's list shows and the
// bar position the window's bar takes; the completed runs and the chi-square test of the counts.
CheckReport MakeCheckReport(const CRollTally& totals);
