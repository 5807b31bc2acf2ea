// The infected machine that the end-to-end runs scan: which hijacker files,
// registry entries, services and processes are planted, and what a scan
// must leave of each. The planting program and the driver both read it, so
// what is checked is always what was planted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sandbox {

// ---- Text and places --------------------------------------------------------

// Code points to the system ANSI code page (1252 here), as the scanner converts them.
std::string Ansi(const std::wstring& text);

std::string WindowsFolder();  // "C:\windows\" (with the backslash)
std::string SystemFolder();   // "C:\windows\system32\"
std::string TempFolder();     // GetTempPathA: ends with a backslash
// Our own programs live here: outside every folder the scanner walks, and
// with no path that any name the scanner terminates processes by could hit.
std::string ToolsFolder();    // "C:\sandbox\"

std::string Lower(std::string text);
bool FileThere(const std::string& path);  // a file, whatever its attributes; not a folder
bool FolderThere(const std::string& path);

// ---- Service names ----------------------------------------------------------

// The hijacker's five service names A to E and A2, its configuration-key form.
std::string ServiceName(char label);                // 'A' .. 'E'
std::string ServiceNameA2();
// The labels of the names planted as real, running services of ours.
const char kRealServices[] = "AC";

// ---- Files ------------------------------------------------------------------

enum class Where { Windows, System, Temp };
enum class Kind {
    Probe1Program,  // our sleeper with the probe-1 bytes in its header padding; it runs
    Probe2,         // "WSUD" at offset 0
    Probe3,         // "Call (RPC) Help" at 7006
    Probe4,         // "lightspeedsearch" at 39133
    Digest,         // content forged to `digest` at exactly `size` bytes
    Plain,          // random content
};
enum class Fate {
    Removed,        // any scan removes it
    Kept,           // no scan touches it
    RemovedOnReset, // only the temporary-folder cleaning after Yes removes it
    HeldOpen,       // locked by our keeper: stays, scheduled for deletion at restart
};

struct File {
    Where where;
    const char* name;
    Kind kind;
    uint32_t digest;  // Kind::Digest only
    size_t size;
    DWORD attributes;
    Fate fate;
    bool clean;       // also planted on the clean machine
};

const std::vector<File>& Files();
std::string PathOf(const File& file);
std::string FolderOf(Where where);
// The bytes of a planted file (not for Probe1Program, which is made from the sleeper).
std::vector<uint8_t> ContentOf(const File& file);

// The temporary folder's subfolder (and the file in it) that no scan may touch.
const char kTempSubfolder[] = "cache-kept";
const char kTempSubfolderFile[] = "inside.txt";

// The probe-1 bytes and where they go.
const size_t kProbe1Offset = 987;
extern const uint8_t kProbe1[10];

// ---- Programs ---------------------------------------------------------------

std::string SleeperPath();        // the clean sleeper, as built
std::string InfectedProgramPath();  // winupd32.exe in the Windows folder
std::string IexplorePath();       // our sleeper under a path ending in iexplore.exe
std::string KeeperPath();         // our sleeper that holds the temporary "se.dll" open
std::string ServiceProgramPath();
std::string InfectedProgramName();  // "winupd32.exe": also its autorun value name

// ---- Registry ---------------------------------------------------------------

enum class RegFate {
    Removed,    // gone after any scan that got past its stage
    Kept,       // stays as planted
    Reset,      // hijacker's data; after Yes to the reset it holds `resetData`
};

struct RegItem {
    HKEY root;
    std::string key;
    std::string value;  // empty: the key itself (planted with a subkey and values)
    std::string data;
    RegFate fate;
    std::string resetData;
    bool clean;         // also planted on the clean machine
    const char* stage;  // "keys", "autorun", "components", "filters", "reset"
};

std::vector<RegItem> RegistryItems();
std::string RootName(HKEY root);

// The addresses the reset writes (Microsoft's hosts, the paths and query of Internet Explorer 6).
extern const char kHomeRedirect[];
extern const char kSearchPage[];
extern const char kHijackPage[];

// Registry access through the ANSI calls.
bool KeyThere(HKEY root, const std::string& key);
bool ReadString(HKEY root, const std::string& key, const std::string& value, std::string* data);
bool WriteString(HKEY root, const std::string& key, const std::string& value, const std::string& data);

// ---- Processes --------------------------------------------------------------

struct Process {
    DWORD id;
    std::string path;
};
std::vector<Process> Processes();  // with their executable paths, where they can be read
bool Running(const std::string& path);  // a process runs from exactly this path (any case)

}  // namespace sandbox
