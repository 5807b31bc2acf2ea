// Feeds arbitrary bytes to the stream-list walk as if NtQueryInformationFile
// had returned them. The sanitizers catch any read outside the data; the
// checks below catch a name that no real stream could carry.
#include <cstddef>
#include <cstdint>
#include <string>

#include "streams/stream_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every record takes at least its 24-byte fixed part, so this bounds the count.
    const size_t mostRecords = size / 24;
    size_t records = 0;
    WalkStreamList(data, size, [&](const std::wstring& bareName, int32_t) {
        ++records;
        // At most the 130-character field less ":" and ":$DATA".
        if (bareName.empty() || bareName.size() > 123) __builtin_trap();
        for (wchar_t c : bareName) {
            if (c == L'\0' || c == L':' || c == L'\\' || c == L'/') __builtin_trap();
        }
        if (records > mostRecords) __builtin_trap();
    });
    return 0;
}
