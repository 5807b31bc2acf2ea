// Thousands of real Windows binaries and data files that none of us wrote
// (the ones Wine and MinGW install on this machine) go through the directory
// walker and the signature matcher: not one may be taken for the hijacker.
// Each batch also carries one planted hijacker file, which must be found, so
// a matcher that finds nothing cannot pass.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ios>
#include <string>
#include <vector>

#include "detection/folder_walker.h"
#include "scan/sim_scan_fixture.h"

namespace {

namespace fs = std::filesystem;
using simscan::W;

const char* const kRealFileFolders[] = {
    "/usr/lib/i386-linux-gnu/wine", "/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/wine",
    "/usr/share/wine",              "/usr/lib/gcc/i686-w64-mingw32",  "/usr/lib/gcc/x86_64-w64-mingw32",
    "/usr/i686-w64-mingw32",        "/usr/x86_64-w64-mingw32",        "/usr/share/mingw-w64",
};
const char* const kRealExtensions[] = {".exe", ".dll", ".dat", ".tmp", ".txt"};

// Batches are kept below this many bytes of file contents in the simulation.
constexpr uintmax_t kBatchBytes = uintmax_t(128) << 20;

struct RealFile {
    fs::path path;
    std::string extension;  // lower case, with its dot
    uintmax_t size;
};

std::vector<RealFile> FindRealFiles()
{
    std::vector<RealFile> found;
    for (const char* root : kRealFileFolders) {
        std::error_code error;
        if (!fs::is_directory(root, error)) continue;
        for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            if (!it->is_regular_file(error) || it->is_symlink(error)) continue;
            std::string extension = it->path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (std::find(std::begin(kRealExtensions), std::end(kRealExtensions), extension) ==
                std::end(kRealExtensions))
                continue;
            found.push_back({it->path(), extension, it->file_size(error)});
        }
    }
    return found;
}

std::string ReadHostFile(const fs::path& path, uintmax_t size)
{
    std::string bytes(static_cast<size_t>(size), '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

class FalsePositives : public simscan::Machine {};

TEST_F(FalsePositives, NoRealWineOrMinGwFileMatchesAnySignature)
{
    const std::vector<RealFile> files = FindRealFiles();
    // scripts/setup installs Wine and MinGW-w64; without them this proves nothing.
    ASSERT_GE(files.size(), 1000u) << "Wine and MinGW-w64 files not found on this machine";

    const std::string folder = "C:\\Real Files\\";
    size_t next = 0;
    int batches = 0;
    size_t scanned = 0;
    while (next < files.size()) {
        sim::Reset();
        fakeui::Reset();
        ResetSharedState();

        // A planted digest entry (entry 1) and the batch's real files, named
        // by number so that no protected name keeps one from being examined.
        const std::string planted = folder + "planted.dll";
        sim::AddFile(planted, simscan::DigestInfected());
        std::vector<std::string> simPaths;
        std::vector<size_t> hostIndex;
        uintmax_t bytes = 0;
        while (next < files.size() && (simPaths.empty() || bytes + files[next].size <= kBatchBytes)) {
            const std::string simPath = folder + "real" + std::to_string(next) + files[next].extension;
            sim::AddFile(simPath, ReadHostFile(files[next].path, files[next].size));
            simPaths.push_back(simPath);
            hostIndex.push_back(next);
            bytes += files[next].size;
            ++next;
        }

        ScanFolder(W(folder));
        ++batches;

        // Every real file was shown, so every one reached the matcher.
        size_t shown = 0;
        for (const auto& status : fakeui::Statuses())
            if (status.rfind(W(folder + "real"), 0) == 0) ++shown;
        EXPECT_EQ(shown, simPaths.size()) << "batch " << batches;
        scanned += shown;

        EXPECT_EQ(gFilesFound, 1) << "batch " << batches;
        EXPECT_FALSE(sim::FileExists(planted)) << "the planted file was not found";
        for (const auto& line : fakeui::Lines()) {
            if (line == L"Removed File! : " + W(planted)) continue;
            ADD_FAILURE() << "batch " << batches << ": " << std::string(line.begin(), line.end());
        }
        for (size_t i = 0; i < simPaths.size(); ++i)
            EXPECT_TRUE(sim::FileExists(simPaths[i]))
                << files[hostIndex[i]].path << " was taken for the hijacker";
        if (HasFailure()) break;
    }
    EXPECT_EQ(scanned, files.size());
}

}  // namespace
