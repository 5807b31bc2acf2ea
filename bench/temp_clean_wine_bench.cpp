// The temporary-folder cleaning on real Win32 (run under Wine with
// scripts/wine-run): a folder below the temporary folder filled with small
// files, none held open, emptied by CleanFolder, timed on the wall clock,
// beside the least any cleaning must do: list the folder, clear each file's
// attributes and delete it. Both run on the same files in the same rounds.
//
//   temp_clean_wine_bench.exe [files] [rounds]     (5000 and 5 by default)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "environment/temp_folder.h"
#include "platform/win32.h"
#include "session/shared_state.h"

namespace {

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int CountFiles(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        count += (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return count;
}

void Fill(const std::string& folder, int files)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string bytes(1535, 'x');
    char name[32];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof(name), "~DF%05d.tmp", i);
        HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(512 + i % 1024), &written, nullptr);
        CloseHandle(file);
    }
}

// The bound: one listing, one attribute change and one deletion per file.
void PlainLoop(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string path = folder + entry.cFileName;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (files <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: temp_clean_wine_bench [files] [rounds]\n");
        return 2;
    }
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "grevlin-clean-bench\\";

    std::vector<double> cleaning, plain;
    int left = 0;
    for (int round = 0; round < rounds; ++round) {
        Fill(folder, files);
        double start = Seconds();
        PlainLoop(folder);
        plain.push_back(Seconds() - start);
        left = std::max(left, CountFiles(folder));

        Fill(folder, files);
        ResetSharedState();
        start = Seconds();
        CleanFolder(platform::FromAnsi(folder));
        cleaning.push_back(Seconds() - start);
        left = std::max(left, CountFiles(folder));
        std::printf("round %d: cleaning %.3f s, plain loop %.3f s\n", round + 1, cleaning.back(),
                    plain.back());
        std::fflush(stdout);
    }
    RemoveDirectoryA(folder.c_str());
    std::printf("temporary folder of %d files (512 to 1535 bytes, none held open), medians of %d "
                "round(s): cleaning %.3f s, plain loop (attributes, delete) %.3f s: %.2fx; at most "
                "%d file(s) left\n",
                files, rounds, Median(cleaning), Median(plain), Median(cleaning) / Median(plain), left);
    return left == 0 ? 0 : 1;
}
