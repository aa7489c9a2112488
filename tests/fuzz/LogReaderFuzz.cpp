// Fuzz target of the log reader: arbitrary bytes go through the scanner and the sample
// table, with an arbitrary range list, and every event between the two is checked.
//
// Input layout. When the first line starts with "--", it is a control line and not part of
// the log:
//   "--samples LIST"  everything after "--samples " up to the line end is handed to
//                     ParseRangeList, as the driver hands its third argument; when no pair
//                     survives, the driver's fallback range 0-100000 is used;
//   "--full"          the table starts with room for two more rows only, so the full-table
//                     path is reached by small inputs.
// Both may appear on one control line. Everything after the control line (or the whole
// input, when there is none) is the log.
//
// The scanner's calls into the table are intercepted with the linker's --wrap (see
// CMakeLists.txt beside this file): every endRow and storeValue is checked against an
// acceptance test written here independently of the table's own.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "flight/RangeListParser.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"

// The real functions behind the wrapped symbols of endRow() and storeValue(int, const char*,
// size_t). The names are the linker's: --wrap=SYMBOL sends calls of SYMBOL to __wrap_SYMBOL
// and makes __real_SYMBOL the original.
extern "C" void __real__Z6endRowv();
extern "C" void __real__Z10storeValueiPKcm(int32_t kind, const char* text, size_t length);

namespace
{

// A row's bytes, padding included: a member-wise copy need not copy the padding, and an
// accepted row must stay unchanged to the byte.
using RowBytes = std::array<unsigned char, sizeof(SampleRow)>;

RowBytes BytesOf(const SampleRow& row)
{
    RowBytes bytes;
    memcpy(bytes.data(), &row, sizeof row);
    return bytes;
}

// What the wrappers saw during one scan.
struct ScanObservation
{
    int32_t firstRow = 0;           // rowCount when the scan began
    int64_t rowEnds = 0;            // endRow calls
    int64_t droppedSeen = 0;        // rows that passed the test while the table was full
    std::vector<RowBytes> accepted; // the accepted rows, as accepted
};

ScanObservation Observed;

// The selection rule, written again here so that the table's own is not its own judge.
bool RangeSelects(int32_t samplenumber)
{
    for (int32_t i = 0; i < RangeList.count; ++i)
    {
        if (RangeList.entries[i].begin < samplenumber && samplenumber < RangeList.entries[i].end)
            return true;
    }
    return false;
}

bool PassesAcceptance(const SampleRow& row)
{
    return RangeSelects(row.samplenumber) && std::fabs(row.gps_curlat) > 1.0 && std::fabs(row.gps_curlon) > 1.0;
}

// A number token as the scanner's rules define it: an optional minus sign, digits, and at
// most one full stop that is followed by at least one digit.
bool IsNumberToken(const char* text, size_t length)
{
    size_t i = 0;
    if (i < length && text[i] == '-')
        ++i;
    size_t digitsBefore = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9')
    {
        ++i;
        ++digitsBefore;
    }
    if (i == length)
        return digitsBefore > 0;
    if (text[i] != '.')
        return false;
    ++i;
    size_t digitsAfter = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9')
    {
        ++i;
        ++digitsAfter;
    }
    return i == length && digitsAfter > 0;
}

void CheckColumns()
{
    CHECK(currentColumn >= 0 && currentColumn <= ColumnCapacity);
    CHECK(highestColumn >= 0 && highestColumn < ColumnCapacity);
}

// Number of line ends the scanner must report: every maximal run of CR and LF bytes.
int64_t CountLineEnds(const uint8_t* data, size_t size)
{
    int64_t runs = 0;
    bool inRun = false;
    for (size_t i = 0; i < size; ++i)
    {
        const bool lineEnd = data[i] == '\r' || data[i] == '\n';
        if (lineEnd && !inRun)
            ++runs;
        inRun = lineEnd;
    }
    return runs;
}

void UseDefaultRange()
{
    RangeList.entries[0] = SampleRange{0, 100000};
    RangeList.count = 1;
}

void CheckRangeList()
{
    CHECK(RangeList.count >= 1 && RangeList.count <= RangeCapacity);
    for (int32_t i = 0; i < RangeList.count; ++i)
    {
        const SampleRange& range = RangeList.entries[i];
        CHECK(range.begin >= 0 && range.end >= 3);
        CHECK(static_cast<int64_t>(range.end) - range.begin >= 3);
    }
}

} // namespace

extern "C" void __wrap__Z6endRowv()
{
    CHECK(currentColumn == 0); // the scanner resets the column before it ends the row
    CheckColumns();
    const int32_t before = SampleTable.rowCount;
    const int32_t droppedBefore = SampleTable.droppedRows;
    CHECK(before >= Observed.firstRow && before <= RowCapacity);
    ++Observed.rowEnds;

    if (before < RowCapacity)
    {
        const RowBytes candidate = BytesOf(SampleTable.rows[before]);
        const bool passes = PassesAcceptance(SampleTable.rows[before]);
        __real__Z6endRowv();
        CHECK(SampleTable.droppedRows == droppedBefore);
        if (passes)
        {
            CHECK(SampleTable.rowCount == before + 1);
            CHECK(BytesOf(SampleTable.rows[before]) == candidate);
            Observed.accepted.push_back(candidate);
        }
        else
        {
            // A rejected row stays in place, with all its values, as the row under construction.
            CHECK(SampleTable.rowCount == before);
            CHECK(BytesOf(SampleTable.rows[before]) == candidate);
        }
        return;
    }

    // Full table: the row under construction lives outside the table; it may only be counted.
    __real__Z6endRowv();
    CHECK(SampleTable.rowCount == RowCapacity);
    CHECK(SampleTable.droppedRows == droppedBefore || SampleTable.droppedRows == droppedBefore + 1);
    Observed.droppedSeen += SampleTable.droppedRows - droppedBefore;
}

extern "C" void __wrap__Z10storeValueiPKcm(int32_t kind, const char* text, size_t length)
{
    CheckColumns();
    CHECK(kind >= 0 && kind < ColumnKindCount);
    CHECK(kind == (currentColumn < ColumnCapacity ? cols[currentColumn] : 0));
    CHECK(length > 0 && text[length] == '\0');
    CHECK(IsNumberToken(text, length));
    const int32_t before = SampleTable.rowCount;
    __real__Z10storeValueiPKcm(kind, text, length);
    CHECK(SampleTable.rowCount == before);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The scanner echoes every byte that no rule names; libFuzzer reports on stderr.
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Control line.
    size_t logStart = 0;
    bool nearlyFull = false;
    UseDefaultRange();
    if (size >= 2 && data[0] == '-' && data[1] == '-')
    {
        size_t lineEnd = 0;
        while (lineEnd < size && data[lineEnd] != '\n')
            ++lineEnd;
        const std::vector<char> control(data, data + lineEnd);
        std::vector<char> text(control);
        text.push_back('\0');
        nearlyFull = strstr(text.data(), "--full") != nullptr;
        const char* samples = strstr(text.data(), "--samples ");
        if (samples)
        {
            const int32_t kept = ParseRangeList(samples + strlen("--samples "));
            CHECK(kept == RangeList.count);
            if (kept == 0)
                UseDefaultRange();
        }
        CheckRangeList();
        logStart = lineEnd < size ? lineEnd + 1 : size;
    }

    // The log, in a buffer of its own size so that any read past it is a heap overflow.
    const size_t logSize = size - logStart;
    std::vector<uint8_t> log(data + logStart, data + size);
    FILE* input = logSize > 0 ? fmemopen(log.data(), logSize, "r") : fopen("/dev/null", "r");
    CHECK(input != nullptr);

    ResetSampleTable();
    ResetScanner();
    CHECK(SampleTable.rowCount == 0 && SampleTable.droppedRows == 0);
    if (nearlyFull)
        SampleTable.rowCount = RowCapacity - 2; // rows below are zero and never accepted
    Observed = ScanObservation();
    Observed.firstRow = SampleTable.rowCount;

    currentColumn = 0;
    SetScanInput(input);
    CHECK(scan() == 0);
    fclose(input);

    // rowCount only grew, and never past the table.
    CHECK(SampleTable.rowCount >= Observed.firstRow && SampleTable.rowCount <= RowCapacity);
    CHECK(SampleTable.rowCount - Observed.firstRow == static_cast<int32_t>(Observed.accepted.size()));
    CHECK(SampleTable.droppedRows == Observed.droppedSeen);
    // Every line end was reported, once.
    CHECK(Observed.rowEnds == CountLineEnds(log.data(), logSize));
    // No accepted row was written to after it was accepted, and each passes the test.
    for (size_t i = 0; i < Observed.accepted.size(); ++i)
    {
        const SampleRow& row = SampleTable.rows[Observed.firstRow + static_cast<int32_t>(i)];
        CHECK(BytesOf(row) == Observed.accepted[i]);
        CHECK(PassesAcceptance(row));
    }
    // Columns: no index past cols, and only columns up to highestColumn hold a kind.
    CheckColumns();
    for (int32_t i = 0; i < ColumnCapacity; ++i)
    {
        CHECK(cols[i] >= 0 && cols[i] < ColumnKindCount);
        CHECK(cols[i] == 0 || i <= highestColumn);
    }
    return 0;
}
