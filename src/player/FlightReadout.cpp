#include "player/FlightReadout.h"

#include <cmath>

#include "check/HeightAboveTerrain.h"
#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
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

FlightReadout ReadFlightAt(int32_t row)
{
    const SampleRow& sample = SampleTable.rows[row];
    FlightReadout readout;
    readout.row = row;
    readout.samplenumber = sample.samplenumber;
    readout.logTime = sample.gps_time;
    // A GPS logs its date beside its time of day; a clock since boot comes without one.
    readout.timeOfDay = sample.gps_date != 0;
    readout.altitude = sample.gps_curalt;

    // The flight check's own figure, over the ground the player draws.
    const TerrainClearance clearance = HeightAboveTerrain(sample, DrawnTerrain::Paged);
    readout.overTerrain = clearance.covered;
    readout.heightAboveTerrain = clearance.covered ? clearance.height : 0.0;

    const SampleRow& before = SampleTable.rows[JoinsPreviousRow(row) ? row - 1 : row];
    const SampleRow& after = SampleTable.rows[JoinsPreviousRow(row + 1) ? row + 1 : row];
    const double seconds = after.gps_time - before.gps_time;
    if (seconds > 0.0 && std::isfinite(seconds))
    {
        readout.ratesKnown = true;
        readout.groundSpeed = GroundDistance(before.gps_curlat / 60.0, before.gps_curlon / 60.0, after.gps_curlat / 60.0, after.gps_curlon / 60.0) / seconds;
        readout.climbRate = (after.gps_curalt - before.gps_curalt) / seconds;
    }

    readout.heading = CourseOfLogHeading(sample.gps_curheading) * DegreesPerRadian;
    // CourseOfLogHeading gives [0, 2 pi); in degrees a course a hair below 2 pi can round up.
    if (readout.heading >= 360.0)
        readout.heading -= 360.0;
    readout.bank = BankOfLogRoll(sample.pyro_curroll) * DegreesPerRadian;
    readout.pitch = PitchOfLogPitch(sample.pyro_curpitch) * DegreesPerRadian;
    return readout;
}
