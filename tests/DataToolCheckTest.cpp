// flightreplay-data check through the built program: its exit statuses, the report's limit
// of lines per kind, the selection, the CSV and the plot, and the flight against a plan.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/DataToolSupport.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "log/LogWriter.h"
#include "support/ElevationTiles.h"

namespace
{

// A flight of `rows` rows at 5 a second, due north at 10 m/s, 30 m over flat ground at
// 100 m in the middle of elevation tile (90, 140). `time(i)` gives row i's time.
std::string Log(int rows, double (*time)(int) = [](int i) { return 1000.0 + 0.2 * i; })
{
    const double latitude = 60.0 * GridRowLatitude(90 * 1024 + 500.3);
    const double longitude = 60.0 * GridColumnLongitude(140 * 1024 + 500.6);
    const double minutesPerStep = 2.0 * 180.0 * 60.0 / (Pi * EarthRadius);
    std::string text = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n";
    char line[160];
    for (int i = 0; i < rows; ++i)
    {
        snprintf(line, sizeof line, "%d,%.2f,%.6f,%.6f,130.00\n", i + 1, time(i), latitude + i * minutesPerStep, longitude);
        text += line;
    }
    return text;
}

void WriteFlatTile()
{
    ASSERT_TRUE(WriteElevationTile(90, 140, [](int32_t, int32_t) { return 100; }));
}

// The report's last line.
std::string Verdict(const std::string& out)
{
    const std::vector<std::string> lines = SplitLines(out);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line)
        if (line->compare(0, 8, "verdict:") == 0)
            return *line;
    return "";
}

} // namespace

class CheckCommandTest : public DataToolFixture
{
};

TEST_F(CheckCommandTest, ExitStatusIsTheVerdictAndBadInputForWhatCannotBeChecked)
{
    WriteFlatTile();
    std::string out, err;
    WriteText("clean.log", Log(50));
    EXPECT_EQ(RunTool({"check", "clean.log"}, &out), 0) << out;
    EXPECT_EQ(Verdict(out), "verdict: clean");

    WriteText("still.log", Log(50, [](int i) { return 1000.0 + 0.2 * (i == 30 ? i - 1 : i); }));
    EXPECT_EQ(RunTool({"check", "still.log"}, &out), 1) << out;
    EXPECT_NE(out.find("time going backwards or standing still: 1 stretch\n  samples 30 to 31 (0.00 s), time stands still\n"), std::string::npos) << out;
    EXPECT_EQ(Verdict(out), "verdict: 1 warning in 1 kind");

    // Read as the replay reads: with samples 21 to 30 left out there is no gap.
    EXPECT_EQ(RunTool({"check", "clean.log", "--samples", "0-21,30-100"}, &out), 0) << out;
    EXPECT_NE(out.find(": 40 rows, samples 1 to 50,"), std::string::npos) << out;

    WriteText("empty.log", "samplenumber,gps_time,gps_curlat,gps_curlon\n1,5.0,0.0,0.0\n");
    EXPECT_EQ(RunTool({"check", "empty.log"}, &out), ExitBadInput) << out;
    EXPECT_EQ(Verdict(out), "verdict: unusable: no accepted row");
    WriteText("nowhere.log", "samplenumber,gps_time,gps_curlat,gps_curlon\n1,5.0,6000.0,600.0\n2,5.2,6000.0,600.0\n");
    EXPECT_EQ(RunTool({"check", "nowhere.log"}, &out), ExitBadInput) << out;
    EXPECT_EQ(Verdict(out), "verdict: unusable: no valid position");

    EXPECT_EQ(RunTool({"check", "missing.log"}, &out), ExitBadInput);
    EXPECT_EQ(out, "Not open 'missing.log'\n");
    EXPECT_EQ(RunTool({"check"}, &out, &err), DataToolUsage);
    EXPECT_EQ(err.rfind("check: no LOG given\nUsage: ", 0), 0u) << err;
    EXPECT_EQ(RunTool({"check", "clean.log", "--max-speed", "fast"}, &out, &err), DataToolUsage);
    EXPECT_EQ(err.rfind("check: --max-speed wants a number above 0, at most 1000000, not 'fast'\n", 0), 0u) << err;
    // A track is refused before the reader would echo it to the console.
    WriteText("track.gpx", "<?xml version=\"1.0\"?><gpx><trk><trkseg><trkpt lat=\"47\" lon=\"8\"/></trkseg></trk></gpx>\n");
    EXPECT_EQ(RunTool({"check", "track.gpx"}, &out, &err), ExitBadInput);
    EXPECT_EQ(out, "");
}

TEST_F(CheckCommandTest, SampleNumbersPastTheReplaysSelectionAreCheckedWithTheRest)
{
    // Rows 11 to 15 renumbered 100011 to 100015: beyond what the replay reads without --samples.
    std::vector<std::string> lines = SplitLines(Log(15));
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i > 10 ? "1000" : "") + lines[i] + "\n";
    WriteText("long.log", text);
    std::string out;
    RunTool({"check", "long.log"}, &out);
    EXPECT_NE(out.find(": 15 rows, samples 1 to 100015,"), std::string::npos) << out;
    EXPECT_EQ(out.find("left out"), std::string::npos) << out;
    RunTool({"check", "long.log", "--samples", "99999-199999"}, &out);
    EXPECT_NE(out.find(": 5 rows, samples 100011 to 100015,"), std::string::npos) << out;
    EXPECT_EQ(out.find("left out"), std::string::npos) << out;
}

TEST_F(CheckCommandTest, AFlightLongerThanTheReplaysTableIsCheckedWhole)
{
    // 150 000 rows at 10 a second, as the project's writer writes them.
    const std::vector<LogColumn> columns = {{ColumnKind::samplenumber, 0}, {ColumnKind::gps_time, 2}, {ColumnKind::gps_curlat, 6}, {ColumnKind::gps_curlon, 6}, {ColumnKind::gps_curalt, 2}};
    std::string text = LogHeaderLine(columns);
    SampleRow row = {};
    for (int32_t i = 0; i < 150000; ++i)
    {
        row.samplenumber = i + 1;
        row.gps_time = 1000.0 + 0.1 * i;
        row.gps_curlat = 2850.0 + 0.00005 * i;
        row.gps_curlon = 970.0;
        row.gps_curalt = 130.0;
        AppendLogLine(&text, row, columns);
    }
    WriteText("ten-hours.log", text);
    std::string out;
    RunTool({"check", "ten-hours.log", "--csv", "rows.csv"}, &out);
    EXPECT_NE(out.find("check 'ten-hours.log': 150000 rows, samples 1 to 150000,"), std::string::npos) << out.substr(0, 2000);
    EXPECT_NE(out.find("csv: 150000 rows written to 'rows.csv'"), std::string::npos) << out.substr(0, 2000);
    EXPECT_EQ(out.find("left out"), std::string::npos);
    EXPECT_EQ(out.find("Table full"), std::string::npos);
}

TEST_F(CheckCommandTest, EachKindListsTwentyStretchesAndCountsTheRest)
{
    WriteFlatTile();
    // The clock stands still every tenth row: 25 stretches.
    WriteText("ticks.log", Log(260, [](int i) { return 1000.0 + 0.2 * (i % 10 == 5 ? i - 1 : i); }));
    std::string out;
    EXPECT_EQ(RunTool({"check", "ticks.log"}, &out), 1);
    const size_t heading = out.find("time going backwards or standing still: 26 stretches\n");
    ASSERT_NE(heading, std::string::npos) << out;
    const std::vector<std::string> lines = SplitLines(out.substr(heading));
    ASSERT_GT(lines.size(), 22u);
    EXPECT_EQ(lines[1].compare(0, 18, "  samples 5 to 6 ("), 0) << lines[1];
    EXPECT_EQ(lines[20].compare(0, 22, "  samples 195 to 196 ("), 0) << lines[20];
    EXPECT_EQ(lines[21], "  ... and 6 more");
    EXPECT_EQ(lines[22].compare(0, 29, "gaps in time over 3 median st"), 0) << lines[22];
}

TEST_F(CheckCommandTest, CsvHasARowPerSampleWithFlagsAndThePlotIsA1600By600Png)
{
    WriteFlatTile();
    WriteText("still.log", Log(50, [](int i) { return 1000.0 + 0.2 * (i == 30 ? i - 1 : i); }));
    std::string out;
    EXPECT_EQ(RunTool({"check", "still.log", "--csv", "still.csv", "--plot", "still.png"}, &out), 1) << out;

    const std::vector<std::string> csv = SplitLines(ReadText("still.csv"));
    ASSERT_EQ(csv.size(), 51u) << "a header and 50 rows";
    const std::vector<std::string> header = SplitFields(csv[0], ',');
    ASSERT_EQ(header.size(), 19u);
    EXPECT_EQ(header[6], "height_above_terrain_m");
    EXPECT_EQ(header[11], "time_backwards");
    EXPECT_EQ(csv[1], "1,1000.00," + SplitFields(csv[1], ',')[2] + "," + SplitFields(csv[1], ',')[3] + ",130.00,100.00,30.00,,,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(SplitFields(csv[30], ',')[11], "1") << "sample 30 begins the still step";
    EXPECT_EQ(SplitFields(csv[31], ',')[11], "1");
    EXPECT_EQ(SplitFields(csv[32], ',')[11], "0");
    EXPECT_NEAR(strtod(SplitFields(csv[20], ',')[7].c_str(), nullptr), 10.0, 0.02) << "ground speed, m/s, from positions to 2 mm";

    const std::string png = ReadText("still.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    const auto word = [&](size_t at) { return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) | (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]); };
    EXPECT_EQ(word(16), 1600u);
    EXPECT_EQ(word(20), 600u);
}

namespace
{

// A place `north` and `east` metres from where Log's flight starts, as "lat, lon" in degrees
// with `separator` between them.
std::string Place(double north, double east, const char* separator)
{
    const double latitude = GridRowLatitude(90 * 1024 + 500.3);
    const double longitude = GridColumnLongitude(140 * 1024 + 500.6);
    const double metresPerDegree = Pi * EarthRadius / 180.0;
    char text[120];
    snprintf(text, sizeof text, "%.9f%s%.9f", latitude + north / metresPerDegree, separator, longitude + east / (metresPerDegree * std::cos(latitude * Pi / 180.0)));
    return text;
}

// OpenAir's "DD:MM:SS.sss N DDD:MM:SS.sss E" of a place.
std::string OpenAirPlace(double north, double east)
{
    const std::string place = Place(north, east, " ");
    double degrees[2];
    sscanf(place.c_str(), "%lf %lf", &degrees[0], &degrees[1]);
    std::string text;
    for (int i = 0; i < 2; ++i)
    {
        const double seconds = degrees[i] * 3600.0;
        char part[60];
        snprintf(part, sizeof part, "%s%d:%02d:%06.3f %c", i ? " " : "", static_cast<int>(seconds / 3600.0), static_cast<int>(std::fmod(seconds, 3600.0) / 60.0), std::fmod(seconds, 60.0), i ? 'E' : 'N');
        text += part;
    }
    return text;
}

} // namespace

TEST_F(CheckCommandTest, PlanAndAirspaceAddTheirFindingsAndLeaveTheVerdict)
{
    // Log's flight: 2 m north a row, 5 rows a second, 130 m over ground at 100 m. Waypoint 1
    // lies 40 m on (sample 21), 2 is passed 5 m aside, which the flight keeps on its right;
    // the fence ends 81 m on; the airspace
    // begins 51 m on, 20 m above the drawn ground.
    WriteFlatTile();
    WriteText("flight.log", Log(50));
    const std::string item = R"({"type": "SimpleItem", "command": 16, "frame": 0, "autoContinue": true, "params": [0, 1, 0, 0, %s, 130]})";
    auto waypoint = [&](double north, double east) {
        char text[300];
        snprintf(text, sizeof text, item.c_str(), Place(north, east, ", ").c_str());
        return std::string(text);
    };
    WriteText("mission.plan", R"({"fileType": "Plan", "mission": {"plannedHomePosition": [)" + Place(0, 0, ", ") + ", 100], \"items\": [" + waypoint(40, 0) + ", " +
                                 waypoint(90, 5) + R"(]}, "geoFence": {"polygons": [{"inclusion": true, "polygon": [[)" + Place(-10, -20, ", ") + "], [" + Place(-10, 20, ", ") +
                                 "], [" + Place(81, 20, ", ") + "], [" + Place(81, -20, ", ") + "]]}]}}");
    WriteText("air.txt", "AC D\nAN TEST AGL\nAL 20m AGL\nAH 1000m MSL\nDP " + OpenAirPlace(51, -50) + "\nDP " + OpenAirPlace(51, 50) + "\nDP " + OpenAirPlace(300, 50) + "\nDP " +
                             OpenAirPlace(300, -50) + "\n");
    std::string out, err;
    ASSERT_EQ(RunTool({"check", "flight.log", "--plan", "mission.plan", "--airspace", "air.txt", "--csv", "flight.csv"}, &out, &err), 0) << out << err;
    EXPECT_NE(out.find("\nmission: version 1 of 1 (in force when it began), 2 waypoints, heights above home from 100.0 m AMSL\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n    1  waypoint          radius   1004.00 s (sample 21)     "), std::string::npos) << out;
    EXPECT_NE(out.find("\n    2  waypoint          no       -                               5.0 3-D           5.0           1.0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\ncross-track (the leg to the waypoint after the last reached, right positive): max -5.8 m at 1009.80 s, RMS "), std::string::npos) << out;
    EXPECT_NE(out.find("\nfence breaches: 1, the least margin -17.0 m\n  1008.20 to 1009.80 s (samples 42 to 50), deepest 17.0 m beyond the inclusion polygon 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  1005.20 s (sample 27) entry 'TEST AGL' (class D): 10.0 m above the floor (20m AGL), 870.0 m below the ceiling (1000m MSL)\n"), std::string::npos) << out;
    EXPECT_EQ(Verdict(out), "verdict: clean") << "facts, not faults";

    const std::vector<std::string> csv = SplitLines(ReadText("flight.csv"));
    ASSERT_EQ(csv.size(), 51u);
    const std::vector<std::string> header = SplitFields(csv[0], ',');
    ASSERT_EQ(header.size(), 23u);
    EXPECT_EQ(std::vector<std::string>(header.begin() + 19, header.end()), (std::vector<std::string>{"active_leg", "cross_track_m", "fence_margin_m", "airspaces"}));
    const std::vector<std::string> row30 = SplitFields(csv[30], ',');
    ASSERT_EQ(row30.size(), 23u);
    EXPECT_EQ(row30[19], "2") << "the leg to waypoint 2";
    EXPECT_EQ(row30[22], "TEST AGL");
    EXPECT_EQ(SplitFields(csv[10], ',')[22], "") << "before the airspace";

    ASSERT_EQ(RunTool({"check", "flight.log", "--plan", "mission.plan", "--airspace", "air.txt", "--json"}, &out), 0);
    const nlohmann::json plan = nlohmann::json::parse(out)["plan"];
    EXPECT_EQ(plan["mission"]["waypoints"][0]["reached"], "radius");
    EXPECT_EQ(plan["mission"]["waypoints"][0]["sample"], 21);
    EXPECT_NEAR(plan["mission"]["waypoints"][1]["closest_m"].get<double>(), 5.0, 0.01);
    EXPECT_EQ(plan["fence"]["breaches"][0]["last_sample"], 50);
    EXPECT_EQ(plan["airspace"]["events"][0]["kind"], "entry");
    EXPECT_NEAR(plan["airspace"]["events"][0]["above_floor_m"].get<double>(), 10.0, 1e-6);
    EXPECT_EQ(plan["airspace"]["events"][0]["floor"], "20m AGL");

    // A plan it cannot read is one line, and the flight is checked as without one.
    EXPECT_EQ(RunTool({"check", "flight.log", "--plan", "missing.plan", "--airspace", "mission.plan"}, &out, &err), 0) << out;
    EXPECT_EQ(out.find("mission:"), std::string::npos) << out;
    EXPECT_NE(err.find("check: --plan cannot open 'missing.plan': No such file or directory; checked without it\n"), std::string::npos) << err;
    EXPECT_NE(err.find("check: --airspace 'mission.plan': "), std::string::npos) << err;
}

TEST_F(CheckCommandTest, PhotosBesideTheLogAreListedWithTheirGroundSampleDistanceAndTheGapInOverlapNamed)
{
    WriteFlatTile();
    WriteText("survey.log", Log(50));
    // Photos 30 m above the ground every 10 m along the track (5 rows), photo 4 missed: a
    // 30 m footprint along the track overlaps 67% at 10 m and 33% at 20 m.
    const std::vector<std::string> rows = SplitLines(ReadText("survey.log"));
    std::string photos = "time,index,latitude,longitude,altitude,roll,pitch,yaw,source\n";
    const int taken[] = {0, 5, 10, 20, 25};
    for (int k = 0; k < 5; ++k)
    {
        const std::vector<std::string> row = SplitFields(rows[static_cast<size_t>(taken[k]) + 1], ',');
        char line[200];
        snprintf(line, sizeof line, "%s,%d,%.9f,%.9f,130.00,,,,CAM\n", row[1].c_str(), k < 3 ? k + 1 : k + 2, strtod(row[2].c_str(), nullptr) / 60.0, strtod(row[3].c_str(), nullptr) / 60.0);
        photos += line;
    }
    WriteText("survey.photos.csv", photos);
    std::string out;
    RunTool({"check", "survey.log", "--camera", "survey-1in-20mp", "--csv", "survey.csv"}, &out);
    EXPECT_NE(out.find("photos: 5, 5 over drawn ground, height above it 30.0 to 30.0 m, ground sample distance 0.82 to 0.82 cm/px (survey-1in-20mp); forward overlap below 60%: 1 gap\n"
                       "  gap between photos 3 and 5 at 1004.0 s: 33% forward overlap (20 m apart)\n"),
              std::string::npos)
        << out;
    const std::vector<std::string> csv = SplitLines(ReadText("survey.photo-check.csv"));
    ASSERT_EQ(csv.size(), 6u);
    EXPECT_EQ(SplitFields(csv[1], ',')[7], "0.822") << csv[1];
    EXPECT_NEAR(strtod(SplitFields(csv[1], ',')[10].c_str(), nullptr), 2.0 / 3.0, 1e-3) << csv[1];
    EXPECT_EQ(SplitFields(csv[5], ',')[10], "") << "the last photo has no next";

    RunTool({"check", "survey.log", "--camera", "survey-1in-20mp", "--json"}, &out);
    const nlohmann::json report = nlohmann::json::parse(out);
    ASSERT_EQ(report["photos"].size(), 5u) << out;
    EXPECT_NEAR(report["photos"][3]["height"].get<double>(), 30.0, 0.01);
    ASSERT_EQ(report["photo_gaps"].size(), 1u);
    EXPECT_EQ(report["photo_gaps"][0]["second"], 5);

    std::string err;
    EXPECT_EQ(RunTool({"check", "survey.log", "--camera", "pinhole"}, &out, &err), 64) << err;
    EXPECT_NE(err.find("one of survey-1in-20mp, compact-12mp, fullframe-42mp"), std::string::npos) << err;
}
