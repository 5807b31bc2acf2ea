// Feeds arbitrary registry values to RegReadString: any type, any size, any
// bytes, with or without a terminating NUL, stored under a named or the
// default value. The read must not crash, must never return more characters
// than the data holds, and must only ever return the data's own text; data
// over 32 KiB reads as the empty text.
//
// Input: bytes 0-3 the value type (little-endian), byte 4 which name the
// value is stored and read under; the rest is the value's data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sim/machine.h"
#include "platform/win32.h"
#include "registry/reg_helpers.h"

namespace {

const char kKey[] = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\0";

[[noreturn]] void Finding(const char* what)
{
    __builtin_printf("reg_read_string finding: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    const DWORD type = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                       static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    const uint8_t mode = data[4];
    const std::string bytes(reinterpret_cast<const char*>(data + 5), size - 5);

    sim::Reset();
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    const HKEY root = roots[(mode >> 2) % 3];
    // Stored under "Source", or as the unnamed value read as "(Default)" or "".
    const bool unnamed = (mode & 1) != 0;
    const std::wstring readName = !unnamed ? L"Source" : (mode & 2) ? L"(Default)" : L"";
    sim::SetValue(root, kKey, unnamed ? "" : "Source", type, bytes);

    const std::wstring text =
        RegReadString(root, std::wstring(kKey, kKey + sizeof(kKey) - 1), readName);

    if (sim::OpenHandles() != 0) Finding("a key was left open");
    if (text.size() > bytes.size()) Finding("the text is longer than the data");
    const std::wstring all = platform::FromAnsi(bytes);
    if (all.compare(0, text.size(), text) != 0) Finding("the text is not the data's own");
    // Only a terminating NUL may be dropped, never a character of the text;
    // a value longer than any path or name reads as nothing.
    const bool terminated = !bytes.empty() && bytes.back() == '\0';
    if (bytes.size() > 32768) {
        if (!text.empty()) Finding("a value over 32 KiB was read");
    } else if (text.size() + (terminated ? 1 : 0) != bytes.size()) {
        Finding("characters were lost");
    }

    // The same value under another letter case of "(Default)" is not the unnamed one.
    if (unnamed && !bytes.empty() &&
        !RegReadString(root, std::wstring(kKey, kKey + sizeof(kKey) - 1), L"(default)").empty())
        Finding("\"(default)\" read the unnamed value");
    return 0;
}
