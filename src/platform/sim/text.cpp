// The simulated machine's ANSI code page is Western European 1252; the five
// bytes it leaves undefined map to the same code points, as Windows does.
// Characters without a byte of their own take a best-fit byte unless the
// caller forbids it, again as Windows does.
#include <cstring>
#include <string>

#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace {

const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte that stands for this character exactly, or -1.
int ExactByte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == c) return 0x80 + i;
    return -1;
}

// Part of Windows' best-fit table for 1252: the fullwidth forms of ASCII and
// the look-alikes of the path separators.
int BestFitByte(char16_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFF01 + 0x21;
    switch (c) {
    case 0x2044:  // fraction slash
    case 0x2215:  // division slash
        return '/';
    case 0x2216:  // set minus
        return '\\';
    case 0x0589:  // Armenian full stop
    case 0x2236:  // ratio
        return ':';
    default:
        return -1;
    }
}

// The checks both conversions make first; false, with the error set, when a
// call would be refused.
bool Acceptable(UINT codePage, DWORD flags, DWORD knownFlags, const void* input, int length,
                const void* out, int outSize)
{
    if ((codePage != CP_ACP && codePage != 1252) || input == nullptr || length == 0 ||
        outSize < 0 || (outSize > 0 && out == nullptr)) {
        sim::detail::SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if ((flags & ~knownFlags) != 0) {
        sim::detail::SetError(ERROR_INVALID_FLAGS);
        return false;
    }
    return true;
}

}  // namespace

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR out,
                        int outSize, LPCSTR defaultChar, LPBOOL usedDefaultChar)
{
    if (!Acceptable(codePage, flags, WC_NO_BEST_FIT_CHARS, wide, wideLength, out, outSize))
        return 0;
    size_t length = static_cast<size_t>(wideLength);
    if (wideLength < 0) length = std::char_traits<char16_t>::length(wide) + 1;

    std::string bytes;
    bool usedDefault = false;
    for (size_t i = 0; i < length; ++i) {
        int b = ExactByte(wide[i]);
        if (b < 0 && (flags & WC_NO_BEST_FIT_CHARS) == 0) b = BestFitByte(wide[i]);
        if (b < 0) {
            b = static_cast<unsigned char>(defaultChar != nullptr ? *defaultChar : '?');
            usedDefault = true;
        }
        bytes += static_cast<char>(b);
    }
    if (usedDefaultChar != nullptr) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (outSize == 0) return static_cast<int>(bytes.size());
    if (static_cast<size_t>(outSize) < bytes.size()) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int length, LPWSTR out,
                        int outSize)
{
    if (!Acceptable(codePage, flags, MB_ERR_INVALID_CHARS, bytes, length, out, outSize)) return 0;
    size_t count = static_cast<size_t>(length);
    if (length < 0) count = std::strlen(bytes) + 1;
    if (outSize == 0) return static_cast<int>(count);
    if (static_cast<size_t>(outSize) < count) {
        sim::detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : static_cast<char16_t>(b);
    }
    return static_cast<int>(count);
}

namespace platform {

std::basic_string<WCHAR> ToUtf16(const std::wstring& text)
{
    std::basic_string<WCHAR> out;
    for (wchar_t c : text) {
        auto code = static_cast<uint32_t>(c);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<WCHAR>(0xD800 + (code >> 10));
            out += static_cast<WCHAR>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<WCHAR>(code);
        }
    }
    return out;
}

std::wstring FromUtf16(const WCHAR* text, size_t length)
{
    std::wstring out;
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out += static_cast<wchar_t>(code);
    }
    return out;
}

}  // namespace platform
