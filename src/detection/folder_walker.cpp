#include "detection/folder_walker.h"

#include "detection/file_matcher.h"
#include "environment/folder_listing.h"
#include "environment/text.h"
#include "session/shared_state.h"
#include "session/ui.h"

namespace {

// The extensions under which the hijacker hides its files.
const wchar_t* const kScannedExtensions[] = {L".exe", L".dat", L".dll", L".bak",
                                             L".$$$", L".log", L".txt", L".tmp"};

const wchar_t kNotScannedLine[] = L"Not Scanned ! : ";
const wchar_t kNotScannedReason[] = L" (name without an exact form)";

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
    ForEachFolderEntry(folder, [&](const FolderEntry& entry) {
        // An abort lets the file being examined finish and stops before the next one.
        if (gAbort != kFalse) return false;
        if (entry.IsDots()) return true;
        if (entry.name.empty()) {
            // No name reaches this very file: it is shown rather than examined
            // by a look-alike name, which would be some other file.
            if (!entry.IsFolder()) ui::AddLine(kNotScannedLine + folder + entry.listedName + kNotScannedReason);
            return true;
        }
        if (HasScannedExtension(entry.listedName)) ScanFile(folder + entry.name, folder, entry.name);
        return true;
    });
}
