// Plain Win32 file helpers for tests that run against real Windows (under
// Wine) as well as against the simulation.
#pragma once

#include <string>

#include "platform/win32.h"

namespace win32files {

inline bool Exists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool FolderExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Writes `bytes` to `path` (replacing it, whatever its attributes), then sets `attributes`.
inline bool Write(const std::string& path, const std::string& bytes,
                  DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesA(path.c_str(), attributes);
    return ok && written == bytes.size();
}

inline std::string Read(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

inline void Remove(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// The program's own wide paths go through the same ANSI calls, in code page form.
inline bool Exists(const std::wstring& path) { return Exists(platform::ToAnsi(path)); }
inline bool Write(const std::wstring& path, const std::string& bytes,
                  DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    return Write(platform::ToAnsi(path), bytes, attributes);
}
inline std::string Read(const std::wstring& path) { return Read(platform::ToAnsi(path)); }
inline void Remove(const std::wstring& path) { Remove(platform::ToAnsi(path)); }

// The same by a Unicode name, which the ANSI calls cannot reach.
inline bool WriteWide(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(platform::ToUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline bool ExistsWide(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(platform::ToUtf16(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline void RemoveWide(const std::wstring& path)
{
    SetFileAttributesW(platform::ToUtf16(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(platform::ToUtf16(path).c_str());
}

// A file the test replaces for its duration and puts back afterwards.
class SavedFile {
public:
    explicit SavedFile(std::string path) : path_(std::move(path)), existed_(Exists(path_))
    {
        if (existed_) bytes_ = Read(path_);
        Remove(path_);
    }
    ~SavedFile()
    {
        Remove(path_);
        if (existed_) Write(path_, bytes_);
    }
    SavedFile(const SavedFile&) = delete;
    SavedFile& operator=(const SavedFile&) = delete;

private:
    std::string path_;
    bool existed_;
    std::string bytes_;
};

}  // namespace win32files
