#include "detection/crc32.h"

#include <new>

#include "platform/win32.h"

uint32_t gCrcTable[256];
Boolean gCrcReady = kFalse;

namespace {

// The running register of the digest in progress.
uint32_t gCrcRegister = 0;

struct FileHandle {
    HANDLE handle;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

}  // namespace

void BuildCrcTable()
{
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t entry = n;
        for (int bit = 0; bit < 8; ++bit) entry = (entry & 1) ? (entry >> 1) ^ 0xEDB88320u : entry >> 1;
        gCrcTable[n] = entry;
    }
    gCrcReady = kTrue;
}

void CrcUpdate(uint32_t& crc, const uint8_t* data, size_t length)
{
    uint32_t value = crc;
    for (size_t i = 0; i < length; ++i) value = gCrcTable[(value ^ data[i]) & 0xFF] ^ (value >> 8);
    crc = value;
}

std::wstring CrcText(uint32_t digest)
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    do {
        text.insert(text.begin(), kDigits[digest & 0xF]);
        digest >>= 4;
    } while (digest != 0);
    return text;
}

std::wstring FileCrc32(const std::wstring& path, int32_t length)
{
    if (gCrcReady != kTrue || length < 1) return std::wstring();

    FileHandle file{CreateFileA(platform::ToAnsi(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return L"00000000";

    // One buffer for the whole range; a length the machine cannot hold gives no digest.
    const size_t size = static_cast<size_t>(length);
    uint8_t* buffer = new (std::nothrow) uint8_t[size]();
    if (buffer == nullptr) return std::wstring();

    DWORD delivered = 0;
    size_t hashed = size;
    if (ReadFile(file.handle, buffer, static_cast<DWORD>(size), &delivered, nullptr) &&
        delivered < size)
        hashed = delivered;  // a failed read keeps its zero bytes and hashes them all

    gCrcRegister = 0xFFFFFFFFu;
    CrcUpdate(gCrcRegister, buffer, hashed);
    delete[] buffer;
    return CrcText(gCrcRegister ^ 0xFFFFFFFFu);
}
