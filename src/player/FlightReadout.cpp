#include "player/FlightReadout.h"

#include <algorithm>
#include <cmath>

#include "check/HeightAboveTerrain.h"
#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "log/SampleTable.h"

FlightReadout ReadFlightAt(int32_t row)
{
    const SampleRow& sample = SampleTable.rows[row];
    FlightReadout readout;
    readout.row = row;
    readout.samplenumber = sample.samplenumber;
    readout.logTime = sample.gps_time;
    readout.altitude = sample.gps_curalt;

    // The flight check's own figure, so the display and the check cannot disagree.
    const TerrainClearance clearance = HeightAboveTerrain(sample);
    readout.overTerrain = clearance.covered;
    readout.heightAboveTerrain = clearance.covered ? clearance.height : 0.0;

    const SampleRow& before = SampleTable.rows[std::max(row - 1, 0)];
    const SampleRow& after = SampleTable.rows[std::min(row + 1, SampleTable.rowCount - 1)];
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
