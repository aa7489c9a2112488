#pragma once
#include <cstddef>
#include <cstdint>

#include "log/LogKeywords.h"

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

// The accepted rows of one flight in time order and the mean time per sample-number step
// (the flight's statistics): a view, owning nothing, of a loaded flight's rows or of a table's.
struct FlightRows
{
    const SampleRow* rows = nullptr;
    int32_t count = 0;
    double step = 0.0; // seconds; may be 0 or not finite for a flight without steps

    const SampleRow& operator[](int32_t i) const { return rows[i]; }
    const SampleRow* begin() const { return rows; }
    const SampleRow* end() const { return rows + count; }
    bool empty() const { return count <= 0; }
};

enum StorageCode : int32_t
{
    StoreNone = 0,
    StoreInt32 = 1,
    StoreDouble = 2,
};

// Where a number of a given column kind goes in a row: the scanner stores there, the
// writers and the converters read and fill the same fields.
struct ColumnField
{
    ColumnKind kind;
    StorageCode storage;
    size_t offset; // byte offset of the field (or array element) in SampleRow
};

// Indexed by column kind.
extern const ColumnField ColumnFieldTable[ColumnKindCount];

// A sample number n is selected when begin < n < end (both bounds exclusive): one
// range of a --samples list.
struct SampleRange
{
    int32_t begin;
    int32_t end;
};
