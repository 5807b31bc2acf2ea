// What the CRC-32 costs a scan. Only a file of a size the digest list names
// is hashed, so the most a scan can ask is one file of every listed size: the
// bench hashes a buffer of each, with the engine's table update, with zlib's
// crc32 and, as the bound, copies the same bytes with memcpy. It stops with an
// error when any digest differs from zlib's.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "detection/crc32.h"
#include "detection/signatures.h"

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
    std::vector<size_t> sizes;
    for (const DigestEntry& entry : kDigestEntries)
        if (std::find(sizes.begin(), sizes.end(), size_t(entry.size)) == sizes.end())
            sizes.push_back(static_cast<size_t>(entry.size));
    size_t total = 0;
    for (size_t size : sizes) total += size;

    std::mt19937 random(2006);
    std::vector<uint8_t> data(total), copy(total);
    for (auto& b : data) b = static_cast<uint8_t>(random());

    std::vector<uint32_t> engine(sizes.size()), reference(sizes.size());
    const double tEngine = BestSeconds(50, [&] {
        size_t at = 0;
        for (size_t i = 0; i < sizes.size(); at += sizes[i++]) {
            uint32_t crc = 0xFFFFFFFFu;
            CrcUpdate(crc, data.data() + at, sizes[i]);
            engine[i] = crc ^ 0xFFFFFFFFu;
        }
    });
    const double tZlib = BestSeconds(50, [&] {
        size_t at = 0;
        for (size_t i = 0; i < sizes.size(); at += sizes[i++])
            reference[i] = static_cast<uint32_t>(crc32(0L, data.data() + at, static_cast<uInt>(sizes[i])));
    });
    const double tCopy = BestSeconds(50, [&] {
        std::memcpy(copy.data(), data.data(), total);
        gSink = copy[total / 2];
    });
    if (engine != reference) {
        std::fprintf(stderr, "a digest differs from zlib's\n");
        return 1;
    }
    std::printf("one file of each of the %zu listed sizes, %zu bytes in all (best of 50):\n",
                sizes.size(), total);
    std::printf("  table update   %8.3f ms\n  zlib crc32     %8.3f ms\n  memcpy         %8.3f ms\n",
                tEngine * 1e3, tZlib * 1e3, tCopy * 1e3);
    return 0;
}
