#include "log/SampleRates.h"

#include <cmath>

#include "geo/Geodesy.h"
#include "log/SampleTable.h"

bool JoinsPreviousRow(int32_t row)
{
    if (row <= 0 || row >= SampleTable.rowCount)
        return false;
    const SampleRow& before = SampleTable.rows[row - 1];
    const SampleRow& after = SampleTable.rows[row];
    if (static_cast<int64_t>(after.samplenumber) - before.samplenumber != 1)
        return false;
    // Three steps, as the flight check counts a gap in time.
    const double step = SampleTable.SampleStep;
    return !(step > 0.0) || after.gps_time - before.gps_time <= 3.0 * step;
}

SampleRates RatesAtRow(int32_t row)
{
    SampleRates rates;
    const SampleRow& before = SampleTable.rows[JoinsPreviousRow(row) ? row - 1 : row];
    const SampleRow& after = SampleTable.rows[JoinsPreviousRow(row + 1) ? row + 1 : row];
    const double seconds = after.gps_time - before.gps_time;
    if (seconds > 0.0 && std::isfinite(seconds))
    {
        rates.known = true;
        rates.groundSpeed = GroundDistance(before.gps_curlat / 60.0, before.gps_curlon / 60.0, after.gps_curlat / 60.0, after.gps_curlon / 60.0) / seconds;
        rates.climbRate = (after.gps_curalt - before.gps_curalt) / seconds;
    }
    return rates;
}
