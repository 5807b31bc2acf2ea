#include "detection/scratch_folder.h"

#include <atomic>

#include "environment/paths.h"

namespace testfiles {

ScratchFolder::ScratchFolder(const std::wstring& parent)
{
    static std::atomic<int> counter{0};
    std::wstring base = parent.empty() ? GetTempDir() : parent;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    for (int attempt = 0; attempt < 100 && !ok_; ++attempt) {
        path_ = base + L"gvscratch" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(counter++) + L"\\";
        ok_ = CreateDirectoryA(platform::ToAnsi(path_).c_str(), nullptr) != FALSE;
    }
}

ScratchFolder::~ScratchFolder()
{
    for (const std::wstring& file : files_) win32files::Remove(file);
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
        RemoveDirectoryA(platform::ToAnsi(*it).c_str());
    if (ok_) RemoveDirectoryA(platform::ToAnsi(path_).c_str());
}

std::wstring ScratchFolder::Write(const std::wstring& name, const std::string& bytes,
                                  DWORD attributes)
{
    std::wstring path = path_ + name;
    files_.push_back(path);
    win32files::Write(path, bytes, attributes);
    return path;
}

std::wstring ScratchFolder::AddFolder(const std::wstring& name)
{
    std::wstring path = path_ + name;
    folders_.push_back(path);
    CreateDirectoryA(platform::ToAnsi(path).c_str(), nullptr);
    return path + L"\\";
}

HeldFile::HeldFile(const std::wstring& path, DWORD access, DWORD share)
    : handle_(CreateFileA(platform::ToAnsi(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                          0, nullptr))
{
}

HeldFile::~HeldFile()
{
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

std::string FillerBytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(1 + (i * 7) % 250);
    return bytes;
}

}  // namespace testfiles
