// What the check makes of a stream of 15-bit generator results, worked out independently of the
// engine: runs of `perRun` accepted rolls on a die of `values` faces, where a result from the
// largest multiple of `values` up is rejected.
//
//   const qdx::test::StreamRuns expected(results);   // six faces, runs of 6000 rolls
//   EXPECT_EQ(expected.runs, 3);
#pragma once

#include <cstddef>
#include <vector>

namespace qdx::test {

struct StreamRuns {
    std::vector<long long> counts;  // per face, over the whole runs
    int runs = 0;                   // whole runs
    int leftOver = 0;               // results after the last whole run

    explicit StreamRuns(const std::vector<int>& results, int values = 6, int perRun = 6000)
        : counts(static_cast<std::size_t>(values))
    {
        const int accepted = 32767 - 32767 % values;
        std::vector<long long> run(static_cast<std::size_t>(values));
        int rolls = 0;
        for (const int r : results) {
            ++leftOver;
            if (r >= accepted)
                continue;
            ++run[static_cast<std::size_t>(r % values)];
            if (++rolls == perRun) {
                for (std::size_t f = 0; f < run.size(); ++f)
                    counts[f] += run[f];
                run.assign(run.size(), 0);
                rolls = leftOver = 0;
                ++runs;
            }
        }
    }
};

} // namespace qdx::test
