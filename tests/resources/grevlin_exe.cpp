// Grevlin.exe as Windows sees it: a GUI program of the build's own kind
// (PE32 for 32-bit Windows, PE32+ for 64-bit) that needs only system DLLs, with its version information, icon and About picture, and
// no manifest of its own (the visual style comes from a transient one).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "scan/version.h"
#include <winver.h>

namespace {

std::string ProgramPath()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1) + "Grevlin.exe";
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Grevlin.exe mapped for its resources only; it never runs.
class ProgramImage {
public:
    ProgramImage() : module_(LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ProgramImage()
    {
        if (module_)
            FreeLibrary(module_);
    }
    ProgramImage(const ProgramImage&) = delete;
    ProgramImage& operator=(const ProgramImage&) = delete;

    HMODULE module() const { return module_; }

    // The bytes of one resource, empty when it is missing.
    std::vector<unsigned char> Resource(LPCSTR type, WORD id) const
    {
        std::vector<unsigned char> bytes;
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!found)
            return bytes;
        HGLOBAL loaded = LoadResource(module_, found);
        const unsigned char* data = static_cast<const unsigned char*>(LockResource(loaded));
        if (data)
            bytes.assign(data, data + SizeofResource(module_, found));
        return bytes;
    }

private:
    HMODULE module_;
};

// The file as it lies on disk, for its PE headers.
class PeFile {
public:
    PeFile()
    {
        std::ifstream in(ProgramPath(), std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool Valid() const
    {
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER))
            return false;
        const IMAGE_DOS_HEADER* dos = At<IMAGE_DOS_HEADER>(0);
        return dos && dos->e_magic == IMAGE_DOS_SIGNATURE && Nt() && Nt()->Signature == IMAGE_NT_SIGNATURE;
    }

    // The headers in this build's own layout: IMAGE_NT_HEADERS32 or
    // IMAGE_NT_HEADERS64. The tests check the magic before they trust the rest.
    const IMAGE_NT_HEADERS* Nt() const
    {
        return At<IMAGE_NT_HEADERS>(At<IMAGE_DOS_HEADER>(0)->e_lfanew);
    }

    // The names of the DLLs in the import directory, in file order.
    std::vector<std::string> ImportedDlls() const
    {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& dir = Nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        size_t offset = FileOffset(dir.VirtualAddress);
        for (; offset != 0; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const IMAGE_IMPORT_DESCRIPTOR* entry = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
            if (!entry || entry->Name == 0)
                break;
            size_t name = FileOffset(entry->Name);
            if (name == 0)
                break;
            const char* text = reinterpret_cast<const char*>(bytes_.data() + name);
            names.emplace_back(text, strnlen(text, bytes_.size() - name));
        }
        return names;
    }

private:
    template <typename T>
    const T* At(size_t offset) const
    {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T))
            return nullptr;
        return reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    // Where a relative virtual address lies in the file; 0 when in no section.
    size_t FileOffset(DWORD rva) const
    {
        const IMAGE_NT_HEADERS* nt = Nt();
        size_t first = At<IMAGE_DOS_HEADER>(0)->e_lfanew + offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                       nt->FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER* section = At<IMAGE_SECTION_HEADER>(first + i * sizeof(IMAGE_SECTION_HEADER));
            if (!section)
                return 0;
            DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
                return section->PointerToRawData + (rva - section->VirtualAddress);
        }
        return 0;
    }

    std::vector<unsigned char> bytes_;
};

std::string VersionString(const std::vector<char>& info, const char* block, const char* name)
{
    std::string query = std::string("\\StringFileInfo\\") + block + "\\" + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "<missing " + std::string(name) + ">";
    return std::string(value, strnlen(value, length));
}

std::vector<char> VersionInfo()
{
    std::string path = ProgramPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, info.data()))
        info.clear();
    return info;
}

BOOL CALLBACK CountResource(HMODULE, LPCSTR, LPSTR, LONG_PTR count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

}  // namespace

TEST(Resources, ProgramIsAGuiProgramOfTheBuildsKindNeedingOnlySystemDlls)
{
    PeFile pe;
    ASSERT_TRUE(pe.Valid()) << ProgramPath() << " is not a PE file";
#ifdef _WIN64
    const WORD machine = IMAGE_FILE_MACHINE_AMD64, magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const size_t optionalSize = 240;
#else
    // The program users run: it starts on Windows 9x and, on 64-bit Windows,
    // sees the folders and registry that a 32-bit hijacker sees.
    const WORD machine = IMAGE_FILE_MACHINE_I386, magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    const size_t optionalSize = 224;
#endif
    EXPECT_EQ(machine, pe.Nt()->FileHeader.Machine);
    ASSERT_EQ(magic, pe.Nt()->OptionalHeader.Magic);
    ASSERT_EQ(optionalSize, pe.Nt()->FileHeader.SizeOfOptionalHeader);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, pe.Nt()->OptionalHeader.Subsystem);
    // Otherwise a Remote Desktop session host gives the program the user's
    // private Windows folder: the wrong folder scanned, no shell to restart.
    EXPECT_TRUE(pe.Nt()->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE)
        << "DllCharacteristics 0x" << std::hex << pe.Nt()->OptionalHeader.DllCharacteristics;

    // A MinGW runtime DLL (libstdc++, libgcc, winpthread) would stop the
    // program on a machine that has only Windows itself; so would psapi.dll
    // on Windows 9x, where it does not exist. Only libraries that Windows
    // always takes from its system folder may be imported: version.dll,
    // comctl32.dll, uxtheme.dll or psapi.dll in the import table would be
    // taken from beside the program if a file of that name lay there.
    const std::set<std::string> system = {
        "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll",
        "msvcrt.dll",   "ntdll.dll",  "ole32.dll", "oleaut32.dll", "comdlg32.dll"};
    std::vector<std::string> dlls = pe.ImportedDlls();
    EXPECT_FALSE(dlls.empty());
    for (const std::string& dll : dlls)
        EXPECT_TRUE(system.count(Lower(dll))) << "Grevlin.exe imports " << dll;
}

TEST(Resources, VersionNumbersAre6500)
{
    std::vector<char> info = VersionInfo();
    ASSERT_FALSE(info.empty()) << "no version resource, error " << GetLastError();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00060005u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000000u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00060005u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000000u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask) << "debug, pre-release or patched flags set";
}

TEST(Resources, VersionStringsAreUsEnglishUnicodeAndAgreeWithTheProgram)
{
    std::vector<char> info = VersionInfo();
    ASSERT_FALSE(info.empty());

    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    const char* block = "040904b0";
    EXPECT_EQ(GREVLIN_COMPANY, VersionString(info, block, "CompanyName"));
    EXPECT_EQ("Grevlin Team", VersionString(info, block, "CompanyName"));
    EXPECT_EQ(GREVLIN_DESCRIPTION, VersionString(info, block, "FileDescription"));
    EXPECT_EQ("Grevlin CWS removal tool", VersionString(info, block, "FileDescription"));
    EXPECT_EQ("6.5.0.0", VersionString(info, block, "FileVersion"));
    EXPECT_EQ("6.05", VersionString(info, block, "ProductVersion"));
    EXPECT_EQ("Grevlin", VersionString(info, block, "ProductName"));
    EXPECT_EQ("Grevlin.exe", VersionString(info, block, "InternalName"));
    EXPECT_EQ("Grevlin.exe", VersionString(info, block, "OriginalFilename"));
    // The window caption is product name and version; keep them in step.
    EXPECT_EQ(GREVLIN_TITLE, VersionString(info, block, "ProductName") + " " +
                                 VersionString(info, block, "ProductVersion"));

    std::string copyright = VersionString(info, block, "LegalCopyright");
    EXPECT_NE(std::string::npos, copyright.find("2006")) << copyright;
    EXPECT_NE(std::string::npos, copyright.find("Grevlin")) << copyright;
}

TEST(Resources, IconOneIsOne32By32ImageWith256Colours)
{
    ProgramImage image;
    ASSERT_TRUE(image.module()) << "cannot map " << ProgramPath() << ", error " << GetLastError();

    std::vector<unsigned char> group = image.Resource(RT_GROUP_ICON, 1);
    // GRPICONDIR (6 bytes) and one 14-byte GRPICONDIRENTRY.
    ASSERT_GE(group.size(), 6u + 14u) << "no icon group with id 1";
    auto word = [&](size_t at) { return static_cast<unsigned>(group[at] | group[at + 1] << 8); };
    EXPECT_EQ(1u, word(2)) << "resource type is not an icon";
    ASSERT_EQ(1u, word(4)) << "the icon should hold exactly one image";
    EXPECT_EQ(32u, group[6]);
    EXPECT_EQ(32u, group[7]);
    EXPECT_EQ(8u, word(6 + 6)) << "bits per pixel";
    WORD iconId = static_cast<WORD>(word(6 + 12));

    std::vector<unsigned char> bits = image.Resource(RT_ICON, iconId);
    ASSERT_GE(bits.size(), sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bits.data(), sizeof header);
    EXPECT_EQ(32, header.biWidth);
    EXPECT_EQ(64, header.biHeight) << "colour image and mask";
    EXPECT_EQ(8, header.biBitCount);
    EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 256) << header.biClrUsed;
    // Palette, 8-bit pixels and the 1-bit mask, both with 4-byte rows.
    EXPECT_EQ(sizeof header + 256 * 4 + 32 * 32 + 32 * 4, bits.size());

    HICON icon = CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE, 0x00030000,
                                          32, 32, LR_DEFAULTCOLOR);
    ASSERT_TRUE(icon) << "Windows rejects the icon image, error " << GetLastError();
    ICONINFO parts = {};
    ASSERT_TRUE(GetIconInfo(icon, &parts));
    BITMAP colour = {};
    EXPECT_TRUE(GetObjectA(parts.hbmColor, sizeof colour, &colour));
    EXPECT_EQ(32, colour.bmWidth);
    EXPECT_EQ(32, colour.bmHeight);
    DeleteObject(parts.hbmColor);
    DeleteObject(parts.hbmMask);
    DestroyIcon(icon);
}

TEST(Resources, AboutPictureIsBitmapTwoWith256Colours)
{
    ProgramImage image;
    ASSERT_TRUE(image.module());

    std::vector<unsigned char> bits = image.Resource(RT_BITMAP, 2);
    ASSERT_GE(bits.size(), sizeof(BITMAPINFOHEADER)) << "no bitmap with id 2";
    BITMAPINFOHEADER header;
    std::memcpy(&header, bits.data(), sizeof header);
    EXPECT_EQ(64, header.biWidth);
    EXPECT_EQ(64, header.biHeight);
    EXPECT_EQ(8, header.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);

    HANDLE loaded = LoadImageA(image.module(), MAKEINTRESOURCEA(2), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    ASSERT_TRUE(loaded) << "LoadImage cannot load bitmap 2, error " << GetLastError();
    DIBSECTION dib = {};
    EXPECT_EQ(static_cast<int>(sizeof dib), GetObjectA(loaded, sizeof dib, &dib));
    EXPECT_EQ(64, dib.dsBm.bmWidth);
    EXPECT_EQ(64, dib.dsBm.bmHeight);
    EXPECT_EQ(8, dib.dsBm.bmBitsPixel);
    DeleteObject(loaded);
}

TEST(Resources, ProgramCarriesNoManifestOfItsOwn)
{
    ProgramImage image;
    ASSERT_TRUE(image.module());
    int manifests = 0;
    EnumResourceNamesA(image.module(), RT_MANIFEST, CountResource, reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(0, manifests);
}
