#include "detection/folder_walker.h"

#include "detection/file_matcher.h"
#include "environment/paths.h"
#include "environment/text.h"
#include "scan/shared_state.h"

namespace {

// The extensions under which the hijacker hides its files.
const wchar_t* const kScannedExtensions[] = {L".exe", L".dat", L".dll", L".bak",
                                             L".$$$", L".log", L".txt", L".tmp"};

}  // namespace

bool HasScannedExtension(const std::wstring& name)
{
    if (name.size() < 4) return false;
    const std::wstring tail = LCase(name.substr(name.size() - 4));
    for (const wchar_t* extension : kScannedExtensions)
        if (tail == extension) return true;
    return false;
}

void ScanFolder(const std::wstring& folder)
{
    ForEachFolderEntry(folder, [&](const std::wstring& name, DWORD) {
        // An abort lets the file being examined finish and stops before the next one.
        if (gAbort != kFalse) return false;
        if (name != L"." && name != L".." && HasScannedExtension(name))
            ScanFile(folder + name, folder, name);
        return true;
    });
}
