// The --samples argument: which pairs survive into the range list.
#include <gtest/gtest.h>

#include <string>

#include "flight/RangeListParser.h"
#include "log/SampleTable.h"

namespace
{

void ExpectRanges(std::initializer_list<SampleRange> expected)
{
    ASSERT_EQ(RangeList.count, static_cast<int32_t>(expected.size()));
    int32_t i = 0;
    for (const SampleRange& range : expected)
    {
        EXPECT_EQ(RangeList.entries[i].begin, range.begin) << "entry " << i;
        EXPECT_EQ(RangeList.entries[i].end, range.end) << "entry " << i;
        ++i;
    }
}

TEST(RangeListParserTest, ShortPairsAndNegativeBeginsAreDropped)
{
    // 30-31 is too short; x-50 begins at 0; in -5-20 the sign is the dash, so 5 ends it.
    EXPECT_EQ(ParseRangeList("10-20,30-31,x-50,-5-20"), 2);
    ExpectRanges({{10, 20}, {0, 50}});

    EXPECT_EQ(ParseRangeList("0-3,1-3,4-6"), 1);
    ExpectRanges({{0, 3}});
}

TEST(RangeListParserTest, ItemWithoutDashTakesTheEndOfALaterItem)
{
    EXPECT_EQ(ParseRangeList("100,200-300"), 2);
    ExpectRanges({{100, 300}, {200, 300}});
}

TEST(RangeListParserTest, NoSurvivingPairLeavesTheListEmpty)
{
    EXPECT_EQ(ParseRangeList("5-7"), 0);
    EXPECT_EQ(RangeList.count, 0);
    EXPECT_EQ(ParseRangeList(""), 0);
    EXPECT_EQ(ParseRangeList("12,15"), 0);
}

TEST(RangeListParserTest, PairsBeyondCapacityAreIgnored)
{
    std::string list;
    list.reserve(static_cast<size_t>(RangeCapacity + 1) * 7);
    for (int32_t i = 0; i <= RangeCapacity; ++i)
        list += std::to_string(i % 10) + "-" + std::to_string(i % 10 + 5) + ",";
    EXPECT_EQ(ParseRangeList(list.c_str()), RangeCapacity);
    EXPECT_EQ(RangeList.count, RangeCapacity);
    EXPECT_EQ(RangeList.entries[RangeCapacity - 1].begin, (RangeCapacity - 1) % 10);
}

} // namespace
