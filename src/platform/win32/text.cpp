// Text conversions against the system's own ANSI code page.
#include "platform/win32.h"

namespace platform {

std::string ToAnsi(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                            nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const char* text, size_t length)
{
    if (length == 0) return std::wstring();
    int size = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    std::wstring out(size > 0 ? size : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &out[0], size);
    return out;
}

std::wstring FromAnsi(const std::string& text)
{
    return FromAnsi(text.data(), text.size());
}

std::basic_string<WCHAR> ToUtf16(const std::wstring& text)
{
    return text;
}

std::wstring FromUtf16(const WCHAR* text, size_t length)
{
    return std::wstring(text, length);
}

}  // namespace platform
