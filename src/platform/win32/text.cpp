// On Windows the program's wide strings are UTF-16 already.
#include "platform/win32.h"

namespace platform {

std::basic_string<WCHAR> ToUtf16(const std::wstring& text)
{
    return text;
}

std::wstring FromUtf16(const WCHAR* text, size_t length)
{
    return std::wstring(text, length);
}

}  // namespace platform
