// flightreplay-data check through the built program: its exit statuses, the report's limit
// of lines per kind, the selection, the CSV and the plot.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
