// Feeds arbitrary existing WinInit.ini files to the delete-on-reboot rewrite
// on a simulated Windows 98: whatever the file holds (NUL bytes, no line end,
// more than 32 KiB, any sections) and whatever its attributes, its old bytes
// must survive whole, followed by a "[Rename]" header when the old text does
// not end inside that section, and one complete "NUL=" entry or, when the
// write is cut short, by nothing that Windows would take for a wrong entry.
// The deletion counts as scheduled, and the restart warning is armed, exactly
// when the complete entry is there; a file that does not exist gets none.
//
// Input: byte 0 picks the attributes, byte 1 whether the scheduled file
// exists and whether the write fails midway (bytes 2-3 say where); the rest
// is the file's old content.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "environment/reboot_delete.h"
#include "platform/sim/machine.h"
#include "session/shared_state.h"

namespace {

const char kWinInit[] = "C:\\WINDOWS\\WinInit.ini";
const char kVictim[] = "C:\\WINDOWS\\Temporary Hijacker Files\\se helper.dll";

[[noreturn]] void Finding(const char* what)
{
    __builtin_printf("wininit finding: %s\n", what);
    std::abort();
}

bool EndsWithLineEnd(const std::string& text)
{
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text)
{
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Read front to back, line by line (lines end at CR or LF): a line whose first
// non-blank character is "[" opens a section; it is the [Rename] section when
// the line is "[", "Rename" and "]" in any letter case, with blanks around them.
bool EndsInsideRename(const std::string& text)
{
    bool inRename = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trimmed(text.substr(start, end - start));
        if (!line.empty() && line[0] == '[') {
            const bool closed = line.size() >= 2 && line.back() == ']';
            std::string name = closed ? Trimmed(line.substr(1, line.size() - 2)) : std::string();
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            inRename = name == "rename";
        }
        start = end + 1;
    }
    return inRename;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const uint8_t attributeBits = data[0];
    const uint8_t mode = data[1];
    const size_t failAfter = static_cast<size_t>(data[2]) | static_cast<size_t>(data[3]) << 8;
    const std::string old(reinterpret_cast<const char*>(data + 4), size - 4);

    sim::Reset();
    sim::SetPlatform(sim::Family::Win9x, 4, 10, 2222);
    ResetSharedState();

    DWORD attributes = 0;
    if (attributeBits & 1) attributes |= FILE_ATTRIBUTE_READONLY;
    if (attributeBits & 2) attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (attributeBits & 4) attributes |= FILE_ATTRIBUTE_SYSTEM;
    if (attributeBits & 8) attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    sim::AddFile(kWinInit, old, attributes);

    const bool victimExists = (mode & 1) != 0;
    if (victimExists) sim::AddFile(kVictim, "MZ");
    const std::string shortPath = victimExists ? sim::ShortPath(kVictim) : std::string();
    const bool writeFails = (mode & 2) != 0;
    if (writeFails) sim::FailWriteAfter(kWinInit, failAfter);

    const bool scheduled = DeleteOnReboot(std::wstring(kVictim, kVictim + sizeof(kVictim) - 1));

    if ((gRebootNeeded == kTrue) != scheduled) Finding("the restart warning does not follow the result");
    if (sim::OpenHandles() != 0) Finding("a handle was left open");
    if (!sim::FileExists(kWinInit)) Finding("WinInit.ini is gone");
    if (sim::Attributes(kWinInit) != attributes) Finding("the attributes changed");

    const std::string now = sim::FileContents(kWinInit);
    if (now.size() < old.size() || now.compare(0, old.size(), old) != 0)
        Finding("the old content was not kept whole");

    const std::string separator = (old.empty() || EndsWithLineEnd(old)) ? "" : "\r\n";
    const std::string prefix = separator + (EndsInsideRename(old) ? "" : "[Rename]\r\n");
    const std::string entry = "NUL=" + shortPath + "\r\n";
    const std::string whole = prefix + entry;
    const std::string added = now.substr(old.size());
    if (!victimExists) {
        if (!added.empty() || scheduled) Finding("an entry for a file that is not there");
        return 0;
    }
    if (!writeFails || failAfter >= whole.size()) {
        if (added != whole) Finding("the header and entry are not what follows the old text");
        if (!scheduled) Finding("a complete entry was not reported as scheduled");
        return 0;
    }
    if (scheduled) Finding("a cut-off write was reported as scheduled");
    // A cut-off write: part of the line break or header alone, or an entry turned into a comment.
    if (failAfter <= prefix.size()) {
        if (added != whole.substr(0, failAfter)) Finding("more than the cut-off header was written");
        return 0;
    }
    const std::string commented = prefix + ";" + entry.substr(1, failAfter - prefix.size() - 1);
    if (added != commented) Finding("a cut-off entry was left for Windows to act on");
    return 0;
}
