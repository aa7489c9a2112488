// The sample table's page prefetch: it maps pages only a little ahead of the rows written,
// and the table the scanner fills with it running is the same as without.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "support/LogTestSupport.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "log/SampleTablePrefetch.h"

namespace
{

const uintptr_t PageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
const uintptr_t TableBegin = reinterpret_cast<uintptr_t>(SampleTable.rows);
const uintptr_t TableEnd = reinterpret_cast<uintptr_t>(SampleTable.rows + RowCapacity);

// Gives the table's whole pages back to the kernel. They read as zero afterwards, which is
// what a reset leaves in them anyway.
void DropTablePages()
{
    const uintptr_t begin = (TableBegin + PageSize - 1) & ~(PageSize - 1);
    const uintptr_t end = TableEnd & ~(PageSize - 1);
    ASSERT_EQ(madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED), 0);
}

// Bytes of the table, from its start, up to the end of the last of its whole pages that is
// mapped. The partial pages at its ends are left out: they hold other data as well.
uintptr_t MappedExtent()
{
    const uintptr_t begin = (TableBegin + PageSize - 1) & ~(PageSize - 1);
    const size_t pages = ((TableEnd & ~(PageSize - 1)) - begin) / PageSize;
    std::vector<unsigned char> resident(pages);
    EXPECT_EQ(mincore(reinterpret_cast<void*>(begin), pages * PageSize, resident.data()), 0);
    size_t last = 0;
    for (size_t i = 0; i < pages; ++i)
        if (resident[i] & 1)
            last = i + 1;
    return last == 0 ? 0 : begin + last * PageSize - TableBegin;
}

// Waits until the mapped extent reaches at least `least` bytes (or five seconds pass, on a
// very busy machine), then a little longer, so that running too far ahead would show.
uintptr_t MappedExtentOnceAtLeast(uintptr_t least)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (MappedExtent() < least && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return MappedExtent();
}

// Whether this kernel can map pages on request at all (5.14 and later).
bool KernelMapsOnRequest()
{
    static char probe[1 << 16] __attribute__((aligned(4096)));
    return madvise(probe, sizeof probe, 23 /* MADV_POPULATE_WRITE */) == 0;
}

void ScanText(const std::string& text)
{
    std::string data = text;
    FILE* input = fmemopen(data.data(), data.size(), "r");
    ASSERT_NE(input, nullptr);
    currentColumn = 0;
    SetScanInput(input);
    {
        SampleTablePrefetch prefetch;
        scan();
    }
    fclose(input);
}

class SampleTablePrefetchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetLogReader();
        DropTablePages();
    }
    void TearDown() override { ResetSampleTable(); }
};

TEST_F(SampleTablePrefetchTest, MapsALittleAheadOfTheRowsWrittenAndNoFurther)
{
    if (!KernelMapsOnRequest())
        GTEST_SKIP() << "the kernel cannot map pages on request";
    ASSERT_EQ(MappedExtent(), 0u);

    {
        SampleTablePrefetch prefetch;
        // Nothing is written: the prefetch maps its lead and then waits.
        const uintptr_t idle = MappedExtentOnceAtLeast(1024u * 1024u);
        EXPECT_GE(idle, 1024u * 1024u);
        EXPECT_LE(idle, 3u * 1024u * 1024u);

        // Rows written further on move the mapped extent along with them.
        const int32_t row = 40000;
        SampleTable.rowCount = row;
        storeValue(1, "7", 1);
        const uintptr_t written = static_cast<uintptr_t>(row + 1) * sizeof(SampleRow);
        const uintptr_t following = MappedExtentOnceAtLeast(written + 1024u * 1024u);
        EXPECT_GE(following, written + 1024u * 1024u);
        EXPECT_LE(following, written + 3u * 1024u * 1024u);
    }
    // Once it is gone, nothing more is mapped.
    const uintptr_t stopped = MappedExtent();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(MappedExtent(), stopped);
    EXPECT_LT(stopped, sizeof SampleTable.rows);
}

TEST_F(SampleTablePrefetchTest, TableFilledAlongsideItHoldsEveryValue)
{
    std::string log = "samplenumber gps_curlat gps_curlon gps_curalt\n";
    const int rows = 60000;
    for (int i = 1; i <= rows; ++i)
        log += std::to_string(i) + " " + std::to_string(3000 + i % 97) + ".5 " + std::to_string(600 + i % 89) + ".25 " + std::to_string(i % 400) + "\n";
    ScanText(log);

    ASSERT_EQ(SampleTable.rowCount, rows);
    int wrong = 0;
    for (int i = 1; i <= rows; ++i)
    {
        const SampleRow& row = SampleTable.rows[i - 1];
        if (row.samplenumber != i || row.gps_curlat != 3000 + i % 97 + 0.5 || row.gps_curlon != 600 + i % 89 + 0.25 || row.gps_curalt != i % 400)
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    // The row under construction after the last line is still all zero.
    EXPECT_EQ(SampleTable.rows[rows].samplenumber, 0);
    EXPECT_EQ(SampleTable.rows[rows].gps_curlat, 0.0);
}

TEST_F(SampleTablePrefetchTest, ShortLogLeavesTheRestOfTheTableUnmapped)
{
    ScanText("samplenumber gps_curlat gps_curlon\n1 3000 600\n2 3001 601\n");
    EXPECT_EQ(SampleTable.rowCount, 2);
    EXPECT_LE(MappedExtent(), 3u * 1024u * 1024u);
}

} // namespace
