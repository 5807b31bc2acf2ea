// Small pieces every benchmark uses: reproducible noise and medians.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

// xorshift64: the same noise on every run, so every run scans the same files.
inline uint64_t NextRandom()
{
    static uint64_t state = 0x9E3779B97F4A7C15ull;
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// A number in [0, 1) from the noise.
inline double NextUnit() { return static_cast<double>(NextRandom() >> 11) / 9007199254740992.0; }

inline void FillNoise(char* bytes, size_t size)
{
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t r = NextRandom();
        for (size_t b = 0; b < 8 && i + b < size; ++b) bytes[i + b] = static_cast<char>(r >> (8 * b));
    }
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double Best(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

inline double Mib(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace bench
