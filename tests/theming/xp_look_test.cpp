#include <gtest/gtest.h>

#include <string>

#include "theming/xp_look.h"

namespace {

// Written out by hand, byte for byte, for Tool.exe 6.5.0.0 of "Acme" / "Cleaner",
// of the build's own processor kind.
#ifdef _WIN64
#define ARCHITECTURE "amd64"
#else
#define ARCHITECTURE "x86"
#endif
const char kFilledManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?> \r\n"
    "<assembly \r\n"
    "   xmlns=\"urn:schemas-microsoft-com:asm.v1\" \r\n"
    "   manifestVersion=\"1.0\">\r\n"
    "<assemblyIdentity \r\n"
    "    processorArchitecture=\"" ARCHITECTURE "\" \r\n"
    "    version=\"6.5.0.0\"\r\n"
    "    type=\"win32\"\r\n"
    "    name=\"Acme.Tool.exe\"/>\r\n"
    "    <description>Cleaner</description>\r\n"
    "    <dependency>\r\n"
    "    <dependentAssembly>\r\n"
    "    <assemblyIdentity\r\n"
    "         type=\"win32\"\r\n"
    "         name=\"Microsoft.Windows.Common-Controls\"\r\n"
    "         version=\"6.0.0.0\"\r\n"
    "         publicKeyToken=\"6595b64144ccf1df\"\r\n"
    "         language=\"*\"\r\n"
    "         processorArchitecture=\"" ARCHITECTURE "\"/>\r\n"
    "    </dependentAssembly>\r\n"
    "    </dependency>\r\n"
    "</assembly>\r\n";

std::string Filled(const std::string& exe, const std::string& description, const std::string& company)
{
    return FillStyleManifest(StyleManifestTemplate(), exe, "6.5.0.0", description, company);
}

}  // namespace

TEST(XpLook, ManifestMatchesTheTemplateByteForByte)
{
    EXPECT_EQ(Filled("Tool.exe", "Cleaner", "Acme"), std::string(kFilledManifest));
}

TEST(XpLook, TemplateKeepsItsPlaceholdersAndLineEnds)
{
    std::string text = StyleManifestTemplate();
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?> \r\n"));
    EXPECT_NE(std::string::npos, text.find("    version=\"EXEVERSION\"\r\n"));
    EXPECT_NE(std::string::npos, text.find("    name=\"COMPANYNAME.EXENAME\"/>\r\n"));
    EXPECT_NE(std::string::npos, text.find("    <description>EXEDESCRIPTION</description>\r\n"));
    ASSERT_GE(text.size(), 13u);
    EXPECT_EQ("</assembly>\r\n", text.substr(text.size() - 13));
    // Every LF is preceded by CR, and there are 22 lines.
    int lines = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++lines;
            ASSERT_GT(i, 0u);
            EXPECT_EQ('\r', text[i - 1]) << "at byte " << i;
        }
    }
    EXPECT_EQ(22, lines);
    EXPECT_EQ(std::string::npos, text.find("\xEF\xBB\xBF"));
}

TEST(XpLook, PlaceholdersAreReplacedInOrderAndAsTheyAre)
{
    // A value is not escaped for XML.
    std::string text = Filled("A&B.exe", "x<y", "C\"o");
    EXPECT_NE(std::string::npos, text.find("name=\"C\"o.A&B.exe\"/>"));
    EXPECT_NE(std::string::npos, text.find("<description>x<y</description>"));
    // COMPANYNAME is replaced after EXEDESCRIPTION, so a description naming it gets the company.
    text = Filled("T.exe", "by COMPANYNAME", "Acme");
    EXPECT_NE(std::string::npos, text.find("<description>by Acme</description>"));
    // EXENAME comes first: a company called EXENAME stays as it is.
    text = Filled("T.exe", "d", "EXENAME");
    EXPECT_NE(std::string::npos, text.find("name=\"EXENAME.T.exe\"/>"));
    // Matching is case-sensitive.
    text = FillStyleManifest("exename EXENAME", "T.exe", "", "", "");
    EXPECT_EQ("exename T.exe", text);
}

TEST(XpLook, AddPathSeparatorGivesExactlyOneBackslash)
{
    EXPECT_EQ(L"C:\\", AddPathSeparator(L"C:\\"));
    EXPECT_EQ(L"C:\\", AddPathSeparator(L"C:"));
    EXPECT_EQ(L"C:\\Program Files\\Grevlin\\", AddPathSeparator(L"C:\\Program Files\\Grevlin"));
    EXPECT_EQ(L"C:\\Tools\\", AddPathSeparator(L"C:\\Tools\\"));
    // Surrounding spaces are trimmed when a separator is added...
    EXPECT_EQ(L"C:\\Tools\\", AddPathSeparator(L"  C:\\Tools  "));
    // ...and a path that already ends with one comes back unchanged.
    EXPECT_EQ(L" C:\\Tools\\ ", AddPathSeparator(L" C:\\Tools\\ "));
    // Inner spaces stay.
    EXPECT_EQ(L"C:\\My Tools \\x\\", AddPathSeparator(L"C:\\My Tools \\x"));
}

TEST(XpLook, CommandLineArgumentsFollowTheProgramName)
{
    EXPECT_EQ("", CommandLineArguments("\"C:\\Program Files\\Grevlin\\Grevlin.exe\""));
    EXPECT_EQ("", CommandLineArguments("\"C:\\Program Files\\Grevlin\\Grevlin.exe\"   "));
    EXPECT_EQ("/a \"b c\"", CommandLineArguments("\"C:\\Program Files\\G.exe\" /a \"b c\""));
    EXPECT_EQ("x  y", CommandLineArguments("Grevlin.exe\tx  y"));
    EXPECT_EQ("", CommandLineArguments("Grevlin"));
    EXPECT_EQ("", CommandLineArguments(""));
    EXPECT_EQ("", CommandLineArguments("\"unterminated name"));
}
