// The file stage on real Win32 (run under Wine): ScanFolder over a folder of
// candidates against its bound (list the folder and, for each candidate, open
// it once, read its first 40 KiB and close it), beside the file stage as it
// was before one open per file and beside reading every byte once, each round
// running all four in turn; then, on a generated folder, the same folder with
// infected files, which must all be found; and the process's peak memory.
//
//   file_stage_bench.exe [--files N] [--rounds N] [--folder PATH [--infected]] [--cold]
//   file_stage_bench.exe --generate PATH [--files N]
//
// Without --folder it generates N candidates (2000 by default) of 1 KiB to
// 8 MiB in the temporary folder, with the infected rounds, and removes them at
// the end; with it, it scans that folder as it is (the set --generate wrote,
// a copy of a system folder), and plants and removes infected files there
// only with --infected. --cold drops the page cache before every pass (Linux,
// as root).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_files.h"
#include "bench_util.h"
#include "crc_forge.h"
#include "detection/crc32.h"
#include "detection/file_matcher.h"
#include "detection/folder_walker.h"
#include "detection/signatures.h"
#include "environment/file_facts.h"
#include "environment/folder_listing.h"
#include "environment/protected_names.h"
#include "environment/text.h"
#include "platform/win32.h"
#include "session/shared_state.h"
#include "session/ui.h"

namespace {

using bench::Bytes;
using bench::Candidate;

// ---- The file stage as it was before ------------------------------------------
// Each probe measured the file with _lopen and opened it again for its window,
// and every file that no probe matched was hashed whole, whatever its size.

std::wstring PreviousReadFileHex(const std::wstring& path, int32_t firstOffset, int32_t lastOffset)
{
    if (GetFileLength(path) < lastOffset) return std::wstring();
    return ReadFileHex(path, firstOffset, lastOffset);
}

int PreviousScanFolder(const std::string& folder)
{
    int found = 0;
    const std::wstring wideFolder(folder.begin(), folder.end());
    ForEachFolderEntry(wideFolder, [&](const FolderEntry& entry) {
        const std::wstring& name = entry.name;
        if (name == L"." || name == L".." || !HasScannedExtension(name)) return true;
        const std::wstring lowerName = LCase(name);
        for (size_t i = 1; i < gProtectedNames.size(); ++i) {
            if (LCase(gProtectedNames[i]) == lowerName) return true;
            ui::PumpMessages();
        }
        const std::wstring path = wideFolder + name;
        ui::SetStatus(path);
        bool verdict = false;
        for (const BytePattern& probe : kBytePatterns)
            verdict = (PreviousReadFileHex(path, probe.firstOffset, probe.lastOffset) == probe.pattern) || verdict;
        if (!verdict) {
            int32_t length = GetFileLength(path);
            if (length < 0) length = 0;
            const std::wstring digest = FileCrc32(path, length);
            for (const DigestEntry& entry : kDigestEntries)
                verdict = (digest == entry.digest && length == entry.size) || verdict;
        }
        found += verdict ? 1 : 0;
        return true;
    });
    return found;
}

// ---- Passes -----------------------------------------------------------------

struct Pass {
    const char* name;
    std::vector<double> seconds;
};

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

// Hijacker files the detection lists know, planted among the candidates.
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
        {"search.bak", 40000, 39133, "lightspeedsearch"},
    };
}

// 28160 bytes found by digest and size alone.
void WriteDigestInfected(const std::string& path)
{
    std::vector<uint8_t> bytes(28160);
    bench::FillNoise(reinterpret_cast<char*>(bytes.data()), bytes.size());
    forge::ForceCrc32(bytes, 0x55B8CBF1u);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), 28160, &written, nullptr))
        bench::Fail("cannot write " + path);
    CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv)
{
    int fileCount = 2000, rounds = 5;
    bool cold = false, infectedRounds = false;
    std::string folder, generateInto;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--cold") cold = true;
        else if (option == "--infected") infectedRounds = true;
        else if (option == "--generate" && i + 1 < argc) generateInto = argv[++i];
        else if (option == "--files" && i + 1 < argc) fileCount = std::atoi(argv[++i]);
        else if (option == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
        else if (option == "--folder" && i + 1 < argc) folder = argv[++i];
        else fileCount = -1;
    }
    if (fileCount < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: file_stage_bench [--files N] [--rounds N] [--folder PATH] [--cold]\n");
        return 2;
    }

    if (!generateInto.empty()) {
        if (generateInto.back() != '\\') generateInto += '\\';
        CreateDirectoryA(generateInto.c_str(), nullptr);
        bench::WriteCandidates(generateInto, bench::PlanCandidates(fileCount, "c"));
        std::printf("generated %d files in %s\n", fileCount, generateInto.c_str());
        return 0;
    }
    const bool generated = folder.empty();
    infectedRounds = infectedRounds || generated;
    std::vector<Candidate> candidates;
    if (generated) {
        char temp[MAX_PATH + 1] = {};
        if (GetTempPathA(MAX_PATH, temp) == 0) bench::Fail("no temporary folder");
        folder = std::string(temp) + "grevlin-file-stage-bench\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        candidates = bench::PlanCandidates(fileCount, "c");
        const double start = bench::Now();
        bench::WriteCandidates(folder, candidates);
        std::printf("generated %d files in %.1f s in %s\n", fileCount, bench::Now() - start, folder.c_str());
    } else if (folder.back() != '\\') {
        folder += '\\';
    }
    const std::wstring wideFolder(folder.begin(), folder.end());

    BuildCrcTable();
    LoadProtectedNames();
    ResetSharedState();
    if (cold && !bench::DropPageCache()) {
        std::printf("cold cache: this machine does not let the page cache be dropped; warm only\n");
        cold = false;
    }
    // The file stage's own peak memory, before any pass here reads whole files.
    const PROCESS_MEMORY_COUNTERS before = Memory();
    ScanFolder(wideFolder);
    const PROCESS_MEMORY_COUNTERS afterScan = Memory();
    const Bytes whole = bench::ReadWhole(folder);  // also warms the cache
    std::printf("%s: %llu candidates, %.0f MiB; %s cache, %d rounds\n", folder.c_str(),
                static_cast<unsigned long long>(whole.files), bench::Mib(whole.bytes), cold ? "cold" : "warm",
                rounds);

    Pass scan{"ScanFolder", {}}, bound{"bound: open, read 40 KiB, close", {}},
        previous{"ScanFolder as before", {}}, once{"read every byte once", {}};
    int previousFound = -1;
    for (int round = 0; round < rounds; ++round) {
        auto timed = [&](Pass& pass, auto&& work) {
            if (cold) bench::DropPageCache();
            const double start = bench::Now();
            work();
            pass.seconds.push_back(bench::Now() - start);
        };
        timed(scan, [&] {
            gFilesFound = 0;
            ScanFolder(wideFolder);
        });
        if (gFilesFound != 0) bench::Fail("ScanFolder took a clean file for the hijacker");
        timed(bound, [&] {
            if (bench::ReadHeads(folder).files != whole.files) bench::Fail("the bound saw other files");
        });
        timed(previous, [&] { previousFound = PreviousScanFolder(folder); });
        if (previousFound != 0) bench::Fail("the previous file stage took a clean file for the hijacker");
        timed(once, [&] {
            if (bench::ReadWhole(folder).bytes != whole.bytes) bench::Fail("the whole read saw other bytes");
        });
    }

    std::printf("%-34s %9s %9s %10s\n", "", "median s", "best s", "files/s");
    for (const Pass* pass : {&scan, &bound, &previous, &once})
        std::printf("%-34s %9.3f %9.3f %10.0f\n", pass->name, bench::Median(pass->seconds),
                    bench::Best(pass->seconds), whole.files / bench::Median(pass->seconds));
    const double scanMedian = bench::Median(scan.seconds);
    std::printf("ScanFolder / bound: %.2fx; before / now: %.1fx faster; read every byte once / ScanFolder: %.1fx\n",
                scanMedian / bench::Median(bound.seconds), bench::Median(previous.seconds) / scanMedian,
                bench::Median(once.seconds) / scanMedian);

    if (infectedRounds) {
        // The same folder with hijacker files: each is found and removed.
        const std::vector<Infected> infected = InfectedFiles();
        std::vector<double> infectedScans;
        for (int round = 0; round < rounds; ++round) {
            for (const Infected& f : infected) bench::WriteCandidate(folder + f.name, f.size, f.offset, f.pattern);
            WriteDigestInfected(folder + "digest.dll");
            gFilesFound = 0;
            const double start = bench::Now();
            ScanFolder(wideFolder);
            infectedScans.push_back(bench::Now() - start);
            const int32_t wanted = static_cast<int32_t>(infected.size()) + 1;
            if (gFilesFound != wanted)
                bench::Fail("found " + std::to_string(gFilesFound) + " of " + std::to_string(wanted) +
                            " infected files");
            for (const Infected& f : infected)
                if (GetFileAttributesA((folder + f.name).c_str()) != INVALID_FILE_ATTRIBUTES)
                    bench::Fail(std::string("not removed: ") + f.name);
        }
        std::printf("%-34s %9.3f %9.3f   (all %zu found and removed)\n", "ScanFolder, 6 infected",
                    bench::Median(infectedScans), bench::Best(infectedScans), infected.size() + 1);
    }
    const PROCESS_MEMORY_COUNTERS after = Memory();
    std::printf("peak working set: %.1f MiB before, %.1f MiB after one ScanFolder (largest file %.1f MiB), "
                "%.1f MiB at the end; peak pagefile usage %.1f, %.1f, %.1f MiB\n",
                bench::Mib(before.PeakWorkingSetSize), bench::Mib(afterScan.PeakWorkingSetSize),
                bench::Mib(whole.largest), bench::Mib(after.PeakWorkingSetSize), bench::Mib(before.PeakPagefileUsage),
                bench::Mib(afterScan.PeakPagefileUsage), bench::Mib(after.PeakPagefileUsage));

    if (generated) {
        bench::RemoveCandidates(folder, candidates);
        RemoveDirectoryA(folder.c_str());
    }
    return 0;
}
