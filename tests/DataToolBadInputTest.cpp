// The data tool's bad-input matrix: damaged elevation rasters, files that are no flight log,
// rasters of the wrong kind, tracks with glitched clocks. Each case fails with one line on
// stderr that ends in a reason, a non-zero status, nothing echoed, and no data file written
// or changed, or converts what it holds of a flight.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "geo/GeoTiles.h"
#include "geo/ReplayFiles.h"
#include "support/GeoTiffFiles.h"

namespace
{

// A smooth raster of 120 x 120 pixels around 47.5 N 7.5 E, in tile 89, 133.
void WriteDem(const std::string& path)
{
    WriteGeoTiff(path, GeoTiffGrid{7.3, 47.7, 0.004, 120, 120}, GDT_Int16, 1, [](int, int r, int c) { return 800 + 3 * r + 2 * c; }, -32767);
}

const char* const Box = "47.4,7.4,47.6,7.6";
const std::string ImportedTileName = ElevationTileFileName(89, 133);

// Every file of the working directory with its bytes.
std::vector<std::pair<std::string, std::string>> Snapshot()
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("."))
        files.emplace_back(entry.path().string(), entry.is_regular_file() ? DataToolFixture::ReadText(entry.path().string()) : std::string("<dir>"));
    std::sort(files.begin(), files.end());
    return files;
}

// One line, and after its last ": " a reason that is not empty.
void ExpectOneLineWithReason(const std::string& err)
{
    ASSERT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    const size_t colon = err.rfind(": ");
    ASSERT_NE(colon, std::string::npos) << err;
    EXPECT_GT(err.size(), colon + 3) << err;
    EXPECT_NE(err[err.size() - 2], ':') << err;
}

} // namespace

class DataToolBadInputTest : public DataToolFixture
{
protected:
    // Runs the tool and checks that it failed with `status`, one line with a reason on
    // stderr, nothing on stdout and no file changed; returns stderr.
    std::string RunFailing(const std::vector<std::string>& arguments, int status)
    {
        const auto before = Snapshot();
        std::string out, err;
        EXPECT_EQ(RunTool(arguments, &out, &err), status) << arguments[0] << " " << arguments[1] << "\n" << out << err;
        EXPECT_EQ(out, "") << arguments[1];
        ExpectOneLineWithReason(err);
        EXPECT_EQ(Snapshot(), before) << arguments[1];
        return err;
    }
};

TEST_F(DataToolBadInputTest, TruncatedDemFailsAndLeavesTheTilesAsTheyWere)
{
    WriteDem("dem.tif");
    std::string out, err;
    ASSERT_EQ(RunTool({"dem", "dem.tif", "--bbox", Box}, &out, &err), 0) << err;
    ASSERT_TRUE(Exists(ImportedTileName));
    const std::string whole = ReadText("dem.tif");
    WriteText("cut.tif", whole.substr(0, whole.size() / 2));
    err = RunFailing({"dem", "cut.tif", "--bbox", Box}, ExitBadInput);
    EXPECT_NE(err.find("read error in 'cut.tif'"), std::string::npos) << err;
    // Without a tile before it, the cut file writes none either.
    std::filesystem::remove(ImportedTileName);
    std::filesystem::remove(ImportedTileName + ".cov");
    RunFailing({"dem", "cut.tif", "--bbox", Box}, ExitBadInput);
}

TEST_F(DataToolBadInputTest, DemThatIsNoRasterOrNoFileFailsWithGdalsReason)
{
    WriteText("empty.tif", "");
    WriteText("text.tif", "elevation 1200\n");
    for (const char* source : {"absent.tif", "empty.tif", "text.tif"})
        RunFailing({"dem", source, "--bbox", Box}, ExitBadInput);
    EXPECT_NE(RunFailing({"dem", "absent.tif", "--bbox", Box}, ExitBadInput).find("No such file"), std::string::npos);
}

TEST_F(DataToolBadInputTest, ExistingTileThatCannotBeReadIsNotReplaced)
{
    WriteDem("dem.tif");
    std::filesystem::create_directory(ImportedTileName);
    const std::string err = RunFailing({"dem", "dem.tif", "--bbox", Box}, ExitBadInput);
    EXPECT_NE(err.find(ImportedTileName), std::string::npos) << err;
}

TEST_F(DataToolBadInputTest, TracksAndPicturesGivenAsLogsAreRefusedWithoutEcho)
{
    WriteDem("dem.tif");
    WriteText("walk.gpx", "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg><trkpt lat=\"47.5\" lon=\"7.5\"><time>2020-01-01T10:00:00Z</time></trkpt></trkseg></trk></gpx>\n");
    WriteText("flight.igc", "AXXX001\nHFDTE010120\nB1000004730000N00730000EA0100001000\n");
    WriteText("track.csv", "time,lat,lon,alt\n0,47.5,7.5,400\n1,47.5001,7.5,401\n");
    WriteText("photo.jpg", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) + std::string(500, 'x'));
    for (const char* file : {"walk.gpx", "flight.igc", "track.csv", "photo.jpg"})
    {
        const std::string text = file == std::string("photo.jpg") ? "binary data" : "flightreplay-data track " + std::string(file);
        EXPECT_NE(RunFailing({"plan", file}, DataToolUsage).find(text), std::string::npos) << file;
        EXPECT_NE(RunFailing({"dem", "dem.tif", "--log", file}, DataToolUsage).find("is no flight log"), std::string::npos) << file;
    }
}

TEST_F(DataToolBadInputTest, ElevationRasterIsRefusedAsImagery)
{
    WriteDem("dem.tif");
    const std::string err = RunFailing({"imagery", "dem.tif", "--bbox", Box}, ExitBadInput);
    EXPECT_NE(err.find("elevation raster"), std::string::npos) << err;
}

TEST_F(DataToolBadInputTest, HelpIsNoMistake)
{
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--help"}, {"-h"}, {"dem", "--help"}})
    {
        std::string out, err;
        EXPECT_EQ(RunTool(arguments, &out, &err), 0) << arguments.back();
        EXPECT_NE(out.find("Usage: "), std::string::npos) << out;
        EXPECT_EQ(err, "");
    }
    // The overview's lines of the batch commands name what a batch engine gives them.
    std::string out;
    RunTool({"--help"}, &out);
    const std::pair<std::string, std::vector<std::string>> lines[] = {
        {" track INPUT ", {"--out FILE", "--json", "--skip-existing"}},
        {" check LOG ", {"--json", "--skip-existing"}},
        {" world FLIGHT ", {"--out DIR", "--json", "--skip-existing"}},
        {" fetch (", {"--json"}},
    };
    for (const auto& [command, options] : lines)
    {
        const size_t at = out.find(command);
        ASSERT_NE(at, std::string::npos) << out;
        const std::string line = out.substr(at, out.find('\n', at) - at);
        for (const std::string& option : options)
            EXPECT_NE(line.find(option), std::string::npos) << line;
    }
}

TEST_F(DataToolBadInputTest, AutopilotLogsCutRandomOrGarbledFailCleanlyOrConvertWhatTheyHold)
{
    CircleFlight flight;
    flight.duration = 8.0;
    std::mt19937 random(15);
    const auto noise = [&random](size_t count)
    {
        std::string bytes(count, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random() & 0xFF);
        return bytes;
    };
    const std::string telemetry = CircleTelemetry(flight, 2);
    // Each log with the bytes of its header that are valid on their own: the ULog header,
    // the FMT message of FMT, the first record.
    const std::pair<std::string, size_t> logs[] = {{CircleULog(flight), 16}, {CircleDataFlash(flight), 89}, {telemetry, 8 + 12 + static_cast<unsigned char>(telemetry[9])}};
    std::vector<std::string> cases = {noise(5000)};
    for (const auto& log : logs)
    {
        for (size_t eighth = 0; eighth < 8; ++eighth)
            cases.push_back(log.first.substr(0, log.first.size() * eighth / 8));
        cases.push_back(log.first.substr(0, log.second) + noise(5000));
    }
    size_t converted = 0;
    for (size_t i = 0; i < cases.size(); ++i)
    {
        WriteText("case.log", cases[i]);
        std::string out, err;
        const int status = RunTool({"track", "case.log"}, &out, &err);
        ASSERT_TRUE(status == 0 || status == ExitBadInput) << "case " << i << ": status " << status << "\n" << err;
        if (status == ExitBadInput)
        {
            EXPECT_EQ(out, "") << "case " << i;
            ExpectOneLineWithReason(err);
            continue;
        }
        // A partial conversion: a whole log of rows that the header names, and no NaN.
        ++converted;
        const std::vector<std::string> lines = SplitLines(out);
        ASSERT_GE(lines.size(), 2u) << "case " << i;
        const size_t columns = SplitFields(lines[0], ',').size();
        for (const std::string& line : lines)
        {
            if (line.empty())
                continue;
            ASSERT_EQ(SplitFields(line, ',').size(), columns) << "case " << i << ": " << line;
        }
        EXPECT_EQ(out.find("nan"), std::string::npos) << "case " << i;
    }
    EXPECT_GE(converted, 3u * 6u) << "the cuts from 2/8 on hold a part of the flight";
}

TEST_F(DataToolBadInputTest, GlitchedTimesConvertWhatIsTrueOrFailCleanly)
{
    // Twenty points a second apart, 10:00:00 to 10:00:19, walking north; each case damages
    // their times as clocks and exporters do.
    const auto gpx = [](const std::vector<std::string>& times)
    {
        std::string text = "<gpx><trk><trkseg>\n";
        for (size_t i = 0; i < times.size(); ++i)
            text += "<trkpt lat=\"" + std::to_string(47.5 + 1e-5 * static_cast<double>(i)) + "\" lon=\"7.5\"><ele>400</ele><time>" + times[i] + "</time></trkpt>\n";
        return text + "</trkseg></trk></gpx>\n";
    };
    std::vector<std::string> times;
    for (int i = 0; i < 20; ++i)
        times.push_back("2024-05-01T10:00:" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "Z");
    std::vector<std::pair<std::string, std::string>> cases;
    const auto damaged = [&](const char* name, size_t index, const char* time)
    {
        std::vector<std::string> glitched = times;
        glitched[index] = time;
        cases.emplace_back(name, gpx(glitched));
    };
    damaged("first in 2000", 0, "2000-01-01T00:00:00Z");
    damaged("last in 2099", 19, "2099-12-31T23:59:59Z");
    damaged("midnight in the middle", 10, "2024-05-01T00:00:00Z");
    damaged("the year 9999", 5, "9999-12-31T23:59:59Z");
    damaged("the year 1", 5, "0001-01-01T00:00:00Z");
    damaged("an hour too late", 7, "2024-05-01T11:00:07Z");
    damaged("no date", 3, "10:00:03");
    cases.emplace_back("all at one time", gpx(std::vector<std::string>(20, times[0])));
    cases.emplace_back("two 0.994 s apart", gpx({"2024-05-01T10:00:00Z", "2024-05-01T10:00:00.994Z"}));
    cases.emplace_back("backwards", gpx(std::vector<std::string>(times.rbegin(), times.rend())));
    std::string csv = "time,lat,lon,alt\n";
    for (int i = 0; i < 20; ++i)
        csv += std::to_string(i == 4 ? 1e300 : (i == 9 ? -1e12 : 1714557600000.0 + 1000.0 * i)) + "," + std::to_string(47.5 + 1e-5 * i) + ",7.5,400\n";
    cases.emplace_back("a CSV of milliseconds with absurd ones", csv);

    for (const auto& entry : cases)
    {
        const std::string file = entry.second[0] == '<' ? "case.gpx" : "case.csv";
        WriteText(file, entry.second);
        std::string out, err;
        const int status = RunTool({"track", file}, &out, &err);
        ASSERT_TRUE(status == 0 || status == ExitBadInput) << entry.first << ": status " << status << "\n" << err;
        EXPECT_EQ(out.find("nan"), std::string::npos) << entry.first;
        if (status == ExitBadInput)
        {
            EXPECT_EQ(out, "") << entry.first;
            ExpectOneLineWithReason(err);
            continue;
        }
        // The rows lie within the twenty seconds the points span, and stderr says what was left out.
        const std::vector<std::string> lines = SplitLines(out);
        EXPECT_LE(lines.size(), 1u + 20u + 1u) << entry.first;
        EXPECT_NE(err.find(" points read, "), std::string::npos) << entry.first << "\n" << err;
    }
}

// Nearer the poles than the map reaches there are no tiles. The track is refused before a
// byte of log is written, the plan after the log's report; the replay (whose loading step
// the player shares) keeps its transcript and status and says so on stderr. 85 degrees is
// no refusal.
TEST_F(DataToolBadInputTest, FlightsBeyondTheMapsLatitudesAreRefusedWithTheLimit)
{
    auto gpx = [](const char* latitude) {
        std::string text = "<gpx><trk><trkseg>";
        for (const char* time : {"00", "01", "02"})
            text += std::string("<trkpt lat=\"") + latitude + "\" lon=\"10.0" + time + "\"><time>2024-05-01T10:00:" + time + "Z</time></trkpt>";
        return text + "</trkseg></trk></gpx>";
    };
    WriteText("north.gpx", gpx("89.9"));
    WriteText("edge.gpx", gpx("85.0"));
    std::vector<SampleRow> rows(3, SampleRow{});
    for (int i = 0; i < 3; ++i)
    {
        rows[i].samplenumber = i + 1;
        rows[i].gps_time = i;
        rows[i].gps_curlat = -86.0 * 60.0;
        rows[i].gps_curlon = (10.0 + 0.001 * i) * 60.0;
    }
    WriteText("south.log", TrackLogText(rows));

    struct Case
    {
        std::vector<std::string> arguments; // a command of the data tool, or the replay's log
        int status;
        bool refused;
        const char* outHas;   // null: nothing on stdout
        const char* outLacks;
    };
    const Case cases[] = {
        {{"track", "north.gpx"}, ExitBadInput, true, nullptr, nullptr},
        {{"track", "edge.gpx"}, 0, false, "samplenumber,", "latitude"},
        {{"plan", "south.log"}, 1, true, "CI,CJ=", "Files the replay reads"},
        {{"south.log"}, 251, true, "CI,CJ=", "latitude"}, // 251: no display here
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments.back());
        std::string out, err;
        int status = 0;
        if (c.arguments.size() == 1)
        {
            const RunResult run = RunProgram(FLIGHTREPLAY_BINARY, ".", c.arguments);
            status = run.status;
            out = run.out;
            err = run.err;
        }
        else
            status = RunTool(c.arguments, &out, &err);
        EXPECT_EQ(status, c.status) << err;
        EXPECT_EQ(err.find("beyond the map's latitude limit of \u00b185.0511\u00b0") != std::string::npos, c.refused) << err;
        if (!c.outHas)
            EXPECT_EQ(out, "");
        else
        {
            EXPECT_NE(out.find(c.outHas), std::string::npos) << out;
            EXPECT_EQ(out.find(c.outLacks), std::string::npos) << out;
        }
    }
}
