#include "scan/activity_log.h"

#include "environment/paths.h"
#include "platform/win32.h"
#include "session/activity.h"
#include "session/shared_state.h"

namespace {

const wchar_t kLineEnd[] = L"\r\n";

}  // namespace

void CaptureListToLog()
{
    for (const std::wstring& line : ActivityLines()) {
        gLogText += line;
        gLogText += kLineEnd;
    }
}

std::wstring LogFilePath()
{
    // Without the program's folder (its path did not fit) there is no place
    // beside it: "\Gv LogFile.txt" would land in a drive's root.
    std::wstring folder = GetProgramFolder();
    if (folder.empty()) return std::wstring();
    if (folder.back() != L'\\') folder += L'\\';
    return folder + kLogFileName;
}

bool WriteLogFile()
{
    const std::wstring path = LogFilePath();
    if (path.empty()) return false;
    const std::string record = platform::ToAnsi(gLogText + kLineEnd + kLineEnd);

    platform::HeldHandle log(CreateFileA(platform::ToAnsi(path).c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) return false;

    // Earlier runs' blocks stay: a failure to reach the end must not become a
    // write over the start of the file.
    LONG high = 0;
    SetLastError(NO_ERROR);
    if (SetFilePointer(log.get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;

    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(record.size());
    const BOOL wrote = WriteFile(log.get(), record.data(), size, &written, nullptr);
    return wrote && written == size;
}
