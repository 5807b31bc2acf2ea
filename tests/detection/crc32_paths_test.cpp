// The CRC-32 update against the bit-at-a-time rule, at every length up to
// 300 bytes and at odd addresses, and a file hashed in pieces against the
// same file hashed whole.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crc_forge.h"
#include "detection/crc32.h"
#include "detection/scratch_folder.h"

namespace {

// One bit at a time, from the register given; shares nothing with the engine.
uint32_t BitwiseRegister(uint32_t crc, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return crc;
}

class CrcPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildCrcTable();
        std::mt19937 random(3309);
        // Room for the longest case at the largest misalignment.
        bytes_.resize(80000 + 64);
        for (auto& b : bytes_) b = static_cast<uint8_t>(random());
    }

    // The register the update leaves, from `start`, over `length` bytes at `offset`.
    uint32_t Run(uint32_t start, size_t offset, size_t length) const
    {
        uint32_t crc = start;
        CrcUpdate(crc, bytes_.data() + offset, length);
        return crc;
    }

    std::vector<uint8_t> bytes_;
};

TEST_F(CrcPaths, EveryShortLengthAtEveryAlignmentMatchesTheBitwiseRule)
{
    std::mt19937 random(42);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length = 0; length <= 300; ++length) {
            // A register carried over from earlier data, not only the fresh one.
            const uint32_t start = (length % 2 == 0) ? 0xFFFFFFFFu : static_cast<uint32_t>(random());
            const uint32_t expected = BitwiseRegister(start, bytes_.data() + offset, length);
            ASSERT_EQ(Run(start, offset, length), expected)
                << "length " << length << ", offset " << offset << ", register " << std::hex << start;
        }
    }
}

TEST_F(CrcPaths, LongBuffersAroundTheBlockSizesMatchTheBitwiseRule)
{
    for (size_t length : {511u, 512u, 513u, 1023u, 4096u, 4099u, 65535u, 65536u, 65537u, 80000u}) {
        for (size_t offset : {0u, 1u, 7u, 13u}) {
            const uint32_t expected = BitwiseRegister(0xFFFFFFFFu, bytes_.data() + offset, length);
            ASSERT_EQ(Run(0xFFFFFFFFu, offset, length), expected)
                << "length " << length << ", offset " << offset;
        }
    }
}

TEST_F(CrcPaths, PiecesOfAnyLengthContinueOneDigest)
{
    const size_t total = 5000;
    const uint32_t whole = BitwiseRegister(0xFFFFFFFFu, bytes_.data(), total);
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        uint32_t crc = 0xFFFFFFFFu;
        size_t done = 0;
        while (done < total) {
            size_t piece = random() % 400;
            if (piece > total - done) piece = total - done;
            CrcUpdate(crc, bytes_.data() + done, piece);
            done += piece;
        }
        ASSERT_EQ(crc, whole) << "round " << round;
    }
}

TEST_F(CrcPaths, UniformBuffersMatchTheBitwiseRule)
{
    for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80)}) {
        const std::vector<uint8_t> same(4097, fill);
        uint32_t crc = 0xFFFFFFFFu;
        CrcUpdate(crc, same.data(), same.size());
        EXPECT_EQ(crc, BitwiseRegister(0xFFFFFFFFu, same.data(), same.size())) << "fill " << int(fill);
    }
}

TEST(Crc32Dispatch, TheChosenUpdateMatchesTheBitwiseRule)
{
    BuildCrcTable();
    std::mt19937 random(1);
    std::vector<uint8_t> data(3000);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    for (size_t length : {0u, 1u, 63u, 64u, 65u, 300u, 2999u}) {
        uint32_t crc = 0xFFFFFFFFu;
        CrcUpdate(crc, data.data() + 1, length);
        EXPECT_EQ(crc, BitwiseRegister(0xFFFFFFFFu, data.data() + 1, length)) << "length " << length;
    }
}

TEST(Crc32Dispatch, BuildingTheTableAgainKeepsTheDigest)
{
    BuildCrcTable();
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    uint32_t first = 0xFFFFFFFFu;
    CrcUpdate(first, digits, sizeof(digits));
    BuildCrcTable();
    uint32_t second = 0xFFFFFFFFu;
    CrcUpdate(second, digits, sizeof(digits));
    EXPECT_EQ(first ^ 0xFFFFFFFFu, 0xCBF43926u);
    EXPECT_EQ(second, first);
}

TEST(Crc32Files, AFileLargerThanOneReadIsHashedWhole)
{
    BuildCrcTable();
    testfiles::ScratchFolder folder;
    ASSERT_TRUE(folder.Ok());
    // Several reads long, and not a multiple of any block or read size.
    const std::string bytes = testfiles::FillerBytes((1u << 20) * 2 + 4099);
    const std::wstring path = folder.Write(L"large.bin", bytes);
    const int32_t size = static_cast<int32_t>(bytes.size());
    EXPECT_EQ(FileCrc32(path, size), CrcText(forge::Crc32(bytes)));
    // Asking for more than the file holds stops at its end.
    EXPECT_EQ(FileCrc32(path, size + 12345), CrcText(forge::Crc32(bytes)));
    // Asking for less stops after that many bytes, even inside a later read.
    const int32_t part = (1 << 20) + 17;
    EXPECT_EQ(FileCrc32(path, part), CrcText(forge::Crc32(bytes.substr(0, part))));
}

}  // namespace
