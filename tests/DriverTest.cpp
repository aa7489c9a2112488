// The driver's pieces: the --samples range list, the flight statistics and the map frame.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>

#include "app/FlightStatistics.h"
#include "app/MapFrame.h"
#include "app/RangeListParser.h"
#include "log/SampleTable.h"

namespace
{

// --- Range list ------------------------------------------------------------------------

void ExpectRanges(std::initializer_list<SampleRange> expected)
{
    ASSERT_EQ(RangeList.count, static_cast<int32_t>(expected.size()));
    int32_t i = 0;
    for (const SampleRange& range : expected)
    {
        EXPECT_EQ(RangeList.entries[i].begin, range.begin) << "entry " << i;
        EXPECT_EQ(RangeList.entries[i].end, range.end) << "entry " << i;
        ++i;
    }
}

TEST(RangeListParserTest, ShortPairsAndNegativeBeginsAreDropped)
{
    // 30-31 is too short; x-50 begins at 0; in -5-20 the sign is the dash, so 5 ends it.
    EXPECT_EQ(ParseRangeList("10-20,30-31,x-50,-5-20"), 2);
    ExpectRanges({{10, 20}, {0, 50}});

    EXPECT_EQ(ParseRangeList("0-3,1-3,4-6"), 1);
    ExpectRanges({{0, 3}});
}

TEST(RangeListParserTest, ItemWithoutDashTakesTheEndOfALaterItem)
{
    EXPECT_EQ(ParseRangeList("100,200-300"), 2);
    ExpectRanges({{100, 300}, {200, 300}});
}

TEST(RangeListParserTest, NoSurvivingPairLeavesTheListEmpty)
{
    EXPECT_EQ(ParseRangeList("5-7"), 0);
    EXPECT_EQ(RangeList.count, 0);
    EXPECT_EQ(ParseRangeList(""), 0);
    EXPECT_EQ(ParseRangeList("12,15"), 0);
}

TEST(RangeListParserTest, PairsBeyondCapacityAreIgnored)
{
    std::string list;
    list.reserve(static_cast<size_t>(RangeCapacity + 1) * 7);
    for (int32_t i = 0; i <= RangeCapacity; ++i)
        list += std::to_string(i % 10) + "-" + std::to_string(i % 10 + 5) + ",";
    EXPECT_EQ(ParseRangeList(list.c_str()), RangeCapacity);
    EXPECT_EQ(RangeList.count, RangeCapacity);
    EXPECT_EQ(RangeList.entries[RangeCapacity - 1].begin, (RangeCapacity - 1) % 10);
}

// --- Flight statistics -----------------------------------------------------------------

class FlightStatisticsTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetSampleTable(); }
    void TearDown() override { ResetSampleTable(); }

    // Appends an accepted row as the scanner would leave it.
    static void AddRow(int32_t samplenumber, double time, double lat = 600.0, double lon = 600.0)
    {
        SampleRow& row = SampleTable.rows[SampleTable.rowCount++];
        row.samplenumber = samplenumber;
        row.gps_time = time;
        row.gps_curlat = lat;
        row.gps_curlon = lon;
    }
};

TEST_F(FlightStatisticsTest, FirstRowIsNeverAStepEvenAtSampleOne)
{
    AddRow(1, 36000.0);
    AddRow(2, 36000.5);
    AddRow(3, 36001.0);
    ComputeFlightStatistics();
    EXPECT_DOUBLE_EQ(SampleTable.SampleStep, 0.5);
}

TEST_F(FlightStatisticsTest, GapsRepeatsAndStepBacksCountNothingButBecomePrevious)
{
    AddRow(10, 100.0);
    AddRow(11, 101.0); // step of 1
    AddRow(13, 150.0); // gap
    AddRow(14, 152.0); // step of 2
    AddRow(14, 160.0); // repeat
    AddRow(13, 170.0); // step back
    AddRow(14, 173.0); // step of 3
    ComputeFlightStatistics();
    EXPECT_DOUBLE_EQ(SampleTable.SampleStep, 2.0);
}

TEST_F(FlightStatisticsTest, WithoutStepsTheMeanTimePerRowIsUsed)
{
    AddRow(10, 5.0);
    AddRow(20, 7.0);
    AddRow(30, 13.0);
    ComputeFlightStatistics();
    EXPECT_DOUBLE_EQ(SampleTable.SampleStep, 4.0);

    ResetSampleTable();
    AddRow(7, 5.0);
    ComputeFlightStatistics();
    EXPECT_EQ(SampleTable.SampleStep, 0.0);
}

TEST_F(FlightStatisticsTest, ExtentsCoverAllRowsAndIgnoreNaN)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    AddRow(1, nan, nan, nan); // a NaN first must not poison the extremes
    AddRow(2, 20.0, 2880.0, -600.0);
    AddRow(3, 10.0, 2900.0, -590.0);
    AddRow(4, 30.0, -2870.0, -610.0);
    AddRow(5, nan, nan, nan);
    const FlightExtent extent = ComputeFlightStatistics();
    EXPECT_EQ(extent.latitudeMinimum, -2870.0);
    EXPECT_EQ(extent.latitudeMaximum, 2900.0);
    EXPECT_EQ(extent.longitudeMinimum, -610.0);
    EXPECT_EQ(extent.longitudeMaximum, -590.0);
    EXPECT_EQ(SampleTable.timeMinimum, 10.0);
    EXPECT_EQ(SampleTable.timeMaximum, 30.0);
}

// --- Map frame -------------------------------------------------------------------------

// Runs SetUpMapFrame and returns the two lines it printed.
std::string SetUpMapFramePrinted(double latitude, double longitude)
{
    FILE* capture = tmpfile();
    EXPECT_NE(capture, nullptr);
    fflush(stdout);
    const int savedStdout = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    SetUpMapFrame(latitude, longitude);
    fflush(stdout);
    dup2(savedStdout, STDOUT_FILENO);
    close(savedStdout);
    rewind(capture);
    char buffer[512] = {};
    const size_t n = fread(buffer, 1, sizeof buffer - 1, capture);
    fclose(capture);
    return std::string(buffer, n);
}

// The latitude whose map y is the given value: the inverse of the Mercator projection.
double LatitudeOfMapY(double y)
{
    return std::atan(std::sinh(Pi * (1.0 - 2.0 * y))) * 180.0 / Pi;
}

TEST(MapFrameTest, ProjectionsAtTheirLandmarks)
{
    EXPECT_EQ(MercatorY(0.0), 0.5);
    EXPECT_NEAR(MercatorY(85.0511287798), 0.0, 1e-9); // the square map's edges
    EXPECT_NEAR(MercatorY(-85.0511287798), 1.0, 1e-9);
    EXPECT_LT(MercatorY(48.0), 0.5); // north is up the map

    EXPECT_EQ(LongitudeX(0.0), 0.5);
    EXPECT_EQ(LongitudeX(-180.0), 0.0);
    EXPECT_EQ(LongitudeX(180.0), 0.0);
    EXPECT_EQ(LongitudeX(-190.0), -10.0 / 360.0);
}

TEST(MapFrameTest, PolesGiveFiniteStandIns)
{
    EXPECT_EQ(MercatorY(90.0), 1e20);
    EXPECT_EQ(MercatorY(-90.0), -1e20);

    const std::string printed = SetUpMapFramePrinted(90.0, 0.0);
    EXPECT_EQ(printed.substr(printed.find("CI,CJ=")), "CI,CJ=2147483647 131072\n");
    EXPECT_EQ(MapFrame.CI, INT32_MAX);
    SetUpMapFramePrinted(-90.0, 0.0);
    EXPECT_EQ(MapFrame.CI, INT32_MIN);
}

TEST(MapFrameTest, EquatorAndPrimeMeridianCentre)
{
    EXPECT_EQ(SetUpMapFramePrinted(0.0, 0.0), "1/k=152.774899 (center lat,lon=0.000000 0.000000)\n"
                                              "CI,CJ=131072 131072\n");
    EXPECT_EQ(MapFrame.CI, 131072);
    EXPECT_EQ(MapFrame.CJ, 131072);
    EXPECT_NEAR(1.0 / MapFrame.k, 152.7749, 1e-4);
}

TEST(MapFrameTest, TileIndicesAreTruncatedNotRounded)
{
    const double latitude = LatitudeOfMapY(512.9 / TileScale);
    const double longitude = 1000.7 / TileScale * 360.0 - 180.0;
    SetUpMapFramePrinted(latitude, longitude);
    EXPECT_EQ(MapFrame.CI, 512);
    EXPECT_EQ(MapFrame.CJ, 1000);

    // Truncation is toward zero also for a map x below 0 (longitude beyond 180 W).
    SetUpMapFramePrinted(0.0, -180.0 - 0.7 * 360.0 / TileScale);
    EXPECT_EQ(MapFrame.CJ, 0);
}

TEST(MapFrameTest, SampleAtTheCentreLiesInsideTheOriginTile)
{
    SampleRow row;
    memset(&row, 0, sizeof row);
    row.gps_curlat = 48.01 * 60;
    row.gps_curlon = 10.01 * 60;
    row.gps_curalt = 500.0;
    SetUpMapFramePrinted(48.01, 10.01);

    const osg::Vec3f position = ScenePosition(row);
    EXPECT_GE(position.x(), 0.0f);
    EXPECT_LT(position.x(), 1.0f);
    EXPECT_GE(position.y(), 0.0f);
    EXPECT_LT(position.y(), 1.0f);
    EXPECT_FLOAT_EQ(position.z(), static_cast<float>(500.0 * MapFrame.k));
    EXPECT_FLOAT_EQ(position.x(), static_cast<float>(MercatorY(48.01) * TileScale - MapFrame.CI));

}

TEST(MapFrameTest, CurvatureDropGrowsWithTheSquareOfTheDistance)
{
    SetUpMapFramePrinted(0.0, 0.0);
    const double radius = EarthRadius * MapFrame.k;
    EXPECT_EQ(CurvatureDrop(0.0, 0.0), 0.0);
    EXPECT_NEAR(CurvatureDrop(30.0, 40.0), 50.0 * 50.0 / (2.0 * radius), 1e-7);
    EXPECT_NEAR(CurvatureDrop(-60.0, 80.0) / CurvatureDrop(30.0, 40.0), 4.0, 1e-5);
}

} // namespace
