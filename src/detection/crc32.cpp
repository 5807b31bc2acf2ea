#include "detection/crc32.h"

#include <algorithm>
#include <memory>
#include <new>

#include "detection/file_open.h"
#include "platform/win32.h"

uint32_t gCrcTable[256];
Boolean gCrcReady = kFalse;

namespace {

// The running register of the digest in progress.
uint32_t gCrcRegister = 0;

// Files are hashed through one buffer of this size, whatever their length:
// small enough to stay in the processor's cache between the read and the
// hash, allocated once and kept for the life of the process.
constexpr size_t kReadChunk = 1u << 18;
std::unique_ptr<uint8_t[]> gReadBuffer;

// The digest of `length` zero bytes continued from `crc`, without a buffer of that size.
void ZeroUpdate(uint32_t& crc, size_t length, uint8_t* scratch, size_t scratchSize)
{
    std::fill(scratch, scratch + scratchSize, uint8_t(0));
    while (length > 0) {
        const size_t piece = length < scratchSize ? length : scratchSize;
        CrcUpdate(crc, scratch, piece);
        length -= piece;
    }
}

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
    platform::HeldHandle file{OpenForReading(path)};
    if (!file.valid()) return L"00000000";
    return OpenFileCrc32(file.get(), length);
}

std::wstring OpenFileCrc32(HANDLE file, int32_t length)
{
    if (gCrcReady != kTrue || length < 1) return std::wstring();

    // The range is hashed as it is read, so a length reported for a file far
    // larger than its contents (or a wrapped one) never becomes a huge buffer.
    const size_t wanted = static_cast<size_t>(length);
    if (!gReadBuffer) gReadBuffer.reset(new (std::nothrow) uint8_t[kReadChunk]);
    if (!gReadBuffer) return std::wstring();
    uint8_t* const chunk = gReadBuffer.get();
    const size_t chunkSize = kReadChunk;

    gCrcRegister = 0xFFFFFFFFu;
    // A file that cannot be wound back to its start cannot be read either.
    bool readFailed = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER;
    size_t hashed = 0;
    while (!readFailed && hashed < wanted) {
        const size_t ask = wanted - hashed < chunkSize ? wanted - hashed : chunkSize;
        DWORD delivered = 0;
        if (!ReadFile(file, chunk, static_cast<DWORD>(ask), &delivered, nullptr)) {
            readFailed = true;
            break;
        }
        if (delivered == 0) break;  // the end of the file came first
        CrcUpdate(gCrcRegister, chunk, delivered);
        hashed += delivered;
    }
    if (readFailed) {
        // As with one read of the whole range: a failed read hashes `length` zero bytes.
        gCrcRegister = 0xFFFFFFFFu;
        ZeroUpdate(gCrcRegister, wanted, chunk, chunkSize);
    }
    return CrcText(gCrcRegister ^ 0xFFFFFFFFu);
}
