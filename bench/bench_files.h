// Files for the benchmarks on real Win32: generated candidate folders, the
// bounds the file stage is measured against, the page cache and the clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace bench {

double Now();  // seconds, from the performance counter
[[noreturn]] void Fail(const std::string& what);

struct Candidate {
    std::string name;
    uint32_t size;
};

// `count` candidate names (all eight extensions) with sizes from 1 KiB to
// 8 MiB spread evenly on a logarithmic scale; the first has the largest size.
std::vector<Candidate> PlanCandidates(int count, const std::string& prefix);
// Writes `size` bytes of noise, with `pattern` at `offset`, and flushes them to disk.
void WriteCandidate(const std::string& path, uint32_t size, uint32_t offset = 0,
                    const std::string& pattern = std::string());
void WriteCandidates(const std::string& folder, const std::vector<Candidate>& candidates);
void RemoveCandidates(const std::string& folder, const std::vector<Candidate>& candidates);

struct Bytes {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t largest = 0;  // the most read from one file
};
// The file stage's bound: list the folder and, for each entry the walker hands
// on, open it once, read its first 40 KiB and close it.
Bytes ReadHeads(const std::string& folder);
// Every byte of those files read once, front to back, in 1 MiB reads.
Bytes ReadWhole(const std::string& folder);

// Drops the page cache (under Wine on Linux, as root), so that the next pass
// reads from the disk. False when the machine does not allow it.
bool DropPageCache();

}  // namespace bench
