// How the log scanner reads its stream: normal logs in 8192-byte blocks, and a token that
// outgrows the buffer in blocks that grow with it, so that such a token is not re-read
// once per 8192 bytes (which made a 20 MB token take minutes).

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "log/LogScanner.h"
#include "log/SampleTable.h"

// The scanner's reads, seen through the linker's --wrap=fread (tests/CMakeLists.txt):
// every fread of the program's own code in this test executable comes here first.
struct ReadCounter
{
    FILE* stream = nullptr; // the stream being counted
    int reads = 0;
    size_t largestRequest = 0;
};

ReadCounter Counter;

extern "C" size_t __real_fread(void* buffer, size_t size, size_t count, FILE* stream);

extern "C" size_t __wrap_fread(void* buffer, size_t size, size_t count, FILE* stream)
{
    if (stream == Counter.stream)
    {
        ++Counter.reads;
        if (size * count > Counter.largestRequest)
            Counter.largestRequest = size * count;
    }
    return __real_fread(buffer, size, count, stream);
}

namespace
{

void ScanCounted(std::string& log)
{
    FILE* stream = fmemopen(&log[0], log.size(), "r");
    ASSERT_NE(stream, nullptr);
    Counter = ReadCounter();
    Counter.stream = stream;
    ResetSampleTable();
    ResetScanner();
    currentColumn = 0;
    SetScanInput(stream);
    scan();
    Counter.stream = nullptr;
    fclose(stream);
}

TEST(ScannerRefillTest, LongTokenIsReadInGrowingBlocks)
{
    // One 8 MiB number token: zeros in front of the latitude. In 8192-byte blocks it would
    // take over a thousand reads, each copying and re-running the whole token so far.
    std::string log = "samplenumber,gps_curlat,gps_curlon\n5," + std::string(8 << 20, '0') + "2850.5,970.5\n";
    ScanCounted(log);

    EXPECT_LT(Counter.reads, 40);
    ASSERT_EQ(SampleTable.rowCount, 1); // still one token, converted whole
    EXPECT_EQ(SampleTable.rows[0].gps_curlat, 2850.5);
    EXPECT_EQ(SampleTable.rows[0].gps_curlon, 970.5);
}

TEST(ScannerRefillTest, LogOfShortTokensIsReadIn8192ByteBlocks)
{
    std::string log = "samplenumber,gps_curlat,gps_curlon\n";
    for (int i = 1; i <= 5000; ++i)
        log += std::to_string(i) + ",2850.5,970.5\n";
    ScanCounted(log);

    EXPECT_EQ(Counter.largestRequest, 8192u);
    EXPECT_GE(static_cast<size_t>(Counter.reads), log.size() / 8192);
    EXPECT_EQ(SampleTable.rowCount, 5000);
}

} // namespace
