// Where the camera looked: the gimbal's attitude each format records, on the converted log's
// clock with the yaw from north, its angle of view from a focal length, and the file `track`
// writes beside the log, which loading reads back.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flight/LoadedFlight.h"
#include "geo/Geodesy.h"
#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "track/CameraAttitude.h"
#include "track/FlightConversion.h"
#include "track/FlightFormats.h"

namespace
{

double AngleApart(double a, double b)
{
    return std::fabs(std::remainder(a - b, TwoPi));
}

// Two cues a second apart in the professional layout, the camera turned and tilted between them.
const char* const ProfessionalClip =
    "1\n00:00:00,000 --> 00:00:01,000\nF/4.0, SS 200, ISO 100, EV 0, GPS (12.4567, 41.8901, 17), HOME (12.4560, 41.8895, 21.50m), D 95.10m, H 60.25m, "
    "H.S 4.20m/s, V.S 0.10m/s, F.PRY (3.5\u00b0, -12.0\u00b0, 245.0\u00b0), G.PRY (-30.0\u00b0, 1.5\u00b0, 245.5\u00b0)\n\n"
    "2\n00:00:01,000 --> 00:00:02,000\nF/4.0, SS 200, ISO 100, EV 0, GPS (12.4568, 41.8902, 17), HOME (12.4560, 41.8895, 21.50m), D 96.10m, H 60.30m, "
    "H.S 4.20m/s, V.S 0.10m/s, F.PRY (3.5\u00b0, -12.0\u00b0, 246.0\u00b0), G.PRY (-90.0\u00b0, 0.0\u00b0, 170.0\u00b0)\n";

} // namespace

class CameraAttitudeTest : public DataToolFixture
{
};

TEST_F(CameraAttitudeTest, EachAutopilotLogGivesTheGimbalOnTheLogsClockFromNorth)
{
    CircleFlight flight;
    flight.gimbal = true;
    const std::pair<const char*, std::string> logs[] = {
        {"ULog (yaw from the nose)", CircleULog(flight)},
        {"DataFlash (MNT)", CircleDataFlash(flight)},
        {"telemetry 1 (MOUNT_STATUS, yaw from the nose)", CircleTelemetry(flight, 1)},
        {"telemetry 2 (GIMBAL_DEVICE_ATTITUDE_STATUS, another component and clock)", CircleTelemetry(flight, 2)},
    };
    const char* const sources[] = {"gimbal_device_attitude_status", "MNT", "MOUNT_STATUS", "GIMBAL_DEVICE_ATTITUDE_STATUS"};
    for (size_t i = 0; i < 4; ++i)
    {
        const std::string label = logs[i].first;
        WriteText("gimbal.in", logs[i].second);
        RecordedFlight recorded;
        ASSERT_TRUE(ReadFlight("gimbal.in", &recorded)) << label;
        EXPECT_EQ(recorded.gimbalSource, sources[i]) << label;
        const ConvertedFlight converted = ConvertFlight(recorded, ConversionSettings());
        ASSERT_FALSE(converted.rows.empty()) << label;
        ASSERT_EQ(converted.gimbal.size(), 101u) << label << ": 20 s at 5 a second, both ends";
        for (const TimedGimbal& g : converted.gimbal)
        {
            // Telemetry puts the gimbal on the boot clock by the link's time stamps.
            const double s = g.time - flight.bootTime;
            ASSERT_GT(s, -0.1) << label;
            const GimbalState truth = GimbalAt(std::max(0.0, s));
            ASSERT_NEAR(g.pitch, truth.pitch, 2e-3) << label << " at " << s;
            ASSERT_NEAR(g.roll, truth.roll, 2e-3) << label << " at " << s;
            ASSERT_LT(AngleApart(g.yaw, truth.yaw), 5e-3) << label << " at " << s;
            ASSERT_FALSE(g.yawFromNose) << label;
            ASSERT_TRUE(std::isnan(g.horizontalFov)) << label << ": no log names a lens";
        }
        EXPECT_NEAR(converted.gimbal[50].time, flight.bootTime + 10.0, 0.05) << label;
    }
    // Without the gimbal's records a log has none.
    WriteText("plain.in", CircleULog(CircleFlight()));
    RecordedFlight plain;
    ASSERT_TRUE(ReadFlight("plain.in", &plain));
    EXPECT_TRUE(ConvertFlight(plain, ConversionSettings()).gimbal.empty());
}

TEST_F(CameraAttitudeTest, SubtitlesGiveTheGimbalAndTheAngleOfViewOfTheFocalLength)
{
    WriteText("pro.SRT", ProfessionalClip);
    RecordedFlight pro;
    ASSERT_TRUE(ReadFlight("pro.SRT", &pro));
    ASSERT_EQ(pro.gimbal.size(), 2u);
    EXPECT_EQ(pro.gimbalSource, "G.PRY");
    EXPECT_NEAR(pro.gimbal[0].pitch, -30.0 * Degree, 1e-12);
    EXPECT_NEAR(pro.gimbal[0].roll, 1.5 * Degree, 1e-12);
    EXPECT_NEAR(pro.gimbal[0].yaw, -114.5 * Degree, 1e-12) << "245.5\u00b0 from north, as \u00b1180\u00b0";
    EXPECT_NEAR(pro.gimbal[1].pitch, -90.0 * Degree, 1e-12);
    EXPECT_NEAR(pro.attitudes[0].pitch, 3.5 * Degree, 1e-12) << "the aircraft's own attitude stays F.PRY's";
    EXPECT_TRUE(std::isnan(pro.gimbal[0].horizontalFov)) << "this layout names no focal length";

    // The keyed layout: gb_ keys and a 24 mm focal length, whose angle across a 16:9 picture
    // follows from the 43.27 mm diagonal: 2 atan(43.27 / 48 * 16 / sqrt(337)).
    WriteText("keyed.SRT", "1\n00:00:00,000 --> 00:00:00,033\n<font size=\"28\">FrameCnt: 1\n2026-05-27 13:10:00.015\n[iso: 200] [focal_len: 24.00] "
                           "[latitude: 53.365080] [longitude: 6.460739] [rel_alt: 5.400 abs_alt: 120.5] [gb_yaw: -162.8 gb_pitch: -45.0 gb_roll: 0.5]</font>\n");
    RecordedFlight keyed;
    ASSERT_TRUE(ReadFlight("keyed.SRT", &keyed));
    ASSERT_EQ(keyed.gimbal.size(), 1u);
    EXPECT_NEAR(keyed.gimbal[0].yaw, -162.8 * Degree, 1e-12);
    EXPECT_NEAR(keyed.gimbal[0].pitch, -45.0 * Degree, 1e-12);
    EXPECT_NEAR(keyed.gimbal[0].roll, 0.5 * Degree, 1e-12);
    EXPECT_NEAR(keyed.gimbal[0].horizontalFov / Degree, 76.3, 0.1);
    EXPECT_NEAR(keyed.gimbal[0].verticalFov / Degree, 47.7, 0.1);
    EXPECT_NEAR(keyed.gimbal[0].time, keyed.positions[0].time, 1e-9) << "on the positions' clock";
}

TEST_F(CameraAttitudeTest, TrackWritesTheCameraBesideTheLogAndLoadingReadsItBack)
{
    WriteText("clip.SRT", ProfessionalClip);
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "clip.SRT", "--out", "clip.log", "--info"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("camera from G.PRY"), std::string::npos) << err;
    ASSERT_TRUE(Exists("clip.camera.csv"));
    const std::string csv = ReadText("clip.camera.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "time,pitch,roll,yaw,hfov,vfov");
    EXPECT_NE(csv.find("\n1.000,-90.00,0.00,170.00,,\n"), std::string::npos) << csv;

    // The log with the file beside it, and the clip converted in memory, give the same.
    const LoadedFlight fromLog = LoadLogQuietly("clip.log");
    LoadedFlight converted;
    ASSERT_EQ(LoadFlight("clip.SRT", nullptr, FlightFiles::Convert, LoadReport::Quiet, &converted), 0);
    ASSERT_EQ(fromLog.gimbal.size(), 2u);
    ASSERT_EQ(converted.gimbal.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
    {
        EXPECT_NEAR(fromLog.gimbal[i].time, converted.gimbal[i].time, 1e-3);
        EXPECT_NEAR(fromLog.gimbal[i].pitch, converted.gimbal[i].pitch, 1e-4);
        EXPECT_NEAR(fromLog.gimbal[i].yaw, converted.gimbal[i].yaw, 1e-4);
    }

    // A line that holds no attitude is skipped and the rest kept, with angles of view where given.
    WriteText("hand.camera.csv", "time,pitch,roll,yaw,hfov,vfov\n2.000,-10.00,0.00,90.00,60.00,40.00\nbroken,line\n1.000,-20.00,0.00,95.00,,\n3.0,-400,0,0,,\n");
    std::vector<TimedGimbal> read;
    size_t skipped = 0;
    std::string error;
    ASSERT_TRUE(ReadCameraAttitudes("hand.camera.csv", &read, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 2u);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_DOUBLE_EQ(read[0].time, 1.0) << "sorted by time";
    EXPECT_TRUE(std::isnan(read[0].horizontalFov));
    EXPECT_NEAR(read[1].verticalFov, 40.0 * Degree, 1e-12);
    WriteText("bad.camera.csv", "time,kind\n");
    EXPECT_FALSE(ReadCameraAttitudes("bad.camera.csv", &read, &skipped, &error));

    // A flight without a camera leaves no file from another flight beside its log.
    WriteText("plain.in", CircleULog(CircleFlight()));
    ASSERT_EQ(RunTool({"track", "plain.in", "--out", "clip.log"}, &out, &err), 0) << err;
    EXPECT_FALSE(Exists("clip.camera.csv"));
    EXPECT_TRUE(LoadLogQuietly("clip.log").gimbal.empty());
}
