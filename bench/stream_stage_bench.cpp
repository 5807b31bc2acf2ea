// The stream stage on the simulated Windows: one file in the Windows folder
// carrying 1,000 named streams of mixed sizes (16 bytes to 1 MiB, spread
// evenly on a logarithmic scale, a few of them exactly at a listed digest
// size), walked by ScanFolderStreams. It prints the time per round and the
// Win32 calls the matcher makes per stream (opens, length queries, reads),
// then plants a few infected streams, which must all be removed.
//
//   stream_stage_bench [streams] [rounds]     (1000 and 5 by default)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_util.h"
#include "detection/crc32.h"
#include "platform/sim/machine.h"
#include "session/shared_state.h"
#include "streams/stream_enum.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kHost[] = "C:\\WINDOWS\\desktop.ini";

std::string Noise(size_t size)
{
    std::string bytes(size, '\0');
    bench::FillNoise(&bytes[0], size);
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    const int streamCount = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (streamCount < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: stream_stage_bench [streams] [rounds]\n");
        return 2;
    }

    sim::Reset();
    BuildCrcTable();
    sim::AddFile(kHost, "[.ShellClassInfo]\r\n");
    // Sizes the stream digest entries list: streams of these sizes are hashed.
    const size_t listed[] = {28160, 66560, 66048, 68608, 11264, 17408, 197761};
    uint64_t totalBytes = 0;
    int listedCount = 0;
    for (int i = 0; i < streamCount; ++i) {
        const double unit = bench::NextUnit();
        size_t size = static_cast<size_t>(16.0 * std::pow(65536.0, unit));
        if (i % 50 == 0) {
            size = listed[(i / 50) % (sizeof listed / sizeof listed[0])];
            ++listedCount;
        }
        sim::AddStream(kHost, "s" + std::to_string(i), Noise(size));
        totalBytes += size;
    }
    std::printf("%d named streams, %.1f MiB, %d of them at a listed digest size\n", streamCount,
                bench::Mib(totalBytes), listedCount);

    std::map<std::string, long> calls;
    sim::SetCallHook([&](const char* function) { ++calls[function]; });
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        ResetSharedState();
        const auto start = Clock::now();
        ScanFolderStreams(L"C:\\WINDOWS\\");
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (gStreamsFound != 0) {
            std::fprintf(stderr, "stream_stage_bench: a clean stream was taken for the hijacker\n");
            return 1;
        }
    }
    sim::SetCallHook(nullptr);

    const double perRound = static_cast<double>(streamCount) * rounds;
    std::printf("ScanFolderStreams, clean: median %.3f s, best %.3f s (%d rounds), %.1f us a stream\n",
                bench::Median(times), bench::Best(times), rounds,
                bench::Median(times) * 1e6 / streamCount);
    std::printf("per stream: %.2f opens (CreateFileA), %.2f length queries (_lopen), %.2f reads (ReadFile)\n",
                calls["CreateFileA"] / perRound, calls["_lopen"] / perRound, calls["ReadFile"] / perRound);

    // Infected streams among the clean ones: each is found and deleted.
    std::string wsud = Noise(5000);
    wsud.replace(0, 4, "WSUD");
    sim::AddStream(kHost, "infected-probe", wsud);
    std::string rpc = Noise(9000);
    rpc.replace(7006, 15, "Call (RPC) Help");
    sim::AddStream(kHost, "infected-rpc", rpc);
    ResetSharedState();
    ScanFolderStreams(L"C:\\WINDOWS\\");
    const std::vector<std::string> left = sim::StreamNames(kHost);
    const bool removed = std::none_of(left.begin(), left.end(), [](const std::string& name) {
        return name.compare(0, 8, "infected") == 0;
    });
    if (gStreamsFound != 2 || !removed || static_cast<int>(left.size()) != streamCount) {
        std::fprintf(stderr, "stream_stage_bench: found %d of 2 infected streams\n", gStreamsFound);
        return 1;
    }
    std::printf("with 2 infected streams: both removed, %d clean streams kept\n", streamCount);
    return 0;
}
