// Throwaway folders and files for tests, arranged through Win32 calls only,
// so the same tests run against the simulation and against real Windows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/crc32.h"
#include "environment/protected_names.h"
#include "platform/win32.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/win32_files.h"

namespace testfiles {

// A folder of its own under `parent` (the temporary folder by default),
// removed with everything written through it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& parent = std::wstring());
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }  // ends with a backslash
    std::wstring Write(const std::wstring& name, const std::string& bytes,
                       DWORD attributes = FILE_ATTRIBUTE_NORMAL);
    std::wstring AddFolder(const std::wstring& name);
    bool Ok() const { return ok_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
    std::vector<std::wstring> folders_;
    bool ok_ = false;
};

// A handle held open for the duration of a test.
class HeldFile {
public:
    HeldFile(const std::wstring& path, DWORD access, DWORD share);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The file scan's start-up state and a scratch folder of its own for every test.
class ScratchScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSharedState();
        fakeui::Reset();
        BuildCrcTable();
        LoadProtectedNames();
        ASSERT_TRUE(folder_.Ok());
    }
    void TearDown() override { ResetSharedState(); }

    ScratchFolder folder_;
};

// `size` bytes that match no probe (a repeating, non-zero pattern).
std::string FillerBytes(size_t size);

}  // namespace testfiles
