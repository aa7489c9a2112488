#include "app/RangeListParser.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "log/SampleTable.h"

// atol's reading of a number, held to the int32 range the ranges are stored in.
static int32_t ReadNumber(const char* text)
{
    const long value = strtol(text, nullptr, 10);
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t ParseRangeList(const char* list)
{
    RangeList.count = 0;
    const char* cursor = list;
    while (cursor && *cursor)
    {
        const int32_t begin = ReadNumber(cursor);
        const char* dash = strchr(cursor, '-');
        if (dash)
        {
            const int32_t end = ReadNumber(dash + 1);
            const int64_t width = static_cast<int64_t>(end) - begin;
            if (begin >= 0 && end >= 3 && width >= 3 && RangeList.count < RangeCapacity)
            {
                RangeList.entries[RangeList.count] = SampleRange{begin, end};
                ++RangeList.count;
            }
        }
        cursor = strchr(cursor, ',');
        if (cursor)
            ++cursor;
    }
    return RangeList.count;
}
