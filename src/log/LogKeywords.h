#pragma once
#include <cstdint>

// The keywords of the telemetry log and the column kinds they give their columns. A kind is
// the keyword's code, 1 to 41 in the order below; 0 is a column no keyword has named.
enum class ColumnKind : int32_t
{
    None = 0,
    samplenumber = 1,
    flightnumber = 2,
    gps_date = 3,
    gps_time = 4,
    gps_numsatellites = 5,
    gps_fixmode = 6,
    ap_status = 7,
    gps_startlat = 8,
    gps_startlon = 9,
    gps_startalt = 10,
    gps_curlat = 11,
    gps_curlon = 12,
    gps_curalt = 13,
    gps_curspeed = 14,
    gps_curheading = 15,
    compass_curheading = 16,
    bearing_to_base = 17,
    turn_rate = 18,
    voltage1 = 19,
    voltage2 = 20,
    voltage3 = 21,
    current = 22,
    mah = 23,
    temperature = 24,
    baro_curspeed = 25,
    baro_curalt = 26,
    pyro_curroll = 27,
    pyro_curpitch = 28,
    pyro_targetroll = 29,
    pyro_targetpitch = 30,
    targetthrottle = 31,
    in_ppm_curwidth0 = 32,
    in_ppm_curwidth1 = 33,
    in_ppm_curwidth2 = 34,
    in_ppm_curwidth3 = 35,
    in_ppm_curwidth4 = 36,
    out_ppm_curwidth0 = 37,
    out_ppm_curwidth1 = 38,
    out_ppm_curwidth2 = 39,
    out_ppm_curwidth3 = 40,
    controlbyte = 41,
};

const int32_t ColumnKindCount = 42; // None and the 41 keyword kinds

// The keyword of each kind as the log spells it, indexed by kind; "" for None.
extern const char* const LogKeywords[ColumnKindCount];
