// The log writer the companion programs share: what it writes, the reader reads back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/LogTestSupport.h"
#include "log/LogScanner.h"
#include "log/LogWriter.h"
#include "log/SampleTable.h"

namespace
{

TEST(LogWriterTest, EveryColumnReadsBackIntoItsOwnField)
{
    // All 41 kinds, each holding a value of its own that the printed digits keep exactly.
    std::vector<LogColumn> columns;
    SampleRow row;
    memset(&row, 0, sizeof row);
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
    {
        columns.push_back(LogColumn{static_cast<ColumnKind>(kind), 3});
        const ColumnField& field = ColumnFieldTable[kind];
        char* at = reinterpret_cast<char*>(&row) + field.offset;
        if (field.storage == StoreInt32)
        {
            const int32_t value = kind == 1 ? 7 : -1000 * kind; // a sample number the reader selects
            memcpy(at, &value, sizeof value);
        }
        else
        {
            const double value = kind * 1.125 + (kind == 11 || kind == 12 ? 600.0 : -20.0); // a position away from 0
            memcpy(at, &value, sizeof value);
        }
    }
    std::string text = LogHeaderLine(columns);
    AppendLogLine(&text, row, columns);

    ResetLogReader();
    EXPECT_EQ(ScanCapturingEcho(text), "") << text;
    ASSERT_EQ(SampleTable.rowCount, 1) << text;
    EXPECT_EQ(memcmp(&SampleTable.rows[0], &row, sizeof row), 0) << text;
    ResetLogReader();
}

TEST(LogWriterTest, DigitsAreTheColumnsAndNegativeZeroKeepsItsSign)
{
    SampleRow row;
    memset(&row, 0, sizeof row);
    row.samplenumber = 12;
    row.gps_time = 1.0 / 3.0;
    row.pyro_curroll = -0.0;
    row.gps_curalt = 1e22; // no exponent, whatever the size
    std::string text;
    AppendLogLine(&text, row, {{ColumnKind::samplenumber, 5}, {ColumnKind::gps_time, 2}, {ColumnKind::pyro_curroll, 4}, {ColumnKind::gps_curalt, 0}});
    EXPECT_EQ(text, "12,0.33,-0.0000,10000000000000000000000\n");
    EXPECT_EQ(LogHeaderLine({{ColumnKind::in_ppm_curwidth4, 0}, {ColumnKind::controlbyte, 0}}), "in_ppm_curwidth[4],controlbyte\n");
}

} // namespace
