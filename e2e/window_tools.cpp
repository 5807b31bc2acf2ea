#include "window_tools.h"

#include <algorithm>
#include <vector>

namespace drive {

namespace {

constexpr UINT kAnswerWithinMs = 10000;

struct TopSearch {
    DWORD processId;
    const std::string* className;
    const std::set<HWND>* skip;
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<TopSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId && owner != search->processId) return TRUE;
    if (!IsWindowVisible(window) || ClassOf(window) != *search->className) return TRUE;
    if (search->skip->count(window)) return TRUE;
    if (search->title && Text(window) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

std::string Text(HWND window)
{
    if (!window) return std::string();
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerWithinMs, &length))
        return std::string();
    std::vector<char> buffer(length + 2);
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, kAnswerWithinMs, &copied);
    return std::string(buffer.data(), std::min<size_t>(copied, length));
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerWithinMs, &result);
    return static_cast<LRESULT>(result);
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND FindTop(DWORD processId, const std::string& className, const std::set<HWND>& skip, const char* title)
{
    TopSearch search = {processId, &className, &skip, title, nullptr};
    EnumWindows(MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool SaveScreen(const std::string& path)
{
    HDC screen = GetDC(nullptr);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + stride * height;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = bits != nullptr && out != INVALID_HANDLE_VALUE &&
                    WriteFile(out, &header, sizeof header, &written, nullptr) &&
                    WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                    WriteFile(out, bits, stride * height, &written, nullptr);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace drive
