#include "detection/file_matcher.h"

#include <vector>

#include "detection/crc32.h"
#include "environment/paths.h"
#include "environment/reboot_delete.h"
#include "environment/text.h"
#include "forms/ui.h"
#include "platform/win32.h"
#include "registry/bho.h"
#include "removal/infected_file.h"
#include "scan/shared_state.h"

namespace {


// Reads the window into `buffer` (already zero-filled to its length).
bool ReadWindow(const std::wstring& path, int32_t firstOffset, std::vector<uint8_t>& buffer)
{
    platform::HeldHandle file{CreateFileA(platform::ToAnsi(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr)};
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    if (SetFilePointer(file.get(), firstOffset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    DWORD delivered = 0;
    return ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &delivered,
                    nullptr) != FALSE;
}

bool IsProtectedName(const std::wstring& name)
{
    const std::wstring lowerName = LCase(name);
    for (size_t i = 1; i < gProtectedNames.size(); ++i) {
        if (LCase(gProtectedNames[i]) == lowerName) return true;
        ui::PumpMessages();
    }
    return false;
}

}  // namespace

std::wstring ReadFileHex(const std::wstring& path, int32_t firstOffset, int32_t lastOffset)
{
    if (firstOffset < 0 || lastOffset < firstOffset) return std::wstring();
    // The file must reach lastOffset; the window's last byte may lie just past its end.
    if (GetFileLength(path) < lastOffset) return std::wstring();

    std::vector<uint8_t> buffer(static_cast<size_t>(lastOffset) - firstOffset + 1, 0);
    if (!ReadWindow(path, firstOffset, buffer)) return std::wstring();

    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(buffer.size() * 3);
    for (size_t i = 0; i < buffer.size(); ++i) {
        if (i > 0) text += L' ';
        text += kDigits[buffer[i] >> 4];
        text += kDigits[buffer[i] & 0xF];
        ui::PumpMessages();
    }
    return text;
}

void ScanFile(const std::wstring& path, const std::wstring& folder, const std::wstring& name)
{
    if (IsProtectedName(name)) return;
    ui::SetStatus(path);

    bool verdict = false;
    RemovalKind removal = RemovalKind::Plain;
    // Every probe runs; the first one that matches chooses the removal.
    for (const BytePattern& probe : kBytePatterns) {
        if (ReadFileHex(path, probe.firstOffset, probe.lastOffset) == probe.pattern) {
            if (!verdict) removal = probe.removal;
            verdict = true;
        }
    }

    if (!verdict) {
        int32_t length = GetFileLength(path);
        if (length < 0) length = 0;
        const std::wstring digest = FileCrc32(path, length);
        for (const DigestEntry& entry : kDigestEntries) {
            if (digest == entry.digest && length == entry.size) {
                if (!verdict) removal = entry.removal;
                verdict = true;
            }
        }
    }

    if (verdict) RemoveMatchedFile(path, folder, name, removal);
}

void RemoveMatchedFile(const std::wstring& path, const std::wstring& folder,
                       const std::wstring& name, RemovalKind kind)
{
    if (kind == RemovalKind::BhoAndReboot) RemoveBhoForFile(path);
    RemoveInfectedFile(folder, name);
    ++gFilesFound;

    if (!FileIsPresent(path)) {
        ui::AddLine(L"Removed File! : " + path);
    } else if (kind == RemovalKind::BhoAndReboot) {
        DeleteOnReboot(path);
        ui::AddLine(L"Error Removing ! : " + path + L" (Removal on reboot)");
    } else {
        ui::AddLine(L"Error Removing ! : " + path);
    }
}
