// The simulated machine's ANSI code page is Western European 1252; the five
// bytes it leaves undefined map to the same code points, as Windows does.
#include "platform/win32.h"

namespace platform {
namespace {

const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToByte(wchar_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == static_cast<char16_t>(c) && c <= 0xFFFF) return static_cast<char>(0x80 + i);
    return '?';
}

wchar_t FromByte(unsigned char b)
{
    if (b >= 0x80 && b < 0xA0) return kHigh1252[b - 0x80];
    return b;
}

}  // namespace

std::string ToAnsi(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) out += ToByte(c);
    return out;
}

std::wstring FromAnsi(const char* text, size_t length)
{
    std::wstring out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) out += FromByte(static_cast<unsigned char>(text[i]));
    return out;
}

std::wstring FromAnsi(const std::string& text)
{
    return FromAnsi(text.data(), text.size());
}

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
