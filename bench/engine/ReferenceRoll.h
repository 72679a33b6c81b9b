// The reference the engine's figures are measured against: the check's reject-and-count loop as
// plainly as it can be written. `next` gives one 15-bit result (0 .. 32767) per call.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

template <class Next>
std::int64_t ReferenceRun(int values, std::int64_t rolls, Next next)
{
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(values));
    const int limit = 32766 - 32767 % values;
    for (std::int64_t accepted = 0; accepted < rolls;) {
        const int r = next();
        if (r > limit)
            continue;
        ++counts[static_cast<std::size_t>(r % values)];
        ++accepted;
    }
    benchmark::DoNotOptimize(counts.data());
    return counts[0];
}
