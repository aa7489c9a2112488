#include "flight/RangeListParser.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "log/SampleSelection.h"

// atol's reading of a number, held to the int32 range the ranges are stored in. strtol is
// handed only what it reads (blanks, a sign, digits): given the rest of a long list, a build
// with strict string checks would walk all of it at every number.
static int32_t ReadNumber(const char* text)
{
    const char* end = text;
    while (isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end == '+' || *end == '-')
        ++end;
    while (isdigit(static_cast<unsigned char>(*end)))
        ++end;
    const std::string number(text, end);
    const long value = strtol(number.c_str(), nullptr, 10);
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t ParseRangeList(const char* list)
{
    RangeList.count = 0;
    if (!list)
        return 0;
    // memchr over the known rest is strchr's search without the same walk to the list's end.
    const char* const listEnd = list + strlen(list);
    const char* cursor = list;
    while (cursor && *cursor)
    {
        const int32_t begin = ReadNumber(cursor);
        const char* dash = static_cast<const char*>(memchr(cursor, '-', static_cast<size_t>(listEnd - cursor)));
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
        cursor = static_cast<const char*>(memchr(cursor, ',', static_cast<size_t>(listEnd - cursor)));
        if (cursor)
            ++cursor;
    }
    return RangeList.count;
}

bool SelectSamples(const char* list)
{
    if (ParseRangeList(list) > 0)
        return true;
    RangeList.entries[0] = SampleRange{0, 100000};
    RangeList.count = 1;
    return false;
}

void SelectEverySample()
{
    RangeList.entries[0] = SampleRange{0, std::numeric_limits<int32_t>::max()};
    RangeList.count = 1;
}
