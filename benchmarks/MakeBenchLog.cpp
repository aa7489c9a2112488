// Writes a telemetry log for the benchmarks: a header of keywords, then one sample per
// line of a small aircraft circling over a fixed spot, as the logger writes them (commas,
// fixed decimals, LF line ends). The same arguments always give the same bytes.
//
//   flightreplay-benchlog ROWS COLUMNS FILE [LATITUDE LONGITUDE]
// COLUMNS is 12 (the usual set) or 41 (all keywords). With a latitude and longitude in
// degrees the flight is moved so that the centre of its extent, from which the replay
// places its map frame, lies there: the log then fits a world made for that place.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/LogWriter.h"

namespace
{
// The twelve columns a typical log carries, in the order the logger writes them.
const std::vector<LogColumn> TypicalColumns = {
    {ColumnKind::samplenumber, 0}, {ColumnKind::gps_time, 1}, {ColumnKind::gps_curlat, 5}, {ColumnKind::gps_curlon, 5},
    {ColumnKind::gps_curalt, 1}, {ColumnKind::gps_curspeed, 1}, {ColumnKind::gps_curheading, 3},
    {ColumnKind::pyro_curroll, 3}, {ColumnKind::pyro_curpitch, 3}, {ColumnKind::voltage1, 3}, {ColumnKind::current, 1},
    {ColumnKind::mah, 1},
};

// Every keyword the reader knows, in code order, at the precision these logs have always
// had (mostly a digit less than the demo log's), so that the figures stay comparable.
const std::vector<LogColumn> AllColumns = {
    {ColumnKind::samplenumber, 0}, {ColumnKind::flightnumber, 0}, {ColumnKind::gps_date, 0}, {ColumnKind::gps_time, 1},
    {ColumnKind::gps_numsatellites, 0}, {ColumnKind::gps_fixmode, 0}, {ColumnKind::ap_status, 0},
    {ColumnKind::gps_startlat, 5}, {ColumnKind::gps_startlon, 5}, {ColumnKind::gps_startalt, 1},
    {ColumnKind::gps_curlat, 5}, {ColumnKind::gps_curlon, 5}, {ColumnKind::gps_curalt, 1}, {ColumnKind::gps_curspeed, 1},
    {ColumnKind::gps_curheading, 3}, {ColumnKind::compass_curheading, 3}, {ColumnKind::bearing_to_base, 3},
    {ColumnKind::turn_rate, 3}, {ColumnKind::voltage1, 3}, {ColumnKind::voltage2, 3}, {ColumnKind::voltage3, 3},
    {ColumnKind::current, 1}, {ColumnKind::mah, 1}, {ColumnKind::temperature, 1}, {ColumnKind::baro_curspeed, 1},
    {ColumnKind::baro_curalt, 1}, {ColumnKind::pyro_curroll, 3}, {ColumnKind::pyro_curpitch, 3},
    {ColumnKind::pyro_targetroll, 3}, {ColumnKind::pyro_targetpitch, 3}, {ColumnKind::targetthrottle, 2},
    {ColumnKind::in_ppm_curwidth0, 0}, {ColumnKind::in_ppm_curwidth1, 0}, {ColumnKind::in_ppm_curwidth2, 0},
    {ColumnKind::in_ppm_curwidth3, 0}, {ColumnKind::in_ppm_curwidth4, 0}, {ColumnKind::out_ppm_curwidth0, 0},
    {ColumnKind::out_ppm_curwidth1, 0}, {ColumnKind::out_ppm_curwidth2, 0}, {ColumnKind::out_ppm_curwidth3, 0},
    {ColumnKind::controlbyte, 0},
};

// Where the rings of the terrain straddle an elevation tile corner, so that four tiles load.
const double StartLatitude = 2822.0;   // minutes of arc (47.03 degrees north)
const double StartLongitude = 675.0;   // minutes of arc (11.25 degrees east)
const double StartAltitude = 600.0;    // metres
const double SamplePeriod = 0.5;       // seconds between samples
const double StartTime = 36000.0;      // seconds of the day
const double CircleRadius = 0.3;       // minutes of arc, about 550 m
const double CirclePeriod = 120.0;     // seconds per circle
} // namespace

namespace
{
// Latitude and longitude of sample n before any move, minutes of arc.
void Position(long n, double& lat, double& lon)
{
    const double phase = 2.0 * M_PI * (n * SamplePeriod) / CirclePeriod;
    // The circle drifts slowly north-east so that no two laps lie on each other.
    const double drift = 0.00001 * n;
    lat = StartLatitude + CircleRadius * std::sin(phase) + drift;
    lon = StartLongitude + CircleRadius * 1.5 * std::cos(phase) + drift;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 6)
    {
        printf("U: %s ROWS COLUMNS(12|41) FILE [LATITUDE LONGITUDE]\n", argv[0]);
        return 1;
    }
    const long rows = atol(argv[1]);
    const long columns = atol(argv[2]);
    if (rows < 1 || (columns != 12 && columns != 41))
    {
        printf("ROWS must be at least 1 and COLUMNS 12 or 41\n");
        return 1;
    }
    FILE* out = fopen(argv[3], "w");
    if (!out)
    {
        printf("Not open '%s'\n", argv[3]);
        return 1;
    }

    double moveLat = 0.0;
    double moveLon = 0.0;
    if (argc == 6)
    {
        double latMin = 1e9, latMax = -1e9, lonMin = 1e9, lonMax = -1e9;
        for (long n = 1; n <= rows; ++n)
        {
            double lat, lon;
            Position(n, lat, lon);
            latMin = std::min(latMin, lat);
            latMax = std::max(latMax, lat);
            lonMin = std::min(lonMin, lon);
            lonMax = std::max(lonMax, lon);
        }
        moveLat = atof(argv[4]) * 60.0 - (latMin + latMax) * 0.5;
        moveLon = atof(argv[5]) * 60.0 - (lonMin + lonMax) * 0.5;
    }

    const std::vector<LogColumn> written = columns == 12 ? TypicalColumns : AllColumns;
    std::string text = LogHeaderLine(written);
    for (long n = 1; n <= rows; ++n)
    {
        const double phase = 2.0 * M_PI * (n * SamplePeriod) / CirclePeriod;
        double lat, lon;
        Position(n, lat, lon);
        SampleRow row{};
        row.samplenumber = static_cast<int32_t>(n);
        row.flightnumber = 3;
        row.gps_date = 20240517;
        row.gps_time = StartTime + n * SamplePeriod;
        row.gps_numsatellites = 9;
        row.gps_fixmode = 3;
        row.ap_status = 2;
        row.gps_startlat = StartLatitude + moveLat;
        row.gps_startlon = StartLongitude + moveLon;
        row.gps_startalt = StartAltitude;
        row.gps_curlat = lat + moveLat;
        row.gps_curlon = lon + moveLon;
        row.gps_curalt = StartAltitude + 40.0 * std::sin(phase * 0.37);
        row.gps_curspeed = 12.5 + std::sin(phase * 2.0);
        row.gps_curheading = std::fmod(phase + M_PI / 2.0, 2.0 * M_PI);
        row.compass_curheading = row.gps_curheading + 0.01;
        row.bearing_to_base = std::fmod(row.gps_curheading + M_PI, 2.0 * M_PI);
        row.turn_rate = 0.05 * std::sin(phase);
        row.voltage1 = 12.6 - 0.000015 * n;
        row.voltage2 = row.voltage1 - 0.1;
        row.voltage3 = 5.0;
        row.current = 8.5 + 0.5 * std::sin(phase * 7.0);
        row.mah = 1.2 * n / 1000.0;
        row.temperature = 24.5;
        row.baro_curspeed = row.gps_curspeed + 0.3;
        row.baro_curalt = row.gps_curalt - 1.5;
        row.pyro_curroll = 0.3 + 0.05 * std::sin(phase * 5.0);
        row.pyro_curpitch = 0.02 * std::cos(phase * 3.0);
        row.pyro_targetroll = row.pyro_curroll + 0.01;
        row.pyro_targetpitch = row.pyro_curpitch - 0.01;
        row.targetthrottle = 0.55 + 0.1 * std::sin(phase);
        const double ppmIn = 1500 + static_cast<int>(400.0 * std::sin(phase * 3.0));
        const double ppmOut = 1500 + static_cast<int>(300.0 * std::cos(phase * 2.0));
        const double pulses[9] = {ppmIn, ppmIn + 10, ppmIn - 10, 1500, 1100, ppmOut, ppmOut + 5, ppmOut - 5, 1500};
        std::copy(pulses, pulses + 5, row.in_ppm_curwidth);
        std::copy(pulses + 5, pulses + 9, row.out_ppm_curwidth);
        row.controlbyte = static_cast<int32_t>(n % 256);
        AppendLogLine(&text, row, written);
        // Written a megabyte at a time: the longest log is 24 MB.
        if (text.size() > (1 << 20))
        {
            fwrite(text.data(), 1, text.size(), out);
            text.clear();
        }
    }
    fwrite(text.data(), 1, text.size(), out);
    if (fclose(out) != 0)
    {
        printf("Write failed '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
