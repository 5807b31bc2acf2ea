// The temporary-folder cleaning on the simulated machine (native build): a
// temporary folder of small files, none held open, on a machine running a
// few dozen ordinary programs, emptied by CleanTempFolder. The pauses are
// counted on the simulation's virtual clock, which is what a user would
// wait; the wall time is only the simulation's own cost.
//
//   build/native/bench/temp_clean_bench [files] [rounds]     (5000 and 5 by default)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "environment/paths.h"
#include "environment/temp_folder.h"
#include "platform/sim/machine.h"
#include "platform/win32.h"
#include "session/shared_state.h"

namespace {

constexpr int kOrdinaryPrograms = 40;

struct Round {
    double virtualSeconds;
    size_t pauses;
    size_t left;
    double wallSeconds;
};

Round CleanOnce(int files)
{
    sim::Reset();
    ResetSharedState();
    for (int i = 0; i < kOrdinaryPrograms; ++i)
        sim::AddProcess("C:\\Program Files\\App" + std::to_string(i) + "\\app" +
                        std::to_string(i) + ".exe");
    const std::string temp = platform::ToAnsi(GetTempDir());
    char name[32];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof(name), "~DF%05d.tmp", i);
        sim::AddFile(temp + name, std::string(512 + i % 1024, 'x'));
    }

    const uint64_t before = sim::NowMs();
    const auto start = std::chrono::steady_clock::now();
    CleanTempFolder();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

    Round round;
    round.virtualSeconds = static_cast<double>(sim::NowMs() - before) / 1000.0;
    round.pauses = sim::Sleeps().size();
    round.left = sim::ListFolder(temp).size();
    round.wallSeconds = wall.count();
    return round;
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (files <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: temp_clean_bench [files] [rounds]\n");
        return 2;
    }

    std::vector<Round> results;
    for (int i = 0; i < rounds; ++i) results.push_back(CleanOnce(files));
    std::sort(results.begin(), results.end(),
              [](const Round& a, const Round& b) { return a.wallSeconds < b.wallSeconds; });
    const Round& median = results[results.size() / 2];

    std::printf("temporary folder: %d files of 512 to 1535 bytes, none held open; %d other programs running\n",
                files, kOrdinaryPrograms);
    std::printf("virtual clock (pauses a user waits): %.1f s in %zu pauses\n", median.virtualSeconds,
                median.pauses);
    std::printf("wall time of the simulation: median %.3f s of %d rounds (best %.3f s)\n",
                median.wallSeconds, rounds, results.front().wallSeconds);
    std::printf("files left in the folder: %zu\n", median.left);
    return median.left == 0 ? 0 : 1;
}
