// The hijacker's service names and fixed keys, written out here independently
// of the program's own tables.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace hijacker {

// The five names as the service manager stores them in code page 1252,
// written out byte by byte.
inline const std::string kA = "\x20" "11F" "\xDF\xC4\x06" "#" "\xB7\xBA\xC4\xD6" "`I";
inline const std::string kB = "\xBD" "O.#" "\x9E\x82\x84\x81\xF5\xD8\xC2\xB4\x1E\xE2";
inline const std::string kC = "O?" "\x1E\x92\x8E" "rt" "\xF1\xE5\xC8\xB2" "$" "\x0E\xD3";
inline const std::string kD = "\x7F\x8F\x10" "%AF" "\xE5\x03\x17\x1A\xA4\xB6\xC0";
inline const std::string kE = "\x8F" "  6Q" "\xD4\xF5\x13" "'" "\xAA\xB4\xC6\xD0" "8";
inline const std::string kA2 = "\x20" "11f" "\xDF\xE4\x06" "#" "\xB7\xBA\xC4\xD6" "`i";

inline const std::string kLegacyC = "LEGACY_O?*001E*2019*017DRT*00F1*00E5*00C8*00B2$*000E*00D3";
inline const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Every one of the 49 keys.
inline std::vector<std::pair<HKEY, std::string>> AllFixedKeys()
{
    std::vector<std::pair<HKEY, std::string>> keys;
    const char* sets[] = {"CurrentControlSet", "ControlSet001", "ControlSet002", "ControlSet003"};
    for (const char* set : sets) {
        const std::string root = std::string("SYSTEM\\") + set + "\\Enum\\Root\\";
        keys.emplace_back(HKEY_LOCAL_MACHINE, root + kLegacyC);
        keys.emplace_back(HKEY_LOCAL_MACHINE, root + "LEGACY___NS_SERVICE_3");
    }
    for (const char* set : sets) {
        const std::string root = std::string("SYSTEM\\") + set + "\\Services\\";
        for (const std::string& name : {kB, kC, kA2, kD, kE, std::string("LEGACY___NS_SERVICE_3")})
            keys.emplace_back(HKEY_LOCAL_MACHINE, root + name);
    }
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const char* entry : {"HSA", "SE", "SW", "SearchAssistant Uninstall", "Search extender"})
            keys.emplace_back(hive, std::string(kUninstall) + entry);
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper "
                      "Objects\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}");
    keys.emplace_back(HKEY_CLASSES_ROOT, "Image.Image");
    keys.emplace_back(HKEY_CLASSES_ROOT, "Image.Image.1");
    keys.emplace_back(HKEY_LOCAL_MACHINE, "Image.Image");
    keys.emplace_back(HKEY_LOCAL_MACHINE, "Image.Image.1");
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Classes\\CLSID\\{0B40A54D-BEC3-4077-9A33-701BD6ACDEB2}");
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Classes\\CLSID\\{CEB4967F-6A82-4E87-9FFF-AEEAA3162677}");
    return keys;
}

}  // namespace hijacker
