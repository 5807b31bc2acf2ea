// Whether the system drive can hold named streams, and the stream stage itself.
#include "streams/stream_stage.h"

#include "environment/paths.h"
#include "platform/win32.h"
#include "session/ui.h"
#include "streams/stream_enum.h"

Boolean IsSystemNtfs()
{
    // The flag decides, not the file-system name: any volume that reports
    // named streams can carry a hidden copy.
    const std::string root = platform::ToAnsi(GetWindowsDir().substr(0, 3));
    char volumeName[256] = {};
    char fileSystemName[256] = {};
    DWORD serialNumber = 0;
    DWORD maxComponentLength = 0;
    DWORD fileSystemFlags = 0;
    if (!GetVolumeInformationA(root.c_str(), volumeName, sizeof(volumeName), &serialNumber,
                               &maxComponentLength, &fileSystemFlags, fileSystemName,
                               sizeof(fileSystemName))) {
        return kFalse;
    }
    return (fileSystemFlags & FILE_NAMED_STREAMS) != 0 ? kTrue : kFalse;
}

void ScanStreams()
{
    ui::SetStatus(L"Scanning ADS locations...");
    ScanFolderStreams(GetWindowsDir() + L"\\");
    if (gStreamsFound == 0) ui::AddLine(L"No Ads Found!");
}
