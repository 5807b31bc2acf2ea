// Control of the simulated Windows: tests arrange a machine here, run the
// program's code against the Win32 names of simwin.h, then inspect what the
// code left behind. Paths and names are ANSI (code page 1252) strings, as the
// A functions see them; comparisons of names are case-insensitive as on NTFS.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/sim/simwin.h"

namespace sim {

// A fresh machine: Windows XP SP2 (NT 5.1, build 2600), drive C: NTFS with
// named streams, C:\WINDOWS, C:\WINDOWS\system32, the temporary folder
// C:\DOCUME~1\Owner\LOCALS~1\Temp\ (the short form of
// "C:\Documents and Settings\Owner\Local Settings\Temp"), the program at C:\Program Files\Grevlin\Grevlin.exe,
// an explorer.exe process, the three registry roots empty, no services,
// clock at 2006-07-30 12:00:00.000, theme library present and active.
void Reset();

// ---- Platform family, version, folders, own program ------------------------
enum class Family { Nt, Win9x, Other };
// Also sets the process-walk libraries that family has: psapi.dll on NT only,
// kernel32's toolhelp calls everywhere but NT before 5.0 (SetLibraryPresent after it to differ).
void SetPlatform(Family family, DWORD major, DWORD minor, DWORD build);
void SetVersionExFails(bool fails);
void SetWindowsDir(const std::string& path);   // no trailing backslash
void SetSystemDir(const std::string& path);    // no trailing backslash
void SetTempDir(const std::string& path);      // with trailing backslash, as GetTempPathA gives it
void SetTempDir(const std::wstring& path);     // a name the code page may not spell
void SetModulePath(const std::string& path);   // the program's own executable
// The program's environment; an empty value removes the variable. The fresh
// machine has USERPROFILE=C:\Documents and Settings\Owner and
// ProgramFiles=C:\Program Files, and nothing else.
void SetEnvironment(const std::string& name, const std::string& value);
void SetCommandLine(const std::string& commandLine);
DWORD SelfProcessId();

// ---- Volumes ---------------------------------------------------------------
struct Volume {
    std::string root = "C:\\";
    std::string fileSystem = "NTFS";
    DWORD flags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK |
                  FILE_PERSISTENT_ACLS | FILE_NAMED_STREAMS;
    bool queryFails = false;
    // NTFS may be told to make no 8.3 names: files created afterwards have none.
    bool shortNames = true;
};
void SetVolume(const Volume& volume);  // replaces the volume with the same root
Volume Ntfs(const std::string& root = "C:\\");
Volume Fat32(const std::string& root = "C:\\");

// ---- Files, folders, streams -----------------------------------------------
// Parent folders are created as needed. Contents are raw bytes.
void AddFolder(const std::string& path);
void AddFolder(const std::wstring& path);
void AddFile(const std::string& path, const std::string& contents,
             DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void AddFile(const std::wstring& path, const std::string& contents,
             DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void AddStream(const std::string& filePath, const std::string& streamName,
               const std::string& contents);
bool FileExists(const std::string& path);      // a file, not a folder
bool FileExists(const std::wstring& path);
bool FolderExists(const std::string& path);
bool FolderExists(const std::wstring& path);
std::string FileContents(const std::string& path);  // "path" or "path:stream"
std::string FileContents(const std::wstring& path);
DWORD Attributes(const std::string& path);      // INVALID_FILE_ATTRIBUTES when missing
std::vector<std::string> StreamNames(const std::string& filePath);  // named streams, in order
// Entry names in listing order: as FindFirstFileA reports them (best fit),
// or the true names.
std::vector<std::string> ListFolder(const std::string& folder);
std::vector<std::wstring> ListFolder(const std::wstring& folder);
// The generated 8.3 form, ASCII: characters other than ASCII become "_".
std::string ShortPath(const std::string& path);
std::wstring ShortPath(const std::wstring& path);
// The folder is a junction, mount point or symbolic link: its attributes
// carry FILE_ATTRIBUTE_REPARSE_POINT.
void SetReparsePoint(const std::string& folder, bool reparsePoint);
void SetReparsePoint(const std::wstring& folder, bool reparsePoint);
// The size the file reports to GetFileSize and find records, e.g. 2 GiB and more;
// reads still deliver only the real contents.
void SetReportedSize(const std::string& path, uint64_t size);
// The file disappears when it is next opened (it vanished after the listing).
void VanishOnOpen(const std::string& path);
// Replace the stream list that NtQueryInformationFile returns for this file
// (forged records); the returned length is the size of these bytes.
void SetStreamListBytes(const std::string& filePath, const std::string& bytes);
// The stream query on this file fails and returns nothing.
void FailStreamQuery(const std::string& filePath);
// A folder in which nothing can be created or written (a read-only medium).
void SetFolderReadOnly(const std::string& folder, bool readOnly);
// Make the next write to this path fail midway (after `bytesBeforeFailure` bytes).
void FailWriteAfter(const std::string& path, size_t bytesBeforeFailure);

// ---- Processes --------------------------------------------------------------
struct ProcessSpec {
    // What the toolhelp snapshot reports (9x: full path); when empty, the
    // file name of imagePath by best fit.
    std::string exeFile;
    // What GetModuleFileNameExA and QueryFullProcessImageNameA report on NT
    // ("\??\C:\...", "\SystemRoot\...").
    std::string modulePath;
    // The image's path in Unicode, in place of modulePath: what the W
    // queries report; the A queries report its best fit.
    std::wstring imagePath{};
    bool canOpen = true;
    bool canTerminate = true;
    // false: the modules cannot be read (ERROR_PARTIAL_COPY), as a 64-bit
    // process's are from this 32-bit program.
    bool canEnumModules = true;
    // The rights an OpenProcess may ask for; asking for one more is refused
    // (a protected or elevated process grants only a few).
    DWORD grantedRights = 0x001FFFFF;
    // Once ended, it takes this long (virtual time) to exit and keeps the
    // files it holds open until then.
    DWORD exitMs = 0;
};
DWORD AddProcess(const ProcessSpec& spec);  // returns the process identifier
DWORD AddProcess(const std::string& path);  // exeFile and modulePath both `path`
// The process holds the file (or stream) open with this share mode until it ends.
void HoldFile(DWORD processId, const std::string& path, DWORD shareMode);
void HoldFile(DWORD processId, const std::wstring& path, DWORD shareMode);
// The process loads a library: EnumProcessModules lists it after the
// executable, GetModuleFileNameExA/W name it, its module snapshot lists it.
void LoadModule(DWORD processId, const std::string& path);
void LoadModule(DWORD processId, const std::wstring& path);
bool IsRunning(DWORD processId);
std::vector<DWORD> RunningProcesses();
std::vector<DWORD> TerminatedProcesses();   // in termination order

// ---- Services ---------------------------------------------------------------
struct ServiceSpec {
    std::string name;  // ANSI bytes, as the service manager stores it
    DWORD state = SERVICE_RUNNING;
    int pendingQueries = 0;  // status queries answered STOP_PENDING after the stop control; -1: for ever
    bool canOpen = true;
    bool acceptsStop = true;
};
void AddService(const ServiceSpec& spec);
DWORD ServiceState(const std::string& name);  // 0 when no such service
int StopControlsReceived(const std::string& name);
int StatusQueries(const std::string& name);
// The 9x family has no service control manager; this follows SetPlatform
// but can be forced either way.
void SetServiceManagerAvailable(bool available);

// ---- Registry ---------------------------------------------------------------
// Keys are case-insensitive; values keep their type and bytes.
void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const std::string& data);
void SetString(HKEY root, const std::string& key, const std::string& name,
               const std::string& text);  // REG_SZ with its NUL
void SetString(HKEY root, const std::wstring& key, const std::string& name,
               const std::string& text);
void AddKey(HKEY root, const std::string& key);
void AddKey(HKEY root, const std::wstring& key);
bool KeyExists(HKEY root, const std::string& key);
bool KeyExists(HKEY root, const std::wstring& key);
bool ValueExists(HKEY root, const std::string& key, const std::string& name);
std::string ValueData(HKEY root, const std::string& key, const std::string& name);
DWORD ValueType(HKEY root, const std::string& key, const std::string& name);
// In enumeration order: as RegEnumKeyExA reports them (best fit), or the true names.
std::vector<std::string> SubKeys(HKEY root, const std::string& key);
std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& key);
// Every open of this key (and deletion of it or below it) is refused with ERROR_ACCESS_DENIED.
void RefuseKey(HKEY root, const std::string& key);
void RefuseAllKeys(bool refuse);

// ---- Restart-time deletions, started programs, links, libraries -------------
std::vector<std::string> PendingDeletes();  // MoveFileExA(..., NULL, MOVEFILE_DELAY_UNTIL_REBOOT)
// MoveFileExA's deletions at restart are refused with ERROR_ACCESS_DENIED, as
// for a user who may not change the system's list of pending operations.
void RefuseRestartDeletions(bool refuse);
struct StartedProgram {
    std::string commandLine;
    UINT show;
    std::string module{};         // CreateProcessA: the file it started ("" for WinExec)
    std::string currentFolder{};  // CreateProcessA: the folder it was given ("" for none)
    DWORD processId = 0;          // CreateProcessA: the new process, running until ended
};
std::vector<StartedProgram> StartedPrograms();  // WinExec and CreateProcessA, in order
std::vector<std::string> OpenedLinks();         // ShellExecuteA targets
// Libraries are Windows' own, in the system folder. A file placed elsewhere
// (AddFile "C:\\Program Files\\Grevlin\\uxtheme.dll") is loaded where the
// search order reaches it: a bare name that is no known DLL is looked for in
// the program's folder before the system folder.
void SetLibraryPresent(const std::string& name, bool present);  // e.g. "uxtheme.dll"
// An older version of a library, without this export: GetProcAddress finds nothing.
void SetEntryPointPresent(const std::string& library, const std::string& entry, bool present);
void SetThemeActive(bool active);
// This instance started under a manifest asking for Common Controls 6 (the
// restart of a styled start): its activation context sends "comctl32.dll"
// to the side-by-side store.
void SetCommonControlsManifest(bool present);
std::vector<std::string> ForeignLibraryLoads();  // every load of a file outside Windows, in order
std::string CommonControlsInitialised();  // the comctl32 whose InitCommonControlsEx ran, or ""
void SetVersionStrings(const std::string& companyName, const std::string& fileDescription);

// ---- Virtual clock ------------------------------------------------------------
uint64_t NowMs();            // milliseconds since Reset
uint64_t TotalSleptMs();     // sum of all Sleep calls since Reset
std::vector<DWORD> Sleeps(); // every Sleep argument, in order
void AdvanceMs(uint64_t ms);
void SetLocalTime(const SYSTEMTIME& time);  // the clock's origin

// ---- Observers -----------------------------------------------------------------
// Called after every Win32 call by name (for tests that act at a given moment).
void SetCallHook(std::function<void(const char* function)> hook);
int OpenHandles();  // handles not yet closed (files, finds, keys, processes, snapshots, services)

}  // namespace sim
