// The steps of the check that the window and rolvek-check share: collecting a finished run into
// the totals, and a row's bar.
//
//   CTxt status;
//   if (CollectRun(run, totals, resetRequest, stopped, status))
//       LogTrace("RunTally", 1, "%s", static_cast<const char*>(status));  // "Completed Runs: 3 - ..."
//
//   int position;
//   CTxt caption;
//   if (GetBarCell(totals, row, position, caption))
//       list.SetBar(row, position, caption);                  // 0 .. 1000, "-12.34"
#pragma once

#include "RollTally.h"

#include <qdx/Txt.h>

// One collect step of the window's timer. When `run` has finished (state 2): a pending reset
// (`resetRequest` 1) is cleared together with the totals and the run is dropped; otherwise the
// run is added to the totals (state 3). Unless `stopped`, the run is then reset for the next
// start. `status` gets "Completed Runs: %d - Running ..." (or "... - Stopped") with the totals'
// run count. Returns true when a run was collected, false (nothing touched) when the run has
// not finished.
bool CollectRun(CRollTally& run, CRollTally& totals, int& resetRequest, bool stopped, CTxt& status);

// The bar of value row `row` in the result list, from the totals: its position 0 .. 1000
// (500 is the mean, 0 and 1000 the largest deviation below and above) and its caption, the
// deviation in hundredths of a percent as "%.2f". The scale 500 / (100 * m_fMaxDev) is computed
// in double and rounded to single precision; the position x * scale + 500 in single precision,
// truncated. Returns false (outputs untouched) until the totals hold a deviation for every face
// and the largest is above 0: the bar then keeps what it shows.
bool GetBarCell(const CRollTally& totals, int row, int& position, CTxt& caption);
