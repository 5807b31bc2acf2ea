// Walking FILE_STREAM_INFORMATION lists, well-formed and forged. Each list is
// copied into a heap block of exactly its size, so a read past the data is
// caught by the address sanitizer.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "streams/stream_bytes.h"
#include "streams/stream_list.h"

namespace {

using namespace streamtest;
using Found = std::vector<std::pair<std::wstring, int32_t>>;

Found Walk(const std::string& bytes, size_t length)
{
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    Found found;
    WalkStreamList(exact.data(), length, [&](const std::wstring& name, int32_t size) {
        found.emplace_back(name, size);
    });
    return found;
}

Found Walk(const std::string& bytes) { return Walk(bytes, bytes.size()); }

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

}  // namespace

TEST(StreamList, NamedStreamsInListOrderWithTheirOwnSizes)
{
    const Found found = Walk(List({{kUnnamed, 1000}, {Named(u"payload"), 28160}, {Named(u"x"), 0}}));
    EXPECT_EQ(found, (Found{{L"payload", 28160}, {L"x", 0}}));
}

TEST(StreamList, UnnamedStreamAloneGivesNothing)
{
    EXPECT_TRUE(Walk(List({{kUnnamed, 500}})).empty());
}

TEST(StreamList, SizeIsTheLow32BitsAsSigned)
{
    const Found found = Walk(List({{Named(u"big"), 0x180000001ull}, {Named(u"huge"), 0x2FFFFFFFFull}}));
    EXPECT_EQ(found, (Found{{L"big", static_cast<int32_t>(0x80000001u)}, {L"huge", -1}}));
}

TEST(StreamList, NonAsciiNamesSurvive)
{
    const Found found = Walk(List({{Named(u"caf\u00e9\u20ac"), 3}}));
    EXPECT_EQ(found, (Found{{L"caf\u00e9\u20ac", 3}}));
}

TEST(StreamList, EmptyAndTruncatedData)
{
    const std::string list = List({{Named(u"one"), 1}});
    EXPECT_TRUE(Walk(list, 0).empty());
    EXPECT_TRUE(Walk(list, 23).empty());        // not even the fixed part
    EXPECT_TRUE(Walk(list, 24 + 10).empty());   // the name runs past the data
    EXPECT_EQ(Walk(list, list.size()), (Found{{L"one", 1}}));
    WalkStreamList(nullptr, 100, [](const std::wstring&, int32_t) { FAIL(); });
}

TEST(StreamList, WalkStopsAtTheReturnedLength)
{
    // The second record lies in the buffer but past what the query returned.
    const std::string list = List({{Named(u"first"), 1}, {Named(u"second"), 2}});
    const size_t firstRecord = (24 + Named(u"first").size() * 2 + 7) / 8 * 8;
    EXPECT_EQ(Walk(list, firstRecord), (Found{{L"first", 1}}));
    EXPECT_EQ(Walk(list, firstRecord + 24), (Found{{L"first", 1}}));
    EXPECT_EQ(Walk(list).size(), 2u);
}

TEST(StreamList, ForgedOffsetsEndTheWalk)
{
    const std::u16string good = Named(u"good");
    const uint32_t goodBytes = static_cast<uint32_t>(good.size() * 2);
    // Pointing far outside, and so far that adding it would wrap around.
    for (uint32_t next : {100000u, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
        std::string list = Raw({{next, goodBytes, 7, good}});
        EXPECT_EQ(Walk(list), (Found{{L"good", 7}})) << "offset " << next;
    }
    // Pointing exactly at the end of the data: no room for another record.
    std::string list = Raw({{48, goodBytes, 7, good}});
    ASSERT_EQ(list.size(), 48u);
    EXPECT_EQ(Walk(list), (Found{{L"good", 7}}));
}

TEST(StreamList, OffsetsThatDoNotAdvanceEndTheWalk)
{
    const std::u16string good = Named(u"good");
    const uint32_t goodBytes = static_cast<uint32_t>(good.size() * 2);
    for (uint32_t next : {1u, 4u, 8u, 23u}) {
        // Followed by a well-formed tail that a walk which kept going could reach.
        std::string list = Raw({{next, goodBytes, 7, good}}) + List({{Named(u"tail"), 1}});
        EXPECT_EQ(Walk(list), (Found{{L"good", 7}})) << "offset " << next;
    }
}

TEST(StreamList, OddNameLengthSkipsOnlyThatRecord)
{
    const std::u16string bad = Named(u"bad");
    const std::string list =
        Raw({{48, static_cast<uint32_t>(bad.size() * 2 - 1), 5, bad}}) + List({{Named(u"good"), 9}});
    EXPECT_EQ(Walk(list), (Found{{L"good", 9}}));
}

TEST(StreamList, NameRunningPastTheDataIsNotRead)
{
    // The last record claims a name far longer than what follows it.
    const std::string list = List({{Named(u"first"), 1}, {Named(u"x"), 2}});
    const size_t second = 48;  // ":first:$DATA" is 24 bytes after the 24-byte fixed part
    std::string forged = list.substr(0, second + 24 + 4);
    ASSERT_EQ(static_cast<unsigned char>(forged[second + 4]), 16u);  // ":x:$DATA"
    forged[second + 4] = static_cast<char>(0xF0);                    // now 240 bytes
    EXPECT_EQ(Walk(forged), (Found{{L"first", 1}}));
    // A middle record whose name claims more than the whole list: skipped, the walk goes on.
    const std::u16string mid = Named(u"mid");
    const std::string middle =
        Raw({{48, 0x7FFFFFF0u, 3, mid}}) + List({{Named(u"after"), 4}});
    EXPECT_EQ(Walk(middle), (Found{{L"after", 4}}));
}

TEST(StreamList, NamesTooLongForTheNameFieldAreSkipped)
{
    // 130 characters fill the 260-byte field exactly; 131 and more do not fit.
    const std::u16string fits = u":" + Repeat(u'a', 123) + u":$DATA";
    ASSERT_EQ(fits.size(), 130u);
    const std::u16string tooLong = u":" + Repeat(u'b', 124) + u":$DATA";
    const std::u16string wayTooLong = u":" + Repeat(u'c', 300) + u":$DATA";
    const Found found = Walk(List({{tooLong, 1}, {fits, 2}, {wayTooLong, 3}, {Named(u"last"), 4}}));
    EXPECT_EQ(found, (Found{{std::wstring(123, L'a'), 2}, {L"last", 4}}));
}

TEST(StreamList, NamesTooShortToHoldABareNameGiveNothing)
{
    const Found found = Walk(List({{u":", 1}, {u"", 2}, {u":$DATA", 3}, {u"::$DATA", 4}, {Named(u"z"), 5}}));
    EXPECT_EQ(found, (Found{{L"z", 5}}));
}

TEST(StreamList, NamesThatWouldLeaveTheStreamAreNotHandedOn)
{
    // "::$DATA:$DATA" would give the bare name ":$DATA", that is the host file
    // itself; separators and NULs could name some other file.
    const Found found = Walk(List({{u"::$DATA:$DATA", 1},
                                   {Named(u"..\\..\\boot.ini"), 2},
                                   {Named(u"a/b"), 3},
                                   {Named(std::u16string(u"nul\0x", 5)), 4},
                                   {Named(u"ok"), 5}}));
    EXPECT_EQ(found, (Found{{L"ok", 5}}));
}

TEST(StreamList, NamesWithoutAnExactAnsiFormAreNotHandedOn)
{
    // By best fit on code page 1252 the fullwidth names would turn into "abc",
    // "x:$DATA" and ":$DATA" (the host file's own data); the Greek one into
    // "???"; each would be read and deleted under a name it does not have.
    const Found found = Walk(List({{Named(u"\uFF41\uFF42\uFF43"), 1},
                                   {Named(u"x\uFF1A\uFF04DATA"), 2},
                                   {Named(u"\uFF1A\uFF04DATA"), 3},
                                   {Named(u"\u03B1\u03B2\u03B3"), 4},
                                   {Named(u"set\u2216minus"), 5},
                                   {Named(u"abc"), 6},
                                   {Named(u"caf\u00e9 \u201cq\u201d"), 7}}));
    EXPECT_EQ(found, (Found{{L"abc", 6}, {L"caf\u00e9 \u201cq\u201d", 7}}));
}

TEST(StreamList, RecordInsideTheFixedPartOfAnotherIsNotRead)
{
    // An offset of 8 lands on this record's own size fields, forged here so
    // that they read as a last record whose name (":ghost:$DATA") is the tail
    // of the first record's name. A walk that followed it would report "ghost".
    const std::u16string ghost = u":ghost:$DATA";
    const uint64_t ghostFixed = static_cast<uint64_t>(ghost.size() * 2) << 32;  // next 0, name length
    const std::u16string first = u":abc" + ghost;
    const std::string list = Raw({{8, static_cast<uint32_t>(first.size() * 2), ghostFixed, first}});
    EXPECT_TRUE(Walk(list).empty());
}
