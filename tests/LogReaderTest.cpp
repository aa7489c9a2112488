// The log reader: scanner tokens and echo, buffering, and the sample table's storing and
// row acceptance, fed through in-memory streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "support/LogTestSupport.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "support/ReferenceScanner.h"

namespace
{

class LogReaderTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetLogReader(); }

    // Scans the text as a whole log and returns what the scanner echoed on stdout.
    static std::string Scan(const std::string& text)
    {
        int result = -1;
        const std::string echoed = ScanCapturingEcho(text, &result);
        EXPECT_EQ(result, 0);
        return echoed;
    }

    // The row under construction, where the numbers of an unjudged line are.
    static const SampleRow& Pending() { return SampleTable.rows[SampleTable.rowCount]; }

    static void Store(int32_t kind, const char* text) { storeValue(kind, text, strlen(text)); }
};

// --- Keywords --------------------------------------------------------------------------

TEST_F(LogReaderTest, EveryKeywordFillsItsOwnField)
{
    std::string header;
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
        header += std::string(header.empty() ? "" : ",") + LogKeywords[kind];
    header += "\n";
    std::string line;
    for (int i = 1; i <= 41; ++i)
        line += std::to_string(i) + (i < 41 ? "," : "\n");

    EXPECT_EQ(Scan(header + line), "");
    EXPECT_EQ(highestColumn, 40);
    for (int i = 0; i < 41; ++i)
        EXPECT_EQ(cols[i], i + 1) << "column " << i;

    // Column i holds the number i + 1; the fields in keyword order, gps_time (code 4) apart.
    ASSERT_EQ(SampleTable.rowCount, 1);
    const SampleRow& row = SampleTable.rows[0];
    const int32_t SampleRow::*const ints[] = {&SampleRow::samplenumber, &SampleRow::flightnumber,
        &SampleRow::gps_date, nullptr, &SampleRow::gps_numsatellites, &SampleRow::gps_fixmode,
        &SampleRow::ap_status};
    const double SampleRow::*const doubles[] = {&SampleRow::gps_startlat, &SampleRow::gps_startlon,
        &SampleRow::gps_startalt, &SampleRow::gps_curlat, &SampleRow::gps_curlon, &SampleRow::gps_curalt,
        &SampleRow::gps_curspeed, &SampleRow::gps_curheading, &SampleRow::compass_curheading,
        &SampleRow::bearing_to_base, &SampleRow::turn_rate, &SampleRow::voltage1, &SampleRow::voltage2,
        &SampleRow::voltage3, &SampleRow::current, &SampleRow::mah, &SampleRow::temperature,
        &SampleRow::baro_curspeed, &SampleRow::baro_curalt, &SampleRow::pyro_curroll,
        &SampleRow::pyro_curpitch, &SampleRow::pyro_targetroll, &SampleRow::pyro_targetpitch,
        &SampleRow::targetthrottle};
    for (int i = 0; i < 7; ++i)
    {
        if (ints[i] != nullptr)
        {
            EXPECT_EQ(row.*ints[i], i + 1) << "keyword code " << i + 1;
        }
    }
    EXPECT_EQ(row.gps_time, 4.0);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(row.*doubles[i], 8.0 + i) << "keyword code " << 8 + i;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(row.in_ppm_curwidth[i], 32.0 + i);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(row.out_ppm_curwidth[i], 37.0 + i);
    EXPECT_EQ(row.controlbyte, 41);
}

TEST_F(LogReaderTest, KeywordsSeparatedBySemicolonSetTheirColumns)
{
    EXPECT_EQ(Scan("samplenumber;gps_time\n"), "");
    EXPECT_EQ(cols[0], 1);
    EXPECT_EQ(cols[1], 4);
    EXPECT_EQ(highestColumn, 1);
}

TEST_F(LogReaderTest, KeywordsAreFoundInsideLongerWords)
{
    EXPECT_EQ(Scan("currently,xsamplenumber\n"), "lyx");
    EXPECT_EQ(cols[0], 22);
    EXPECT_EQ(cols[1], 1);
}

TEST_F(LogReaderTest, NearMissesOfKeywordsAreEchoed)
{
    EXPECT_EQ(Scan("Samplenumber\n"), "Samplenumber");
    EXPECT_EQ(cols[0], 0);
    EXPECT_EQ(highestColumn, 0);

    // The digit that spoils a keyword is a number of the column the word stands in.
    EXPECT_EQ(Scan("gps_time\nvoltage4\n"), "voltage");
    EXPECT_EQ(Pending().gps_time, 4.0);
    EXPECT_EQ(Scan("in_ppm_curwidth[5]\n"), "in_ppm_curwidth[]");
    EXPECT_EQ(Pending().gps_time, 5.0);
    EXPECT_EQ(cols[0], 4);
}

TEST_F(LogReaderTest, KeywordFollowedByDigitsTakesTheNumberIntoItsColumn)
{
    EXPECT_EQ(Scan("gps_curlat2\n"), "");
    EXPECT_EQ(cols[0], 11);
    EXPECT_EQ(Pending().gps_curlat, 2.0);
}

TEST_F(LogReaderTest, KeywordOnADataLineReassignsItsColumn)
{
    Scan("samplenumber,gps_time,gps_curlat,gps_curlon\n"
         "1,gps_curalt50,600,700\n"
         "2,60,600,700\n");
    EXPECT_EQ(cols[1], 13);
    ASSERT_EQ(SampleTable.rowCount, 2);
    EXPECT_EQ(SampleTable.rows[0].gps_curalt, 50.0);
    EXPECT_EQ(SampleTable.rows[1].gps_curalt, 60.0);
    EXPECT_EQ(SampleTable.rows[0].gps_time, 0.0);
    EXPECT_EQ(SampleTable.rows[1].gps_time, 0.0);
}

TEST_F(LogReaderTest, QuotesVanish)
{
    EXPECT_EQ(Scan("\"gps_time\"\n\"7\"\n"), "");
    EXPECT_EQ(cols[0], 4);
    EXPECT_EQ(Pending().gps_time, 7.0);
}

// --- Numbers ---------------------------------------------------------------------------

TEST_F(LogReaderTest, MalformedNumbersFallApartIntoTokens)
{
    struct Case
    {
        const char* line;
        const char* echo;
        double stored;
    };
    const Case cases[] = {
        {"12.\n", ".", 12.0},   // a full stop needs a digit after it
        {"+5\n", "+", 5.0},     // no plus sign
        {"--7\n", "-", -7.0},   // the second minus belongs to the number
        {"1.2.3\n", "", 0.3},   // 1.2, then .3
        {"1-2\n", "", -2.0},    // 1, then -2
        {"1.5e3\n", "e", 3.0},  // 1.5, e, 3
        {"-.5\n", "", -0.5},
    };
    for (const Case& c : cases)
    {
        ResetScanner();
        ResetSampleTable();
        Scan("gps_time\n");
        EXPECT_EQ(Scan(c.line), c.echo) << c.line;
        EXPECT_EQ(Pending().gps_time, c.stored) << c.line;
    }
}

TEST_F(LogReaderTest, StrayBytesAreEchoedUnchanged)
{
    std::string highBytes;
    for (int repeat = 0; repeat < 32; ++repeat)
        for (int b = 0x80; b <= 0xFF; ++b)
            highBytes += static_cast<char>(b);
    // A fixed linear congruential sequence: the same 64 KiB on every run.
    std::string randomBytes;
    for (uint32_t i = 0, state = 20261207; i < 65536; ++i)
    {
        state = state * 1664525u + 1013904223u;
        randomBytes += static_cast<char>(state >> 24);
    }
    const struct
    {
        const char* what;
        std::string log;
        std::string echo;
    } cases[] = {
        {"letters among NUL and high bytes", std::string("a\0b\xff\x80Z\n", 7), std::string("a\0b\xff\x80Z", 6)},
        {"NULs alone", std::string(4096, '\0'), std::string(4096, '\0')},
        {"every high byte", highBytes, highBytes},
        {"random bytes", randomBytes, ScanByTheRules(randomBytes).echoed},
    };
    for (const auto& c : cases)
    {
        ResetLogReader();
        const std::string echoed = Scan(c.log);
        EXPECT_TRUE(echoed == c.echo) << c.what << ": " << echoed.size() << " bytes echoed, " << c.echo.size() << " expected";
        EXPECT_EQ(SampleTable.rowCount, 0) << c.what;
        // The keywords among the stray bytes still name their columns.
        const ReferenceScan columns = ScanByTheRules(c.log);
        EXPECT_EQ(highestColumn, columns.highestColumn) << c.what;
        EXPECT_TRUE(std::equal(columns.cols.begin(), columns.cols.end(), cols)) << c.what;
    }
}

// --- Separators and line ends ----------------------------------------------------------

TEST_F(LogReaderTest, EverySeparatorTokenAdvancesTheColumn)
{
    Scan("gps_time,gps_curalt,gps_curlat\n"
         "1, 2\n");
    EXPECT_EQ(Pending().gps_time, 1.0);
    EXPECT_EQ(Pending().gps_curalt, 0.0);
    EXPECT_EQ(Pending().gps_curlat, 2.0);

    // A run of blanks and tabs is one separator; a leading one shifts the line.
    Scan(" \t 3 \t\t 4\n");
    EXPECT_EQ(Pending().gps_time, 1.0);
    EXPECT_EQ(Pending().gps_curalt, 3.0);
    EXPECT_EQ(Pending().gps_curlat, 4.0);
}

TEST_F(LogReaderTest, RunsOfLineEndsEndOneRowAndResetTheColumn)
{
    const std::string echoed = Scan("samplenumber,gps_curlat,gps_curlon\r\n\r\n"
                                    "1,600,700\r\n\r\n\n\r"
                                    "2,600,700\r\n");
    EXPECT_EQ(echoed, "");
    ASSERT_EQ(SampleTable.rowCount, 2);
    EXPECT_EQ(SampleTable.rows[1].samplenumber, 2);
    EXPECT_EQ(SampleTable.rows[1].gps_curlon, 700.0);
}

TEST_F(LogReaderTest, LastLineWithoutLineEndYieldsNoRow)
{
    Scan("samplenumber,gps_curlat,gps_curlon\n"
         "1,600,700\n"
         "2,600,700");
    EXPECT_EQ(SampleTable.rowCount, 1);
    EXPECT_EQ(Pending().samplenumber, 2); // stored, never judged
}

TEST_F(LogReaderTest, TokenLongerThanTheBufferIsStillOneToken)
{
    const std::string blanks(40000, ' ');
    const std::string digits = "0." + std::string(20000, '3');
    Scan("samplenumber,gps_curlat,gps_curlon,gps_time\n"
         "1" + blanks + "600" + blanks + "700" + blanks + digits + "\n");
    ASSERT_EQ(SampleTable.rowCount, 1);
    EXPECT_EQ(SampleTable.rows[0].gps_curlat, 600.0);
    EXPECT_EQ(SampleTable.rows[0].gps_curlon, 700.0);
    EXPECT_EQ(SampleTable.rows[0].gps_time, strtod(digits.c_str(), nullptr));
}

TEST_F(LogReaderTest, ColumnsFromIndexThousandOnAreIgnored)
{
    // A header of `width` columns: the position, gps_time at index 999, gps_curalt at every
    // index from 1000 on, and voltage1 in the columns between when `filled` (a run of blanks
    // is one separator, so blank-separated lines leave no column empty). The data line holds
    // 5 at 999, 6 from 1000 on and 3.5 between; the next line starts at column 0 again.
    const struct
    {
        int32_t width;
        const char* separator;
        bool filled;
    } cases[] = {{1000, ",", false}, {1001, ";", false}, {1001, ",", true}, {5000, ",", true}, {5000, " \t", true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + " columns apart by '" + c.separator + "'" + (c.filled ? ", filled" : ""));
        ResetLogReader();
        std::string header = "samplenumber", data = "1";
        for (int32_t column = 1; column < c.width; ++column)
        {
            header += c.separator + std::string(column == 1 ? "gps_curlat" : column == 2 ? "gps_curlon" : column == 999 ? "gps_time" : column > 999 ? "gps_curalt" : c.filled ? "voltage1" : "");
            data += c.separator + std::string(column == 1 ? "600" : column == 2 ? "700" : column == 999 ? "5" : column > 999 ? "6" : c.filled ? "3.5" : "");
        }
        Scan(header + "\n" + data + "\n2,601,702\n");

        EXPECT_EQ(highestColumn, 999);
        EXPECT_EQ(cols[999], static_cast<int32_t>(ColumnKind::gps_time));
        EXPECT_EQ(cols[998], c.filled ? static_cast<int32_t>(ColumnKind::voltage1) : 0);
        ASSERT_EQ(SampleTable.rowCount, 2);
        EXPECT_EQ(SampleTable.rows[0].gps_time, 5.0);
        EXPECT_EQ(SampleTable.rows[0].gps_curalt, 0.0) << "a number beyond the table was stored";
        EXPECT_EQ(SampleTable.rows[0].voltage1, c.filled ? 3.5 : 0.0);
        EXPECT_EQ(SampleTable.rows[1].samplenumber, 2);
        EXPECT_EQ(SampleTable.rows[1].gps_curlat, 601.0);
        EXPECT_EQ(SampleTable.rows[1].gps_curlon, 702.0);
    }
}

TEST_F(LogReaderTest, ReadErrorEndsTheProgramWithStatusTwo)
{
    char buffer[16] = "1,2,3\n";
    EXPECT_EXIT(
        {
            FILE* writeOnly = fmemopen(buffer, sizeof buffer, "w");
            SetScanInput(writeOnly);
            scan();
        },
        ::testing::ExitedWithCode(2), "input in flex scanner failed");
}

// --- Storing values --------------------------------------------------------------------

TEST_F(LogReaderTest, IntegerFieldsStopAtTheFullStopAndSaturate)
{
    const struct
    {
        const char* text;
        int32_t stored;
    } cases[] = {
        {"12.7", 12},
        {"-0.5", 0},
        {".5", 0},
        {"-17", -17},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MAX},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999", INT32_MAX},
        {"-99999999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases)
    {
        Store(1, c.text);
        EXPECT_EQ(Pending().samplenumber, c.stored) << c.text;
    }
}

TEST_F(LogReaderTest, FloatingFieldsAreRoundedToNearestLikeStrtod)
{
    const std::string longFraction = "0." + std::string(399, '3');
    const std::string longMixed = std::string(300, '9') + "." + std::string(100, '7');
    const std::string overflowing = std::string(400, '9');
    const std::string texts[] = {"7", "-.5", "0.1", "1234567.890123", longFraction, longMixed, overflowing};
    for (const std::string& text : texts)
    {
        Store(4, text.c_str());
        EXPECT_EQ(Pending().gps_time, strtod(text.c_str(), nullptr)) << text;
    }
    EXPECT_EQ(Pending().gps_time, HUGE_VAL);
}

TEST_F(LogReaderTest, NumbersWithoutAKnownKindAreNotStored)
{
    Store(0, "123");
    Store(-1, "123");
    Store(42, "123");
    Scan(",,5;6\n"); // no keyword anywhere
    SampleRow zero;
    memset(&zero, 0, sizeof zero);
    EXPECT_EQ(memcmp(&Pending(), &zero, sizeof zero), 0);
}

TEST_F(LogReaderTest, DuplicateKeywordColumnsShareOneFieldRightmostWins)
{
    Scan("gps_time,gps_time\n5,6\n");
    EXPECT_EQ(Pending().gps_time, 6.0);
    Scan("7\n");
    EXPECT_EQ(Pending().gps_time, 7.0);
}

// --- Row acceptance --------------------------------------------------------------------

TEST_F(LogReaderTest, SampleNumberSelectionHasExclusiveBounds)
{
    EXPECT_FALSE(isSampleSelected(0));
    EXPECT_TRUE(isSampleSelected(1));
    EXPECT_TRUE(isSampleSelected(99999));
    EXPECT_FALSE(isSampleSelected(100000));
    EXPECT_FALSE(isSampleSelected(-5));

    RangeList.entries[0] = SampleRange{10, 20};
    RangeList.entries[1] = SampleRange{15, 30};
    RangeList.count = 2;
    EXPECT_TRUE(isSampleSelected(20));
    EXPECT_TRUE(isSampleSelected(15));
    EXPECT_FALSE(isSampleSelected(10));
    EXPECT_FALSE(isSampleSelected(30));

    RangeList.count = 0;
    EXPECT_FALSE(isSampleSelected(17));
}

TEST_F(LogReaderTest, PositionNearZeroRejectsTheRow)
{
    const struct
    {
        const char* lat;
        const char* lon;
        bool accepted;
    } cases[] = {
        {"1.0", "600", false},  {"-1.0", "600", false}, {"1.0000001", "600", true},
        {"-1.0000001", "600", true}, {"600", "1.0", false}, {"600", "-1.0", false},
        {"600", "-1.5", true},  {"600", "0", false},
    };
    for (const auto& c : cases)
    {
        ResetSampleTable();
        Store(1, "5");
        Store(11, c.lat);
        Store(12, c.lon);
        endRow();
        EXPECT_EQ(SampleTable.rowCount, c.accepted ? 1 : 0) << c.lat << " " << c.lon;
    }

    ResetSampleTable();
    Store(11, "600");
    endRow();
    EXPECT_EQ(SampleTable.rowCount, 0) << "longitude never set";
}

TEST_F(LogReaderTest, RejectedRowCarriesItsValuesIntoTheNextLine)
{
    Scan("samplenumber,gps_curlat,gps_curlon,gps_time,gps_curalt\n"
         "0,600,700,11,12\n" // sample 0: rejected
         "3,601,701\n"       // accepted with the time and altitude of the line before
         "4,602,703\n");     // after an accepted row the missing fields are zero
    ASSERT_EQ(SampleTable.rowCount, 2);
    EXPECT_EQ(SampleTable.rows[0].samplenumber, 3);
    EXPECT_EQ(SampleTable.rows[0].gps_time, 11.0);
    EXPECT_EQ(SampleTable.rows[0].gps_curalt, 12.0);
    EXPECT_EQ(SampleTable.rows[1].gps_curlat, 602.0);
    EXPECT_EQ(SampleTable.rows[1].gps_time, 0.0);
    EXPECT_EQ(SampleTable.rows[1].gps_curalt, 0.0);
}

} // namespace
