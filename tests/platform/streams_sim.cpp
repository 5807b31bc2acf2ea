// NTFS named data streams on the simulated disk: "file:name" paths with the
// ordinary file calls, and the stream list of NtQueryInformationFile.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/win32.h"

namespace {

struct Record {
    ULONG next;
    std::string name;
    int64_t size;
};

class SimStreams : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        sim::AddFile(kHost, "host bytes");
    }

    static constexpr const char* kHost = "C:\\WINDOWS\\notepad.exe";

    static std::string Read(const std::string& path)
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<error " + std::to_string(GetLastError()) + ">";
        std::string out(1024, '\0');
        DWORD read = 0;
        ReadFile(h, &out[0], 1024, &read, nullptr);
        CloseHandle(h);
        out.resize(read);
        return out;
    }

    static bool Write(const std::string& path, const std::string& data)
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(h);
        return ok && written == data.size();
    }

    static LONG Query(const std::string& path, std::vector<unsigned char>& buffer, IO_STATUS_BLOCK& status)
    {
        HANDLE h = CreateFileW(platform::ToUtf16(platform::FromAnsi(path)).c_str(), 0, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << path;
        const LONG code = sim::NtQueryInformationFileSim(h, &status, buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), 22);
        CloseHandle(h);
        return code;
    }

    static std::vector<Record> Records(const std::vector<unsigned char>& buffer, size_t used)
    {
        std::vector<Record> records;
        size_t at = 0;
        while (at + 24 <= used) {
            FILE_STREAM_INFORMATION fixed;
            std::memcpy(&fixed, buffer.data() + at, 24);
            std::vector<WCHAR> name(fixed.StreamNameLength / 2);
            std::memcpy(name.data(), buffer.data() + at + 24, fixed.StreamNameLength);
            records.push_back({fixed.NextEntryOffset, platform::ToAnsi(platform::FromUtf16(name.data(), name.size())),
                               fixed.StreamSize.QuadPart});
            if (fixed.NextEntryOffset == 0) break;
            at += fixed.NextEntryOffset;
        }
        return records;
    }
};

TEST_F(SimStreams, StreamPathsReachOnlyTheirStream)
{
    ASSERT_TRUE(Write(std::string(kHost) + ":payload", "WSUD and more"));
    EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"payload"});
    EXPECT_EQ(Read(std::string(kHost) + ":payload"), "WSUD and more");
    EXPECT_EQ(Read(std::string(kHost) + ":PAYLOAD:$DATA"), "WSUD and more") << "names fold, the type may be given";
    EXPECT_EQ(Read(kHost), "host bytes");
    EXPECT_EQ(Read(std::string(kHost) + "::$DATA"), "host bytes");

    HFILE stream = _lopen((std::string(kHost) + ":payload").c_str(), OF_READ);
    ASSERT_NE(stream, HFILE_ERROR);
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(stream)), nullptr), 13u);
    _lclose(stream);
    HFILE host = _lopen(kHost, OF_READ);
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(static_cast<intptr_t>(host)), nullptr), 10u)
        << "the file's size is its unnamed stream";
    _lclose(host);

    EXPECT_EQ(Read(std::string(kHost) + ":absent"), "<error 2>");
    EXPECT_EQ(GetFileAttributesA((std::string(kHost) + ":absent").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((std::string(kHost) + ":payload").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SimStreams, DeletingAStreamOrTheFile)
{
    sim::AddStream(kHost, "one", "1");
    sim::AddStream(kHost, "two", "22");
    EXPECT_TRUE(DeleteFileA((std::string(kHost) + ":one").c_str()));
    EXPECT_EQ(sim::StreamNames(kHost), std::vector<std::string>{"two"});
    EXPECT_EQ(sim::FileContents(kHost), "host bytes") << "the host is untouched";
    EXPECT_FALSE(DeleteFileA((std::string(kHost) + ":one").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    const DWORD pid = 9;
    sim::HoldFile(pid, std::string(kHost) + ":two", FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(Read(std::string(kHost) + ":two"), "22");
    EXPECT_FALSE(DeleteFileA((std::string(kHost) + ":two").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA(kHost)) << "deleting the file takes the held stream along";
    sim::ReleaseFilesHeldBy(pid);

    // A stream held without any sharing cannot be opened, but it is found.
    const std::string three = std::string(kHost) + ":three";
    sim::AddStream(kHost, "three", "333");
    sim::HoldFile(pid, three, 0);
    EXPECT_EQ(Read(three), "<error 32>");
    EXPECT_NE(GetFileAttributesA(three.c_str()), INVALID_FILE_ATTRIBUTES) << "no data is opened";
    EXPECT_EQ(GetFileAttributesA((std::string(kHost) + ":one").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    sim::ReleaseFilesHeldBy(pid);
    // Held with delete sharing, it stays until its last handle is closed.
    sim::HoldFile(pid, three, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_TRUE(DeleteFileA(three.c_str()));
    EXPECT_EQ(sim::StreamNames(kHost), (std::vector<std::string>{"three", "two"}));
    EXPECT_EQ(Read(three), "<error 5>");
    EXPECT_EQ(GetFileAttributesA(three.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    sim::ReleaseFilesHeldBy(pid);
    EXPECT_EQ(GetFileAttributesA(three.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(DeleteFileA(kHost));
    EXPECT_FALSE(sim::FileExists(kHost));
    EXPECT_FALSE(sim::FileExists(std::string(kHost) + ":two"));
    sim::AddFile(kHost, "again");
    EXPECT_TRUE(sim::StreamNames(kHost).empty()) << "the streams went with the file";
}

TEST_F(SimStreams, StreamOfANewFileCreatesTheFile)
{
    ASSERT_TRUE(Write("C:\\WINDOWS\\fresh.txt:hidden", "x"));
    EXPECT_TRUE(sim::FileExists("C:\\WINDOWS\\fresh.txt"));
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\fresh.txt"), "");
    EXPECT_EQ(sim::FileContents("C:\\WINDOWS\\fresh.txt:hidden"), "x");
}

TEST_F(SimStreams, NoStreamsWithoutNamedStreamSupport)
{
    sim::AddStream(kHost, "payload", "p");
    sim::SetVolume(sim::Fat32());
    EXPECT_EQ(Read(std::string(kHost) + ":payload"), "<error 123>");
    EXPECT_FALSE(Write(std::string(kHost) + ":other", "x"));
    EXPECT_FALSE(DeleteFileA((std::string(kHost) + ":payload").c_str()));
    EXPECT_EQ(Read(kHost), "host bytes");
    std::vector<unsigned char> buffer(4096);
    IO_STATUS_BLOCK status{};
    EXPECT_EQ(Query(kHost, buffer, status), STATUS_INVALID_PARAMETER);
}

TEST_F(SimStreams, StreamListLayout)
{
    sim::AddStream(kHost, "payload", std::string(28160, 'a'));
    sim::AddStream(kHost, "ab", "");
    std::vector<unsigned char> buffer(393216, 0);
    IO_STATUS_BLOCK status{};
    ASSERT_EQ(Query(kHost, buffer, status), STATUS_SUCCESS);
    const auto records = Records(buffer, status.Information);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, "::$DATA");
    EXPECT_EQ(records[0].size, 10);
    EXPECT_EQ(records[1].name, ":ab:$DATA");
    EXPECT_EQ(records[1].size, 0);
    EXPECT_EQ(records[2].name, ":payload:$DATA");
    EXPECT_EQ(records[2].size, 28160);
    EXPECT_EQ(records[0].next, 40u) << "24 + 14 name bytes, rounded up to 8";
    EXPECT_EQ(records[1].next, 48u) << "24 + 18 name bytes, rounded up to 8";
    EXPECT_EQ(records[2].next, 0u);
    EXPECT_EQ(status.Information, 40u + 48u + 24u + 28u);

    std::vector<unsigned char> small(64, 0);
    EXPECT_EQ(Query(kHost, small, status), STATUS_BUFFER_OVERFLOW);
    const auto partial = Records(small, status.Information);
    ASSERT_EQ(partial.size(), 1u) << "only whole records are delivered";
    EXPECT_EQ(partial[0].next, 0u);

    HMODULE ntdll = LoadLibraryA("ntdll.dll");
    auto query = reinterpret_cast<NtQueryInformationFileFn>(GetProcAddress(ntdll, "NtQueryInformationFile"));
    ASSERT_NE(query, nullptr);
    HANDLE h = CreateFileA(kHost, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<unsigned char> viaNtdll(393216, 0);
    EXPECT_EQ(query(h, &status, viaNtdll.data(), 393216, kFileStreamInformation), STATUS_SUCCESS);
    EXPECT_EQ(viaNtdll, buffer);
    CloseHandle(h);
    FreeLibrary(ntdll);
}

TEST_F(SimStreams, ForgedAndFailingStreamLists)
{
    std::string forged(24, '\0');
    forged[4] = 2;  // StreamNameLength of one character, nothing else
    sim::SetStreamListBytes(kHost, forged + std::string("X\0", 2));
    std::vector<unsigned char> buffer(4096, 0xCC);
    IO_STATUS_BLOCK status{};
    EXPECT_EQ(Query(kHost, buffer, status), STATUS_SUCCESS);
    EXPECT_EQ(status.Information, 26u);
    EXPECT_EQ(buffer[4], 2);
    EXPECT_EQ(buffer[24], 'X');

    sim::AddFile("C:\\WINDOWS\\other.dll", "");
    sim::FailStreamQuery("C:\\WINDOWS\\other.dll");
    std::vector<unsigned char> untouched(4096, 0);
    EXPECT_LT(Query("C:\\WINDOWS\\other.dll", untouched, status), 0);
    EXPECT_EQ(untouched, std::vector<unsigned char>(4096, 0)) << "a failed query writes nothing";
    EXPECT_NE(sim::NtQueryInformationFileSim(INVALID_HANDLE_VALUE, &status, buffer.data(), 4096, 22),
              STATUS_SUCCESS);
}

}  // namespace
