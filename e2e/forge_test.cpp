#include <gtest/gtest.h>

#include <string>

#include "crc_forge.h"

namespace {

std::vector<uint8_t> Filler(size_t size, uint32_t seed)
{
    std::vector<uint8_t> data(size);
    for (auto& byte : data) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = static_cast<uint8_t>(seed);
    }
    return data;
}

TEST(CrcForge, StandardCheckValues)
{
    const std::string nine = "123456789";
    EXPECT_EQ(forge::Crc32(reinterpret_cast<const uint8_t*>(nine.data()), nine.size()), 0xCBF43926u);
    EXPECT_EQ(forge::Crc32(std::vector<uint8_t>(37888, 0)), 0x04F5BDC4u);
    EXPECT_EQ(forge::Crc32(nullptr, 0), 0u);
}

TEST(CrcForge, ForcedContentHasTheTargetDigestAndKeepsItsHead)
{
    // Digests of the scanner's list at their sizes, and a few awkward ones.
    const struct {
        uint32_t digest;
        size_t size;
    } cases[] = {{0x55B8CBF1u, 28160}, {0xE87AD6B0u, 66560}, {0x6F0E7F63u, 5636},
                 {0x71DA9336u, 4096},  {0x00000000u, 4},     {0xFFFFFFFFu, 5},
                 {0x04F5BDC4u, 37888}, {0xBA9685E5u, 10720}};
    for (const auto& c : cases) {
        std::vector<uint8_t> data = Filler(c.size, c.digest | 1u);
        const std::vector<uint8_t> original = data;
        forge::ForceCrc32(data, c.digest);
        EXPECT_EQ(forge::Crc32(data), c.digest) << forge::CrcText(c.digest) << " at " << c.size;
        ASSERT_EQ(data.size(), original.size());
        EXPECT_TRUE(std::equal(data.begin(), data.end() - 4, original.begin()))
            << "only the last four bytes may change";
    }
}

TEST(CrcForge, ContentShorterThanFourBytesIsLeftAlone)
{
    std::vector<uint8_t> data = {1, 2, 3};
    forge::ForceCrc32(data, 0x12345678u);
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(CrcForge, TextFormHasNoLeadingZeros)
{
    EXPECT_EQ(forge::CrcText(0x55B8CBF1u), "55B8CBF1");
    EXPECT_EQ(forge::CrcText(0x04F5BDC4u), "4F5BDC4");
    EXPECT_EQ(forge::CrcText(0), "0");
    uint32_t value = 0;
    EXPECT_TRUE(forge::ParseCrcText("4F5BDC4", &value));
    EXPECT_EQ(value, 0x04F5BDC4u);
    EXPECT_TRUE(forge::ParseCrcText("A135B470", &value));
    EXPECT_EQ(value, 0xA135B470u);
    EXPECT_FALSE(forge::ParseCrcText("", &value));
    EXPECT_FALSE(forge::ParseCrcText("123456789", &value));
    EXPECT_FALSE(forge::ParseCrcText("55b8cbf1", &value));
}

}  // namespace
