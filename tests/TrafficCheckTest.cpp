// The closest approach's rules the end-to-end test does not reach: a report without an
// altitude, and the flight's gaps.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "check/TrafficCheck.h"

namespace
{

// A row a second going north from 47 N 8 E at 500 m, 10 m a second; none from 10 to 30 s.
std::vector<SampleRow> Northwards()
{
    std::vector<SampleRow> rows;
    for (int t = 0; t <= 40; ++t)
    {
        if (t > 10 && t < 30)
            continue;
        SampleRow row{};
        row.samplenumber = t + 1;
        row.gps_time = t;
        row.gps_curlat = (47.0 + t * 10.0 / 111195.0) * 60.0;
        row.gps_curlon = 8.0 * 60.0;
        row.gps_curalt = 500.0;
        rows.push_back(row);
    }
    return rows;
}

TimedTraffic Heard(double time, uint32_t address, double northMetres, double altitude)
{
    TimedTraffic t;
    t.time = time;
    t.address = address;
    t.latitude = 47.0 + northMetres / 111195.0;
    t.longitude = 8.0;
    t.altitude = altitude;
    return t;
}

} // namespace

TEST(TrafficCheckTest, AReportWithAnAltitudeCountsFirstAndNothingIsMeasuredInAGap)
{
    const std::vector<SampleRow> rows = Northwards();
    const FlightRows flight{rows.data(), static_cast<int32_t>(rows.size()), 1.0};
    // Right over us at 5 s but of unknown height; 100 m ahead and 50 m up at 8 s. In the gap
    // (20 s) it is on top of where we would be, which nothing says we were.
    const std::vector<TimedTraffic> traffic = {Heard(5.0, 1, 50.0, NAN), Heard(8.0, 1, 180.0, 550.0), Heard(20.0, 1, 200.0, 500.0), Heard(20.0, 2, 200.0, 500.0)};
    const std::vector<TrafficApproach> approaches = ClosestApproaches(flight, traffic);
    ASSERT_EQ(approaches.size(), 2u);
    const TrafficApproach& first = approaches[0];
    EXPECT_EQ(first.address, 1u);
    EXPECT_EQ(first.measured, 2u);
    EXPECT_EQ(first.reports, 3u);
    EXPECT_DOUBLE_EQ(first.time, 8.0);
    EXPECT_NEAR(first.horizontal, 100.0, 0.2);
    EXPECT_NEAR(first.vertical, 50.0, 1e-9);
    EXPECT_NEAR(first.separation, std::hypot(100.0, 50.0), 0.2);
    EXPECT_EQ(approaches[1].address, 2u);
    EXPECT_EQ(approaches[1].measured, 0u) << "heard only in the gap: last";
    EXPECT_TRUE(std::isnan(approaches[1].separation));

    // Without a report of its height, over the ground alone.
    const std::vector<TrafficApproach> unknown = ClosestApproaches(flight, {Heard(5.0, 3, 60.0, NAN)});
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_NEAR(unknown[0].separation, 10.0, 0.05);
    EXPECT_TRUE(std::isnan(unknown[0].vertical));
}
