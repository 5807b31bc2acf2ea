#include "detection/file_matcher.h"

#include <vector>

#include "detection/crc32.h"
#include "detection/file_open.h"
#include "environment/file_facts.h"
#include "environment/reboot_delete.h"
#include "environment/text.h"
#include "platform/win32.h"
#include "registry/bho.h"
#include "removal/infected_file.h"
#include "session/shared_state.h"
#include "session/ui.h"

namespace {

bool IsProtectedName(const std::wstring& name)
{
    const std::wstring lowerName = LCase(name);
    for (size_t i = 1; i < gProtectedNames.size(); ++i) {
        if (LCase(gProtectedNames[i]) == lowerName) return true;
        ui::PumpMessages();
    }
    return false;
}

bool InSubset(bool inStreams, Examined what) { return what == Examined::File || inStreams; }

// Records a match; the first one chooses the removal.
void Match(bool& matched, RemovalKind kind, RemovalKind* removal)
{
    if (!matched && removal != nullptr) *removal = kind;
    matched = true;
}

}  // namespace

int32_t OpenFileLength(HANDLE file)
{
    DWORD high = 0;
    return static_cast<int32_t>(GetFileSize(file, &high));
}

std::wstring ReadWindowHex(HANDLE file, int32_t length, int32_t firstOffset, int32_t lastOffset)
{
    if (firstOffset < 0 || lastOffset < firstOffset) return std::wstring();
    // The file must reach lastOffset; the window's last byte may lie just past its end.
    if (length < lastOffset) return std::wstring();

    std::vector<uint8_t> buffer(static_cast<size_t>(lastOffset) - firstOffset + 1, 0);
    if (SetFilePointer(file, firstOffset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return std::wstring();
    // Fewer bytes than asked (the file shrank since its length was taken) leave zeros.
    DWORD delivered = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &delivered, nullptr))
        return std::wstring();

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

std::wstring ReadFileHex(const std::wstring& path, int32_t firstOffset, int32_t lastOffset)
{
    platform::HeldHandle file{OpenForReading(path)};
    if (!file.valid()) return std::wstring();
    return ReadWindowHex(file.get(), OpenFileLength(file.get()), firstOffset, lastOffset);
}

bool MatchProbes(HANDLE file, int32_t length, Examined what, RemovalKind* removal)
{
    bool matched = false;
    for (const BytePattern& probe : kBytePatterns) {
        if (!InSubset(probe.inStreams, what)) continue;
        if (ReadWindowHex(file, length, probe.firstOffset, probe.lastOffset) == probe.pattern)
            Match(matched, probe.removal, removal);
    }
    return matched;
}

bool MatchDigest(HANDLE file, int32_t length, Examined what, RemovalKind* removal)
{
    bool listed = false;
    for (const DigestEntry& entry : kDigestEntries)
        listed = listed || (InSubset(entry.inStreams, what) && entry.size == length);
    if (!listed) return false;

    const std::wstring digest = OpenFileCrc32(file, length);
    bool matched = false;
    for (const DigestEntry& entry : kDigestEntries) {
        if (InSubset(entry.inStreams, what) && digest == entry.digest && length == entry.size)
            Match(matched, entry.removal, removal);
    }
    return matched;
}

void ScanFile(const std::wstring& path, const std::wstring& folder, const std::wstring& name)
{
    if (IsProtectedName(name)) return;
    ui::SetStatus(path);

    // One open for the length, the probe windows and the digest; it is
    // closed before the removal, which could not delete a file held open.
    bool verdict = false;
    RemovalKind removal = RemovalKind::Plain;
    {
        platform::HeldHandle file{OpenForReading(path)};
        if (!file.valid()) return;
        verdict = MatchProbes(file.get(), OpenFileLength(file.get()), Examined::File, &removal);
        if (!verdict) {
            // The length as it is now, after the probes: a length that cannot be read counts as 0.
            const int32_t length = OpenFileLength(file.get());
            verdict = MatchDigest(file.get(), length < 0 ? 0 : length, Examined::File, &removal);
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

    ReportFileRemoval(path, path,
                      kind == RemovalKind::BhoAndReboot ? StayingFile::DeletedOnReboot
                                                        : StayingFile::Reported);
}

void ReportFileRemoval(const std::wstring& path, const std::wstring& shown, StayingFile staying)
{
    if (!FileIsPresent(path)) {
        ui::AddLine(L"Removed File! : " + shown);
    } else if (staying == StayingFile::Reported) {
        ui::AddLine(L"Error Removing ! : " + shown);
    } else {
        const bool scheduled = DeleteOnReboot(path);
        ui::AddLine(L"Error Removing ! : " + shown +
                    (scheduled ? L" (Removal on reboot)"
                               : L" (Removal on reboot could not be scheduled)"));
    }
}
