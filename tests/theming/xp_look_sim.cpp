#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "support/fresh_machine.h"
#include "theming/xp_look.h"

namespace {

const char kProgram[] = "C:\\Program Files\\Grevlin\\Grevlin.exe";
const char kManifest[] = "C:\\Program Files\\Grevlin\\Grevlin.exe.manifest";

class XpLookSim : public simtest::FreshMachine {
protected:
    void SetUp() override
    {
        FreshMachine::SetUp();
        sim::SetModulePath(kProgram);
        sim::SetCommandLine("\"C:\\Program Files\\Grevlin\\Grevlin.exe\" /quiet \"a b\"");
        sim::SetVersionStrings("Grevlin Team", "Grevlin CWS removal tool");
    }

    // Runs the start-up call as the main window does; true when this instance ended.
    static bool StartUp()
    {
        try {
            EnsureStyleManifest(true, true, false);
        } catch (const fakeui::ProgramEnded&) {
            return true;
        }
        return false;
    }
};

}  // namespace

TEST_F(XpLookSim, VersionNumberIsWholeHundredths)
{
    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    EXPECT_EQ(500, GetWindowsVersionNumber());
    EXPECT_FALSE(IsXpOrLater());
    sim::SetPlatform(sim::Family::Nt, 5, 1, 2600);
    EXPECT_EQ(501, GetWindowsVersionNumber());
    EXPECT_TRUE(IsXpOrLater());
    sim::SetPlatform(sim::Family::Nt, 6, 0, 6000);
    EXPECT_EQ(600, GetWindowsVersionNumber());
    EXPECT_TRUE(IsXpOrLater());
    sim::SetPlatform(sim::Family::Win9x, 4, 90, 3000);
    EXPECT_EQ(490, GetWindowsVersionNumber());
    EXPECT_FALSE(IsXpOrLater());
}

TEST_F(XpLookSim, VersionTestIgnoresTheDecimalSeparator)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous ? previous : "C";
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"};
    bool commaSet = false;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_ALL, name)) {
            commaSet = std::localeconv()->decimal_point[0] == ',';
            if (commaSet) break;
        }
    }
    sim::SetPlatform(sim::Family::Nt, 5, 1, 2600);
    EXPECT_EQ(501, GetWindowsVersionNumber()) << "comma locale active: " << commaSet;
    EXPECT_TRUE(IsXpOrLater());
    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    EXPECT_FALSE(IsXpOrLater());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(XpLookSim, ThemeLibraryIsLoadedOnlyToTestItsPresence)
{
    EXPECT_TRUE(HasThemeLibrary());
    sim::SetLibraryPresent("uxtheme.dll", false);
    EXPECT_FALSE(HasThemeLibrary());
    EXPECT_FALSE(IsVisualStyleActive());
}

TEST_F(XpLookSim, OlderWindowsWritesNothingAndStartsOnce)
{
    sim::SetPlatform(sim::Family::Nt, 5, 0, 2195);
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(sim::FileExists(kManifest));
    EXPECT_TRUE(sim::StartedPrograms().empty());
}

TEST_F(XpLookSim, NoThemeLibraryWritesNothingAndStartsOnce)
{
    sim::SetLibraryPresent("uxtheme.dll", false);
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(sim::FileExists(kManifest));
    EXPECT_TRUE(sim::StartedPrograms().empty());
}

TEST_F(XpLookSim, ClassicLookWritesNothingAndStartsOnce)
{
    sim::SetThemeActive(false);
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(sim::FileExists(kManifest));
    EXPECT_TRUE(sim::StartedPrograms().empty());
}

TEST_F(XpLookSim, ThemedStartWritesHiddenManifestAndRestartsWithTheSameArguments)
{
    EXPECT_TRUE(StartUp());
    ASSERT_TRUE(sim::FileExists(kManifest));
    DWORD attributes = sim::Attributes(kManifest);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), attributes);

    std::string text = sim::FileContents(kManifest);
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?> \r\n<assembly \r\n"));
    EXPECT_NE(std::string::npos, text.find("    version=\"6.5.0.0\"\r\n"));
    EXPECT_NE(std::string::npos, text.find("    name=\"Grevlin Team.Grevlin.exe\"/>\r\n"));
    EXPECT_NE(std::string::npos,
              text.find("    <description>Grevlin CWS removal tool</description>\r\n"));
    EXPECT_EQ("    </dependency>\r\n</assembly>\r\n", text.substr(text.size() - 32));

    auto started = sim::StartedPrograms();
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ("\"C:\\Program Files\\Grevlin\\Grevlin.exe\" /quiet \"a b\"", started[0].commandLine);
    EXPECT_EQ(UINT(SW_SHOWNORMAL), started[0].show);
}

TEST_F(XpLookSim, RestartedInstanceDeletesTheManifestAndGoesOn)
{
    ASSERT_TRUE(StartUp());
    ASSERT_TRUE(sim::FileExists(kManifest));
    // The second instance, on the same machine.
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(sim::FileExists(kManifest));
    EXPECT_EQ(1u, sim::StartedPrograms().size());
}

// A download folder with files named like the theme and version libraries:
// the styled start still reads the real ones and runs none of the planted.
TEST_F(XpLookSim, StyledStartTakesNothingFromBesideTheProgram)
{
    sim::AddFile("C:\\Program Files\\Grevlin\\uxtheme.dll", "MZ planted");
    sim::AddFile("C:\\Program Files\\Grevlin\\version.dll", "MZ planted");

    EXPECT_TRUE(HasThemeLibrary());
    EXPECT_TRUE(IsVisualStyleActive());
    ASSERT_TRUE(StartUp());
    EXPECT_NE(std::string::npos, sim::FileContents(kManifest).find("name=\"Grevlin Team.Grevlin.exe\"/>"))
        << "the company name comes from the program's version resource";
    sim::SetCommonControlsManifest(true);
    EXPECT_FALSE(StartUp());

    EXPECT_EQ(std::vector<std::string>{}, sim::ForeignLibraryLoads());
}

TEST_F(XpLookSim, LeftoverManifestIsFoundWhateverItsAttributes)
{
    const DWORD kinds[] = {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY,
                           FILE_ATTRIBUTE_ARCHIVE,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
    for (DWORD attributes : kinds) {
        sim::AddFile(kManifest, "old", attributes);
        EXPECT_FALSE(StartUp()) << attributes;
        EXPECT_FALSE(sim::FileExists(kManifest)) << attributes;
        EXPECT_TRUE(sim::StartedPrograms().empty()) << attributes;
    }
}

TEST_F(XpLookSim, ProgramAtADriveRootGetsOneBackslash)
{
    sim::SetModulePath("C:\\Grevlin.exe");
    sim::SetCommandLine("C:\\Grevlin.exe");
    EXPECT_TRUE(StartUp());
    EXPECT_TRUE(sim::FileExists("C:\\Grevlin.exe.manifest"));
    auto started = sim::StartedPrograms();
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ("\"C:\\Grevlin.exe\" ", started[0].commandLine);
}

TEST_F(XpLookSim, ManifestIsNamedAfterTheExecutable)
{
    sim::AddFolder("C:\\Tools");
    sim::SetModulePath("C:\\Tools\\cws fix.exe");
    sim::SetCommandLine("\"C:\\Tools\\cws fix.exe\"");
    EXPECT_TRUE(StartUp());
    ASSERT_TRUE(sim::FileExists("C:\\Tools\\cws fix.exe.manifest"));
    EXPECT_NE(std::string::npos,
              sim::FileContents("C:\\Tools\\cws fix.exe.manifest").find("name=\"Grevlin Team.cws fix.exe\"/>"));
}

TEST_F(XpLookSim, ReadOnlyProgramFolderStartsOnceUnstyled)
{
    sim::SetFolderReadOnly("C:\\Program Files\\Grevlin", true);
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(sim::FileExists(kManifest));
    EXPECT_TRUE(sim::StartedPrograms().empty());
}

TEST_F(XpLookSim, HalfWrittenManifestIsRemovedAndNoRestartFollows)
{
    sim::FailWriteAfter(kManifest, 40);
    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(sim::FileExists(kManifest));
    EXPECT_TRUE(sim::StartedPrograms().empty());
}

TEST_F(XpLookSim, WithoutRestartTheManifestIsWrittenAndThisInstanceGoesOn)
{
    EnsureStyleManifest(false, false, false);
    EXPECT_TRUE(sim::FileExists(kManifest));
    EXPECT_TRUE(sim::StartedPrograms().empty());
    // overwrite replaces a present manifest when neither restart nor delete is asked.
    sim::AddFile(kManifest, "stale", FILE_ATTRIBUTE_READONLY);
    EnsureStyleManifest(false, false, true);
    EXPECT_EQ(0u, sim::FileContents(kManifest).find("<?xml"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), sim::Attributes(kManifest));
    // overwrite is ignored when delete is asked: the manifest goes, nothing new is written.
    EnsureStyleManifest(false, true, true);
    EXPECT_FALSE(sim::FileExists(kManifest));
}
