// The roll, reject and tally loop of the check engine, apart from any generator, so the engine
// runs it with each generator inlined and tests can drive it with a scripted one.
#pragma once

#include <atomic>
#include <cstdint>

// r % values for the results of a roll, without a division: Lemire's "fastmod" (Lemire, Kaser
// and Kurz, "Faster remainder by direct computation", 2019), exact for every 32-bit r and every
// divisor from 1 up (for 1, m wraps to 0 and every remainder is 0). A division costs more than
// the rest of a roll; two multiplications do not.
class FaceOf {
public:
    explicit FaceOf(int values)
        : m_m(UINT64_MAX / static_cast<std::uint32_t>(values) + 1), m_values(static_cast<std::uint32_t>(values))
    {
    }
    std::uint32_t operator()(std::uint32_t r) const
    {
        return static_cast<std::uint32_t>((static_cast<unsigned __int128>(m_m * r) * m_values) >> 64);
    }

private:
    std::uint64_t m_m;
    std::uint32_t m_values;
};

// Attempts between two looks at the stop flag: a stopped run ends within this many calls of
// `next`, and the look costs one branch per few thousand rolls.
constexpr int kRollStopCheckAttempts = 4096;

// Rolls until `rolls` results in 0 .. 32767 from `next` have been accepted, counting face
// r % values + 1 in slots[r % values] (a 64-bit count per slot). Results above
// 32766 - 32767 % values are rejected, so every face has the same number of accepted results.
// `reseed` is called before attempt number rolls/2 (counting from 0) and then before every
// (rolls/10 + 1)-th attempt after that, rejected attempts included.
// When `stop` (may be null) becomes true the loop returns false within kRollStopCheckAttempts
// attempts, leaving the counts partial; true when all rolls were made.
// Needs 1 <= values <= 32767 and `values` slots.
template <class Next, class Reseed>
bool RollLoop(void** slots, int values, int rolls, Next&& next, Reseed&& reseed,
              const std::atomic<bool>* stop = nullptr)
{
    const int limit = 32766 - 32767 % values;
    const FaceOf faceOf(values);
    int untilReseed = rolls / 2;  // plain attempts before the next reseed
    int plain = 0;                // plain attempts left before the next look at stop or reseed
    for (int accepted = 0; accepted < rolls;) {
        if (plain > 0) {
            --plain;
        } else {
            if (stop && stop->load(std::memory_order_relaxed))
                return false;
            if (untilReseed == 0) {
                reseed();
                untilReseed = rolls / 10;
            } else {
                plain = untilReseed < kRollStopCheckAttempts ? untilReseed : kRollStopCheckAttempts;
                untilReseed -= plain;
                --plain;  // this attempt is the first of them
            }
        }
        int r = next();
        if (r > limit)
            continue;
        void*& slot = slots[faceOf(static_cast<std::uint32_t>(r))];
        slot = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(slot) + 1);
        ++accepted;
    }
    return true;
}
