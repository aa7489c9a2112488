#include "player/FlightReadout.h"

#include "check/HeightAboveTerrain.h"
#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "log/SampleRates.h"

FlightReadout ReadFlightAt(const FlightRows& flight, int32_t row)
{
    const SampleRow& sample = flight[row];
    FlightReadout readout;
    readout.row = row;
    readout.samplenumber = sample.samplenumber;
    readout.logTime = sample.gps_time;
    // A GPS logs its date beside its time of day; a clock since boot comes without one.
    readout.timeOfDay = sample.gps_date != 0;
    readout.altitude = sample.gps_curalt;

    // The flight check's own figure, over the ground the player draws.
    const TerrainClearance clearance = HeightAboveTerrain(PagedGround(), sample);
    readout.overTerrain = clearance.covered;
    readout.heightAboveTerrain = clearance.covered ? clearance.height : 0.0;

    // The same rates the track's colours use.
    const SampleRates rates = RatesAtRow(flight, row);
    readout.ratesKnown = rates.known;
    readout.groundSpeed = rates.groundSpeed;
    readout.climbRate = rates.climbRate;

    readout.heading = CourseOfLogHeading(sample.gps_curheading) * DegreesPerRadian;
    // CourseOfLogHeading gives [0, 2 pi); in degrees a course a hair below 2 pi can round up.
    if (readout.heading >= 360.0)
        readout.heading -= 360.0;
    readout.bank = BankOfLogRoll(sample.pyro_curroll) * DegreesPerRadian;
    readout.pitch = PitchOfLogPitch(sample.pyro_curpitch) * DegreesPerRadian;
    return readout;
}
