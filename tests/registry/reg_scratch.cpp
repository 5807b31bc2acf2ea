#include "registry/reg_scratch.h"

#include <vector>

namespace regtest {

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

RawValue ReadValue(HKEY root, const std::string& path, const std::string& name)
{
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 1, 0);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size) ==
            ERROR_SUCCESS) {
            value.present = true;
            value.type = type;
            value.bytes.assign(reinterpret_cast<const char*>(data.data()), size);
        }
    }
    RegCloseKey(key);
    return value;
}

bool WriteValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::string& bytes)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    const LONG result = RegSetValueExA(key, name.c_str(), 0, type,
                                       reinterpret_cast<const BYTE*>(bytes.data()),
                                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool WriteString(HKEY root, const std::string& path, const std::string& name,
                 const std::string& text)
{
    return WriteValue(root, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

std::vector<std::string> SubKeys(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
}

Scratch::~Scratch()
{
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->value.present) {
            WriteValue(it->root, it->path, it->name, it->value.type, it->value.bytes);
        } else {
            HKEY key = nullptr;
            if (RegOpenKeyExA(it->root, it->path.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, it->name.c_str());
                RegCloseKey(key);
            }
        }
    }
    for (auto it = created_.rbegin(); it != created_.rend(); ++it)
        SHDeleteKeyA(it->first, it->second.c_str());
}

bool Scratch::CreateKey(HKEY root, const std::string& path)
{
    // The first missing ancestor is the top of what this test adds.
    for (size_t end = 0; end != std::string::npos;) {
        end = path.find('\\', end + 1);
        const std::string prefix = path.substr(0, end);
        if (!KeyExists(root, prefix)) {
            bool known = false;
            for (const auto& made : created_)
                if (made.first == root && made.second == prefix) known = true;
            if (!known) created_.emplace_back(root, prefix);
            break;
        }
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool Scratch::SetString(HKEY root, const std::string& path, const std::string& name,
                        const std::string& text)
{
    return CreateKey(root, path) && WriteString(root, path, name, text);
}

bool Scratch::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                       const std::string& bytes)
{
    return CreateKey(root, path) && WriteValue(root, path, name, type, bytes);
}

void Scratch::Preserve(HKEY root, const std::string& path, const std::string& name)
{
    saved_.push_back({root, path, name, ReadValue(root, path, name)});
}

}  // namespace regtest
