#include "detection/folder_walker.h"

#include "detection/file_matcher.h"
#include "environment/paths.h"
#include "environment/text.h"
#include "forms/ui.h"
#include "platform/win32.h"
#include "scan/shared_state.h"

namespace {

// The extensions under which the hijacker hides its files.
const wchar_t* const kScannedExtensions[] = {L".exe", L".dat", L".dll", L".bak",
                                             L".$$$", L".log", L".txt", L".tmp"};

bool HasScannedExtension(const std::wstring& name)
{
    if (name.size() < 4) return false;
    const std::wstring tail = LCase(name.substr(name.size() - 4));
    for (const wchar_t* extension : kScannedExtensions)
        if (tail == extension) return true;
    return false;
}

struct FindHandle {
    HANDLE handle;
    ~FindHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

}  // namespace

void ScanFolder(const std::wstring& folder)
{
    // Without a folder the search would run in the current folder.
    if (folder.empty()) return;

    WIN32_FIND_DATAA data;
    FindHandle find{FindFirstFileA(platform::ToAnsi(folder + L"*.*").c_str(), &data)};
    if (find.handle == INVALID_HANDLE_VALUE) return;

    bool haveEntry = true;
    while (haveEntry) {
        if (gAbort != kFalse) break;
        const std::wstring name =
            TrimNull(platform::FromAnsi(data.cFileName, sizeof(data.cFileName)));
        if (name != L"." && name != L".." && HasScannedExtension(name))
            ScanFile(folder + name, folder, name);
        haveEntry = FindNextFileA(find.handle, &data) != FALSE;
        ui::PumpMessages();
    }
}
