// Tracks as GPS loggers, phones, gliding tools and avionics write them: glitched clocks, gaps,
// untimed points, missing heights, wild fixes and the CSV shapes of real exporters. Each is
// converted by `track` with nothing lost and nothing made up, and said so on stderr.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/DataToolSupport.h"
#include "geo/MapProjection.h"
#include "log/LogAttitude.h"
#include "track/PositionCleaning.h"
#include "track/TrackReading.h"

namespace
{

// One trkpt; no <ele> for a NaN altitude, no <time> for an empty time.
std::string Point(double latitude, double longitude, double altitude, const std::string& time)
{
    char text[256];
    snprintf(text, sizeof text, "<trkpt lat=\"%.7f\" lon=\"%.7f\">", latitude, longitude);
    std::string point = text;
    if (std::isfinite(altitude))
    {
        snprintf(text, sizeof text, "<ele>%.1f</ele>", altitude);
        point += text;
    }
    if (!time.empty())
        point += "<time>" + time + "</time>";
    return point + "</trkpt>\n";
}

// "2010-08-05T14:MM:SSZ" for a second of that hour.
std::string At(int second)
{
    char text[32];
    snprintf(text, sizeof text, "2010-08-05T14:%02d:%02dZ", second / 60, second % 60);
    return text;
}

// A GPX of the tracks, each one trk of one trkseg, in the order given.
std::string Gpx(const std::vector<std::string>& tracks)
{
    std::string text = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\">\n";
    for (const std::string& track : tracks)
        text += "<trk><trkseg>\n" + track + "</trkseg></trk>\n";
    return text + "</gpx>\n";
}

// Walking north from 45.77 N 14.35 E at 1.5 m/s, one point a second from `first` on.
std::string Walk(int first, int count)
{
    std::string points;
    for (int t = first; t < first + count; ++t)
        points += Point(45.77 + 1.5 * t / MetresPerDegree, 14.35, 540.0, At(t));
    return points;
}

// The rows of a converted log (its header line left out), each cut into its fields.
std::vector<std::vector<std::string>> Rows(const std::string& log)
{
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : SplitLines(log))
        if (!line.empty() && line[0] != 's')
            rows.push_back(SplitFields(line, ','));
    return rows;
}

double Field(const std::vector<std::string>& row, size_t column)
{
    return atof(row.at(column).c_str());
}

const size_t TimeField = 1, AltitudeField = 4, SpeedField = 5, PitchField = 7;

} // namespace

class WildTrackTest : public DataToolFixture
{
protected:
    // Runs `track` on the file; returns its status, the rows and stderr.
    int Track(const std::string& file, std::vector<std::vector<std::string>>* rows, std::string* err, const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments = {"track", file};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::string out;
        const int status = RunTool(arguments, &out, err);
        *rows = Rows(out);
        return status;
    }
};

TEST_F(WildTrackTest, OneGlitchedDateIsSkippedNotResampledOverTenYears)
{
    WriteText("lake.gpx", Gpx({Point(45.77, 14.35, 540.0, "2000-01-01T00:00:00Z") + Walk(1, 30)}));
    std::vector<std::vector<std::string>> rows;
    std::string err;
    ASSERT_EQ(Track("lake.gpx", &rows, &err), 0) << err;
    EXPECT_EQ(rows.size(), 30u);
    EXPECT_EQ(Field(rows.front(), TimeField), 14 * 3600.0 + 1.0) << "the clock starts on the flight's day";
    EXPECT_NE(err.find("31 points read, 30 used, 1 skipped (1 far in time from the rest"), std::string::npos) << err;
}

TEST_F(WildTrackTest, GapsOfMoreThanFiveMinutesMakeNoRowsButShorterOnesAreInterpolated)
{
    // 10 s walking, 4 min without a point, 10 s, an hour without one, 10 s.
    WriteText("gaps.gpx", Gpx({Walk(0, 10) + Walk(250, 10) + Point(45.8, 14.35, 540.0, "2010-08-05T15:30:00Z") + Point(45.8, 14.35, 540.0, "2010-08-05T15:30:09Z")}));
    std::vector<std::vector<std::string>> rows;
    std::string err;
    ASSERT_EQ(Track("gaps.gpx", &rows, &err), 0) << err;
    ASSERT_EQ(rows.size(), 260u + 10u);
    EXPECT_EQ(rows[259][0], "260");
    EXPECT_EQ(rows[260][0], "5401") << "sample numbers count on across the gap, from 14:00:00 to 15:30:00";
    EXPECT_NE(err.find("no rows in 1 gap of more than 300 s"), std::string::npos) << err;
}

TEST_F(WildTrackTest, PointsCloserThanARowStepFailClearlyOrConvertAtAHigherRate)
{
    WriteText("two.gpx", Gpx({Point(47.0, 8.0, 500.0, "2024-05-01T10:00:00Z") + Point(47.0001, 8.0, 500.0, "2024-05-01T10:00:00.994Z")}));
    std::vector<std::vector<std::string>> rows;
    std::string err;
    EXPECT_EQ(Track("two.gpx", &rows, &err), ExitBadInput);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("0.994 s apart"), std::string::npos) << err;
    EXPECT_NE(err.find("--rate of 1.01"), std::string::npos) << err;
    ASSERT_EQ(Track("two.gpx", &rows, &err, {"--rate", "1.01"}), 0) << err;
    ASSERT_EQ(rows.size(), 2u);
    for (const std::vector<std::string>& row : rows)
        for (const std::string& field : row)
            EXPECT_TRUE(std::isfinite(atof(field.c_str())) && field.find("nan") == std::string::npos) << field;
}

TEST_F(WildTrackTest, TimedPointsAreSortedWhateverOrderTheTracksComeIn)
{
    // Tracks stored newest first: all 40 seconds are kept.
    WriteText("newest-first.gpx", Gpx({Walk(30, 10), Walk(20, 10), Walk(10, 10), Walk(0, 10)}));
    std::vector<std::vector<std::string>> rows;
    std::string err;
    ASSERT_EQ(Track("newest-first.gpx", &rows, &err), 0) << err;
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_NEAR(Field(rows.back(), TimeField) - Field(rows.front(), TimeField), 39.0, 1e-9);

    // Separate date and time columns across midnight: 28 points, 28 rows.
    std::string csv = "Date,Time,Lat,Lon,Alt\n";
    for (int i = 0; i < 28; ++i)
    {
        const int second = 86400 - 14 + i;
        char line[128];
        snprintf(line, sizeof line, "2019/10/%02d,%02d:%02d:%02d,47.0,8.%06d,400\n", 23 + second / 86400, second / 3600 % 24, second / 60 % 60, second % 60, 20 * i);
        csv += line;
    }
    WriteText("midnight.csv", csv);
    ASSERT_EQ(Track("midnight.csv", &rows, &err), 0) << err;
    ASSERT_EQ(rows.size(), 28u);
    EXPECT_DOUBLE_EQ(Field(rows.back(), TimeField), 86400.0 + 13.0);
}

TEST_F(WildTrackTest, UntimedPointsAreSkippedAndCountedByTheirLine)
{
    // A receiver's untimed track before the timed one, and a last point without a time.
    std::string untimed = Point(45.38, 14.14, 733.0, "") + Point(45.381, 14.14, 735.0, "");
    WriteText("active-log.gpx", Gpx({untimed, Walk(0, 20) + Point(45.9, 14.35, 540.0, "")}));
    std::vector<std::vector<std::string>> rows;
    std::string err;
    ASSERT_EQ(Track("active-log.gpx", &rows, &err), 0) << err;
    EXPECT_EQ(rows.size(), 20u);
    EXPECT_NE(err.find("23 points read, 20 used, 3 skipped (3 without a time (the first on line 4))"), std::string::npos) << err;

    // What cannot be parsed is placed by its line, not by a byte offset.
    WriteText("cut.gpx", "<?xml version=\"1.0\"?>\n<gpx>\n<trk><trkseg>\n<trkpt lat=\"47\" lon=\"8\"\n");
    EXPECT_EQ(Track("cut.gpx", &rows, &err), ExitBadInput);
    EXPECT_NE(err.find("on line 4"), std::string::npos) << err;
}

TEST_F(WildTrackTest, MissingElevationIsInterpolatedNotZero)
{
    WriteText("ele.gpx", Gpx({Point(45.77, 14.35, 540.0, At(0)) + Point(45.7701, 14.35, NAN, At(10)) + Point(45.7702, 14.35, 560.0, At(20))}));
    std::vector<std::vector<std::string>> rows;
    std::string err;
    ASSERT_EQ(Track("ele.gpx", &rows, &err), 0) << err;
    ASSERT_EQ(rows.size(), 21u);
    for (const std::vector<std::string>& row : rows)
        EXPECT_NEAR(Field(row, AltitudeField), 540.0 + Field(row, TimeField) - Field(rows[0], TimeField), 1e-6);
    EXPECT_NE(err.find("1 altitude missing, interpolated"), std::string::npos) << err;
}

TEST_F(WildTrackTest, FixesNoAircraftCouldReachAreSkippedWhereverTheyLie)
{
    // An IGC whose first fix lies 330 km away, with another wild fix in the middle.
    std::string igc = "AXXX001\r\nHFDTE250819\r\nB0800004924974N00806431EA0000002282\r\n";
    for (int t = 1; t <= 20; ++t)
    {
        char line[64];
        snprintf(line, sizeof line, "B08%04d%02d%05dN00806431EA0000002%03d\r\n", t / 60 * 100 + t % 60, t == 10 ? 49 : 46, 24974 + 3 * t, 282 + t);
        igc += line;
    }
    WriteText("fiesch.igc", igc);
    std::vector<std::vector<std::string>> rows;
    std::string err;
    ASSERT_EQ(Track("fiesch.igc", &rows, &err), 0) << err;
    ASSERT_EQ(rows.size(), 20u);
    for (const std::vector<std::string>& row : rows)
        EXPECT_LT(Field(row, SpeedField), 10.0) << row[0];
    EXPECT_NE(err.find("2 reached faster than 400 m/s"), std::string::npos) << err;

    // The same rule in the conversion itself: a wild fix first, in the middle and last.
    std::vector<TimedPosition> points;
    for (int t = 0; t < 30; ++t)
        points.push_back({static_cast<double>(t), 46.4 + 1e-4 * t, 8.1, 2000.0});
    points[0].latitude = points[15].latitude = points[29].latitude = 49.4;
    PositionCounts counts;
    const std::vector<TimedPosition> kept = CleanPositions(points, &counts);
    EXPECT_EQ(counts.speedOutliers, 3u);
    ASSERT_EQ(kept.size(), 27u);
    EXPECT_EQ(kept.front().time, 1.0);
    EXPECT_EQ(kept.back().time, 28.0);
}

TEST_F(WildTrackTest, DerivedPitchIsBoundedAndNoFieldPrintsAMinusZero)
{
    // A walker on a steep, noisy path: 1 m/s along, 2 m/s up, a metre of noise.
    std::mt19937 random(14);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::string points;
    for (int t = 0; t < 300; ++t)
        points += Point(46.0 + (t + noise(random)) / MetresPerDegree, 8.0 + noise(random) / (MetresPerDegree * std::cos(46.0 * Degree)), 1000.0 + 2.0 * t + noise(random), At(t));
    WriteText("steep.gpx", Gpx({points}));
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "steep.gpx"}, &out, &err), 0) << err;
    for (const std::vector<std::string>& row : Rows(out))
    {
        EXPECT_LE(std::fabs(Field(row, PitchField)), 30.0 * Degree + 1e-5) << row[0];
        for (const std::string& field : row)
            EXPECT_FALSE(field[0] == '-' && field.find_first_not_of("0.", 1) == std::string::npos) << "a minus zero in row " << row[0] << ": " << field;
    }
}

TEST_F(WildTrackTest, LoggerCsvWithNoFixRowsUnitsInValuesAndHemisphereColumns)
{
    WriteText("logger.csv",
              "INDEX,RCR,DATE,TIME,VALID,LATITUDE,N/S,LONGITUDE,E/W,HEIGHT,SPEED,NSAT (USED/VIEW),\n"
              "1,T,2008/01/27,13:03:22.836,No fix,57.719581,N,12.016372,E,98.470 m,0.000 km/h,0(7),\n"
              "2,T,2008/01/27,14:14:35.000,SPS,33.70724,S,70.967281,W,22.480 m,36.000 km/h,6(9),\n"
              "3,T,2008/01/27,14:14:40.000,SPS,33.70744,S,70.967281,W,,36.000 km/h,8(9),\n"
              "4,T,2008/01/27,14:14:45.000,SPS,33.70764,S,70.967281,W,32.480 m,,8(9),\n");
    RecordedFlight flight;
    ASSERT_TRUE(ReadFlight("logger.csv", &flight));
    ASSERT_EQ(flight.positions.size(), 3u) << "the row without a fix is skipped";
    ASSERT_EQ(flight.skippedPoints.size(), 1u);
    EXPECT_EQ(flight.skippedPoints[0].first, "without a fix (on line 2)");
    const std::vector<SampleRow> rows = ConvertTrackFlight(flight, 1.0);
    ASSERT_EQ(rows.size(), 11u) << "from the first fixed row on";
    EXPECT_DOUBLE_EQ(rows[0].gps_time, 14 * 3600.0 + 14 * 60.0 + 35.0);
    EXPECT_NEAR(rows[0].gps_curlat, -33.70724 * 60.0, 1e-6) << "south";
    EXPECT_NEAR(rows[0].gps_curlon, -70.967281 * 60.0, 1e-6) << "west";
    EXPECT_NEAR(rows[5].gps_curalt, 27.48, 1e-9) << "the empty height lies between its neighbours";
    EXPECT_NEAR(rows[0].gps_curspeed, 10.0, 1e-9) << "36 km/h";
    EXPECT_EQ(rows[0].gps_numsatellites, 6);
}

TEST_F(WildTrackTest, AvionicsCsvGivesItsOwnAttitudeInFeetAndLocalTime)
{
    // Comment lines, a units line, local date and time with their offset, AltMSL in feet, a
    // magnetic heading with the variation, and no attitude while the system starts.
    WriteText("avionics.csv",
              "#airframe_info, log_version=\"1.00\", airframe_name=\"Test\"\n"
              "#yyy-mm-dd, hh:mm:ss,   hh:mm,     degrees,      degrees,  ft msl,     kt,    deg,    deg,   deg,   deg\n"
              "  Lcl Date, Lcl Time, UTCOfst,     Latitude,    Longitude,  AltMSL, GndSpd,  Pitch,   Roll,   HDG, MagVar\n"
              "2014-03-29, 16:50:22,  -06:00,   40.2171326, -111.7177124,  4500.0,   3.50,       ,       ,      ,   11.6\n"
              "2014-03-29, 16:50:23,  -06:00,   40.2172326, -111.7177124,  4510.0,  90.00,   5.00,  20.00, 348.4,   11.6\n"
              "2014-03-29, 16:50:24,  -06:00,   40.2173326, -111.7177124,  4520.0,  90.00,   5.00,  20.00, 348.4,   11.6\n");
    RecordedFlight flight;
    ASSERT_TRUE(ReadFlight("avionics.csv", &flight));
    const std::vector<SampleRow> rows = ConvertTrackFlight(flight, 1.0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(rows[0].gps_time, 22 * 3600.0 + 50 * 60.0 + 22.0) << "UTC";
    EXPECT_NEAR(rows[0].gps_curalt, 4500.0 * 0.3048, 1e-9);
    EXPECT_NEAR(rows[2].gps_curspeed, 90.0 * 1852.0 / 3600.0, 1e-9);
    for (const SampleRow& row : rows)
    {
        EXPECT_NEAR(row.pyro_curroll, LogRoll(20.0 * Degree), 1e-5) << "right wing down, held before the first record";
        EXPECT_NEAR(row.pyro_curpitch, LogPitch(5.0 * Degree), 1e-5);
        EXPECT_NEAR(row.gps_curheading, LogHeading(0.0), 1e-5) << "348.4 magnetic + 11.6 east is north";
    }
}

TEST_F(WildTrackTest, CsvValuesInTheShapesExportersWrite)
{
    struct Shape
    {
        const char* name;
        const char* text;
    };
    // Each holds two points, at 47.5 N 8.25 W, 400 m, and one second and 10 m north later.
    const Shape shapes[] = {
        {"suffixes", "time,lat,lon,alt\n10:00:00,47.5N,8.25W,400\n10:00:01,47.50009N,8.25W,400\n"},
        {"prefixes and spaces", "time;lat;lon;alt\n10:00:00;N 47.5;W 8.25;400 m\n10:00:01;N 47.50009;W 8.25;400 m\n"},
        {"epoch seconds", "timestamp,latitude,longitude,elevation\n1714557600,47.5,-8.25,400\n1714557601,47.50009,-8.25,400\n"},
        {"epoch milliseconds", "timestamp,latitude,longitude,elevation\n1714557600000,47.5,-8.25,400\n1714557601000,47.50009,-8.25,400\n"},
        {"quotes and ISO times", "\"time\",\"lat\",\"lon\",\"alt (ft)\"\n\"2024-05-01T12:00:00+02:00\",\"47.5\",\"-8.25\",\"1312.336\"\n\"2024-05-01T12:00:01+02:00\",\"47.50009\",\"-8.25\",\"1312.336\"\n"},
        {"comments and a hemisphere per axis", "# exported\nTime\tLatitude\tLatitude Ref\tLongitude\tLongitude Ref\tAltitude\n10:00:00\t47.5\tN\t8.25\tW\t400\n# pause\n10:00:01\t47.50009\tN\t8.25\tW\t400\n"},
    };
    for (const Shape& shape : shapes)
    {
        WriteText("shape.csv", shape.text);
        RecordedFlight flight;
        ASSERT_TRUE(ReadFlight("shape.csv", &flight)) << shape.name;
        ASSERT_EQ(flight.positions.size(), 2u) << shape.name;
        const TimedPosition& p = flight.positions[0];
        EXPECT_NEAR(std::fmod(p.time, 86400.0), 36000.0, 1e-6) << shape.name;
        EXPECT_NEAR(flight.positions[1].time - p.time, 1.0, 1e-6) << shape.name;
        EXPECT_DOUBLE_EQ(p.latitude, 47.5) << shape.name;
        EXPECT_DOUBLE_EQ(p.longitude, -8.25) << shape.name;
        EXPECT_NEAR(p.altitude, 400.0, 1e-4) << shape.name;
    }
}

TEST_F(WildTrackTest, RefusedCsvNamesTheColumnsItLacks)
{
    const std::pair<const char*, const char*> cases[] = {
        {"time,lat,lon\n1,47,8\n", "has no altitude column; it names time, lat, lon"},
        {"when,where,height\n1,2,3\n", "has no time and no latitude and no longitude column"},
    };
    for (const auto& entry : cases)
    {
        WriteText("refused.csv", entry.first);
        std::vector<std::vector<std::string>> rows;
        std::string err;
        EXPECT_EQ(Track("refused.csv", &rows, &err), ExitBadInput);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(entry.second), std::string::npos) << err;
    }
}
