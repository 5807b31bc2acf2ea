// A stand-in for one of Windows' own libraries, planted beside Grevlin.exe
// under that library's name by e2e/run-dll-check. When a process loads it,
// it appends one line to "dll-trace.txt" beside itself:
//
//   process|process id|library|file|module that asked for it
//
// and then passes every call on to the real library in the system folder,
// so that the process goes on as it would have (Wine's own user32 and
// comctl32 load some of these names from the program's folder too).
#include <windows.h>

#include <cstring>
#include <string>

// The entry points passed on: those of version.dll, uxtheme.dll (the ones
// Wine's user32 and comctl32 use among them), comctl32.dll's initialisation
// and psapi.dll. Each becomes an export that jumps through its slot.
#define MARKER_FORWARDS(X)                                                                        \
    X(GetFileVersionInfoSizeA) X(GetFileVersionInfoSizeW) X(GetFileVersionInfoA)                  \
    X(GetFileVersionInfoW) X(GetFileVersionInfoSizeExA) X(GetFileVersionInfoSizeExW)              \
    X(GetFileVersionInfoExA) X(GetFileVersionInfoExW) X(VerQueryValueA) X(VerQueryValueW)         \
    X(VerLanguageNameA) X(VerLanguageNameW)                                                       \
    X(CloseThemeData) X(DrawThemeBackground) X(DrawThemeBackgroundEx) X(DrawThemeEdge)            \
    X(DrawThemeIcon) X(DrawThemeParentBackground) X(DrawThemeText) X(DrawThemeTextEx)             \
    X(EnableThemeDialogTexture) X(EnableTheming) X(GetCurrentThemeName)                           \
    X(GetThemeBackgroundContentRect) X(GetThemeBackgroundExtent) X(GetThemeBackgroundRegion)      \
    X(GetThemeColor) X(GetThemeFont) X(GetThemeInt) X(GetThemeMargins) X(GetThemePartSize)        \
    X(GetThemeSysColor) X(GetThemeSysFont) X(GetThemeTextExtent) X(GetThemeTextMetrics)           \
    X(GetWindowTheme) X(IsAppThemed) X(IsThemeActive) X(IsThemeBackgroundPartiallyTransparent)    \
    X(IsThemePartDefined) X(OpenThemeData) X(OpenThemeDataEx) X(OpenThemeDataForDpi)              \
    X(SetWindowTheme) X(BufferedPaintInit) X(BufferedPaintUnInit) X(BeginBufferedPaint)           \
    X(EndBufferedPaint)                                                                           \
    X(InitCommonControls) X(InitCommonControlsEx)                                                 \
    X(EnumProcesses) X(EnumProcessModules) X(EnumProcessModulesEx) X(GetModuleFileNameExA)        \
    X(GetModuleFileNameExW) X(GetModuleBaseNameA) X(GetModuleBaseNameW)                           \
    X(GetModuleInformation) X(GetProcessImageFileNameA) X(GetProcessImageFileNameW)

// A jump leaves the arguments untouched, on the stack (stdcall) or in
// registers (x64), so it passes any call on. 32-bit C names carry a leading
// underscore; 64-bit code reaches its slot relative to the instruction.
#ifdef _WIN64
#define FORWARD_SYMBOL(name) "forward_" #name
#define FORWARD_JUMP(name) "\tjmp *slot_" #name "(%rip)\n"
#else
#define FORWARD_SYMBOL(name) "_forward_" #name
#define FORWARD_JUMP(name) "\tjmp *_slot_" #name "\n"
#endif
#define DEFINE_FORWARD(name)                                                                      \
    extern "C" {                                                                                  \
    void* slot_##name = nullptr;                                                                  \
    }                                                                                             \
    asm(".text\n.globl " FORWARD_SYMBOL(name) "\n" FORWARD_SYMBOL(name) ":\n" FORWARD_JUMP(name)  \
        ".section .drectve\n\t.ascii \" -export:" #name "=forward_" #name "\"\n.text\n");
MARKER_FORWARDS(DEFINE_FORWARD)

namespace {

struct Forward {
    const char* name;
    void** slot;
};
#define LIST_FORWARD(name) {#name, &slot_##name},
const Forward kForwards[] = {MARKER_FORWARDS(LIST_FORWARD)};

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string FileName(const std::string& path)
{
    return path.substr(path.find_last_of('\\') + 1);
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

// The module whose code lies at this address, by file name; "" for none.
std::string ModuleAt(void* address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return std::string();
    return FileName(ModulePath(module));
}

// Calls visit(image base, descriptor) for each library the program imports.
template <typename Visit>
void ForEachProgramImport(Visit visit)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry)
        visit(base, *entry);
}

// Does the program's own import table name this library?
bool ProgramImports(const std::string& library)
{
    bool named = false;
    ForEachProgramImport([&](BYTE* base, const IMAGE_IMPORT_DESCRIPTOR& entry) {
        named = named || Lower(reinterpret_cast<const char*>(base + entry.Name)) == Lower(library);
    });
    return named;
}

// Who asked: for a load at start-up (an import table), the program when its
// own table names the library, else another module's; for LoadLibrary, the
// first module on the stack below the loader and the LoadLibrary calls.
std::string Requester(HMODULE self, const std::string& library, bool atStartUp)
{
    if (atStartUp) {
        const std::string program = FileName(ModulePath(nullptr));
        return ProgramImports(library) ? program + " (import table)"
                                       : "another module's import table";
    }
    const std::string own = Lower(FileName(ModulePath(self)));
    void* frames[62] = {};
    const USHORT count = RtlCaptureStackBackTrace(0, 62, frames, nullptr);
    for (USHORT i = 0; i < count; ++i) {
        const std::string module = Lower(ModuleAt(frames[i]));
        if (module.empty() || module == own || module == "ntdll.dll" || module == "kernelbase.dll" ||
            module == "kernel32.dll")
            continue;
        return ModuleAt(frames[i]);
    }
    return "unknown";
}

// Appends "process|process id|library|file|who asked" to the trace.
void Trace(const std::string& folder, const std::string& file, const std::string& asker)
{
    const std::string line = FileName(ModulePath(nullptr)) + "|" +
                             std::to_string(GetCurrentProcessId()) + "|" + FileName(file) + "|" +
                             file + "|" + asker + "\r\n";
    HANDLE trace = CreateFileA((folder + "dll-trace.txt").c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (trace == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(trace, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(trace);
}

// ---- The program's own LoadLibrary calls. A marker that is loaded already
// (Wine's user32 holds uxtheme.dll, say) runs no DllMain for the next request
// of its name, so the program's import table is made to pass its LoadLibrary
// calls through these watchers, which note every answer that is a marker.
std::string gFolder;  // the markers' folder, lower case, with its backslash

bool IsMarker(HMODULE module)
{
    const std::string path = Lower(ModulePath(module));
    return module != nullptr && path.compare(0, gFolder.size(), gFolder) == 0 &&
           path.find('\\', gFolder.size()) == std::string::npos;
}

HMODULE NoteProgramRequest(HMODULE module, const char* call)
{
    if (IsMarker(module))
        Trace(gFolder, ModulePath(module), FileName(ModulePath(nullptr)) + " (" + call + ")");
    return module;
}

HMODULE WINAPI WatchLoadLibraryA(LPCSTR name)
{
    return NoteProgramRequest(LoadLibraryA(name), "LoadLibraryA");
}

HMODULE WINAPI WatchLoadLibraryW(LPCWSTR name)
{
    return NoteProgramRequest(LoadLibraryW(name), "LoadLibraryW");
}

HMODULE WINAPI WatchLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags)
{
    return NoteProgramRequest(LoadLibraryExA(name, file, flags), "LoadLibraryExA");
}

HMODULE WINAPI WatchLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags)
{
    return NoteProgramRequest(LoadLibraryExW(name, file, flags), "LoadLibraryExW");
}

// Points the program's import slots for the LoadLibrary calls at the
// watchers, once per process (the first marker loaded does it).
void WatchProgramLoads()
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    auto real = [kernel32](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(kernel32, name));
    };
    const struct {
        void* real;
        void* watcher;
    } calls[] = {
        {real("LoadLibraryA"), reinterpret_cast<void*>(&WatchLoadLibraryA)},
        {real("LoadLibraryW"), reinterpret_cast<void*>(&WatchLoadLibraryW)},
        {real("LoadLibraryExA"), reinterpret_cast<void*>(&WatchLoadLibraryExA)},
        {real("LoadLibraryExW"), reinterpret_cast<void*>(&WatchLoadLibraryExW)},
    };
    ForEachProgramImport([&](BYTE* base, const IMAGE_IMPORT_DESCRIPTOR& entry) {
        for (auto* slot = reinterpret_cast<void**>(base + entry.FirstThunk); *slot != nullptr; ++slot) {
            for (const auto& call : calls) {
                DWORD old = 0;
                if (call.real == nullptr || *slot != call.real ||
                    !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old))
                    continue;
                *slot = call.watcher;
                VirtualProtect(slot, sizeof *slot, old, &old);
            }
        }
    });
}

void ForwardToTheRealLibrary(const std::string& library)
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    HMODULE real = LoadLibraryA((std::string(system) + "\\" + library).c_str());
    if (real == nullptr) return;
    for (const Forward& forward : kForwards)
        *forward.slot = reinterpret_cast<void*>(GetProcAddress(real, forward.name));
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    const std::string path = ModulePath(self);
    const std::string library = FileName(path);
    const std::string folder = path.substr(0, path.size() - library.size());
    Trace(folder, path, Requester(self, library, reserved != nullptr));
    ForwardToTheRealLibrary(library);
    // Never unloaded: the program's import slots may point at its watchers.
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&DllMain), &pinned);
    gFolder = Lower(folder);
    WatchProgramLoads();
    return TRUE;
}
