// Virtual time for the simulated machine's tests (include from *_sim.cpp only).
// Messages are pumped at most once every 10 ms by GetTickCount, and the
// simulated clock stands still unless something sleeps: a test that expects
// a pump at every entry of a loop lets time pass at each entry.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sim/machine.h"

namespace simclock {

// Every call of `function` lets `ms` of virtual time pass (it takes the
// simulation's one call hook).
inline void EachCallTakes(const std::string& function, uint64_t ms)
{
    sim::SetCallHook([function, ms](const char* called) {
        if (function == called) sim::AdvanceMs(ms);
    });
}

}  // namespace simclock
