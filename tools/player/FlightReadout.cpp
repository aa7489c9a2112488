#include "FlightReadout.h"

#include <algorithm>
#include <cmath>

#include "check/HeightAboveTerrain.h"
#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "scene/AttitudeConvention.h"

const double DegreesPerRadian = 180.0 / Pi;
const double RadiansPerMinute = Pi / (180.0 * 60.0); // the log's positions are minutes of arc

// Metres over the ground from `a` to `b` on the sphere of the map frame. The rows compared
// lie a second or so apart, where the plane tangent at their middle is exact to well below
// a millimetre.
static double GroundDistance(const SampleRow& a, const SampleRow& b)
{
    const double middleLatitude = (a.gps_curlat + b.gps_curlat) / 2.0 * RadiansPerMinute;
    const double north = (b.gps_curlat - a.gps_curlat) * RadiansPerMinute * EarthRadius;
    const double east = (b.gps_curlon - a.gps_curlon) * RadiansPerMinute * EarthRadius * std::cos(middleLatitude);
    return std::hypot(north, east);
}

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
        readout.groundSpeed = GroundDistance(before, after) / seconds;
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
