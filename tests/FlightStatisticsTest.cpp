// The statistics pass over the accepted rows: extents, time span and the mean sample step.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "flight/FlightStatistics.h"
#include "log/SampleTable.h"

namespace
{

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

} // namespace
