#include <gtest/gtest.h>

#include <climits>

#include "crc_forge.h"
#include "detection/crc32.h"
#include "detection/scratch_folder.h"

using testfiles::ScratchFolder;

namespace {

class Crc32 : public ::testing::Test {
protected:
    void SetUp() override { BuildCrcTable(); }
    ScratchFolder folder_;
};

}  // namespace

TEST_F(Crc32, TableHoldsTheReflectedPolynomialEntries)
{
    EXPECT_EQ(gCrcTable[0], 0u);
    EXPECT_EQ(gCrcTable[1], 0x77073096u);
    EXPECT_EQ(gCrcTable[128], 0xEDB88320u);
    EXPECT_EQ(gCrcTable[255], 0x2D02EF8Du);
    EXPECT_EQ(gCrcReady, kTrue);
}

TEST_F(Crc32, TextIsUpperCaseWithoutLeadingZeros)
{
    EXPECT_EQ(CrcText(0xCBF43926u), L"CBF43926");
    EXPECT_EQ(CrcText(0x04F5BDC4u), L"4F5BDC4");
    EXPECT_EQ(CrcText(0x0000000Au), L"A");
    EXPECT_EQ(CrcText(0), L"0");
    EXPECT_EQ(CrcText(0xFFFFFFFFu), L"FFFFFFFF");
}

TEST_F(Crc32, UpdateInPiecesEqualsUpdateAtOnce)
{
    const std::string data = testfiles::FillerBytes(1000);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    uint32_t whole = 0xFFFFFFFFu;
    CrcUpdate(whole, bytes, data.size());
    uint32_t pieces = 0xFFFFFFFFu;
    CrcUpdate(pieces, bytes, 1);
    CrcUpdate(pieces, bytes + 1, 500);
    CrcUpdate(pieces, bytes + 501, 499);
    EXPECT_EQ(whole, pieces);
    EXPECT_EQ(whole ^ 0xFFFFFFFFu, forge::Crc32(data));
}

TEST_F(Crc32, FileDigestsMatchTheStandardCheckValues)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    EXPECT_EQ(FileCrc32(digits, 9), L"CBF43926");

    // A digest below 0x10000000 has seven digits.
    const std::wstring zeros = folder_.Write(L"zeros.bin", std::string(37888, '\0'));
    EXPECT_EQ(FileCrc32(zeros, 37888), L"4F5BDC4");

    const std::string mixed = testfiles::FillerBytes(70001);
    const std::wstring mixedPath = folder_.Write(L"mixed.bin", mixed);
    EXPECT_EQ(FileCrc32(mixedPath, 70001), CrcText(forge::Crc32(mixed)));
}

TEST_F(Crc32, NothingToHashGivesTheEmptyText)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring empty = folder_.Write(L"empty.bin", "");
    EXPECT_EQ(FileCrc32(empty, 0), L"");
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    EXPECT_EQ(FileCrc32(digits, 0), L"");
    EXPECT_EQ(FileCrc32(digits, -1), L"");
    // A length of 2 GiB or more arrives wrapped to a negative number.
    EXPECT_EQ(FileCrc32(digits, INT32_MIN), L"");
}

TEST_F(Crc32, MissingFileGivesEightZeros)
{
    ASSERT_TRUE(folder_.Ok());
    EXPECT_EQ(FileCrc32(folder_.Path() + L"absent.bin", 1), L"00000000");
    EXPECT_EQ(FileCrc32(folder_.Path() + L"absent.bin", 0), L"");
}

TEST_F(Crc32, NotReadyGivesTheEmptyText)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    gCrcReady = kFalse;
    const std::wstring before = FileCrc32(digits, 9);
    BuildCrcTable();
    EXPECT_EQ(before, L"");
    EXPECT_EQ(FileCrc32(digits, 9), L"CBF43926");
}

TEST_F(Crc32, LengthDecidesHowManyBytesAreHashed)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    // Longer than the file: only the bytes the read delivers count.
    EXPECT_EQ(FileCrc32(digits, 100), L"CBF43926");
    // Shorter: only the leading bytes.
    EXPECT_EQ(FileCrc32(digits, 3), CrcText(forge::Crc32("123")));
    EXPECT_EQ(FileCrc32(digits, 1), CrcText(forge::Crc32("1")));
}

TEST_F(Crc32, HugeLengthEndsWithoutADigestOrHashesWhatWasRead)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    // A 32-bit process cannot hold 2 GiB in one buffer; elsewhere the read
    // still delivers only the nine bytes.
    const std::wstring digest = FileCrc32(digits, INT32_MAX);
    EXPECT_TRUE(digest.empty() || digest == L"CBF43926") << "got " << std::string(digest.begin(), digest.end());
}

TEST_F(Crc32, FileOpenForWritingElsewhereCanStillBeHashed)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    testfiles::HeldFile writer(digits, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer.Ok());
    EXPECT_EQ(FileCrc32(digits, 9), L"CBF43926");
}

TEST_F(Crc32, FileLockedAgainstReadingGivesEightZeros)
{
    ASSERT_TRUE(folder_.Ok());
    const std::wstring digits = folder_.Write(L"check.bin", "123456789");
    testfiles::HeldFile locker(digits, GENERIC_READ, 0);
    ASSERT_TRUE(locker.Ok());
    EXPECT_EQ(FileCrc32(digits, 9), L"00000000");
}

TEST(CrcForcing, FourAppendedBytesReachAnyDigest)
{
    for (uint32_t target : {0x55B8CBF1u, 0u, 0xFFFFFFFFu, 0x12345678u}) {
        const std::string bytes = forge::WithCrc32(testfiles::FillerBytes(100), target);
        EXPECT_EQ(bytes.size(), 104u);
        EXPECT_EQ(forge::Crc32(bytes), target);
    }
}
