#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flight/LoadedFlight.h"
#include "geo/Geodesy.h"
#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "track/FlightWind.h"

namespace
{

const double MetresPerDegree = 6371008.8 * RadiansPerDegree;

// A glider at 10 m/s through the air, circling once in 30 s for `turns` turns, then flying
// straight for `straight` seconds, in a wind from 270° at 5 m/s; a fix a second.
std::vector<TimedPosition> CirclingFlight(int turns, double straight)
{
    const double windNorth = 0.0, windEast = 5.0, air = 10.0, period = 30.0;
    std::vector<TimedPosition> positions;
    double north = 0.0, east = 0.0, heading = 0.0;
    for (int t = 0; t <= turns * 30 + static_cast<int>(straight); ++t)
    {
        positions.push_back(TimedPosition{static_cast<double>(t), 46.0 + north / MetresPerDegree, 8.0 + east / (MetresPerDegree * std::cos(46.0 * RadiansPerDegree)), 1000.0});
        // Integrated finely, so the fixes are the true path and not the method's own steps.
        for (int k = 0; k < 100; ++k)
        {
            const double turning = t < turns * 30 ? TwoPi / period : 0.0;
            north += (air * std::cos(heading) + windNorth) * 0.01;
            east += (air * std::sin(heading) + windEast) * 0.01;
            heading += turning * 0.01;
        }
    }
    return positions;
}

// An IGC file of the same flight, to the file's own precision (a thousandth of a minute).
std::string CirclingIgc()
{
    std::string text = "AXXX001\nHFDTE150324\n";
    for (const TimedPosition& p : CirclingFlight(5, 60.0))
    {
        const int seconds = 36000 + static_cast<int>(p.time);
        char line[64];
        snprintf(line, sizeof line, "B%02d%02d%02d%02d%05dN%03d%05dEA0100001000\n", seconds / 3600, seconds / 60 % 60, seconds % 60, static_cast<int>(p.latitude),
                 static_cast<int>(std::lround((p.latitude - std::floor(p.latitude)) * 60000.0)), static_cast<int>(p.longitude),
                 static_cast<int>(std::lround((p.longitude - std::floor(p.longitude)) * 60000.0)));
        text += line;
    }
    return text;
}

std::string Packed(uint64_t timeUs, uint8_t core, float north, float east)
{
    std::string fields(reinterpret_cast<const char*>(&timeUs), 8);
    fields += static_cast<char>(core);
    fields.append(reinterpret_cast<const char*>(&north), 4);
    fields.append(reinterpret_cast<const char*>(&east), 4);
    return fields;
}

} // namespace

class FlightWindTest : public DataToolFixture
{
};

TEST_F(FlightWindTest, CirclesGiveTheWindAndAStraightFlightNone)
{
    const std::vector<TimedWind> wind = WindFromCircles(CirclingFlight(5, 120.0));
    ASSERT_GE(wind.size(), 4u);
    for (const TimedWind& w : wind)
    {
        EXPECT_EQ(w.source, "circles");
        EXPECT_NEAR(WindSpeed(w), 5.0, 0.3) << w.time;
        EXPECT_NEAR(std::remainder(WindFromDegrees(w) - 270.0, 360.0), 0.0, 5.0) << w.time;
        EXPECT_LT(w.time, 150.0) << "no estimate from the straight leg";
    }
    EXPECT_TRUE(WindFromCircles(CirclingFlight(0, 600.0)).empty());

    double north = 0.0, east = 0.0;
    WindComponentsFrom(90.0, 4.0, &north, &east);
    EXPECT_NEAR(east, -4.0, 1e-12) << "a wind from the east goes west";
    EXPECT_NEAR(north, 0.0, 1e-12);
}

TEST_F(FlightWindTest, TrackWritesTheWindBesideTheLogAndLoadingReadsItBack)
{
    WriteText("circling.igc", CirclingIgc());
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "circling.igc", "--out", "circling.log"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("wind estimates (circles)"), std::string::npos) << err;
    ASSERT_TRUE(Exists("circling.wind.csv"));
    const LoadedFlight fromLog = LoadLogQuietly("circling.log");
    LoadedFlight converted;
    ASSERT_EQ(LoadFlight("circling.igc", nullptr, FlightFiles::Convert, LoadReport::Quiet, &converted), 0);
    ASSERT_GE(converted.wind.size(), 4u);
    ASSERT_EQ(fromLog.wind.size(), converted.wind.size());
    for (size_t i = 0; i < converted.wind.size(); ++i)
    {
        EXPECT_NEAR(fromLog.wind[i].time, converted.wind[i].time, 1e-3);
        EXPECT_NEAR(fromLog.wind[i].east, converted.wind[i].east, 0.01);
        EXPECT_NEAR(WindSpeed(converted.wind[i]), 5.0, 1.0) << "to the file's precision";
    }

    // Lines without numbers, and a wind no aircraft flies in, are skipped; the rest sorted.
    WriteText("hand.wind.csv", "time,north,east,from,speed,source\n5.000,1.00,2.00,0,0,EKF\nbroken\n1.000,nan,0,0,0,EKF\n2.0,300,0,0,0,EKF\n3.000,0.50,0.00,0,0,EKF\n");
    std::vector<TimedWind> read;
    size_t skipped = 0;
    std::string error;
    ASSERT_TRUE(ReadWind("hand.wind.csv", &read, &skipped, &error)) << error << " (" << skipped << " skipped)";
    EXPECT_EQ(skipped, 3u);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_DOUBLE_EQ(read[0].time, 3.0);
    EXPECT_EQ(read[1].source, "EKF");
    WriteText("bad.wind.csv", "time,kind\n");
    EXPECT_FALSE(ReadWind("bad.wind.csv", &read, &skipped, &error));
}

TEST_F(FlightWindTest, AutopilotLogsGiveTheirOwnEstimatesAndLeaveOutBadOnes)
{
    // The EKF's, from the primary core only; a record without numbers left out with a note.
    DataFlashWriter ekf;
    ekf.Format(200, "XKF2", "QBff", "TimeUS,C,VWN,VWE");
    ekf.Message(200, Packed(10000000, 0, 3.0f, -4.0f)).Message(200, Packed(10000000, 1, 9.0f, 9.0f)).Message(200, Packed(11000000, 0, NAN, 1.0f));
    WriteText("ekf.bin", CircleDataFlash(CircleFlight()) + ekf.bytes);
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "ekf.bin", "--out", "ekf.log"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("1 wind estimate (EKF)"), std::string::npos) << err;
    std::vector<TimedWind> read;
    size_t skipped = 0;
    std::string error;
    ASSERT_TRUE(ReadWind("ekf.wind.csv", &read, &skipped, &error)) << error;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_NEAR(read[0].north, 3.0, 1e-6);
    EXPECT_NEAR(read[0].east, -4.0, 1e-6);

    // PX4's wind topic; a record without numbers is left out.
    ULogWriter ulog(0);
    ulog.Format("wind:uint64_t timestamp;float windspeed_north;float windspeed_east;").Subscribe(0, 77, "wind");
    const auto windFields = [](uint64_t us, float north, float east)
    {
        std::string fields(reinterpret_cast<const char*>(&us), 8);
        fields.append(reinterpret_cast<const char*>(&north), 4);
        return fields.append(reinterpret_cast<const char*>(&east), 4);
    };
    ulog.Data(77, windFields(10000000, -2.0f, 1.5f)).Data(77, windFields(11000000, NAN, 1.5f));
    const std::string circle = CircleULog(CircleFlight());
    WriteText("px4.ulg", circle + ulog.bytes.substr(16));
    ASSERT_EQ(RunTool({"track", "px4.ulg", "--out", "px4.log"}, &out, &err), 0) << err;
    ASSERT_TRUE(ReadWind("px4.wind.csv", &read, &skipped, &error)) << err << error;
    ASSERT_EQ(read.size(), 1u) << err;
    EXPECT_EQ(read[0].source, "PX4 wind");
    EXPECT_NEAR(read[0].north, -2.0, 1e-6);

    // The telemetry's, stated as where it comes from; one far beyond any wind is left out.
    TelemetryWriter telemetry;
    const uint64_t start = CircleFlight().wallStart * 1000000ull;
    telemetry.Record(start + 10000000, WindPayload(270.0f, 5.0f)).Record(start + 11000000, WindPayload(90.0f, 500.0f));
    WriteText("wind.tlog", CircleTelemetry(CircleFlight(), 2) + telemetry.bytes);
    ASSERT_EQ(RunTool({"track", "wind.tlog", "--out", "wind.log"}, &out, &err), 0) << err;
    ASSERT_TRUE(ReadWind("wind.wind.csv", &read, &skipped, &error)) << err << error;
    ASSERT_EQ(read.size(), 1u) << err;
    EXPECT_EQ(read[0].source, "telemetry WIND");
    EXPECT_NEAR(read[0].east, 5.0, 1e-4) << "a wind from the west goes east";
    EXPECT_NEAR(WindFromDegrees(read[0]), 270.0, 1e-3);
}

TEST(FlightWind, TheWindAtATimeLiesBetweenItsEstimatesAndIsHeldOnlyNearTheEnds)
{
    const std::vector<TimedWind> wind = {{100.0, 0.0, 6.0, "EKF"}, {200.0, -4.0, 2.0, "circles"}};
    TimedWind at;
    ASSERT_TRUE(WindAt(wind, 175.0, &at));
    EXPECT_NEAR(at.north, -3.0, 1e-12);
    EXPECT_NEAR(at.east, 3.0, 1e-12);
    EXPECT_EQ(at.source, "circles"); // the nearer's method
    ASSERT_TRUE(WindAt(wind, 100.0 - WindHeldFor + 1.0, &at));
    EXPECT_EQ(at.east, 6.0);
    EXPECT_FALSE(WindAt(wind, 200.0 + WindHeldFor + 1.0, &at));
    EXPECT_FALSE(WindAt({}, 150.0, &at));
    EXPECT_FALSE(WindAt(wind, NAN, &at));
}
