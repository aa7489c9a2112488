#include "worldgen/FaultLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geo/MapProjection.h"
#include "worldgen/ElevationTiles.h"
#include "worldgen/FlightLog.h"
#include "worldgen/FlightPlan.h"
#include "worldgen/Landscape.h"
#include "worldgen/WorldGenerator.h"

namespace
{

// Where each fault goes: sample numbers in the level flight at 120 to 130 m of the demo
// flight, minutes apart. The stretch under the ground is looked for from HillSearchFirst on.
const int32_t DropoutSample = 1001;
const int32_t TimeJumpSample = 1601;
const int32_t HillSearchFirst = 2141;
const int32_t HillSearchLast = 2600;
const int32_t FrozenSample = 2801;

const double HillSeconds = 8.0;  // under the ground
const double HillDepth = 15.0;   // metres under the ground at the deepest
const double HillClimb = 25.0;   // m/s down into the ground and up out of it: under the check's 30
const int32_t HillRamp = 40;     // rows either side in which the descent and climb fit

// The highest and the lowest of the four elevation samples around the row's position: the
// ground the replay draws there lies between them, however it is interpolated.
struct GroundBounds
{
    double low;
    double high;
};

GroundBounds GroundUnder(const Landscape& landscape, const SampleRow& row)
{
    const int32_t gridRow = static_cast<int32_t>(MercatorY(row.gps_curlat / 60.0) * TileScale);
    const int32_t gridColumn = static_cast<int32_t>(LongitudeX(row.gps_curlon / 60.0) * TileScale);
    GroundBounds bounds = {1e9, -1e9};
    for (int32_t dr = 0; dr <= 1; ++dr)
        for (int32_t dc = 0; dc <= 1; ++dc)
        {
            const double height = ElevationSample(landscape, gridRow + dr, gridColumn + dc);
            bounds.low = std::min(bounds.low, height);
            bounds.high = std::max(bounds.high, height);
        }
    return bounds;
}

// The height above the middle of the ground bounds that the planted flight keeps at `index`,
// for a stretch under the ground from `first` to `last`: half a step above at the row
// before the stretch, half a step below at its first row, and so on down to HillDepth. With
// ground bounds less than a step apart, the stretch is under the ground whichever height
// between them is drawn, and the rows either side above it.
double PlannedHeight(int32_t index, int32_t first, int32_t last, double step)
{
    if (index < first)
        return step / 2.0 + step * (first - 1 - index);
    if (index > last)
        return step / 2.0 + step * (index - last - 1);
    const int32_t inside = std::min(index - first, last - index);
    return std::max(-HillDepth, -step / 2.0 - step * inside);
}

} // namespace

PlantedFaults PlantFaults(std::vector<SampleRow>* rows, const Landscape& landscape, double sampleRate)
{
    std::vector<SampleRow>& r = *rows;
    PlantedFaults planted;
    const int32_t count = static_cast<int32_t>(r.size());
    const int32_t perSecond = static_cast<int32_t>(std::lround(sampleRate));
    if (count < FrozenSample + perSecond * static_cast<int32_t>(FrozenSeconds) + 1)
        return planted;

    // A GPS without a fix: the logger goes on, with zeros where the position would be.
    planted.dropoutFirst = DropoutSample;
    planted.dropoutLast = DropoutSample + static_cast<int32_t>(DropoutSeconds * perSecond) - 1;
    for (int32_t sample = planted.dropoutFirst; sample <= planted.dropoutLast; ++sample)
    {
        SampleRow& row = r[sample - 1];
        row.gps_curlat = row.gps_curlon = row.gps_curalt = row.gps_curspeed = 0.0;
        row.gps_numsatellites = 0;
        row.gps_fixmode = 1; // no fix
    }

    // The clock steps ahead, and the log goes on from the new time.
    planted.timeJump = TimeJumpSample;
    for (int32_t i = TimeJumpSample - 1; i < count; ++i)
        r[i].gps_time += TimeJumpSeconds;

    // Under the ground: the nearly flattest stretch in the search range, so that the drawn
    // ground between grid points cannot move where it begins and ends.
    const int32_t hillRows = static_cast<int32_t>(HillSeconds * perSecond);
    const double step = HillClimb / sampleRate;
    int32_t bestFirst = HillSearchFirst;
    double bestSpread = 1e9;
    for (int32_t first = HillSearchFirst; first + hillRows - 1 <= HillSearchLast; ++first)
    {
        double spread = 0.0;
        for (int32_t sample = first - 1; sample <= first + hillRows; ++sample)
        {
            const GroundBounds bounds = GroundUnder(landscape, r[sample - 1]);
            spread = std::max(spread, bounds.high - bounds.low);
        }
        if (spread < bestSpread - 1e-9)
        {
            bestSpread = spread;
            bestFirst = first;
        }
    }
    planted.hillFirst = bestFirst;
    planted.hillLast = bestFirst + hillRows - 1;
    for (int32_t sample = planted.hillFirst - HillRamp; sample <= planted.hillLast + HillRamp; ++sample)
    {
        SampleRow& row = r[sample - 1];
        const GroundBounds bounds = GroundUnder(landscape, row);
        const double planned = (bounds.low + bounds.high) / 2.0 + PlannedHeight(sample, planted.hillFirst, planted.hillLast, step);
        row.gps_curalt = std::min(row.gps_curalt, planned);
    }

    // A frozen GPS: the fix of FrozenSample repeated until the next one comes FrozenSeconds later.
    planted.frozenFirst = FrozenSample;
    planted.frozenLast = FrozenSample + static_cast<int32_t>(FrozenSeconds * perSecond) - 1;
    const SampleRow& fix = r[FrozenSample - 1];
    for (int32_t sample = planted.frozenFirst + 1; sample <= planted.frozenLast; ++sample)
    {
        r[sample - 1].gps_curlat = fix.gps_curlat;
        r[sample - 1].gps_curlon = fix.gps_curlon;
        r[sample - 1].gps_curalt = fix.gps_curalt;
    }
    return planted;
}

bool WriteFaultLog(const std::string& folder, uint32_t seed, PlantedFaults* planted)
{
    const Landscape landscape(seed);
    std::vector<SampleRow> rows = FlightLogRows(FlyDemoFlight(landscape, seed, DemoSampleRate), DemoSampleRate);
    *planted = PlantFaults(&rows, landscape, DemoSampleRate);
    const std::string path = folder + "/" + FaultLogName;
    if (!WriteFlightLog(path, rows))
        return false;
    printf("faults: GPS dropout samples %d to %d, time jump of %.0f s at sample %d, under the ground samples %d to %d, frozen GPS samples %d to %d -> %s\n",
           planted->dropoutFirst, planted->dropoutLast, TimeJumpSeconds, planted->timeJump, planted->hillFirst, planted->hillLast,
           planted->frozenFirst, planted->frozenLast, path.c_str());
    return true;
}
