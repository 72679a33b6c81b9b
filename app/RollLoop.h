// The roll, reject and tally loop of the check engine, apart from any generator, so the engine
// runs it with each generator inlined and tests can drive it with a scripted one.
#pragma once

#include <cstdint>

// Rolls until `rolls` results in 0 .. 32767 from `next` have been accepted, counting face
// r % values + 1 in slots[r % values] (a 64-bit count per slot). Results above
// 32766 - 32767 % values are rejected, so every face has the same number of accepted results.
// `reseed` is called before attempt number rolls/2 (counting from 0) and then before every
// (rolls/10 + 1)-th attempt after that, rejected attempts included.
// Needs 1 <= values <= 32767 and `values` slots.
template <class Next, class Reseed>
void RollLoop(void** slots, int values, int rolls, Next&& next, Reseed&& reseed)
{
    const int limit = 32766 - 32767 % values;
    int countdown = rolls / 2;
    for (int accepted = 0; accepted < rolls;) {
        if (countdown > 0) {
            --countdown;
        } else {
            reseed();
            countdown = rolls / 10;
        }
        int r = next();
        if (r > limit)
            continue;
        void*& slot = slots[r % values];
        slot = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(slot) + 1);
        ++accepted;
    }
}
