#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "log/LogKeywords.h"
#include "log/SampleRow.h"

const int32_t RowCapacity = 100000;   // accepted rows a run can hold
const int32_t RangeCapacity = 100000; // sample-number ranges a --samples list can hold

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

// The process-wide table's accepted rows and step, as the code that takes any flight's rows
// reads them.
FlightRows TableRows();
FlightRows RowsOf(const SampleTableValues& table);

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

struct RangeListValues
{
    SampleRange entries[RangeCapacity];
    int32_t count;
};

// Initially one range {0, 100000}: sample numbers 1 to 99999.
extern RangeListValues RangeList;

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
