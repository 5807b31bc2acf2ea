// Reading a FILE_STREAM_INFORMATION list. The bytes come from the file
// system but are treated as untrusted: every record is bounds-checked before
// it is copied, so a forged or truncated list cannot make the walk read
// outside the buffer, overrun the working record or loop for ever.
#include <cstring>

#include "platform/win32.h"
#include "streams/stream_list.h"

namespace {

constexpr size_t kFixedPart = offsetof(FILE_STREAM_INFORMATION, StreamName);  // 24 bytes
constexpr size_t kNameField = 260;                                            // 130 UTF-16 characters

// One record copied out of the list: the fixed part and the name field.
struct WorkingRecord {
    ULONG nextEntryOffset;
    ULONG streamNameLength;
    LARGE_INTEGER streamSize;
    LARGE_INTEGER streamAllocationSize;
    WCHAR streamName[kNameField / sizeof(WCHAR)];
};
static_assert(offsetof(WorkingRecord, streamName) == kFixedPart, "Windows layout");
static_assert(sizeof(WCHAR) == 2, "stream names are UTF-16");

// A name that NTFS could never return can only be forged; handing it on could
// make the stream path name the host file itself ("file::$DATA") or another
// file altogether.
bool IsPlainStreamName(const std::wstring& bareName)
{
    for (wchar_t c : bareName) {
        if (c == L'\0' || c == L':' || c == L'\\' || c == L'/') return false;
    }
    return true;
}

}  // namespace

void WalkStreamList(const uint8_t* buffer, size_t length,
                    const std::function<void(const std::wstring& bareName, int32_t size)>& onStream)
{
    if (buffer == nullptr) return;
    size_t cursor = 0;
    while (length - cursor >= kFixedPart) {
        WorkingRecord record;
        std::memcpy(&record, buffer + cursor, kFixedPart);

        const size_t nameBytes = record.streamNameLength;
        const size_t available = length - cursor - kFixedPart;
        // An odd byte count, a name running past the data or one too long for
        // the name field is skipped; the walk goes on with the next record.
        if (nameBytes % 2 == 0 && nameBytes <= available && nameBytes <= kNameField) {
            std::memcpy(record.streamName, buffer + cursor + kFixedPart, nameBytes);
            const size_t characters = nameBytes / 2;
            // ":name:$DATA" without its leading colon and its trailing ":$DATA";
            // the unnamed stream "::$DATA" gives nothing.
            if (characters > 7) {
                std::wstring bareName = platform::FromUtf16(record.streamName + 1, characters - 7);
                // The stream is read and deleted through the ANSI calls: a name
                // without an exact ANSI form would reach another stream (best fit
                // on code page 1252 turns fullwidth letters and colons into
                // ASCII ones).
                if (IsPlainStreamName(bareName) && platform::HasExactAnsiForm(bareName)) {
                    onStream(bareName, static_cast<int32_t>(record.streamSize.u.LowPart));
                }
            }
        }

        const size_t next = record.nextEntryOffset;
        if (next == 0) return;
        // A record that does not move past its own fixed part, or points beyond
        // the returned data, ends the list.
        if (next < kFixedPart || next > length - cursor) return;
        cursor += next;
    }
}
