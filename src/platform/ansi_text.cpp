// Conversions between the program's Unicode text and the system's ANSI code
// page, through the system's own conversion calls.
#include "platform/win32.h"

namespace platform {

std::string ToAnsi(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const std::basic_string<WCHAR> wide = ToUtf16(text);
    const int length = static_cast<int>(wide.size());
    // A system whose ANSI code page is UTF-8 refuses the flag; every character
    // has an exact form there.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int size = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        flags = 0;
        size = WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide.data(), length, &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const char* text, size_t length)
{
    if (length == 0) return std::wstring();
    const int count = static_cast<int>(length);
    const int size = MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::basic_string<WCHAR> wide(static_cast<size_t>(size), 0);
    MultiByteToWideChar(CP_ACP, 0, text, count, &wide[0], size);
    return FromUtf16(wide.data(), wide.size());
}

std::wstring FromAnsi(const std::string& text)
{
    return FromAnsi(text.data(), text.size());
}

bool HasExactAnsiForm(const std::wstring& text)
{
    return FromAnsi(ToAnsi(text)) == text;
}

}  // namespace platform
