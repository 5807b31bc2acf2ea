// The file stage on real Win32 (run under Wine): ScanFolder over a folder of
// generated candidate files, from 1 KiB to 8 MiB, against the time it takes
// to read the same bytes once; then the same folder with a few infected files,
// which must all be found; and the process's peak memory against the largest
// file.
//
//   scripts/wine-run file_stage_bench.exe [files] [rounds]     (2000 and 5 by default)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "detection/crc32.h"
#include "detection/file_matcher.h"
#include "detection/signatures.h"
#include "environment/paths.h"
#include "detection/folder_walker.h"
#include "environment/protected_names.h"
#include "platform/win32.h"
#include "scan/shared_state.h"

namespace {

constexpr uint32_t kSmallest = 1u << 10;
constexpr uint32_t kLargest = 8u << 20;
constexpr size_t kIoChunk = 1u << 20;

const char* const kExtensions[] = {".exe", ".dll", ".dat", ".tmp", ".txt", ".log", ".bak", ".$$$"};

struct Candidate {
    std::string name;
    uint32_t size;
};

// Hijacker files the byte probes know, planted afresh before each infected round.
struct Infected {
    const char* name;
    uint32_t size;
    uint32_t offset;
    std::string pattern;
};

std::vector<Infected> InfectedFiles()
{
    return {
        {"hsa.exe", 65536, 0, "WSUD"},
        {"mfplay.dll", 16384, 7006, "Call (RPC) Help"},
        {"sedll.dat", 4096, 987, std::string("NIWU\0UWIN\f", 10)},
        {"msupdate.tmp", 2u << 20, 0, "WSUD"},
    };
}

uint64_t gRandom = 0x9E3779B97F4A7C15ull;
uint64_t NextRandom()
{
    gRandom ^= gRandom << 13;
    gRandom ^= gRandom >> 7;
    gRandom ^= gRandom << 17;
    return gRandom;
}

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "file_stage_bench: %s (error %lu)\n", what.c_str(),
                 static_cast<unsigned long>(GetLastError()));
    std::exit(1);
}

// Writes `size` bytes of noise (no probe can match it by chance that matters:
// the infected rounds check the exact count), with `pattern` at `offset`.
void WriteCandidate(const std::string& path, uint32_t size, uint32_t offset = 0,
                    const std::string& pattern = std::string())
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create " + path);
    std::vector<char> chunk(64 * 1024);
    uint32_t done = 0;
    while (done < size) {
        const uint32_t piece = std::min<uint32_t>(size - done, static_cast<uint32_t>(chunk.size()));
        for (uint32_t i = 0; i < piece; i += 8) {
            const uint64_t r = NextRandom();
            for (uint32_t b = 0; b < 8 && i + b < piece; ++b) chunk[i + b] = static_cast<char>(r >> (8 * b));
        }
        for (size_t p = 0; p < pattern.size(); ++p) {
            const uint32_t at = offset + static_cast<uint32_t>(p);
            if (at >= done && at < done + piece) chunk[at - done] = pattern[p];
        }
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), piece, &written, nullptr) || written != piece)
            Fail("cannot write " + path);
        done += piece;
    }
    CloseHandle(file);
}

// The bound: every file of the folder read once, front to back, in the
// engine's read size.
uint64_t ReadFolderOnce(const std::string& folder)
{
    std::vector<char> buffer(kIoChunk);
    uint64_t total = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) Fail("cannot list " + folder);
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        HANDLE file = CreateFileA((folder + data.cFileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD got = 0;
        while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0)
            total += got;
        CloseHandle(file);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return total;
}

void RemoveFolder(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + data.cFileName).c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Mib(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv)
{
    const int fileCount = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (fileCount < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: file_stage_bench [files] [rounds]\n");
        return 2;
    }

    char temp[MAX_PATH + 1] = {};
    if (GetTempPathA(MAX_PATH, temp) == 0) Fail("no temporary folder");
    const std::string folder = std::string(temp) + "grevlin-file-stage-bench\\";
    RemoveFolder(folder);
    if (!CreateDirectoryA(folder.c_str(), nullptr)) Fail("cannot create " + folder);

    // Sizes spread evenly on a logarithmic scale, so small files are many and
    // the largest ones still carry most of the bytes; one file has the largest size.
    std::vector<Candidate> candidates;
    uint64_t totalBytes = 0;
    const double span = static_cast<double>(kLargest) / kSmallest;
    for (int i = 0; i < fileCount; ++i) {
        const double unit = static_cast<double>(NextRandom() >> 11) / 9007199254740992.0;
        uint32_t size = i == 0 ? kLargest : static_cast<uint32_t>(kSmallest * std::pow(span, unit));
        size = std::max(kSmallest, std::min(kLargest, size));
        char name[32];
        std::snprintf(name, sizeof(name), "c%05d%s", i, kExtensions[i % 8]);
        candidates.push_back({name, size});
        totalBytes += size;
    }
    const double generateStart = Now();
    for (const Candidate& c : candidates) WriteCandidate(folder + c.name, c.size);
    std::printf("generated %d files, %.0f MiB, in %.1f s, in %s\n", fileCount, Mib(totalBytes),
                Now() - generateStart, folder.c_str());

    BuildCrcTable();
    LoadProtectedNames();
    ResetSharedState();
    const PROCESS_MEMORY_COUNTERS before = Memory();

    // Warm the cache, then alternate the scan and the bound.
    ReadFolderOnce(folder);
    std::vector<double> scans, reads;
    for (int round = 0; round < rounds; ++round) {
        gFilesFound = 0;
        double start = Now();
        ScanFolder(std::wstring(folder.begin(), folder.end()));
        scans.push_back(Now() - start);
        if (gFilesFound != 0) Fail("a clean generated file was taken for the hijacker");

        start = Now();
        const uint64_t read = ReadFolderOnce(folder);
        reads.push_back(Now() - start);
        if (read != totalBytes) Fail("the bound read a different number of bytes");
    }
    const PROCESS_MEMORY_COUNTERS afterClean = Memory();

    // Where the scan's time goes: the probes alone, the digest alone.
    std::vector<double> probes, digests;
    for (int round = 0; round < rounds; ++round) {
        double start = Now();
        for (const Candidate& c : candidates) {
            const std::wstring path(folder.begin(), folder.end());
            for (const BytePattern& probe : kBytePatterns)
                ReadFileHex(path + std::wstring(c.name.begin(), c.name.end()), probe.firstOffset,
                            probe.lastOffset);
        }
        probes.push_back(Now() - start);
        start = Now();
        for (const Candidate& c : candidates) {
            const std::wstring path = std::wstring(folder.begin(), folder.end()) +
                                      std::wstring(c.name.begin(), c.name.end());
            FileCrc32(path, GetFileLength(path));
        }
        digests.push_back(Now() - start);
    }

    // The same folder with the infected files: every one is found and removed.
    const std::vector<Infected> infected = InfectedFiles();
    std::vector<double> infectedScans;
    for (int round = 0; round < rounds; ++round) {
        for (const Infected& f : infected) WriteCandidate(folder + f.name, f.size, f.offset, f.pattern);
        gFilesFound = 0;
        const double start = Now();
        ScanFolder(std::wstring(folder.begin(), folder.end()));
        infectedScans.push_back(Now() - start);
        if (gFilesFound != static_cast<int32_t>(infected.size()))
            Fail("found " + std::to_string(gFilesFound) + " of " + std::to_string(infected.size()) +
                 " infected files");
        for (const Infected& f : infected)
            if (GetFileAttributesA((folder + f.name).c_str()) != INVALID_FILE_ATTRIBUTES)
                Fail(std::string("not removed: ") + f.name);
    }
    const PROCESS_MEMORY_COUNTERS after = Memory();

    const double scan = Median(scans), read = Median(reads);
    std::printf("%-34s %9s %9s %10s %9s\n", "", "median s", "best s", "files/s", "MiB/s");
    std::printf("%-34s %9.3f %9.3f %10.0f %9.0f\n", "ScanFolder, clean", scan,
                *std::min_element(scans.begin(), scans.end()), fileCount / scan, Mib(totalBytes) / scan);
    std::printf("%-34s %9.3f %9.3f %10.0f %9.0f\n", "read every byte once (the bound)", read,
                *std::min_element(reads.begin(), reads.end()), fileCount / read, Mib(totalBytes) / read);
    std::printf("%-34s %9.3f %9.3f %10.0f\n", "  of which: the four probes", Median(probes),
                *std::min_element(probes.begin(), probes.end()), fileCount / Median(probes));
    std::printf("%-34s %9.3f %9.3f %10.0f %9.0f\n", "  of which: length and digest", Median(digests),
                *std::min_element(digests.begin(), digests.end()), fileCount / Median(digests),
                Mib(totalBytes) / Median(digests));
    std::printf("%-34s %9.3f %9.3f %10.0f\n", "ScanFolder, 4 infected (removed)", Median(infectedScans),
                *std::min_element(infectedScans.begin(), infectedScans.end()),
                (fileCount + infected.size()) / Median(infectedScans));
    std::printf("scan / bound: %.2fx (median of %d rounds)\n", scan / read, rounds);
    std::printf("peak working set: %.1f MiB before the scans, %.1f MiB after the clean scans, "
                "%.1f MiB at the end; largest file %.1f MiB\n",
                Mib(before.PeakWorkingSetSize), Mib(afterClean.PeakWorkingSetSize),
                Mib(after.PeakWorkingSetSize), Mib(kLargest));
    std::printf("peak pagefile usage: %.1f MiB before, %.1f MiB at the end\n",
                Mib(before.PeakPagefileUsage), Mib(after.PeakPagefileUsage));

    RemoveFolder(folder);
    return 0;
}
