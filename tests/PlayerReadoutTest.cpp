// What the player's display shows and where it puts the aircraft, for small known logs.
#include <cmath>
#include <string>
#include <vector>

#include <osg/AnimationPath>

#include "support/SceneTestSupport.h"
#include "player/FlightReadout.h"
#include "player/PlaybackClock.h"
#include "player/PlayerDisplay.h"
#include "player/PlayerSession.h"
#include "scene/FlightPath.h"
#include "support/ElevationTiles.h"
#include "terrain/ElevationTileStore.h"

namespace
{
const double MetresPerDegree = EarthRadius * Pi / 180.0; // on the map frame's sphere

class PlayerReadoutTest : public SceneFixture
{
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ResetElevationStore();
    }
    void TearDown() override { ResetElevationStore(); }

    // ReadFlightAt, without the store's report of the tiles the tests leave missing.
    FlightReadout Read(int32_t row) const
    {
        OutputCapture missingTileReports;
        return ReadFlightAt(flight.Rows(), row);
    }

    // The display's lines for row `row`, paused there.
    std::string LinesAt(int32_t row) const
    {
        PlaybackClock clock(static_cast<int32_t>(flight.rows.size()), 1.0, ReplaySpeedUp);
        clock.StepRows(row);
        std::string text;
        for (const std::string& line : DisplayLines(Read(row), clock))
            text += line + "\n";
        return text;
    }
};

// A tile whose heights form a plane over its samples: 300 m, plus 2 m per sample
// southwards, less 1 m per sample eastwards. The drawn ground of a plane is the plane
// itself, between the grid points as well.
void WritePlaneTile(int32_t tileRow, int32_t tileColumn)
{
    ASSERT_TRUE(WriteElevationTile(tileRow, tileColumn, [](int32_t r, int32_t c) { return 300 + 2 * r - c; }));
}

TEST_F(PlayerReadoutTest, HeightAboveTheDrawnGroundBetweenGridPointsAndNoTileElsewhere)
{
    const int32_t tileRow = static_cast<int32_t>(MercatorY(47.1) * TileScale) / 1024;
    const int32_t tileColumn = static_cast<int32_t>(LongitudeX(8.2) * TileScale) / 1024;
    WritePlaneTile(tileRow, tileColumn);
    // A quarter of a cell south and half a cell east of sample (500, 1000): the plane there
    // is 300 + 2 * 500.25 - 1000.5 = 300 m.
    AddRow(1, GridRowLatitude(tileRow * 1024 + 500.25), GridColumnLongitude(tileColumn * 1024 + 1000.5), 823.5);
    // A tile further east, where no tile file exists, still within the drawn rings.
    AddRow(2, GridRowLatitude(tileRow * 1024 + 500.25), GridColumnLongitude((tileColumn + 1) * 1024 + 20.5), 823.5);
    // The frame the replay would fix on these two samples.
    frame = MapFrameOn(GridRowLatitude(tileRow * 1024 + 500.25), GridColumnLongitude(tileColumn * 1024 + 1010.0));

    const FlightReadout over = Read(0);
    EXPECT_TRUE(over.overTerrain);
    EXPECT_NEAR(over.heightAboveTerrain, 523.5, 1e-6);
    EXPECT_EQ(over.altitude, 823.5);
    EXPECT_NE(LinesAt(0).find("altitude   823.5 m AMSL   above terrain   523.5 m"), std::string::npos) << LinesAt(0);

    const FlightReadout beyond = Read(1);
    const std::string text = LinesAt(1);
    EXPECT_FALSE(beyond.overTerrain);
    EXPECT_NE(text.find("above terrain: no tile here"), std::string::npos) << text;
}

TEST_F(PlayerReadoutTest, HeadingClockwiseFromNorthBankRightWingDownPitchNoseUp)
{
    // Logged heading counts counter-clockwise from east; logged roll is positive with the
    // right wing up.
    AddRow(1, 47.1, 8.2, 500.0, 0.0, -0.2, 0.1);       // east, banked right, nose up
    AddRow(2, 47.1, 8.2, 500.0, Pi / 2, 0.3, -0.05);   // north, banked left, nose down
    AddRow(3, 47.1, 8.2, 500.0, Pi, 0.0, 0.0);         // west, level
    AddRow(4, 47.1, 8.2, 500.0, -Pi / 2, 0.0, 0.0);    // south
    AddRow(5, 47.1, 8.2, 500.0, Pi / 2 + 1e-9, 0.0, 0.0); // a hair west of north

    const FlightReadout east = Read(0);
    EXPECT_NEAR(east.heading, 90.0, 1e-9);
    EXPECT_NEAR(east.bank, 0.2 * 180.0 / Pi, 1e-9);
    EXPECT_NEAR(east.pitch, 0.1 * 180.0 / Pi, 1e-9);
    EXPECT_NE(LinesAt(0).find("heading  90.0\u00b0   bank  11.5\u00b0 right wing down  pitch   5.7\u00b0 nose up"), std::string::npos) << LinesAt(0);

    EXPECT_NEAR(Read(1).heading, 0.0, 1e-9);
    EXPECT_NE(LinesAt(1).find("bank  17.2\u00b0 left wing down   pitch   2.9\u00b0 nose down"), std::string::npos) << LinesAt(1);

    EXPECT_NEAR(Read(2).heading, 270.0, 1e-9);
    EXPECT_NEAR(Read(3).heading, 180.0, 1e-9);
    EXPECT_NE(LinesAt(2).find("bank   0.0\u00b0 level"), std::string::npos) << LinesAt(2);
    EXPECT_NE(LinesAt(4).find("heading   0.0\u00b0"), std::string::npos) << "359.99999 reads 0.0, not 360.0: " << LinesAt(4);
}

TEST_F(PlayerReadoutTest, GroundSpeedAndClimbRateFromThePositionsOnEitherSide)
{
    // At 60 degrees north a degree of longitude is half as long as one of latitude. Each
    // half second the aircraft moves 6 m north and 8 m east (10 m) and climbs 1.5 m.
    const double latitude = 60.0;
    for (int32_t i = 0; i < 4; ++i)
    {
        AddRow(i + 1, latitude + i * 6.0 / MetresPerDegree, 8.0 + i * 8.0 / (MetresPerDegree * 0.5), 400.0 + 1.5 * i);
        flight.rows[i].gps_time = 36000.0 + 0.5 * i;
    }
    for (int32_t row : {0, 1, 3}) // one-sided at both ends
    {
        const FlightReadout readout = Read(row);
        EXPECT_TRUE(readout.ratesKnown);
        EXPECT_NEAR(readout.groundSpeed, 20.0, 1e-3) << "row " << row;
        EXPECT_NEAR(readout.climbRate, 3.0, 1e-9) << "row " << row;
    }
    EXPECT_NE(LinesAt(1).find("ground speed  20.0 m/s   climb rate  +3.0 m/s"), std::string::npos) << LinesAt(1);

    // A sink too slow to show reads +0.0.
    flight.rows[2].gps_curalt = flight.rows[0].gps_curalt - 0.02;
    EXPECT_NE(LinesAt(1).find("climb rate  +0.0 m/s"), std::string::npos) << LinesAt(1);

    // A row between a left-out stretch (or one missing from the log) and a gap in time has
    // no neighbour to compare with.
    flight.rows[2].samplenumber = 50;
    flight.summary.step = 0.5;
    flight.rows[1].gps_time += 10.0;
    EXPECT_FALSE(Read(1).ratesKnown);

    // Neighbours logged at the same time give no rate, rather than an infinite one.
    flight.rows[1].gps_time -= 10.0;
    flight.rows[2].samplenumber = 3;
    flight.rows[2].gps_time = flight.rows[0].gps_time;
    EXPECT_FALSE(Read(1).ratesKnown);
    EXPECT_NE(LinesAt(1).find("ground speed   -- m/s"), std::string::npos) << LinesAt(1);
}

TEST_F(PlayerReadoutTest, RatesAtTheEdgesOfAStretchComeFromInsideIt)
{
    // Two stretches 10 m/s north: samples 1 to 3 and 8 to 10 (4 to 7 left out or missing),
    // or 1 to 6 with the clock stepping 30 s ahead between the third and the fourth. The
    // aircraft comes back 2 km south between them.
    for (const bool timeGap : {false, true})
    {
        flight = LoadedFlight();
        flight.summary.step = 1.0;
        for (int32_t i = 0; i < 6; ++i)
        {
            const int32_t stretch = i / 3;
            AddRow(timeGap ? i + 1 : i + 1 + 4 * stretch, 47.0 + (10.0 * i - 2000.0 * stretch) / MetresPerDegree, 8.0, 400.0 + 2.0 * i);
            flight.rows[i].gps_time = 100.0 + i + 30.0 * stretch;
        }
        for (int32_t row : {2, 3})
        {
            const FlightReadout readout = Read(row);
            EXPECT_TRUE(readout.ratesKnown);
            EXPECT_NEAR(readout.groundSpeed, 10.0, 1e-3) << "row " << row << (timeGap ? " by a gap in time" : " by a gap in samples");
            EXPECT_NEAR(readout.climbRate, 2.0, 1e-9) << "row " << row;
        }
    }
}

TEST_F(PlayerReadoutTest, FirstLineSaysSampleSpeedAndPausedSecondTheTimes)
{
    std::vector<double> times;
    for (int32_t i = 0; i < 12; ++i)
    {
        AddRow(101 + i, 47.1 + i * 1e-4, 8.2, 500.0);
        flight.rows[i].gps_time = 54199.0 + i;
        flight.rows[i].gps_date = 140626; // as a GPS logs it, beside its time of day
        times.push_back(54199.0 + i + (i >= 6 ? 20.0 : 0.0)); // a gap of 21 s after the sixth
    }
    PlaybackClock clock(times, 1.0, ReplaySpeedUp);
    clock.SeekRow(1);
    clock.Slower();
    std::vector<std::string> lines = DisplayLines(Read(1), clock);
    EXPECT_EQ(lines[0], "sample 102    (row  2 of 12)   x1.5   playing loop");
    EXPECT_EQ(lines[1], "log time 54200.00 s (15:03:20.00)  replay 0:01.0 of 0:13.0");
    // While the gap plays shortened, the display says so.
    clock.SetPosition(5.5);
    EXPECT_EQ(DisplayLines(Read(1), clock)[1], "log time 54200.00 s (15:03:20.00)  replay 0:06.5 of 0:13.0  gap 21.0 s skipped");
    clock.SeekRow(1);
    clock.ToggleLoop();
    clock.TogglePause();
    lines = DisplayLines(Read(1), clock);
    EXPECT_EQ(lines[0], "sample 102    (row  2 of 12)   x1.5   PAUSED  no loop");

    // Rounding carries into the minutes and hours, never to 60.
    flight.rows[1].gps_time = 59.999;
    EXPECT_NE(DisplayLines(Read(1), clock)[1].find("(00:01:00.00)"), std::string::npos);
    // A clock that counts from boot logs no date: its seconds are no time of day.
    flight.rows[1].gps_date = 0;
    flight.rows[1].gps_time = 671.68;
    EXPECT_EQ(DisplayLines(Read(1), clock)[1], "log time 671.68 s  replay 0:01.0 of 0:13.0");
    EXPECT_EQ(FormatDuration(59.96), "1:00.0");
    EXPECT_EQ(FormatDuration(3725.04), "1:02:05.0");
    EXPECT_EQ(FormatSpeed(0.25), "x0.25");
}

TEST_F(PlayerReadoutTest, AircraftStandsOnTheReplaysPathPointsAndFollowsItBetween)
{
    AddRow(1, 47.10, 8.20, 500.0, 0.3, -0.2, 0.1);
    AddRow(2, 47.11, 8.21, 520.0, 1.3, 0.4, -0.1);
    AddRow(3, 47.12, 8.19, 510.0, -2.0, 0.1, 0.2);
    flight.summary.step = 0.2;
    const osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath(flight.Rows(), frame);

    // A paused row shows exactly the control point the replay passes through there.
    int32_t row = 0;
    for (const auto& [time, point] : path->getTimeControlPointMap())
    {
        osg::Matrixd expected;
        point.getMatrix(expected);
        EXPECT_EQ(AircraftMatrixAt(flight.Rows(), frame, row), expected) << "row " << row;
        ++row;
    }
    // Between rows it is where the replay is at the same share of the way.
    osg::Matrixd between;
    path->getMatrix(1.25 * 0.2 / ReplaySpeedUp, between);
    const osg::Matrixd player = AircraftMatrixAt(flight.Rows(), frame, 1.25);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(player.ptr()[i], between.ptr()[i], 1e-6 * (1.0 + std::fabs(between.ptr()[i])));
}
} // namespace
