// Loading Windows' own libraries without searching the program's folder.
// Grevlin is started from wherever it was downloaded, on a machine that a
// hijacker controls: a DLL placed beside it must never run.
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace platform {
namespace {

// The common controls are no known DLL: by bare name Windows would look in
// the program's folder first.
const char kCommonControls[] = "comctl32.dll";

// True when the activation context in force redirects this bare name, which
// Windows resolves (to its side-by-side store) before searching any folder.
bool RedirectedByActivationContext(const char* name)
{
    // Windows XP brought activation contexts; earlier systems have no such call.
    const LoadedLibrary kernel32("kernel32.dll");
    const auto find = kernel32.Entry<FindActCtxSectionStringAFn>("FindActCtxSectionStringA");
    if (find == nullptr) return false;
    ACTCTX_SECTION_KEYED_DATA_2600 data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    return find(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data) != FALSE;
}

}  // namespace

HMODULE LoadSystemLibrary(const char* name)
{
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}

bool LoadCommonControls(DWORD classes)
{
    // A full path would bypass the redirection and give a styled start the
    // unstyled version 5 controls.
    HMODULE comctl32 = RedirectedByActivationContext(kCommonControls)
                           ? LoadLibraryA(kCommonControls)
                           : LoadSystemLibrary(kCommonControls);
    if (comctl32 == nullptr) return false;
    // Kept loaded: the window classes it registers serve the whole run.
    const auto init = reinterpret_cast<InitCommonControlsExFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(comctl32, "InitCommonControlsEx")));
    if (init == nullptr) return false;
    INITCOMMONCONTROLSEX request;
    request.dwSize = sizeof request;
    request.dwICC = classes;
    return init(&request) != FALSE;
}

}  // namespace platform
