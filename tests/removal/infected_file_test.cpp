// Removing one file and its same-named autorun values on the machine the
// tests run on.
#include <gtest/gtest.h>

#include <string>

#include "environment/paths.h"
#include "platform/win32.h"
#include "removal/infected_file.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"
#include "support/throwaway_machine.h"
#include "support/win32_files.h"

namespace {

const char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// A user autorun key for the test's values; deleted afterwards only if the
// test created it.
class ScratchRunKey {
public:
    explicit ScratchRunKey(const char* path) : path_(path)
    {
        DWORD disposition = 0;
        RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key_, &disposition);
        created_ = disposition == REG_CREATED_NEW_KEY;
    }
    ~ScratchRunKey()
    {
        for (const std::string& name : names_) RegDeleteValueA(key_, name.c_str());
        if (key_) RegCloseKey(key_);
        if (created_) RegDeleteKeyA(HKEY_CURRENT_USER, path_);
    }
    void Set(const std::string& name)
    {
        names_.push_back(name);
        const char data[] = "C:\\nowhere.exe";
        RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                       sizeof(data));
    }
    bool Has(const std::string& name) const
    {
        return RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }
    bool valid() const { return key_ != nullptr; }

private:
    const char* path_;
    HKEY key_ = nullptr;
    bool created_ = false;
    std::vector<std::string> names_;
};

class InfectedFileRemoval : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The machine's autorun keys and processes; a file that stays locked
        // would end its explorer.exe.
    REQUIRE_THROWAWAY_MACHINE();
        fakeui::Reset();
        ResetSharedState();
        folder = platform::ToAnsi(GetTempDir());
    }
    void TearDown() override
    {
        win32files::Remove(folder + name);
        fakeui::Reset();
        ResetSharedState();
    }

    std::string folder;
    std::string name = "gvq_victim_" + std::to_string(GetCurrentProcessId()) + ".exe";
};

TEST_F(InfectedFileRemoval, AReadOnlyHiddenFileAndItsValuesAreGone)
{
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(win32files::Write(folder + name, "MZ"));
    SetFileAttributesA((folder + name).c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ScratchRunKey run(kRun);
    ScratchRunKey runOnce(kRunOnce);
    ASSERT_TRUE(run.valid() && runOnce.valid());
    run.Set(name);
    runOnce.Set(name);
    run.Set("gvq_keep_" + name);

    RemoveInfectedFile(platform::FromAnsi(folder), platform::FromAnsi(name));

    EXPECT_FALSE(win32files::Exists(folder + name));
    EXPECT_FALSE(run.Has(name));
    EXPECT_FALSE(runOnce.Has(name));
    EXPECT_TRUE(run.Has("gvq_keep_" + name));
    EXPECT_EQ(gExplorerKilled, kFalse);
}

TEST_F(InfectedFileRemoval, AFileThatIsNotThereLeavesEverythingAsItWas)
{
    ScratchRunKey run(kRun);
    ASSERT_TRUE(run.valid());
    run.Set("gvq_other.exe");

    RemoveInfectedFile(platform::FromAnsi(folder), platform::FromAnsi(name));

    EXPECT_TRUE(run.Has("gvq_other.exe"));
    EXPECT_EQ(gExplorerKilled, kFalse);
}

}  // namespace
