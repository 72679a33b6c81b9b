// What the check engine keeps for itself and its tests.
#pragma once

#include "RollTally.h"

#include <thread>

// Creates the worker thread of CRollTally::Start; throws std::system_error when it cannot.
// Tests replace it to see how Start handles a failure.
using RollWorkerFactory = std::thread (*)(CRollTally* tally);
extern RollWorkerFactory g_rollWorkerFactory;
