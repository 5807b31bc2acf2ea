// Some tests work on the machine's own fixed locations: its Windows folder,
// Internet Explorer's and the MIME filters' keys, its autorun keys, its
// processes and services. They run against the simulated machine, and under
// Wine in a prefix made for the tests; on any other machine they would
// change a person's settings and data, so there they skip.
#pragma once

#include <gtest/gtest.h>

namespace testenv {

// True natively (the simulation) and in a Wine prefix that scripts/wine-run
// made; false on Windows itself and in a Wine prefix of a person's own.
bool OnThrowawayMachine();

}  // namespace testenv

#define REQUIRE_THROWAWAY_MACHINE()                                                               \
    if (!testenv::OnThrowawayMachine()) GTEST_SKIP() << "skipped: needs a throwaway Wine prefix"
