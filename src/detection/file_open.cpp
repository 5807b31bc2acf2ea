#include "detection/file_open.h"

HANDLE OpenForReading(const std::wstring& path)
{
    return CreateFileA(platform::ToAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}
