#pragma once
#include <cstdint>

#include "log/SampleRow.h"

// The --samples list: which sample numbers the scan accepts.

const int32_t RangeCapacity = 100000; // sample-number ranges a --samples list can hold

struct RangeListValues
{
    SampleRange entries[RangeCapacity];
    int32_t count;
};

// Initially one range {0, 100000}: sample numbers 1 to 99999.
extern RangeListValues RangeList;

bool isSampleSelected(int32_t samplenumber);
