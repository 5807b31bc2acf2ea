#include "environment/reboot_delete.h"

#include <cctype>
#include <cstdint>
#include <string>

#include "environment/paths.h"
#include "environment/platform_family.h"
#include "platform/win32.h"
#include "session/shared_state.h"

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
// Returns whether the whole content was written.
bool CreateWinInit(const std::string& path, const std::string& content)
{
    bool complete = false;
    {
        platform::HeldHandle file{CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!file.valid()) return false;
        complete = WriteAll(file.get(), content) == content.size();
    }
    if (!complete) DeleteFileA(path.c_str());
    return complete;
}

const char kRenameHeader[] = "[Rename]\r\n";

// Finds the last section header of a text fed backwards, one byte at a time,
// in constant memory. A header is a line (lines end at CR or LF) whose first
// character other than a blank is "["; it opens the [Rename] section when the
// line holds only "[", "Rename" and "]", in any letter case, with blanks
// around them. Windows 9x reads deletions only from that section.
class LastHeaderScanner {
public:
    // `c` comes before every byte fed so far; true once the header is known.
    bool Feed(char c)
    {
        if (c == '\r' || c == '\n') return EndOfLine();
        const bool blank = c == ' ' || c == '\t';
        if (!blank) first_ = c;
        if (matched_ < 0) return false;
        static const char kBackwards[] = "]emaner[";  // "[Rename]" read from its end
        const bool betweenWords = matched_ == 0 || matched_ == 1 || matched_ >= 7;
        if (blank)
            matched_ = betweenWords ? matched_ : -1;
        else if (matched_ < 8 && std::tolower(static_cast<unsigned char>(c)) == kBackwards[matched_])
            ++matched_;
        else
            matched_ = -1;
        return false;
    }
    // The start of the text: its first line is complete.
    void Finish()
    {
        if (!found_) EndOfLine();
    }
    bool InRename() const { return found_ && rename_; }

private:
    bool EndOfLine()
    {
        if (first_ == '[') {
            found_ = true;
            rename_ = matched_ == 8;
        }
        first_ = 0;
        matched_ = 0;
        return found_;
    }

    char first_ = 0;    // the last non-blank fed: the line's first one at its start
    int matched_ = 0;   // characters of "[Rename]" matched from the line's end; -1: no match
    bool found_ = false;
    bool rename_ = false;
};

// What the end of an existing WinInit.ini says about the text to append.
struct WinInitEnd {
    uint64_t size = 0;
    bool lineEnded = true;  // empty, or ending with CR LF
    bool inRename = false;
};

bool Seek(HANDLE file, uint64_t offset, DWORD method)
{
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    return SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, method) !=
               INVALID_SET_FILE_POINTER ||
           GetLastError() == NO_ERROR;
}

bool ReadAt(HANDLE file, uint64_t offset, char* buffer, DWORD count)
{
    DWORD delivered = 0;
    return Seek(file, offset, FILE_BEGIN) && ReadFile(file, buffer, count, &delivered, nullptr) &&
           delivered == count;
}

// Reads backwards from the end, a chunk at a time, only as far as the last
// section header: the file may be of any size.
bool ReadWinInitEnd(HANDLE file, WinInitEnd& end)
{
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    end.size = static_cast<uint64_t>(high) << 32 | low;

    char chunk[4096];
    LastHeaderScanner scanner;
    uint64_t position = end.size;
    bool found = false;
    while (position > 0 && !found) {
        const DWORD count = static_cast<DWORD>(position < sizeof(chunk) ? position : sizeof(chunk));
        position -= count;
        if (!ReadAt(file, position, chunk, count)) return false;
        if (position + count == end.size)
            end.lineEnded = count >= 2 && chunk[count - 2] == '\r' && chunk[count - 1] == '\n';
        for (DWORD i = count; i > 0 && !found; --i) found = scanner.Feed(chunk[i - 1]);
    }
    scanner.Finish();
    end.inRename = scanner.InRename();
    return true;
}

// Appends the entry behind the existing text, which is never rewritten, so
// no failure can lose it, however long it is and whatever bytes it holds.
// A text that does not end inside the [Rename] section gets a header first.
// Returns what was appended whole, or nothing.
std::string AppendToWinInit(const std::string& path, DWORD attributes, const std::string& entry)
{
    // Put back however this routine ends, once the file is closed.
    struct ReadOnlyLifted {
        const std::string& path;
        DWORD attributes;
        ~ReadOnlyLifted()
        {
            if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), attributes);
        }
    } lifted{path, attributes};
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));

    platform::HeldHandle file{CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr)};
    WinInitEnd end;
    if (!file.valid() || !ReadWinInitEnd(file.get(), end)) return std::string();

    std::string prefix = end.lineEnded ? "" : "\r\n";
    if (!end.inRename) prefix += kRenameHeader;
    if (!Seek(file.get(), 0, FILE_END)) return std::string();
    const std::string added = prefix + entry;
    const size_t written = WriteAll(file.get(), added);
    // A cut-off entry would name the wrong file; make it a comment line.
    if (written > prefix.size() && written < added.size() &&
        Seek(file.get(), end.size + prefix.size(), FILE_BEGIN))
        WriteAll(file.get(), ";");
    return written == added.size() ? added : std::string();
}

// Whether the file, opened afresh, ends with `tail`: what Windows 9x will
// read at its next start.
bool FileEndsWith(const std::string& path, const std::string& tail)
{
    platform::HeldHandle file{CreateFileA(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr)};
    if (!file.valid()) return false;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    const uint64_t size = static_cast<uint64_t>(high) << 32 | low;
    if (size < tail.size()) return false;
    std::string read(tail.size(), '\0');
    return ReadAt(file.get(), size - tail.size(), &read[0], static_cast<DWORD>(read.size())) &&
           read == tail;
}

// Returns whether the entry was written and reads back at the file's end.
bool AddWinInitEntry(const std::wstring& shortPath)
{
    const std::wstring windowsDir = GetWindowsDir();
    if (windowsDir.empty()) return false;  // "\WinInit.ini" would land in a drive's root
    const std::string path = platform::ToAnsi(windowsDir + L"\\WinInit.ini");
    const std::string entry = "NUL=" + platform::ToAnsi(shortPath) + "\r\n";

    // Hidden and system files count as existing too.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    std::string added;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (CreateWinInit(path, kRenameHeader + entry)) added = kRenameHeader + entry;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        added = AppendToWinInit(path, attributes, entry);
    }
    return !added.empty() && FileEndsWith(path, added);
}

}  // namespace

bool DeleteOnReboot(const std::wstring& path)
{
    // A file without a short form is not there: there is nothing to schedule.
    const std::wstring shortPath = GetShortName(path);
    if (shortPath.empty()) return false;
    const bool scheduled =
        IsNtFamily()
            ? MoveFileExA(platform::ToAnsi(shortPath).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE
            : AddWinInitEntry(shortPath);
    if (scheduled) gRebootNeeded = kTrue;
    return scheduled;
}
