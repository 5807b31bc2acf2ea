// A fresh simulated machine, an empty recorder and the program's start-up
// state for every test; helpers that build hijacker files the matcher knows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "detection/crc32.h"
#include "environment/protected_names.h"
#include "platform/sim/machine.h"
#include "session/shared_state.h"
#include "support/fake_ui.h"

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

inline uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

// `size` bytes whose CRC-32 is `digest`: the last four bytes are solved for it,
// so the file is found only by its digest entry, never by a probe.
inline std::string WithDigest(uint32_t digest, size_t size)
{
    uint32_t table[256];
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1u) ? 0xEDB88320u : 0u);
        table[n] = c;
    }
    std::string bytes(size - 4, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 23);
    uint32_t state = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) state = table[(state ^ byte) & 0xFF] ^ (state >> 8);

    // Walk the table backwards from the wanted register to the four bytes.
    uint32_t wanted = digest ^ 0xFFFFFFFFu;
    for (int step = 0; step < 4; ++step) {
        for (uint32_t n = 0; n < 256; ++n) {
            if ((table[n] >> 24) == (wanted >> 24)) {
                wanted = ((wanted ^ table[n]) << 8) | n;
                break;
            }
        }
    }
    for (int i = 0; i < 4; ++i) {
        uint8_t stateByte = static_cast<uint8_t>(state >> (8 * i));
        uint8_t fromWanted = static_cast<uint8_t>(wanted >> (8 * i));
        bytes.push_back(static_cast<char>(stateByte ^ fromWanted));
    }
    return bytes;
}

// The first digest entry: "55B8CBF1", 28160 bytes.
inline std::string DigestInfected() { return WithDigest(0x55B8CBF1u, 28160); }

class Machine : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        fakeui::Reset();
        ResetSharedState();
        BuildCrcTable();
        LoadProtectedNames();
        explorerId = FindExplorer();
    }
    // Tests that arrange their state through Win32 alone run in the same
    // executable: leave them a fresh machine.
    void TearDown() override
    {
        sim::SetCallHook(nullptr);
        sim::Reset();
        fakeui::Reset();
        ResetSharedState();
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

    // A program that cannot be ended keeps `path` open with `shareMode`.
    static void LockForGood(const std::string& path, DWORD shareMode)
    {
        sim::ProcessSpec guard;
        guard.exeFile = guard.modulePath = "C:\\Program Files\\Guard\\guard.exe";
        guard.canTerminate = false;
        sim::HoldFile(sim::AddProcess(guard), path, shareMode);
    }

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
