// The scan's fixture on a fresh simulated machine: its shell, the activity
// lines, and hijacker files the matcher knows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crc_forge.h"
#include "support/fresh_machine.h"

namespace simscan {

constexpr const char* kWindows = "C:\\WINDOWS";
constexpr const char* kSystem = "C:\\WINDOWS\\system32";
constexpr const char* kTemp = "C:\\DOCUME~1\\Owner\\LOCALS~1\\Temp\\";
constexpr const char* kExplorer = "C:\\WINDOWS\\explorer.exe";

inline std::wstring W(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Matches the byte probe on the first four bytes ("WSUD").
inline std::string ProbeInfected(size_t size = 64)
{
    std::string bytes = "WSUD";
    bytes.resize(size, 'x');
    return bytes;
}

// The first digest entry: "55B8CBF1", 28160 bytes, found by its digest alone
// and never by a probe.
inline std::string DigestInfected()
{
    std::string body(28156, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 23);
    return forge::WithCrc32(body, 0x55B8CBF1u);
}

class Machine : public simtest::FreshMachine {
protected:
    void SetUp() override
    {
        FreshMachine::SetUp();
        explorerId = FindExplorer();
    }

    // The fresh machine's shell, remembered while it still runs.
    DWORD ExplorerId() const { return explorerId; }

    static DWORD FindExplorer()
    {
        // The fresh machine's shell is its only process besides the program.
        for (DWORD id : sim::RunningProcesses())
            if (id != sim::SelfProcessId()) return id;
        return 0;
    }

    DWORD explorerId = 0;

    static bool HasLine(const std::wstring& line)
    {
        for (const std::wstring& l : fakeui::Lines())
            if (l == line) return true;
        return false;
    }

    static int IndexOfLine(const std::wstring& line)
    {
        const auto& lines = fakeui::Lines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == line) return static_cast<int>(i);
        return -1;
    }

    static std::vector<std::string> EventKinds()
    {
        std::vector<std::string> kinds;
        for (const auto& event : fakeui::Events()) kinds.push_back(event.kind);
        return kinds;
    }
};

}  // namespace simscan
