#include "bench_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bench_util.h"
#include "detection/folder_walker.h"

namespace bench {
namespace {

constexpr uint32_t kSmallest = 1u << 10;
constexpr uint32_t kLargest = 8u << 20;
constexpr DWORD kHeadBytes = 40u << 10;
constexpr DWORD kWholeChunk = 1u << 20;
const char* const kExtensions[] = {".exe", ".dll", ".dat", ".tmp", ".txt", ".log", ".bak", ".$$$"};

// Reads every entry the walker would hand on: its first `chunk` bytes in one
// read when `wholeFiles` is false, else all of it.
Bytes ReadCandidates(const std::string& folder, DWORD chunk, bool wholeFiles)
{
    std::vector<char> buffer(chunk);
    Bytes read;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) Fail("cannot list " + folder);
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == ".." || !HasScannedExtension(std::wstring(name.begin(), name.end())))
            continue;
        HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        ++read.files;
        uint64_t fromThis = 0;
        DWORD got = 0;
        while (ReadFile(file, buffer.data(), chunk, &got, nullptr) && got > 0) {
            fromThis += got;
            if (!wholeFiles) break;
        }
        read.bytes += fromThis;
        read.largest = std::max(read.largest, fromThis);
        CloseHandle(file);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return read;
}

}  // namespace

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

void Fail(const std::string& what)
{
    std::fprintf(stderr, "bench: %s (error %lu)\n", what.c_str(), static_cast<unsigned long>(GetLastError()));
    std::exit(1);
}

std::vector<Candidate> PlanCandidates(int count, const std::string& prefix)
{
    std::vector<Candidate> candidates;
    const double span = static_cast<double>(kLargest) / kSmallest;
    for (int i = 0; i < count; ++i) {
        uint32_t size = i == 0 ? kLargest : static_cast<uint32_t>(kSmallest * std::pow(span, NextUnit()));
        size = std::max(kSmallest, std::min(kLargest, size));
        char name[64];
        std::snprintf(name, sizeof(name), "%s%05d%s", prefix.c_str(), i, kExtensions[i % 8]);
        candidates.push_back({name, size});
    }
    return candidates;
}

void WriteCandidate(const std::string& path, uint32_t size, uint32_t offset, const std::string& pattern)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create " + path);
    std::vector<char> chunk(64 * 1024);
    uint32_t done = 0;
    while (done < size) {
        const uint32_t piece = std::min<uint32_t>(size - done, static_cast<uint32_t>(chunk.size()));
        FillNoise(chunk.data(), piece);
        for (size_t p = 0; p < pattern.size(); ++p) {
            const uint32_t at = offset + static_cast<uint32_t>(p);
            if (at >= done && at < done + piece) chunk[at - done] = pattern[p];
        }
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), piece, &written, nullptr) || written != piece)
            Fail("cannot write " + path);
        done += piece;
    }
    // On disk, so that a dropped page cache really sends the next read there.
    FlushFileBuffers(file);
    CloseHandle(file);
}

void WriteCandidates(const std::string& folder, const std::vector<Candidate>& candidates)
{
    for (const Candidate& c : candidates) WriteCandidate(folder + c.name, c.size);
}

void RemoveCandidates(const std::string& folder, const std::vector<Candidate>& candidates)
{
    for (const Candidate& c : candidates) DeleteFileA((folder + c.name).c_str());
}

Bytes ReadHeads(const std::string& folder) { return ReadCandidates(folder, kHeadBytes, false); }

Bytes ReadWhole(const std::string& folder) { return ReadCandidates(folder, kWholeChunk, true); }

bool DropPageCache()
{
    // Only Linux itself can drop its page cache: Wine starts Unix programs,
    // though without a handle to wait on, so the shell leaves a marker file
    // when it is done.
    const std::string marker = "/tmp/grevlin-bench-dropped-" + std::to_string(GetCurrentProcessId());
    std::string winMarker = "Z:" + marker;
    for (char& c : winMarker)
        if (c == '/') c = '\\';
    std::string command = "/bin/sh -c \"sync && echo 3 > /proc/sys/vm/drop_caches && touch " + marker + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA("Z:\\bin\\sh", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return false;
    if (started.hProcess) CloseHandle(started.hProcess);
    if (started.hThread) CloseHandle(started.hThread);
    for (int waited = 0; waited < 60000; waited += 10) {
        if (GetFileAttributesA(winMarker.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteFileA(winMarker.c_str());
            return true;
        }
        Sleep(10);
    }
    return false;
}

}  // namespace bench
