// The temporary-folder cleaning on real Win32 (run under Wine with
// scripts/wine-run): a folder below the temporary folder filled with small
// files, none held open, emptied by CleanFolder, timed on the wall clock.
// Every entry costs a walk of the process list; this measures what the user
// waits for that, pauses included.
//
//   temp_clean_wine_bench.exe [files] [rounds]     (5000 and 5 by default)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "environment/temp_folder.h"
#include "platform/win32.h"
#include "scan/shared_state.h"

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

    std::vector<double> times;
    int left = 0;
    for (int round = 0; round < rounds; ++round) {
        Fill(folder, files);
        ResetSharedState();
        const double start = Seconds();
        CleanFolder(platform::FromAnsi(folder));
        times.push_back(Seconds() - start);
        left = std::max(left, CountFiles(folder));
        std::printf("round %d: %.3f s\n", round + 1, times.back());
        std::fflush(stdout);
    }
    RemoveDirectoryA(folder.c_str());
    std::sort(times.begin(), times.end());
    std::printf("temporary folder of %d files (512 to 1535 bytes, none held open): median %.3f s of %d "
                "round(s), best %.3f s; at most %d file(s) left\n",
                files, times[times.size() / 2], rounds, times.front(), left);
    return left == 0 ? 0 : 1;
}
