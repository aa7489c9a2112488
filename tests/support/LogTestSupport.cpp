#include "support/LogTestSupport.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "support/TestSupport.h"

void ResetLogReader()
{
    ResetScanner();
    ResetSampleTable();
    RangeList.entries[0] = SampleRange{0, 100000};
    RangeList.count = 1;
    currentColumn = 0;
}

std::string ScanCapturingEcho(const std::string& text, int* result)
{
    std::string data = text;
    FILE* input = fmemopen(data.data(), data.size(), "r");
    EXPECT_NE(input, nullptr);
    if (!input)
        return std::string();
    OutputCapture echo;
    currentColumn = 0;
    SetScanInput(input);
    const int scanned = scan();
    fclose(input);
    if (result)
        *result = scanned;
    return echo.Finish();
}
