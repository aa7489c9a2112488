// The telemetry subtitles drones write beside their clips, in each maker's layout, read as
// flights: positions in the order each layout writes them, the clock, the heights and the
// attitude where the file gives them, and broken cues skipped with what was readable kept.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geo/Geodesy.h"
#include "track/FlightFormats.h"
#include "track/SrtReader.h"

namespace
{

RecordedFlight Read(const std::string& text)
{
    RecordedFlight flight;
    std::string message;
    EXPECT_TRUE(IsSrt(text));
    EXPECT_TRUE(ReadSrtTrack(FlightFile("clip.SRT", text), &flight, &message)) << message;
    return flight;
}

TEST(VideoTelemetryTest, BracketedKeysWithWallClockAndAbsoluteHeights)
{
    // Markup, a misspelt key and a clock with milliseconds and then microseconds.
    const RecordedFlight flight = Read("1\r\n00:00:00,000 --> 00:00:00,033\r\n<font size=\"28\">FrameCnt: 1, DiffTime: 33ms\r\n"
                                       "2025-06-01 10:20:30,100,250\r\n[iso: 100] [latitude: 46.512345] [longtitude: 7.654321] [rel_alt: 12.500 abs_alt: 1512.300]</font>\r\n\r\n"
                                       "2\r\n00:00:00,033 --> 00:00:00,066\r\n<font size=\"28\">FrameCnt: 2, DiffTime: 33ms\r\n"
                                       "2025-06-01 10:20:30,133,300\r\n[latitude: 46.512355] [longitude: 7.654331] [rel_alt: 12.600 abs_alt: 1512.400]</font>\r\n");
    ASSERT_EQ(flight.positions.size(), 2u);
    EXPECT_EQ(flight.format, "video telemetry");
    EXPECT_TRUE(flight.timesSinceEpoch);
    EXPECT_NEAR(std::fmod(flight.positions[0].time, SecondsPerDay), 10 * 3600 + 20 * 60 + 30.10025, 1e-6);
    EXPECT_NEAR(flight.positions[1].time - flight.positions[0].time, 0.03305, 1e-6);
    EXPECT_DOUBLE_EQ(flight.positions[0].longitude, 7.654321);
    EXPECT_DOUBLE_EQ(flight.positions[1].altitude, 1512.4);
    EXPECT_TRUE(flight.notes.empty());
}

TEST(VideoTelemetryTest, OlderLayoutReadsLongitudeFirstAndHeightsAboveTakeoff)
{
    // The clock line counts whole seconds: the cues' own times carry it between them.
    const RecordedFlight flight = Read("1\n00:00:01,000 --> 00:00:02,000\nHOME(-3.1234,55.6789) 2019.04.02 09:15:07\nGPS(-3.1235,55.6790,14) BAROMETER:2.5\n\n"
                                       "2\n00:00:02,500 --> 00:00:03,000\nHOME(-3.1234,55.6789) 2019.04.02 09:15:08\nGPS(-3.1236,55.6791,15) BAROMETER:4.0\n");
    ASSERT_EQ(flight.positions.size(), 2u);
    EXPECT_DOUBLE_EQ(flight.positions[0].latitude, 55.6790);
    EXPECT_DOUBLE_EQ(flight.positions[0].longitude, -3.1235);
    EXPECT_DOUBLE_EQ(flight.positions[1].time - flight.positions[0].time, 1.5);
    EXPECT_DOUBLE_EQ(flight.positions[1].altitude, 4.0);
    ASSERT_EQ(flight.notes.size(), 1u);
    EXPECT_NE(flight.notes[0].find("above the take-off point"), std::string::npos);
    EXPECT_EQ(flight.channels[static_cast<int>(FlightChannel::Satellites)].back().value, 15.0);
    // Latitude first where the second number cannot be a latitude.
    const RecordedFlight swapped = Read("1\n00:00:00,000 --> 00:00:00,033\nGPS(35.6812,139.7671,20.5) BAROMETER(3.0)\n");
    ASSERT_EQ(swapped.positions.size(), 1u);
    EXPECT_DOUBLE_EQ(swapped.positions[0].latitude, 35.6812);
    EXPECT_DOUBLE_EQ(swapped.positions[0].longitude, 139.7671);
}

TEST(VideoTelemetryTest, ProfessionalLayoutGivesHomeHeightsAttitudeAndSpeed)
{
    const RecordedFlight flight = Read("1\n00:00:00,000 --> 00:00:01,000\nF/4.0, SS 200, ISO 100, EV 0, GPS (12.4567, 41.8901, 17), HOME (12.4560, 41.8895, 21.50m), "
                                       "D 95.10m, H 60.25m, H.S 4.20m/s, V.S 0.10m/s, F.PRY (3.5\u00b0, -12.0\u00b0, 245.0\u00b0), G.PRY (-30.0\u00b0, 0.0\u00b0, 245.5\u00b0)\n");
    ASSERT_EQ(flight.positions.size(), 1u);
    EXPECT_DOUBLE_EQ(flight.positions[0].latitude, 41.8901);
    EXPECT_DOUBLE_EQ(flight.positions[0].altitude, 81.75);
    EXPECT_FALSE(flight.timesSinceEpoch);
    ASSERT_EQ(flight.attitudes.size(), 1u);
    ASSERT_EQ(flight.streams.size(), 3u) << "the cues, F.PRY and G.PRY";
    EXPECT_EQ(flight.streams[0].name, flight.attitudeSource) << "the stream the summary names";
    EXPECT_NEAR(flight.attitudes[0].pitch, 3.5 * RadiansPerDegree, 1e-12);
    EXPECT_NEAR(flight.attitudes[0].roll, -12.0 * RadiansPerDegree, 1e-12);
    EXPECT_NEAR(flight.attitudes[0].yaw, -115.0 * RadiansPerDegree, 1e-12); // 245° east of north, as ±180°
    EXPECT_EQ(flight.channels[static_cast<int>(FlightChannel::GroundSpeed)].back().value, 4.2);
}

TEST(VideoTelemetryTest, BrokenCuesAreSkippedAndCountedAndTheRestKept)
{
    const RecordedFlight flight = Read("1\n00:00:00,000 --> 00:00:00,033\n[latitude: 0.000000] [longitude: 0.000000] [rel_alt: 0.0 abs_alt: 0.0]\n\n"
                                       "2\n00:00:00,033 --> 00:00:00,066\n#@!% noise %%% [iso: 100\n\n"
                                       "3\n00:00:00,066 --> 00:00:00,099\n[latitude: 48.100000] [longitude: 11.500000] [rel_alt: 1.0 abs_alt: 520.0]\n\n"
                                       "4\n00:00:00,099 --> 00:00:00,132\n[latitude: 148.1] [longitude: 11.5]\n\n"
                                       "5\n00:00:00,132 --> 00:00:00,165\n[latitude: 48.100010] [longitu");
    ASSERT_EQ(flight.positions.size(), 1u);
    EXPECT_DOUBLE_EQ(flight.positions[0].time, 0.066);
    ASSERT_EQ(flight.skippedPoints.size(), 3u);
    EXPECT_EQ(flight.skippedPoints[0].first, "without a fix (at 0 N 0 E) (on line 2)");
    EXPECT_EQ(flight.skippedPoints[1].second, 2u) << "the noise and the cut-off cue";
    // A file that is no subtitle file is not taken for one, nor is a CSV with a number first.
    EXPECT_FALSE(IsSrt("12\nlatitude,longitude\n"));
    EXPECT_FALSE(IsSrt(""));
    const FlightFormat* format = DetectFlightFormat("1\n00:00:00,000 --> 00:00:01,000\nGPS(8.1,47.2,10)\n");
    ASSERT_NE(format, nullptr);
    EXPECT_STREQ(format->name, "video telemetry");
}

} // namespace
