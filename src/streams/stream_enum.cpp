// Listing the named data streams of the files directly inside one folder.
#include "streams/stream_enum.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "forms/ui.h"
#include "platform/win32.h"
#include "streams/stream_matcher.h"

namespace {

// The stream list is read once into a buffer of this fixed size.
constexpr ULONG kStreamListBytes = 393216;

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};


// NTSTATUS severity "error": the status block's length is meaningless then.
bool IsNtError(LONG status)
{
    return (static_cast<ULONG>(status) >> 30) == 3;
}

}  // namespace

void ScanFolderStreams(const std::wstring& folder)
{
    WIN32_FIND_DATAA entry{};
    FindHandle search(FindFirstFileA(platform::ToAnsi(folder + L"*.*").c_str(), &entry));
    if (search.get() == INVALID_HANDLE_VALUE) return;

    BOOL more = TRUE;
    while (more) {
        const std::wstring name =
            platform::FromAnsi(entry.cFileName, strnlen(entry.cFileName, sizeof(entry.cFileName)));
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // "." and "..", names that begin with a dot, folders and undotted
        // names are passed over.
        if (!name.empty() && name[0] != L'.' && !isFolder && name.find(L'.') != std::wstring::npos) {
            ScanFileStreams(folder + name);
        }
        more = FindNextFileA(search.get(), &entry);
        ui::PumpMessages();
    }
}

void ScanFileStreams(const std::wstring& path)
{
    // Windows 9x and any system without this entry point have no stream list.
    platform::LoadedLibrary ntdll("ntdll.dll");
    auto query = ntdll.Entry<NtQueryInformationFileFn>("NtQueryInformationFile");
    if (query == nullptr) return;

    // Desired access 0 reads the stream list without taking any share access,
    // so files in use by Windows can still be listed.
    const std::basic_string<WCHAR> widePath = platform::ToUtf16(path);
    platform::HeldHandle file(CreateFileW(widePath.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return;

    std::vector<uint8_t> buffer(kStreamListBytes, 0);
    IO_STATUS_BLOCK status{};
    const LONG result = query(file.get(), &status, buffer.data(), kStreamListBytes,
                              kFileStreamInformation);
    const size_t returned =
        IsNtError(result) ? 0 : std::min<size_t>(status.Information, kStreamListBytes);

    WalkStreamList(buffer.data(), returned, [&](const std::wstring& bareName, int32_t size) {
        CheckStream(path + L":" + bareName, size);
    });
}
