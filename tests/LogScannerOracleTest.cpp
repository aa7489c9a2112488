// The generated scanner against a plain longest-match tokeniser written straight from the
// log's lexical rules, over many random logs built from keywords, their near misses, digits,
// signs, full stops, separators, line ends and stray bytes. Both feed the same sample table;
// every column kind, every stored field, the row count and every echoed byte must agree.
// Also: numbers stored in floating-point fields are the very doubles strtod gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/LogTestSupport.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "support/ReferenceScanner.h"

namespace
{
// What the log reader holds after a scan.
struct ReaderState
{
    std::vector<int32_t> cols;
    int32_t highestColumn = 0;
    int32_t currentColumn = 0;
    int32_t rowCount = 0;
    std::string rows; // the bytes of rows 0 .. rowCount (the row under construction too)
    std::string echoed;
};

// The sample table's rows as they stand, the row under construction too.
std::string TableRows()
{
    const int32_t rows = SampleTable.rowCount < RowCapacity ? SampleTable.rowCount + 1 : RowCapacity;
    return std::string(reinterpret_cast<const char*>(SampleTable.rows), sizeof(SampleRow) * static_cast<size_t>(rows));
}

// The reference scanner feeding the same sample table: its numbers stored, its line ends
// judged, its columns and echo as the rules say.
ReaderState TokeniseByTheRules(const std::string& text)
{
    ResetLogReader();
    const ReferenceScan scan = ScanByTheRules(
        text, [](int32_t kind, const std::string& number) { storeValue(kind, number.c_str(), number.size()); }, [] { endRow(); });
    return ReaderState{scan.cols, scan.highestColumn, scan.currentColumn, SampleTable.rowCount, TableRows(), scan.echoed};
}

ReaderState ScanWithTheReader(const std::string& text)
{
    ResetLogReader();
    const std::string echoed = ScanCapturingEcho(text);
    return ReaderState{std::vector<int32_t>(cols, cols + ColumnCapacity), highestColumn, currentColumn, SampleTable.rowCount, TableRows(), echoed};
}

// Pieces that meet each other in every way the rules care about: keywords and their near
// misses, signs and full stops around digits, separators before numbers, line-end runs.
const char* const Fragments[] = {
    "samplenumber", "gps_time", "gps_curlat", "gps_curlon", "gps_curalt", "controlbyte", "in_ppm_curwidth[3]",
    "out_ppm_curwidth[0]", "voltage1", "current", "mah", "gps_cur", "in_ppm_curwidth[", "voltage4", "Samplenumber",
    "0", "1", "7", "12", "2850.08088", "675.00627", "-", "--", ".", "..", "-.", "-.5", ".5", "1.", "1.2.3", "1-2",
    "99999", "100000", "2147483648", "-2147483649", "12345678901234567890.5", "0.000000000000000000000001",
    "1e5", "+3", ",", ",", ",", ";", " ", "  ", "\t", "\r", "\n", "\r\n", "\n\n", "\"", "x", "\xff"};

std::string RandomLog(std::mt19937& random, size_t pieces)
{
    std::string text;
    std::uniform_int_distribution<size_t> pick(0, sizeof Fragments / sizeof Fragments[0]);
    for (size_t i = 0; i < pieces; ++i)
    {
        const size_t k = pick(random);
        if (k == sizeof Fragments / sizeof Fragments[0])
            text += '\0'; // a NUL is data, echoed like any other byte
        else if (random() % 3 == 0)
            text += ",1," + std::to_string(random() % 100000) + ",2850." + std::to_string(random() % 1000) + "," + std::to_string(600 + random() % 100) + ".25\n";
        else
            text += Fragments[k];
    }
    return text;
}

void ExpectSameState(const ReaderState& expected, const ReaderState& actual, const std::string& text)
{
    EXPECT_EQ(expected.echoed, actual.echoed) << "log: " << text;
    EXPECT_EQ(expected.rowCount, actual.rowCount) << "log: " << text;
    EXPECT_EQ(expected.highestColumn, actual.highestColumn) << "log: " << text;
    EXPECT_EQ(expected.currentColumn, actual.currentColumn) << "log: " << text;
    EXPECT_TRUE(expected.cols == actual.cols) << "log: " << text;
    EXPECT_TRUE(expected.rows == actual.rows) << "log: " << text;
}
} // namespace

TEST(LogScannerOracleTest, SmallRandomLogsScanAsTheRulesSay)
{
    std::mt19937 random(20240517);
    for (int i = 0; i < 3000; ++i)
    {
        const std::string text = RandomLog(random, 1 + random() % 40);
        const ReaderState expected = TokeniseByTheRules(text);
        const ReaderState actual = ScanWithTheReader(text);
        ExpectSameState(expected, actual, text);
        if (HasFailure())
            return;
    }
}

// Logs longer than the buffer: tokens straddle every block boundary somewhere.
TEST(LogScannerOracleTest, LogsLongerThanTheBufferScanAsTheRulesSay)
{
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i)
    {
        const std::string text = RandomLog(random, 3000 + random() % 3000);
        ASSERT_GT(text.size(), 16384u);
        const ReaderState expected = TokeniseByTheRules(text);
        const ReaderState actual = ScanWithTheReader(text);
        ExpectSameState(expected, actual, "(" + std::to_string(text.size()) + " bytes, case " + std::to_string(i) + ")");
        if (HasFailure())
            return;
    }
}

TEST(LogScannerOracleTest, SeparatorsRightBeforeNumbersStillAdvanceTheColumnFirst)
{
    for (const char* text : {"gps_time,gps_curlat;gps_curalt\n", "samplenumber,-.5,;7,-,-x,1.,2\n", ",,12.5;-3\n", "gps_time,\n,4.5\n"})
    {
        const ReaderState expected = TokeniseByTheRules(text);
        const ReaderState actual = ScanWithTheReader(text);
        ExpectSameState(expected, actual, text);
    }
    // Column 1 holds gps_time: ",-.5" stores -0.5 there, ";7" moves on to column 2.
    ScanWithTheReader("samplenumber,gps_time,gps_curlat\n3,-.5;7");
    EXPECT_EQ(SampleTable.rows[0].samplenumber, 3);
    EXPECT_EQ(SampleTable.rows[0].gps_time, -0.5);
    EXPECT_EQ(SampleTable.rows[0].gps_curlat, 7.0);
}

// Every stored double is bit for bit what strtod makes of the token: short and long
// mantissas, up to 25 digits after the full stop, signed zeros, the 2^53 boundary.
TEST(LogScannerOracleTest, FloatingFieldsHoldExactlyWhatStrtodGives)
{
    std::mt19937_64 random(53);
    std::vector<std::string> tokens = {"0", "-0", "-0.0", ".0", "-.0", "9007199254740992", "9007199254740993", "9007199254740993.0",
        "900719925474099.3", "0.1", "0.2", "0.3", "1.0000000000000000000001", "0.0000000000000000000001", "0.00000000000000000000001",
        "123456789012345678901234567890", "179769313486231570000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000",
        std::string(400, '9'), "0." + std::string(400, '0') + "1",
        // 16 to 19 digits beyond 2^53: rounding the digits first and then dividing is off here.
        "44667375401.9253276", "0.000038344278408619748", "1961.9769415762463"};
    for (int i = 0; i < 40000; ++i)
    {
        std::string token = random() % 2 ? "-" : "";
        // Half of them with 14 to 19 digits in all, around the 2^53 limit of exact mantissas.
        const int digits = 14 + static_cast<int>(random() % 6);
        const int whole = i % 2 ? static_cast<int>(random() % 21) : static_cast<int>(random() % (digits + 1));
        const int fraction = i % 2 ? static_cast<int>(random() % 26) : digits - whole;
        for (int d = 0; d < whole; ++d)
            token += static_cast<char>('0' + random() % 10);
        if (fraction > 0 || whole == 0)
        {
            token += '.';
            for (int d = 0; d < (fraction > 0 ? fraction : 1); ++d)
                token += static_cast<char>('0' + random() % 10);
        }
        tokens.push_back(token);
    }
    for (const std::string& token : tokens)
    {
        ResetSampleTable();
        storeValue(4, token.c_str(), token.size()); // gps_time
        const double expected = strtod(token.c_str(), nullptr);
        const double stored = SampleTable.rows[0].gps_time;
        ASSERT_EQ(memcmp(&expected, &stored, sizeof stored), 0) << token << ": " << stored << " instead of " << expected;
    }
}
