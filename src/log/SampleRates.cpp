#include "log/SampleRates.h"

#include <cmath>

#include "geo/Geodesy.h"

bool JoinsPreviousRow(const FlightRows& flight, int32_t row)
{
    if (row <= 0 || row >= flight.count)
        return false;
    const SampleRow& before = flight[row - 1];
    const SampleRow& after = flight[row];
    if (static_cast<int64_t>(after.samplenumber) - before.samplenumber != 1)
        return false;
    // Three steps, as the flight check counts a gap in time.
    const double step = flight.step;
    return !(step > 0.0) || after.gps_time - before.gps_time <= 3.0 * step;
}

SampleRates RatesAtRow(const FlightRows& flight, int32_t row)
{
    SampleRates rates;
    const SampleRow& before = flight[JoinsPreviousRow(flight, row) ? row - 1 : row];
    const SampleRow& after = flight[JoinsPreviousRow(flight, row + 1) ? row + 1 : row];
    const double seconds = after.gps_time - before.gps_time;
    if (seconds > 0.0 && std::isfinite(seconds))
    {
        rates.known = true;
        rates.groundSpeed = GroundDistance(before.gps_curlat / 60.0, before.gps_curlon / 60.0, after.gps_curlat / 60.0, after.gps_curlon / 60.0) / seconds;
        rates.climbRate = (after.gps_curalt - before.gps_curalt) / seconds;
    }
    return rates;
}
