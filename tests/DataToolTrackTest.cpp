#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <osg/Matrixd>
#include <osg/Quat>

#include "support/DataToolSupport.h"
#include "geo/MapProjection.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "track/FlightConversion.h"
#include "track/FlightEvents.h"
#include "track/TrackReading.h"

namespace
{

// Where a direction of the aircraft model points in the scene for the logged angles: the
// model is stood upright (nose along model -x, up along +y) and then turned by roll, pitch
// and heading, each osg::Quat product applying its left operand first.
osg::Vec3d SceneDirection(const osg::Vec3d& model, const SampleRow& s)
{
    const osg::Quat upright = osg::Quat(osg::PI_2, osg::Vec3d(1, 0, 0)) * osg::Quat(-osg::PI_2, osg::Vec3d(0, 0, 1));
    const osg::Quat qHeading(s.gps_curheading, osg::Vec3d(0, 0, 1));
    const osg::Quat qPitch(s.pyro_curpitch, osg::Vec3d(1, 0, 0));
    const osg::Quat qRoll(s.pyro_curroll, osg::Vec3d(0, -1, 0));
    const osg::Matrixd toScene = osg::Matrixd::rotate(upright) * osg::Matrixd::rotate((qRoll * qPitch) * qHeading);
    return model * toScene;
}

osg::Vec3d Nose(const SampleRow& s)
{
    return SceneDirection(osg::Vec3d(-1, 0, 0), s);
}

osg::Vec3d Up(const SampleRow& s)
{
    return SceneDirection(osg::Vec3d(0, 1, 0), s);
}

// Scene direction (x south, y east) of a move north and east, metres.
osg::Vec3d SceneHorizontal(double north, double east)
{
    return osg::Vec3d(-north, east, 0.0);
}

} // namespace

class TrackConvertTest : public DataToolFixture
{
protected:
    // The positions a track file of this text reads as, as `track` reads it; empty, with a
    // failure, when the file cannot be read.
    static std::vector<TimedPosition> ReadPositions(const std::string& name, const std::string& text)
    {
        WriteText(name, text);
        RecordedFlight flight;
        EXPECT_TRUE(ReadFlight(name, &flight)) << name;
        return flight.positions;
    }
};

TEST_F(TrackConvertTest, NoseFollowsTheCourseAndClimbsNoseUp)
{
    for (double course : {0.0, 45.0, 90.0, 200.0, 315.0})
    {
        // Straight at 30 m/s on the course, climbing 3 m/s.
        std::vector<TimedPosition> points;
        for (int t = 0; t <= 10; ++t)
        {
            const double north = 30.0 * t * std::cos(course * Degree), east = 30.0 * t * std::sin(course * Degree);
            points.push_back(TimedPosition{100.0 + t, 47.0 + north / MetresPerDegree, 8.0 + east / (MetresPerDegree * std::cos(47.0 * Degree)), 200.0 + 3.0 * t});
        }
        const std::vector<SampleRow> samples = ConvertTrackPoints(points, 1.0);
        ASSERT_EQ(samples.size(), 11u);
        const SampleRow& s = samples[5];
        osg::Vec3d expected = SceneHorizontal(std::cos(course * Degree), std::sin(course * Degree));
        const double climb = std::atan2(3.0, 30.0);
        expected = expected * std::cos(climb) + osg::Vec3d(0, 0, std::sin(climb));
        const osg::Vec3d nose = Nose(s);
        EXPECT_NEAR(nose.x(), expected.x(), 1e-3) << "course " << course;
        EXPECT_NEAR(nose.y(), expected.y(), 1e-3) << "course " << course;
        EXPECT_NEAR(nose.z(), expected.z(), 1e-3) << "course " << course;
        EXPECT_NEAR(s.pyro_curroll, 0.0, 1e-6) << "a straight flight has wings level";
        EXPECT_NEAR(s.gps_curspeed, 30.0, 0.05);
    }
}

TEST_F(TrackConvertTest, CircleFromGpxTurnsNoseAlongTrackAndBanksTowardsCentre)
{
    const double radius = 300.0;
    for (bool clockwise : {true, false})
    {
        WriteText("circle.gpx", CircleGpx(Circle(clockwise, radius)));
        RecordedFlight flight;
        ASSERT_TRUE(ReadFlight("circle.gpx", &flight));
        const std::vector<TimedPosition>& points = flight.positions;
        ASSERT_EQ(points.size(), 121u);
        EXPECT_TRUE(flight.timesSinceEpoch);
        EXPECT_DOUBLE_EQ(std::fmod(points.front().time, 86400.0), 36000.0) << "seconds since 1970, 10:00 UTC";
        const std::vector<SampleRow> samples = ConvertTrackPoints(points, 1.0);
        ASSERT_EQ(samples.size(), 121u);

        const double speed = 2.0 * Pi * radius / 60.0;
        const double bank = std::atan(speed * speed / (radius * 9.80665));
        for (size_t i = 5; i + 5 < samples.size(); ++i)
        {
            const SampleRow& s = samples[i];
            const double north = (s.gps_curlat / 60.0 - 47.0) * MetresPerDegree;
            const double east = (s.gps_curlon / 60.0 - 8.0) * MetresPerDegree * std::cos(47.0 * Degree);
            const osg::Vec3d toCentre = SceneHorizontal(-north, -east) / radius;
            osg::Vec3d tangent = SceneHorizontal(samples[i + 1].gps_curlat - samples[i - 1].gps_curlat, (samples[i + 1].gps_curlon - samples[i - 1].gps_curlon) * std::cos(47.0 * Degree));
            tangent.normalize();

            const osg::Vec3d nose = Nose(s);
            EXPECT_GT(nose * tangent, std::cos(3.0 * Degree)) << "sample " << s.samplenumber << (clockwise ? " clockwise" : " anticlockwise");
            // The lift leans into the turn by the coordinated-turn bank.
            const osg::Vec3d up = Up(s);
            EXPECT_NEAR(std::asin(up * toCentre), bank, 0.03) << "sample " << s.samplenumber << (clockwise ? " clockwise" : " anticlockwise");
            EXPECT_GT(up.z(), 0.0);
        }
    }
}

TEST_F(TrackConvertTest, IgcRecordsKeepSouthAndWestNegative)
{
    const std::vector<TimedPosition> points = ReadPositions("flight.igc",
                                                           "AXXX001\r\nHFDTE150324\r\n"
                                                           "B1200003345123S07012345WA0012300150\r\n"
                                                           "B1200023345223S07012545WA0012400160\r\n"
                                                           "B1200044710000N00830000EV0050000000\r\n");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_NEAR(points[0].latitude, -(33.0 + 45.123 / 60.0), 1e-9);
    EXPECT_NEAR(points[0].longitude, -(70.0 + 12.345 / 60.0), 1e-9);
    EXPECT_DOUBLE_EQ(points[0].altitude, 150.0) << "GNSS altitude of a valid fix";
    EXPECT_DOUBLE_EQ(points[0].time, 43200.0);
    EXPECT_NEAR(points[2].latitude, 47.0 + 10.0 / 60.0, 1e-9);
    EXPECT_NEAR(points[2].longitude, 8.5, 1e-9);
    EXPECT_DOUBLE_EQ(points[2].altitude, 500.0) << "pressure altitude without a valid GNSS one";

    const std::vector<SampleRow> samples = ConvertTrackPoints({points[0], points[1]}, 1.0);
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_NEAR(samples[0].gps_curlat, -(33.0 * 60.0 + 45.123), 1e-6) << "minutes of arc, negative in the south";
    EXPECT_NEAR(samples[0].gps_curlon, -(70.0 * 60.0 + 12.345), 1e-6) << "minutes of arc, negative in the west";
}

TEST_F(TrackConvertTest, IgcFlightPastMidnightKeepsCountingUp)
{
    const std::vector<TimedPosition> points = ReadPositions("late.igc", "B2359584700000N00800000EA0050000500\nB0000024700100N00800000EA0050000500\n");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[1].time - points[0].time, 4.0);
}

TEST_F(TrackConvertTest, ATimeOfAUtcDayIsWrittenWithItsDate)
{
    // ddmmyy, as a GPS logs it: from a GPX's times, from an IGC's HFDTE; a clock that names
    // no day (a CSV of times of the day alone) gets none.
    WriteText("day.gpx", CircleGpx(Circle(true, 100.0)));
    WriteText("day.igc", "AXXX001\nHFDTEDATE:150324,01\nB1200004700000N00800000EA0050000500\nB1200024700100N00800000EA0050000500\n");
    WriteText("day.csv", "time,lat,lon,alt\n10:00:00,47.0,8.0,500\n10:00:02,47.001,8.0,500\n");
    for (const auto& [name, date] : {std::pair<const char*, int32_t>{"day.gpx", 10524}, {"day.igc", 150324}, {"day.csv", 0}})
    {
        RecordedFlight flight;
        ASSERT_TRUE(ReadFlight(name, &flight)) << name;
        const ConvertedFlight converted = ConvertFlight(flight, ConversionSettings{1.0, 300.0});
        ASSERT_FALSE(converted.rows.empty()) << name;
        EXPECT_EQ(converted.rows.back().gps_date, date) << name;
        EXPECT_EQ(FormatConvertedLog(converted).find("gps_date") != std::string::npos, date != 0) << name;
    }
}

TEST_F(TrackConvertTest, CsvHeaderNamesTheColumnsInAnyOrder)
{
    const std::vector<TimedPosition> points = ReadPositions("track.csv", "alt (m);Lon;time;Lat\n500;8.0;10:00:00;47.0\n510;8.001;10:00:02;47.0\n");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[1].time, 36002.0);
    EXPECT_DOUBLE_EQ(points[1].longitude, 8.001);
    EXPECT_DOUBLE_EQ(points[1].altitude, 510.0);

    WriteText("bad.csv", "when,where\n1,2\n");
    RecordedFlight none;
    EXPECT_FALSE(ReadFlight("bad.csv", &none));
}

TEST_F(TrackConvertTest, IsoTimesWithOffsetsAndFractions)
{
    double seconds = 0.0;
    ASSERT_TRUE(ParseIsoTime("2024-05-01T10:00:00.5Z", &seconds));
    EXPECT_DOUBLE_EQ(std::fmod(seconds, 86400.0), 36000.5);
    ASSERT_TRUE(ParseIsoTime("2024-05-01T12:00:00+02:00", &seconds));
    EXPECT_DOUBLE_EQ(std::fmod(seconds, 86400.0), 36000.0);
    ASSERT_TRUE(ParseIsoTime("1970-01-02T00:00:00Z", &seconds));
    EXPECT_DOUBLE_EQ(seconds, 86400.0);
    EXPECT_FALSE(ParseIsoTime("yesterday", &seconds));
}

TEST_F(TrackConvertTest, ResamplingAtTheRateInterpolatesInTime)
{
    const std::vector<TimedPosition> points = {{0.0, 47.0, 8.0, 100.0}, {2.0, 47.0, 8.0, 100.0}, {2.0, 47.1, 8.0, 100.0}, {4.0, 47.0, 8.0, 300.0}};
    const std::vector<SampleRow> samples = ConvertTrackPoints(points, 2.0);
    ASSERT_EQ(samples.size(), 9u) << "4 s at 2 Hz, both ends included; the repeated time is dropped";
    EXPECT_DOUBLE_EQ(samples[1].gps_time, 0.5);
    EXPECT_NEAR(samples[6].gps_curalt, 200.0, 1e-9);
    EXPECT_EQ(samples[8].samplenumber, 9);
}

TEST_F(TrackConvertTest, LogReadsBackThroughTheProgramsScanner)
{
    WriteText("circle.gpx", CircleGpx(Circle(true, 300.0)));
    std::string log, err;
    ASSERT_EQ(RunTool({"track", "circle.gpx", "--rate", "2"}, &log, &err), 0) << err;
    RecordedFlight flight;
    ASSERT_TRUE(ReadFlight("circle.gpx", &flight));
    const std::vector<SampleRow> samples = ConvertTrackFlight(flight, 2.0);
    ASSERT_DOUBLE_EQ(samples.front().gps_time, 36000.0) << "seconds from midnight of the first day";

    ResetScanner();
    ResetSampleTable();
    currentColumn = 0;
    FILE* input = fmemopen(&log[0], log.size(), "r");
    ASSERT_NE(input, nullptr);
    SetScanInput(input);
    scan();
    fclose(input);
    ASSERT_EQ(SampleTable.rowCount, static_cast<int32_t>(samples.size()));
    for (int32_t i = 0; i < SampleTable.rowCount; ++i)
    {
        const SampleRow& row = SampleTable.rows[i];
        EXPECT_EQ(row.samplenumber, i + 1);
        EXPECT_NEAR(row.gps_time, samples[i].gps_time, 1e-3);
        EXPECT_NEAR(row.gps_curlat, samples[i].gps_curlat, 1e-6);
        EXPECT_NEAR(row.gps_curlon, samples[i].gps_curlon, 1e-6);
        EXPECT_NEAR(row.gps_curheading, samples[i].gps_curheading, 1e-5);
        EXPECT_NEAR(row.pyro_curroll, samples[i].pyro_curroll, 1e-5);
        EXPECT_NEAR(row.pyro_curpitch, samples[i].pyro_curpitch, 1e-5);
    }
    ResetScanner();
}

TEST_F(TrackConvertTest, TrackOfOnePointFailsWithOneLineAndNoLog)
{
    WriteText("one.gpx", "<gpx><trk><trkseg><trkpt lat=\"47\" lon=\"8\"><time>2024-05-01T10:00:00Z</time></trkpt></trkseg></trk></gpx>");
    std::string out, err;
    EXPECT_EQ(RunTool({"track", "one.gpx"}, &out, &err), ExitBadInput);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    EXPECT_EQ(RunTool({"track", "absent.igc"}, &out, &err), ExitBadInput);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(TrackConvertTest, EventsCsvRoundTripsQuotedTextsAndSkipsDamagedLines)
{
    EXPECT_EQ(EventsPathFor("dir.v2/flight.log"), "dir.v2/flight.events.csv");
    EXPECT_EQ(EventsPathFor("dir.v2/flight"), "dir.v2/flight.events.csv");
    const std::vector<FlightEvent> events = {
        {2.5, FlightEventKind::Message, 4, "Takeoff, \"fast\"\nthen \x1b[32mhold"},
        {-1.25, FlightEventKind::Mode, 6, "POSCTL"},
        {7.0, FlightEventKind::Failsafe, 2, "battery"},
    };
    std::string error;
    ASSERT_TRUE(WriteFlightEvents("a.events.csv", events, &error)) << error;
    const std::string text = ReadText("a.events.csv");
    EXPECT_EQ(text, "time,kind,severity,text\n2.500,message,4,\"Takeoff, \"\"fast\"\"\nthen  [32mhold\"\n-1.250,mode,6,POSCTL\n7.000,failsafe,2,battery\n");
    std::vector<FlightEvent> read;
    size_t skipped = 99;
    ASSERT_TRUE(ReadFlightEvents("a.events.csv", &read, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 0u);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].text, "POSCTL") << "sorted by time";
    EXPECT_EQ(read[1].text, "Takeoff, \"fast\"\nthen  [32mhold");
    EXPECT_EQ(read[1].severity, 4);
    EXPECT_EQ(read[2].kind, FlightEventKind::Failsafe);

    // Damaged lines: an unknown kind, a severity beyond 7, a time that is no number, a field
    // too many, a stray quote, a quote left open; then a long text, cut.
    WriteText("b.events.csv", text + "3,landing,6,x\n4,message,9,x\nsoon,message,6,x\n5,arm,5,a,b\n6,message,6,ab\"c\n8,message,6,\"open\n9,disarm,5," +
                                  std::string(300, 'y') + "\n");
    ASSERT_TRUE(ReadFlightEvents("b.events.csv", &read, &skipped, &error)) << error;
    EXPECT_EQ(skipped, 6u);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[3].kind, FlightEventKind::Disarming);
    EXPECT_EQ(read[3].text, std::string(200, 'y'));
    WriteText("c.events.csv", "time,kind\n");
    EXPECT_FALSE(ReadFlightEvents("c.events.csv", &read, &skipped, &error));
}
