// CRC-32 throughput of the engine (the update it chooses, and its table-only
// update for processors without carry-less multiplication) beside zlib's
// crc32 and beside memcpy of the same buffer (the memory bound), over buffers
// from 1 MiB to 64 MiB.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "detection/crc32.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestSeconds(int rounds, F&& work)
{
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

volatile uint32_t gSink;

}  // namespace

int main()
{
    BuildCrcTable();
    std::printf("update chosen: %s\n",
                CrcMethodAvailable(CrcMethod::Folded) ? "carry-less fold" : "sliced tables");
    std::printf("%-8s %12s %12s %12s %12s %10s %10s\n", "size", "engine MB/s", "sliced MB/s",
                "zlib MB/s", "memcpy MB/s", "vs zlib", "vs memcpy");
    std::mt19937 random(2006);
    for (size_t mib : {1, 4, 16, 64}) {
        size_t size = mib << 20;
        std::vector<uint8_t> data(size), copy(size);
        for (auto& b : data) b = static_cast<uint8_t>(random());
        int rounds = mib >= 16 ? 5 : 20;

        uint32_t engine = 0, sliced = 0, reference = 0;
        double tEngine = BestSeconds(rounds, [&] {
            uint32_t crc = 0xFFFFFFFFu;
            CrcUpdate(crc, data.data(), size);
            engine = crc ^ 0xFFFFFFFFu;
        });
        double tSliced = BestSeconds(rounds, [&] {
            uint32_t crc = 0xFFFFFFFFu;
            CrcUpdateWith(CrcMethod::Sliced, crc, data.data(), size);
            sliced = crc ^ 0xFFFFFFFFu;
        });
        double tZlib = BestSeconds(rounds, [&] {
            reference = static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(size)));
        });
        double tCopy = BestSeconds(rounds, [&] {
            std::memcpy(copy.data(), data.data(), size);
            gSink = copy[size / 2];
        });
        if (engine != reference || sliced != reference) {
            std::fprintf(stderr, "digest differs from zlib at %zu MiB: %08X, %08X vs %08X\n", mib,
                         engine, sliced, reference);
            return 1;
        }
        double mb = static_cast<double>(size) / 1e6;
        std::printf("%5zu MiB %12.0f %12.0f %12.0f %12.0f %9.2fx %9.2fx\n", mib, mb / tEngine,
                    mb / tSliced, mb / tZlib, mb / tCopy, tZlib / tEngine, tCopy / tEngine);
    }
    return 0;
}
