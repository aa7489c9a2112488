#include "log/SampleTable.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

SampleTableValues SampleTable;

RangeListValues RangeList = {{{0, 100000}}, 1};

#define INT_FIELD(name) {ColumnKind::name, StoreInt32, offsetof(SampleRow, name)}
#define DOUBLE_FIELD(name) {ColumnKind::name, StoreDouble, offsetof(SampleRow, name)}
#define ELEMENT_FIELD(array, i) {ColumnKind::array##i, StoreDouble, offsetof(SampleRow, array[i])}

constexpr ColumnField ColumnFieldTable[ColumnKindCount] = {
    {ColumnKind::None, StoreNone, 0},
    INT_FIELD(samplenumber),
    INT_FIELD(flightnumber),
    INT_FIELD(gps_date),
    DOUBLE_FIELD(gps_time),
    INT_FIELD(gps_numsatellites),
    INT_FIELD(gps_fixmode),
    INT_FIELD(ap_status),
    DOUBLE_FIELD(gps_startlat),
    DOUBLE_FIELD(gps_startlon),
    DOUBLE_FIELD(gps_startalt),
    DOUBLE_FIELD(gps_curlat),
    DOUBLE_FIELD(gps_curlon),
    DOUBLE_FIELD(gps_curalt),
    DOUBLE_FIELD(gps_curspeed),
    DOUBLE_FIELD(gps_curheading),
    DOUBLE_FIELD(compass_curheading),
    DOUBLE_FIELD(bearing_to_base),
    DOUBLE_FIELD(turn_rate),
    DOUBLE_FIELD(voltage1),
    DOUBLE_FIELD(voltage2),
    DOUBLE_FIELD(voltage3),
    DOUBLE_FIELD(current),
    DOUBLE_FIELD(mah),
    DOUBLE_FIELD(temperature),
    DOUBLE_FIELD(baro_curspeed),
    DOUBLE_FIELD(baro_curalt),
    DOUBLE_FIELD(pyro_curroll),
    DOUBLE_FIELD(pyro_curpitch),
    DOUBLE_FIELD(pyro_targetroll),
    DOUBLE_FIELD(pyro_targetpitch),
    DOUBLE_FIELD(targetthrottle),
    ELEMENT_FIELD(in_ppm_curwidth, 0),
    ELEMENT_FIELD(in_ppm_curwidth, 1),
    ELEMENT_FIELD(in_ppm_curwidth, 2),
    ELEMENT_FIELD(in_ppm_curwidth, 3),
    ELEMENT_FIELD(in_ppm_curwidth, 4),
    ELEMENT_FIELD(out_ppm_curwidth, 0),
    ELEMENT_FIELD(out_ppm_curwidth, 1),
    ELEMENT_FIELD(out_ppm_curwidth, 2),
    ELEMENT_FIELD(out_ppm_curwidth, 3),
    INT_FIELD(controlbyte),
};

#undef INT_FIELD
#undef DOUBLE_FIELD
#undef ELEMENT_FIELD

// Each entry stands at the index of its kind, which is what storeValue looks it up by.
constexpr bool FieldsInKindOrder()
{
    for (int32_t kind = 0; kind < ColumnKindCount; ++kind)
        if (static_cast<int32_t>(ColumnFieldTable[kind].kind) != kind)
            return false;
    return true;
}
static_assert(FieldsInKindOrder(), "ColumnFieldTable out of keyword order");

// The row under construction once the table is full: rows that would be accepted then
// are counted as dropped instead of being written past the table.
static SampleRow SpillRow;

// One past the highest row index written since the last reset. A row nobody has written
// is still zero from program start, so a reset clears only this prefix; clearing all of
// the 30 MB table would cost page faults for rows that are already zero. Atomic because the
// page prefetch reads it from its own thread; relaxed order suffices, as it is only a hint.
static std::atomic<int32_t> RowsTouched{0};

int32_t SampleRowsTouched()
{
    return RowsTouched.load(std::memory_order_relaxed);
}

static SampleRow& RowUnderConstruction()
{
    return SampleTable.rowCount < RowCapacity ? SampleTable.rows[SampleTable.rowCount] : SpillRow;
}

void SampleTableRelease::operator()(SampleTableValues* table) const
{
    free(table);
}

static void CopyRowsAndSummary(const SampleTableValues& from, SampleTableValues* to)
{
    const int32_t rows = from.rowCount < 0 ? 0 : from.rowCount < RowCapacity ? from.rowCount : RowCapacity;
    memcpy(to->rows, from.rows, sizeof(SampleRow) * static_cast<size_t>(rows));
    to->rowCount = rows;
    to->droppedRows = from.droppedRows;
    to->unselectedRows = from.unselectedRows;
    to->timeMinimum = from.timeMinimum;
    to->timeMaximum = from.timeMaximum;
    to->SampleStep = from.SampleStep;
}

SampleTableInstance CopyOfSampleTable()
{
    // calloc, not new: pages of zeros are the system's until written.
    SampleTableInstance copy(static_cast<SampleTableValues*>(calloc(1, sizeof(SampleTableValues))));
    if (copy)
        CopyRowsAndSummary(SampleTable, copy.get());
    return copy;
}

void LoadSampleTable(const SampleTableValues& table)
{
    if (&table == &SampleTable)
        return;
    ResetSampleTable();
    CopyRowsAndSummary(table, &SampleTable);
}

void ResetSampleTable()
{
    // Callers that fill rows by hand (tests) move rowCount without storeValue.
    int32_t used = SampleTable.rowCount < RowCapacity ? SampleTable.rowCount + 1 : RowCapacity;
    const int32_t touched = RowsTouched.load(std::memory_order_relaxed);
    if (used < touched)
        used = touched;
    memset(SampleTable.rows, 0, sizeof(SampleRow) * static_cast<size_t>(used));
    memset(&SpillRow, 0, sizeof SpillRow);
    RowsTouched.store(0, std::memory_order_relaxed);
    SampleTable.rowCount = 0;
    SampleTable.droppedRows = 0;
    SampleTable.unselectedRows = 0;
}

// Decimal integer up to the first byte that is not a digit (a full stop ends it),
// saturating at the int32 limits.
static int32_t ConvertInt32(const char* text, size_t length)
{
    size_t i = 0;
    const bool negative = length > 0 && text[0] == '-';
    if (negative)
        i = 1;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
    {
        value = value * 10 + (text[i] - '0');
        if (value >= limit)
        {
            value = limit;
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

// 10^0 .. 10^22: every one of them is a double exactly.
static const double PowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common short token: at most 2^53 as an integer of all its digits and at most 22 digits
// after the full stop. Both the digits and the power of ten are then exact doubles, and one
// IEEE division rounds their quotient correctly: the very double strtod gives. Returns false
// for any other token, and for text that is no number token at all.
static bool ConvertShortDecimal(const char* text, size_t length, double& value)
{
    size_t i = 0;
    const bool negative = length > 0 && text[0] == '-';
    if (negative)
        i = 1;
    uint64_t digits = 0;
    size_t digitCount = 0;
    size_t fullStop = length; // index of the full stop, length when there is none
    for (; i < length; ++i)
    {
        const unsigned int digit = static_cast<unsigned char>(text[i]) - '0';
        if (digit <= 9)
        {
            digits = digits * 10 + digit;
            ++digitCount;
        }
        else if (text[i] == '.' && fullStop == length)
            fullStop = i;
        else
            return false;
    }
    const size_t fractionDigits = fullStop == length ? 0 : length - fullStop - 1;
    if (digitCount == 0 || digitCount > 19 || digits > (uint64_t(1) << 53) || fractionDigits > 22)
        return false;
    value = static_cast<double>(digits) / PowersOfTen[fractionDigits];
    if (negative)
        value = -value;
    return true;
}

// Correctly rounded, like strtod. from_chars leaves its output alone when the value is out
// of range; strtod then gives what the log reader has always given (+-inf or a
// correctly rounded tiny value). The token is NUL-terminated where the scanner stands.
static double ConvertDouble(const char* text, size_t length)
{
    double value = 0.0;
    if (ConvertShortDecimal(text, length, value))
        return value;
    const std::from_chars_result result = std::from_chars(text, text + length, value);
    if (result.ec == std::errc() && result.ptr == text + length)
        return value;
    return strtod(text, nullptr);
}

void storeValue(int32_t kind, const char* text, size_t length)
{
    if (kind < 0 || kind >= ColumnKindCount)
        return;
    const ColumnField& field = ColumnFieldTable[kind];
    if (field.storage == StoreNone)
        return;
    if (SampleTable.rowCount >= RowsTouched.load(std::memory_order_relaxed) && SampleTable.rowCount < RowCapacity)
        RowsTouched.store(SampleTable.rowCount + 1, std::memory_order_relaxed);
    char* row = reinterpret_cast<char*>(&RowUnderConstruction());
    if (field.storage == StoreInt32)
    {
        const int32_t value = ConvertInt32(text, length);
        memcpy(row + field.offset, &value, sizeof value);
    }
    else
    {
        const double value = ConvertDouble(text, length);
        memcpy(row + field.offset, &value, sizeof value);
    }
}

void endRow()
{
    const SampleRow& row = RowUnderConstruction();
    if (!(row.gps_curlat > 1.0 || row.gps_curlat < -1.0))
        return;
    if (!(row.gps_curlon > 1.0 || row.gps_curlon < -1.0))
        return;
    if (!isSampleSelected(row.samplenumber))
    {
        ++SampleTable.unselectedRows;
        return;
    }
    if (SampleTable.rowCount < RowCapacity)
    {
        ++SampleTable.rowCount;
        return;
    }
    ++SampleTable.droppedRows;
    memset(&SpillRow, 0, sizeof SpillRow);
}

bool isSampleSelected(int32_t samplenumber)
{
    for (int32_t i = 0; i < RangeList.count; ++i)
    {
        if (RangeList.entries[i].begin < samplenumber && RangeList.entries[i].end > samplenumber)
            return true;
    }
    return false;
}

FlightRows TableRows()
{
    return RowsOf(SampleTable);
}

FlightRows RowsOf(const SampleTableValues& table)
{
    return FlightRows{table.rows, table.rowCount, table.SampleStep};
}
