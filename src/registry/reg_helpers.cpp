#include "registry/reg_helpers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "environment/exact_names.h"
#include "environment/platform_family.h"
#include "environment/text.h"
#include "session/ui.h"

namespace {

constexpr DWORD kMaxValueBytes = 32 * 1024;

}  // namespace

std::wstring RegReadString(HKEY root, const std::wstring& subKey, const std::wstring& valueName)
{
    platform::HeldKey key;
    if (RegOpenKeyExA(root, platform::ToAnsi(subKey).c_str(), 0, KEY_QUERY_VALUE, key.receive()) !=
        ERROR_SUCCESS)
        return std::wstring();

    const std::string name = platform::ToAnsi(valueName == L"(Default)" ? std::wstring() : valueName);

    // A one-byte buffer announced as empty makes the call report the value's size.
    BYTE probe[1] = {0};
    DWORD size = 0;
    RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, probe, &size);

    // Callers read paths and names, which never come near this; a buffer of
    // whatever size the registry reports could exhaust the memory.
    if (size > kMaxValueBytes) return std::wstring();

    std::vector<BYTE> buffer(static_cast<size_t>(size) + 1, 0);
    DWORD got = size;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, buffer.data(), &got) !=
        ERROR_SUCCESS)
        return std::wstring();

    // The ANSI call may announce more than it delivers; the second call tells the truth.
    size_t length = got < size ? got : size;
    // The stored size counts the terminating NUL; data stored without one keeps
    // its last character, and a zero-length value is the empty text.
    if (length > 0 && buffer[length - 1] == 0) --length;
    return platform::FromAnsi(reinterpret_cast<const char*>(buffer.data()), length);
}

void RegWriteString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                    const std::wstring& text)
{
    // RegOpenKeyA, unlike RegCreateKeyA, never creates the key.
    platform::HeldKey key;
    if (RegOpenKeyA(root, platform::ToAnsi(subKey).c_str(), key.receive()) != ERROR_SUCCESS) return;

    const std::string data = platform::ToAnsi(text);
    RegSetValueExA(key.get(), platform::ToAnsi(valueName).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
}

namespace {

constexpr DWORD kNameChars = 255;  // names of up to 254 characters and their NUL

// The subkey at `index`, by a name that opens this very key through the ANSI
// calls, or empty when it has none. Returns the enumeration's result.
LONG SubKeyAt(HKEY key, DWORD index, bool unicode, std::wstring& name)
{
    name.clear();
    if (unicode) {
        WCHAR wide[kNameChars + 1] = {};
        DWORD size = kNameChars;
        const LONG result = RegEnumKeyExW(key, index, wide, &size, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) return result;
        // "＼" comes back from the ANSI call as "\": "...\Components\" + "\"
        // names the Components key itself, and deleting it takes every component.
        const std::wstring entry = platform::FromUtf16(wide, std::min<DWORD>(size, kNameChars));
        if (IsExactName(entry, L"\\")) name = entry;
        return result;
    }
    char narrow[kNameChars + 1];
    std::memset(narrow, ' ', kNameChars);
    narrow[kNameChars] = '\0';
    DWORD size = kNameChars;
    const LONG result =
        RegEnumKeyExA(key, index, narrow, &size, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    const std::wstring entry = TrimNull(platform::FromAnsi(narrow, kNameChars));
    // A name that does not come back to the same bytes (a broken character of
    // a multi-byte code page) would open some other key.
    if (IsExactName(entry, L"\\") &&
        platform::ToAnsi(entry) == std::string(narrow, strnlen(narrow, kNameChars)))
        name = entry;
    return result;
}

}  // namespace

void VisitSubKeys(HKEY root, const std::wstring& path,
                  const std::function<bool(const std::wstring& name)>& visit)
{
    platform::HeldKey key;
    if (RegOpenKeyA(root, platform::ToAnsi(path).c_str(), key.receive()) != ERROR_SUCCESS) return;

    // The NT family's registry holds Unicode names, which its ANSI calls hand
    // out as look-alikes.
    const bool unicode = IsNtFamily();
    DWORD index = 0;
    std::wstring removed;
    bool justRemoved = false;
    for (;;) {
        std::wstring entry;
        const LONG result = SubKeyAt(key.get(), index, unicode, entry);
        if (result == ERROR_NO_MORE_ITEMS) break;
        // Any failure would repeat at every index and never reach the end of
        // the list; an over-long name cannot be the hijacker's.
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) break;

        // An empty name would make the caller's path name the parent key
        // itself ("...\Components\"), and a deletion would take the whole tree.
        if (result != ERROR_SUCCESS || entry.empty()) {
            justRemoved = false;
            ++index;
            continue;
        }
        if (justRemoved && entry == removed) {
            // The deletion reported success but the key is still there: move on.
            justRemoved = false;
            ++index;
            continue;
        }
        justRemoved = visit(entry);
        ui::PumpMessages();
        if (justRemoved)
            removed = entry;  // the next entry now sits at this index
        else
            ++index;
    }
}
