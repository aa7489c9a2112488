// The other aircraft at the clock: where each is between its reports, when it is not drawn,
// and the drawing that follows the clock.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "player/TrafficOnClock.h"

namespace
{

TimedTraffic Report(double time, uint32_t address, double latitude, double altitude, double heading, const char* callsign = "")
{
    TimedTraffic t;
    t.time = time;
    t.address = address;
    t.callsign = callsign;
    t.latitude = latitude;
    t.longitude = 8.0;
    t.altitude = altitude;
    t.heading = heading;
    return t;
}

} // namespace

TEST(TrafficOnClockTest, EachAircraftIsPlacedBetweenItsReportsAndHiddenWhereTheyAreOld)
{
    const std::vector<TimedTraffic> traffic = {
        Report(10.0, 0xABCDEF, 47.00, 500.0, 350.0), Report(12.0, 0xABCDEF, 47.02, NAN, 10.0, "GLD12"), Report(14.0, 0xABCDEF, 47.04, 700.0, NAN),
        Report(40.0, 0xABCDEF, 47.10, 900.0, 90.0), Report(11.0, 0x000123, 46.0, NAN, NAN),
    };
    const std::vector<TrafficTrack> tracks = TracksOfTraffic(traffic);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].name, "000123");
    EXPECT_TRUE(std::isnan(tracks[0].reports[0].altitude)) << "no altitude to fill it from";
    const TrafficTrack& glider = tracks[1];
    EXPECT_EQ(glider.name, "GLD12");
    EXPECT_DOUBLE_EQ(glider.reports[1].altitude, 500.0) << "filled from the report before";

    TimedTraffic at;
    EXPECT_FALSE(TrafficPlaceAt(glider, 9.9, &at)) << "before its first report";
    ASSERT_TRUE(TrafficPlaceAt(glider, 11.0, &at));
    EXPECT_NEAR(at.latitude, 47.01, 1e-12);
    EXPECT_NEAR(at.heading, 0.0, 1e-9) << "from 350 to 10 the shorter way, through north";
    ASSERT_TRUE(TrafficPlaceAt(glider, 13.5, &at));
    EXPECT_NEAR(at.altitude, 650.0, 1e-9);
    EXPECT_NEAR(at.heading, 10.0, 1e-9);
    // 26 s to the next report: the last one holds for TrafficHeldFor, then nothing is drawn.
    ASSERT_TRUE(TrafficPlaceAt(glider, 14.0 + TrafficHeldFor - 0.1, &at));
    EXPECT_NEAR(at.latitude, 47.04, 1e-12);
    EXPECT_NEAR(at.heading, 0.0, 1e-6) << "along its way north when the report gives none";
    EXPECT_FALSE(TrafficPlaceAt(glider, 14.0 + TrafficHeldFor + 0.1, &at));
    EXPECT_TRUE(TrafficPlaceAt(glider, 45.0, &at));
    EXPECT_FALSE(TrafficPlaceAt(glider, 50.5, &at));

    // The drawing: only what is placed and has a height is shown; moving on changes that.
    TrafficOnClock drawing(MapFrameOn(47.0, 8.0), nullptr);
    drawing.ShowAt(traffic, 11.0);
    EXPECT_EQ(drawing.Shown(), 1u) << "the one without any altitude stays out";
    drawing.ShowAt(traffic, 30.0);
    EXPECT_EQ(drawing.Shown(), 0u);
    drawing.ShowAt(traffic, 41.0);
    EXPECT_EQ(drawing.Shown(), 1u);
    EXPECT_EQ(drawing.Root()->getNumChildren(), 2u) << "one node per aircraft, built once";
}
