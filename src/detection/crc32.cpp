#include "detection/crc32.h"

#include "detection/file_open.h"

#include <algorithm>
#include <memory>
#include <new>

#include "platform/win32.h"

#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define GREVLIN_CRC_FOLD 1
#include <immintrin.h>
#endif

uint32_t gCrcTable[256];
Boolean gCrcReady = kFalse;

namespace {

// The running register of the digest in progress.
uint32_t gCrcRegister = 0;

// gCrcSlices[k][n]: the register change of byte n followed by k zero bytes,
// so sixteen bytes are folded in with sixteen independent lookups.
uint32_t gCrcSlices[16][256];

// x^n mod P for the carry-less fold, in the register's reflected bit order.
struct FoldConstants {
    uint32_t lowFor512, highFor512;  // a 128-bit block carried 512 bits onward
    uint32_t lowFor128, highFor128;  // ... carried 128 bits onward
};
FoldConstants gFold;
bool gFoldAvailable = false;

// Files are hashed through one buffer of this size, whatever their length:
// small enough to stay in the processor's cache between the read and the
// hash, allocated once and kept for the life of the process.
constexpr size_t kReadChunk = 1u << 18;
std::unique_ptr<uint8_t[]> gReadBuffer;


inline uint32_t LoadLittle32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void BytewiseUpdate(uint32_t& crc, const uint8_t* data, size_t length)
{
    uint32_t value = crc;
    for (size_t i = 0; i < length; ++i) value = gCrcTable[(value ^ data[i]) & 0xFF] ^ (value >> 8);
    crc = value;
}

void SlicedUpdate(uint32_t& crc, const uint8_t* data, size_t length)
{
    uint32_t value = crc;
    while (length >= 16) {
        const uint32_t a = LoadLittle32(data) ^ value;
        const uint32_t b = LoadLittle32(data + 4);
        const uint32_t c = LoadLittle32(data + 8);
        const uint32_t d = LoadLittle32(data + 12);
        value = gCrcSlices[15][a & 0xFF] ^ gCrcSlices[14][(a >> 8) & 0xFF] ^
                gCrcSlices[13][(a >> 16) & 0xFF] ^ gCrcSlices[12][a >> 24] ^
                gCrcSlices[11][b & 0xFF] ^ gCrcSlices[10][(b >> 8) & 0xFF] ^
                gCrcSlices[9][(b >> 16) & 0xFF] ^ gCrcSlices[8][b >> 24] ^
                gCrcSlices[7][c & 0xFF] ^ gCrcSlices[6][(c >> 8) & 0xFF] ^
                gCrcSlices[5][(c >> 16) & 0xFF] ^ gCrcSlices[4][c >> 24] ^
                gCrcSlices[3][d & 0xFF] ^ gCrcSlices[2][(d >> 8) & 0xFF] ^
                gCrcSlices[1][(d >> 16) & 0xFF] ^ gCrcSlices[0][d >> 24];
        data += 16;
        length -= 16;
    }
    BytewiseUpdate(value, data, length);
    crc = value;
}

// x^n mod P with bit 31 - d holding the coefficient of x^d, as in the register.
uint32_t ReflectedPowerOfX(unsigned n)
{
    uint32_t value = 0x80000000u;
    for (unsigned i = 0; i < n; ++i) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    return value;
}

#if defined(GREVLIN_CRC_FOLD)

// A 128-bit block X, first message bit in bit 0, stands for X(x) of degree 127.
// Carry-less multiplication of two such halves yields x·A·B, so carrying X over
// D bits multiplies its first half by x^(D+63) and its second by x^(D-1).
__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldInto(__m128i block, __m128i constants,
                                                                  __m128i next)
{
    const __m128i first = _mm_clmulepi64_si128(block, constants, 0x00);
    const __m128i second = _mm_clmulepi64_si128(block, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(first, second), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse4.1"))) void FoldedUpdate(uint32_t& crc, const uint8_t* data,
                                                            size_t length)
{
    if (length < 64) {
        SlicedUpdate(crc, data, length);
        return;
    }
    // Each constant sits in the upper half of its 64-bit lane.
    const __m128i by512 =
        _mm_set_epi32(static_cast<int>(gFold.highFor512), 0, static_cast<int>(gFold.lowFor512), 0);
    const __m128i by128 =
        _mm_set_epi32(static_cast<int>(gFold.highFor128), 0, static_cast<int>(gFold.lowFor128), 0);

    // The register enters as the first 32 message bits.
    __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(data + 16);
    __m128i x2 = Load(data + 32);
    __m128i x3 = Load(data + 48);
    data += 64;
    length -= 64;
    while (length >= 64) {
        x0 = FoldInto(x0, by512, Load(data));
        x1 = FoldInto(x1, by512, Load(data + 16));
        x2 = FoldInto(x2, by512, Load(data + 32));
        x3 = FoldInto(x3, by512, Load(data + 48));
        data += 64;
        length -= 64;
    }
    x1 = FoldInto(x0, by128, x1);
    x2 = FoldInto(x1, by128, x2);
    x3 = FoldInto(x2, by128, x3);
    while (length >= 16) {
        x3 = FoldInto(x3, by128, Load(data));
        data += 16;
        length -= 16;
    }

    // X·x^32 mod P is what the table gives for X's bytes from a zero register.
    alignas(16) uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x3);
    uint32_t value = 0;
    SlicedUpdate(value, last, sizeof(last));
    SlicedUpdate(value, data, length);
    crc = value;
}

bool ProcessorCanFold()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#else

void FoldedUpdate(uint32_t& crc, const uint8_t* data, size_t length)
{
    SlicedUpdate(crc, data, length);
}

bool ProcessorCanFold() { return false; }

#endif

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
    for (uint32_t n = 0; n < 256; ++n) {
        gCrcSlices[0][n] = gCrcTable[n];
        for (int k = 1; k < 16; ++k) {
            const uint32_t previous = gCrcSlices[k - 1][n];
            gCrcSlices[k][n] = gCrcTable[previous & 0xFF] ^ (previous >> 8);
        }
    }
    gFold.lowFor512 = ReflectedPowerOfX(512 + 63);
    gFold.highFor512 = ReflectedPowerOfX(512 - 1);
    gFold.lowFor128 = ReflectedPowerOfX(128 + 63);
    gFold.highFor128 = ReflectedPowerOfX(128 - 1);
    gFoldAvailable = ProcessorCanFold();
    gCrcReady = kTrue;
}

void CrcUpdate(uint32_t& crc, const uint8_t* data, size_t length)
{
    if (gFoldAvailable)
        FoldedUpdate(crc, data, length);
    else
        SlicedUpdate(crc, data, length);
}

bool CrcMethodAvailable(CrcMethod method)
{
    return method != CrcMethod::Folded || gFoldAvailable;
}

void CrcUpdateWith(CrcMethod method, uint32_t& crc, const uint8_t* data, size_t length)
{
    switch (method) {
    case CrcMethod::Bytewise: BytewiseUpdate(crc, data, length); return;
    case CrcMethod::Sliced: SlicedUpdate(crc, data, length); return;
    case CrcMethod::Folded:
        if (gFoldAvailable)
            FoldedUpdate(crc, data, length);
        else
            SlicedUpdate(crc, data, length);
        return;
    }
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
