#include "environment/reboot_delete.h"

#include <string>

#include "environment/paths.h"
#include "platform/win32.h"
#include "scan/shared_state.h"

namespace {


// Writes `bytes` at the handle's position; returns how many were written.
size_t WriteAll(HANDLE file, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        BOOL ok = WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                            &written, nullptr);
        done += written;
        if (!ok || written == 0) break;
    }
    return done;
}

// A new WinInit.ini; one that could not be written completely is removed
// again, so that no cut-off entry is left for the restart to act on.
void CreateWinInit(const std::string& path, const std::string& content)
{
    bool complete = false;
    {
        platform::HeldHandle file{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.get() == INVALID_HANDLE_VALUE) return;
        complete = WriteAll(file.get(), content) == content.size();
    }
    if (!complete) DeleteFileA(path.c_str());
}

bool ReadToEnd(HANDLE file, std::string& content)
{
    char chunk[65536];
    for (;;) {
        DWORD delivered = 0;
        if (!ReadFile(file, chunk, sizeof(chunk), &delivered, nullptr)) return false;
        if (delivered == 0) return true;
        content.append(chunk, delivered);
    }
}

// Appends the entry behind the existing text, which is never rewritten, so
// no failure can lose it, however long it is and whatever bytes it holds.
void AppendToWinInit(const std::string& path, DWORD attributes, const std::string& entry)
{
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    {
        platform::HeldHandle file{CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr)};
        std::string content;
        if (file.get() != INVALID_HANDLE_VALUE && ReadToEnd(file.get(), content)) {
            const bool lineEnded = content.empty() ||
                                   (content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0);
            const std::string separator = lineEnded ? "" : "\r\n";
            const size_t entryStart = content.size() + separator.size();
            const size_t written = WriteAll(file.get(), separator + entry);
            // A cut-off entry would name the wrong file; make it a comment line.
            if (written > separator.size() && written < separator.size() + entry.size() &&
                SetFilePointer(file.get(), static_cast<LONG>(entryStart), nullptr, FILE_BEGIN) !=
                    INVALID_SET_FILE_POINTER)
                WriteAll(file.get(), ";");
        }
    }
    if (readOnly) SetFileAttributesA(path.c_str(), attributes);
}

void AddWinInitEntry(const std::wstring& shortPath)
{
    const std::wstring windowsDir = GetWindowsDir();
    if (windowsDir.empty()) return;  // "\WinInit.ini" would land in a drive's root
    const std::string path = platform::ToAnsi(windowsDir + L"\\WinInit.ini");
    const std::string entry = "NUL=" + platform::ToAnsi(shortPath) + "\r\n";

    // Hidden and system files count as existing too.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        CreateWinInit(path, "[Rename]\r\n" + entry);
    else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        AppendToWinInit(path, attributes, entry);
}

}  // namespace

void DeleteOnReboot(const std::wstring& path)
{
    const std::wstring shortPath = GetShortName(path);
    if (GetOsFamily() == L"NT")
        MoveFileExA(platform::ToAnsi(shortPath).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else
        AddWinInitEntry(shortPath);
    gRebootNeeded = kTrue;
}
