#include "environment/file_facts.h"

#include "environment/text.h"
#include "platform/win32.h"

int32_t GetFileLength(const std::wstring& path)
{
    platform::HeldLegacyFile opened{
        _lopen(platform::ToAnsi(path).c_str(), OF_READ | OF_SHARE_COMPAT)};
    if (!opened.valid()) return -1;  // what the size query on the failed open yields
    DWORD high = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(opened.get()));
    return static_cast<int32_t>(GetFileSize(handle, &high));
}

bool FileIsPresent(const std::wstring& path)
{
    // A search pattern would find other files than the one named.
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos) return false;
    WIN32_FIND_DATAA data;
    const platform::HeldFind find(FindFirstFileA(platform::ToAnsi(path).c_str(), &data));
    return find.valid() && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
