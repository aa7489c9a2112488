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

namespace
{
// The twelve columns a typical log carries, in the order the logger writes them.
const char* const TypicalHeader = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt,gps_curspeed,gps_curheading,pyro_curroll,pyro_curpitch,voltage1,current,mah";

// Every keyword the reader knows, in code order.
const char* const FullHeader =
    "samplenumber,flightnumber,gps_date,gps_time,gps_numsatellites,gps_fixmode,ap_status,"
    "gps_startlat,gps_startlon,gps_startalt,gps_curlat,gps_curlon,gps_curalt,gps_curspeed,"
    "gps_curheading,compass_curheading,bearing_to_base,turn_rate,voltage1,voltage2,voltage3,"
    "current,mah,temperature,baro_curspeed,baro_curalt,pyro_curroll,pyro_curpitch,"
    "pyro_targetroll,pyro_targetpitch,targetthrottle,in_ppm_curwidth[0],in_ppm_curwidth[1],"
    "in_ppm_curwidth[2],in_ppm_curwidth[3],in_ppm_curwidth[4],out_ppm_curwidth[0],"
    "out_ppm_curwidth[1],out_ppm_curwidth[2],out_ppm_curwidth[3],controlbyte";

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

    fprintf(out, "%s\n", columns == 12 ? TypicalHeader : FullHeader);
    for (long n = 1; n <= rows; ++n)
    {
        const double t = StartTime + n * SamplePeriod;
        const double phase = 2.0 * M_PI * (n * SamplePeriod) / CirclePeriod;
        double lat, lon;
        Position(n, lat, lon);
        lat += moveLat;
        lon += moveLon;
        const double alt = StartAltitude + 40.0 * std::sin(phase * 0.37);
        const double heading = std::fmod(phase + M_PI / 2.0, 2.0 * M_PI);
        const double roll = 0.3 + 0.05 * std::sin(phase * 5.0);
        const double pitch = 0.02 * std::cos(phase * 3.0);
        const double speed = 12.5 + std::sin(phase * 2.0);
        const double volts = 12.6 - 0.000015 * n;
        const double amps = 8.5 + 0.5 * std::sin(phase * 7.0);
        const double mah = 1.2 * n / 1000.0;
        if (columns == 12)
        {
            fprintf(out, "%ld,%.1f,%.5f,%.5f,%.1f,%.1f,%.3f,%.3f,%.3f,%.3f,%.1f,%.1f\n", n, t, lat, lon, alt, speed, heading, roll, pitch, volts, amps, mah);
            continue;
        }
        const int ppmIn = 1500 + static_cast<int>(400.0 * std::sin(phase * 3.0));
        const int ppmOut = 1500 + static_cast<int>(300.0 * std::cos(phase * 2.0));
        fprintf(out, "%ld,3,20240517,%.1f,9,3,2,%.5f,%.5f,%.1f,%.5f,%.5f,%.1f,%.1f,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%.1f,%.1f,%.1f,%.1f,%.1f,%.3f,%.3f,%.3f,%.3f,%.2f,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d\n",
            n, t, StartLatitude + moveLat, StartLongitude + moveLon, StartAltitude, lat, lon, alt, speed, heading, heading + 0.01, std::fmod(heading + M_PI, 2.0 * M_PI),
            0.05 * std::sin(phase), volts, volts - 0.1, 5.0, amps, mah, 24.5, speed + 0.3, alt - 1.5, roll, pitch, roll + 0.01, pitch - 0.01,
            0.55 + 0.1 * std::sin(phase), ppmIn, ppmIn + 10, ppmIn - 10, 1500, 1100, ppmOut, ppmOut + 5, ppmOut - 5, 1500, static_cast<int>(n % 256));
    }
    if (fclose(out) != 0)
    {
        printf("Write failed '%s'\n", argv[3]);
        return 1;
    }
    return 0;
}
