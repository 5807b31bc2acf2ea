// The one door to Windows. Program code includes this header and calls the
// Win32 API by its own names; the build decides what answers: the real
// system on Windows, our simulated Windows (src/platform/sim) on Linux.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <tlhelp32.h>
#include <psapi.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <commctrl.h>
#include <winternl.h>

#include <cstddef>

// MinGW's <winternl.h> carries FILE_STREAM_INFORMATION and IO_STATUS_BLOCK
// with the layout ntdll fills.
static_assert(offsetof(FILE_STREAM_INFORMATION, StreamName) == 24, "ntdll layout");
#else
#include "platform/sim/simwin.h"
#endif

#include <string>

// ntdll's NtQueryInformationFile, looked up at run time (class 22 lists streams).
typedef LONG(WINAPI* NtQueryInformationFileFn)(HANDLE file, PVOID ioStatusBlock, PVOID buffer,
                                                 ULONG length, ULONG informationClass);
constexpr ULONG kFileStreamInformation = 22;

// uxtheme's IsThemeActive, looked up at run time (absent before Windows XP).
typedef BOOL(WINAPI* IsThemeActiveFn)();

// version.dll's reading of the program's own version resource.
typedef DWORD(WINAPI* GetFileVersionInfoSizeAFn)(LPCSTR file, LPDWORD handle);
typedef BOOL(WINAPI* GetFileVersionInfoAFn)(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
typedef BOOL(WINAPI* VerQueryValueAFn)(LPCVOID block, LPCSTR subBlock, LPVOID* buffer,
                                       UINT* length);

// comctl32's InitCommonControlsEx, and kernel32's activation-context query
// (Windows XP and later) that tells which comctl32 the program runs with.
typedef BOOL(WINAPI* InitCommonControlsExFn)(const INITCOMMONCONTROLSEX* classes);
typedef BOOL(WINAPI* FindActCtxSectionStringAFn)(DWORD flags, const GUID* extension,
                                                 ULONG section, LPCSTR name,
                                                 PACTCTX_SECTION_KEYED_DATA_2600 data);

// The process walks, looked up at run time: Windows 9x has no psapi.dll and
// the kernel32 of Windows NT 4.0 has no toolhelp calls.
typedef HANDLE(WINAPI* CreateToolhelp32SnapshotFn)(DWORD flags, DWORD processId);
typedef BOOL(WINAPI* Process32FirstFn)(HANDLE snapshot, LPPROCESSENTRY32 entry);
typedef BOOL(WINAPI* Process32NextFn)(HANDLE snapshot, LPPROCESSENTRY32 entry);
typedef BOOL(WINAPI* EnumProcessesFn)(DWORD* processIds, DWORD size, LPDWORD returned);
typedef BOOL(WINAPI* EnumProcessModulesFn)(HANDLE process, HMODULE* modules, DWORD size,
                                           LPDWORD needed);
typedef DWORD(WINAPI* GetModuleFileNameExAFn)(HANDLE process, HMODULE module, LPSTR name,
                                              DWORD size);
typedef DWORD(WINAPI* GetModuleFileNameExWFn)(HANDLE process, HMODULE module, LPWSTR name,
                                              DWORD size);
// The module walk of toolhelp, the only one Windows 9x has.
typedef BOOL(WINAPI* Module32FirstFn)(HANDLE snapshot, LPMODULEENTRY32 entry);
typedef BOOL(WINAPI* Module32NextFn)(HANDLE snapshot, LPMODULEENTRY32 entry);
// kernel32 of Windows Vista and later: the image path of a process whose
// modules a 32-bit program cannot read (a 64-bit one).
typedef BOOL(WINAPI* QueryFullProcessImageNameAFn)(HANDLE process, DWORD flags, LPSTR name,
                                                   PDWORD size);
typedef BOOL(WINAPI* QueryFullProcessImageNameWFn)(HANDLE process, DWORD flags, LPWSTR name,
                                                   PDWORD size);
// Long forms of paths: Windows 98 and 2000 and later, not 95 or NT 4.0.
typedef DWORD(WINAPI* GetLongPathNameAFn)(LPCSTR shortPath, LPSTR longPath, DWORD size);
typedef DWORD(WINAPI* GetLongPathNameWFn)(LPCWSTR shortPath, LPWSTR longPath, DWORD size);

namespace platform {

// Unicode inside the program, the system ANSI code page at every narrow call.
// Never by best fit: a character without an ANSI form of its own becomes the
// default character, so that no name turns into another one.
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const std::string& text);
std::wstring FromAnsi(const char* text, size_t length);
// True when the text converts to ANSI and back unchanged: only such names,
// read from the disk or the registry, may be handed to the narrow calls.
bool HasExactAnsiForm(const std::wstring& text);

// UTF-16 for the one wide call (CreateFileW) and for stream names.
std::basic_string<WCHAR> ToUtf16(const std::wstring& text);
std::wstring FromUtf16(const WCHAR* text, size_t length);

// The values by which the open calls say "no handle": null for most, for
// kernel handles also INVALID_HANDLE_VALUE, for searches that value only,
// HFILE_ERROR for _lopen.
template <typename Handle>
bool IsNotNull(Handle handle)
{
    return handle != nullptr;
}
inline bool IsKernelHandle(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
inline bool IsSearch(HANDLE find) { return find != INVALID_HANDLE_VALUE; }
inline bool IsLegacyFile(HFILE file) { return file != HFILE_ERROR; }

// A handle closed exactly once by `Close`, however the routine that opened it
// ends; a "no handle" value (`Opened` false) is never closed.
template <typename Handle, auto Close, bool (*Opened)(Handle) = IsNotNull<Handle>>
class Held {
public:
    // Null, for the open calls that hand the handle back through a pointer;
    // only where null says "no handle".
    Held() : handle_() {}
    explicit Held(Handle handle) : handle_(handle) {}
    ~Held()
    {
        if (valid()) Close(handle_);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    Handle get() const { return handle_; }
    bool valid() const { return Opened(handle_); }
    // Where such an open call stores the handle.
    Handle* receive() { return &handle_; }

private:
    Handle handle_;
};

// Files, processes, threads, snapshots.
using HeldHandle = Held<HANDLE, &CloseHandle, IsKernelHandle>;
using HeldFind = Held<HANDLE, &FindClose, IsSearch>;
using HeldKey = Held<HKEY, &RegCloseKey>;
// Service managers and services.
using HeldService = Held<SC_HANDLE, &CloseServiceHandle>;
using HeldLegacyFile = Held<HFILE, &_lclose, IsLegacyFile>;

// A library of Windows itself, loaded by its full path in the system folder:
// a file of the same name beside the program (in a download folder, say) is
// never taken. nullptr when it is missing.
HMODULE LoadSystemLibrary(const char* name);

// Loads and initialises the common controls for the rest of the run: those
// the program's activation context names (version 6, from the side-by-side
// store, on a styled start), else the system folder's. False on failure.
bool LoadCommonControls(DWORD classes);

// A library of Windows loaded for the length of one routine and freed when
// it ends. A missing library or entry point answers nullptr: optional calls
// are looked up this way so that the program still starts where they are
// missing.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* name) : module_(LoadSystemLibrary(name)) {}

    bool Loaded() const { return module_.valid(); }

    template <typename Function>
    Function Entry(const char* name) const
    {
        if (!module_.valid()) return nullptr;
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_.get(), name)));
    }

private:
    Held<HMODULE, &FreeLibrary> module_;
};

}  // namespace platform
