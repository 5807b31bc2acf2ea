#include "detection/file_locations.h"

#include "detection/file_matcher.h"
#include "detection/folder_walker.h"
#include "environment/file_facts.h"
#include "environment/paths.h"
#include "removal/infected_file.h"
#include "session/shared_state.h"
#include "session/ui.h"

void ScanFileLocations()
{
    ui::SetStatus(L"Scanning File locations...");
    gFilesFound = 0;

    // A folder the system cannot name is left out: "\" alone would mean the
    // root of the current drive.
    const std::wstring windowsDir = GetWindowsDir();
    const std::wstring systemDir = GetSystemDir();
    if (!windowsDir.empty()) ScanFolder(windowsDir + L"\\");
    if (!systemDir.empty()) ScanFolder(systemDir + L"\\");

    if (!windowsDir.empty()) {
        const std::wstring warnhp = windowsDir + L"\\warnhp.html";
        if (FileIsPresent(warnhp)) {
            RemoveInfectedFile(windowsDir + L"\\", L"warnhp.html");
            ++gFilesFound;
            ReportFileRemoval(warnhp, warnhp, StayingFile::Reported);
        }
    }

    // The temporary folder's se.dll is known by name alone; without that
    // folder the bare name would resolve against the current folder.
    const std::wstring tempDir = GetTempDir();
    if (tempDir.empty()) return;
    const std::wstring seDll = tempDir + L"se.dll";
    if (FileIsPresent(seDll)) {
        RemoveInfectedFile(tempDir, L"se.dll");
        ++gFilesFound;
        ReportFileRemoval(seDll, L"Temp Folder\\Se.dll", StayingFile::DeletedOnReboot);
    }
}
