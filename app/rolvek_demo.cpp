// rolvek-demo: runs the check engine a few times and prints the totals.
//
//   rolvek-demo [runs]      runs: 1 .. 1000, default 3
//
// Uses the settings file beside the program (RollValues, RollsPerRun, Generator).
#include "RollTally.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    int runs = 3;
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [runs]\n", argv[0]);
        return 2;
    }
    if (argc == 2) {
        char* end = nullptr;
        long n = std::strtol(argv[1], &end, 10);
        if (!*argv[1] || *end || n < 1 || n > 1000) {
            std::fprintf(stderr, "%s: runs must be a number from 1 to 1000, not '%s'\n", argv[0], argv[1]);
            return 2;
        }
        runs = static_cast<int>(n);
    }

    CRollTally totals;
    CRollTally run;
    std::printf("Rolvek engine: %d runs of %d rolls over %d values, generator %s\n", runs, run.m_nRolls,
                run.m_nValues, RollGeneratorName(run.m_nGenerator));
    for (int i = 0; i < runs; ++i) {
        if (run.Start() != 0) {
            std::fprintf(stderr, "%s: could not start a run\n", argv[0]);
            return 1;
        }
        while (run.m_nState != 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        totals.AddRun(run);
        run.Reset();
    }

    std::printf("Completed Runs: %d\n\n%7s %14s %12s\n", totals.m_nRuns, "Value", "Count", "Deviation %");
    for (int i = 0; i < totals.m_nValues; ++i)
        std::printf("%7d %14lld %+12.4f\n", i + 1, static_cast<long long>(totals.GetCount(i)), totals.GetDev(i));
    std::printf("\nLargest deviation: %.4f %%\n", totals.m_fMaxDev);
    return 0;
}
