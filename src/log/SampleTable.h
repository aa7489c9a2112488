#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "log/LogKeywords.h"

const int32_t RowCapacity = 100000;   // accepted rows a run can hold
const int32_t RangeCapacity = 100000; // sample-number ranges a --samples list can hold

// One accepted log line. Fields are named after the keywords that fill them and hold the
// values as logged, with no unit conversion.
struct SampleRow
{
    int32_t samplenumber;
    int32_t flightnumber;
    int32_t gps_date;
    double gps_time; // seconds
    int32_t gps_numsatellites;
    int32_t gps_fixmode;
    int32_t ap_status;
    double gps_startlat;
    double gps_startlon;
    double gps_startalt;
    double gps_curlat; // minutes of arc
    double gps_curlon; // minutes of arc
    double gps_curalt; // metres
    double gps_curspeed;
    double gps_curheading; // radians
    double compass_curheading;
    double bearing_to_base;
    double turn_rate;
    double voltage1;
    double voltage2;
    double voltage3;
    double current;
    double mah;
    double temperature;
    double baro_curspeed;
    double baro_curalt;
    double pyro_curroll;  // radians
    double pyro_curpitch; // radians
    double pyro_targetroll;
    double pyro_targetpitch;
    double targetthrottle;
    double in_ppm_curwidth[5];
    double out_ppm_curwidth[4];
    int32_t controlbyte;
};

// The accepted rows and the summary the driver computes after the scan. rows[rowCount] is
// the row under construction; readers use rows[0 .. rowCount-1] only.
struct SampleTableValues
{
    SampleRow rows[RowCapacity];
    int32_t rowCount;
    int32_t droppedRows; // rows that passed the acceptance test after the table was full
    int32_t unselectedRows; // rows with both positions whose sample number is not selected
    double timeMinimum;
    double timeMaximum;
    double SampleStep; // mean gps_time per sample-number step, seconds
};

extern SampleTableValues SampleTable;

// A table of a program's own beside the process-wide one, for a program that keeps several
// logs loaded. It is bounded as that one is; its memory is taken from the system as its rows
// are written, so a short log costs its rows and not the capacity.
struct SampleTableRelease
{
    void operator()(SampleTableValues* table) const;
};
using SampleTableInstance = std::unique_ptr<SampleTableValues, SampleTableRelease>;

// A copy of the process-wide table's accepted rows and summary; null when no memory is left.
SampleTableInstance CopyOfSampleTable();
// Puts a copy of `table`'s accepted rows and summary in the process-wide table, in place of
// what it held: the rows past them are zero again, as after a reset.
void LoadSampleTable(const SampleTableValues& table);

// A sample number n is selected when begin < n < end (both bounds exclusive).
struct SampleRange
{
    int32_t begin;
    int32_t end;
};

struct RangeListValues
{
    SampleRange entries[RangeCapacity];
    int32_t count;
};

// Initially one range {0, 100000}: sample numbers 1 to 99999.
extern RangeListValues RangeList;

enum StorageCode : int32_t
{
    StoreNone = 0,
    StoreInt32 = 1,
    StoreDouble = 2,
};

// Where a number of a given column kind goes in the row under construction.
struct ColumnField
{
    ColumnKind kind;
    StorageCode storage;
    size_t offset; // byte offset of the field (or array element) in SampleRow
};

// Indexed by column kind.
extern const ColumnField ColumnFieldTable[ColumnKindCount];

// Empties the table: rowCount 0 and every field of every row zero.
void ResetSampleTable();

// One past the highest row written since the last reset; safe to read from any thread.
int32_t SampleRowsTouched();

// Stores the number token text[0 .. length-1] (optional '-', digits, at most one '.'
// followed by digits; text[length] must be '\0') into the row under construction, as the
// column kind says.
// Kinds outside 0 .. 41 store nothing.
void storeValue(int32_t kind, const char* text, size_t length);

// Judges the row under construction at a line end: accepted rows advance rowCount.
void endRow();

bool isSampleSelected(int32_t samplenumber);
