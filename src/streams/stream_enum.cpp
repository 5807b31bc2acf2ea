// Listing the named data streams of the files directly inside one folder.
#include "streams/stream_enum.h"
#include "streams/stream_list.h"

#include <algorithm>
#include <vector>

#include "environment/folder_listing.h"
#include "platform/win32.h"
#include "streams/stream_matcher.h"

namespace {

// The stream list is read once into a buffer of this fixed size.
constexpr ULONG kStreamListBytes = 393216;



// NTSTATUS severity "error": the status block's length is meaningless then.
bool IsNtError(LONG status)
{
    return (static_cast<ULONG>(status) >> 30) == 3;
}

}  // namespace

void ScanFolderStreams(const std::wstring& folder)
{
    ForEachFolderEntry(folder, [&](const FolderEntry& entry) {
        // "." and "..", names that begin with a dot, folders and undotted
        // names are passed over; so is a file no name reaches (the file stage
        // reports it).
        const std::wstring& name = entry.listedName;
        if (!entry.name.empty() && !name.empty() && name[0] != L'.' && !entry.IsFolder() &&
            name.find(L'.') != std::wstring::npos)
            ScanFileStreams(folder + entry.name);
        return true;
    });
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
    if (!file.valid()) return;

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
