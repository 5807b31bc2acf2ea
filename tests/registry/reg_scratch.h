// Arranging and inspecting registry keys through the Win32 calls themselves,
// so the same test runs against the simulation and against a real registry.
// Paths and names are ANSI bytes (code page 1252).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace regtest {

struct RawValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

bool KeyExists(HKEY root, const std::string& path);
RawValue ReadValue(HKEY root, const std::string& path, const std::string& name);
bool WriteValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::string& bytes);
// REG_SZ with its terminating NUL, as programs normally store it.
bool WriteString(HKEY root, const std::string& path, const std::string& name,
                 const std::string& text);
// Names of the direct subkeys, in enumeration order.
std::vector<std::string> SubKeys(HKEY root, const std::string& path);

// Keys created for one test. Each key made here is remembered by its highest
// ancestor that did not exist before, and that whole subtree is removed again
// when the scratch goes out of scope, so the registry is left as it was found.
class Scratch {
public:
    Scratch() = default;
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool CreateKey(HKEY root, const std::string& path);
    bool SetString(HKEY root, const std::string& path, const std::string& name,
                   const std::string& text);
    bool SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                  const std::string& bytes);
    // Remembers a value of an existing key, to be put back (or removed) at the end.
    void Preserve(HKEY root, const std::string& path, const std::string& name);

private:
    struct Saved {
        HKEY root;
        std::string path;
        std::string name;
        RawValue value;
    };
    std::vector<std::pair<HKEY, std::string>> created_;
    std::vector<Saved> saved_;
};

}  // namespace regtest
