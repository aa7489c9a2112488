// The loading step: on logs longer than the sample table, what it keeps, what it reports and
// what the statistics of a full table come to; on flight files of other formats, the
// replay's refusal and the player's conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

#include "support/AutopilotLogWriters.h"
#include "support/LogTestSupport.h"
#include "flight/FlightLoading.h"
#include "flight/LoadedFlight.h"
#include "log/SampleTable.h"
#include "plan/PlanFiles.h"
#include "support/TestSupport.h"
#include "track/FlightEvents.h"
#include "track/FlightFileConversion.h"

namespace
{

using FlightLoadingTest = ScratchWorkingDirectoryTest;

TEST_F(FlightLoadingTest, RowsBeyondTheTableAreCountedReportedOnceAndNotLoaded)
{
    // Logs of `extra` accepted rows more than the table holds; line i of the data has the
    // sample number and time given. The statistics cover the rows in the table only.
    const struct
    {
        const char* what;
        int32_t extra;
        std::function<std::string(int32_t)> sample;
        std::function<double(int32_t)> time;
        const char* timeLine;
        const char* stepLine;
    } cases[] = {
        // One sample number throughout: no step counts, the mean comes from the time span.
        {"repeated sample number", 3, [](int32_t) { return std::string("5"); }, [](int32_t i) { return 1.0 * i; },
         "time(mn,mx)=(0.000000 99999.000000)", "sum(time)/sum(sn)=1.000000"},
        // Samples 1 to 99999 and round again: every step but the wrap counts 1 s.
        {"sample numbers wrapping at 99999", 2, [](int32_t i) { return std::to_string(i % 99999 + 1); }, [](int32_t i) { return 1.0 * i; },
         "time(mn,mx)=(0.000000 99999.000000)", "sum(time)/sum(sn)=1.000000"},
        {"half a table more", 50000, [](int32_t i) { return std::to_string(2 + i % 99998); }, [](int32_t i) { return 100.0 + 0.25 * i; },
         "time(mn,mx)=(100.000000 25099.750000)", "sum(time)/sum(sn)=0.250000"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        ResetLogReader();
        std::string log = "samplenumber,gps_time,gps_curlat,gps_curlon\n";
        for (int32_t i = 0; i < RowCapacity + c.extra; ++i)
            log += c.sample(i) + "," + std::to_string(c.time(i)) + ",2850.5,970.5\n";
        WriteWholeFile("long.log", log);

        OutputCapture transcript;
        ASSERT_EQ(LoadFlightLog("long.log", nullptr), 0);
        const std::vector<std::string> lines = SplitLines(transcript.Finish());

        ASSERT_GE(lines.size(), 12u);
        EXPECT_EQ(lines[0], "Table full: " + std::to_string(c.extra) + " more rows not loaded (room for 100000)");
        for (size_t l = 1; l < lines.size(); ++l)
            EXPECT_EQ(lines[l].find("Table full"), std::string::npos) << "reported again in line " << l + 1;
        EXPECT_EQ(lines[5], "selected 100000 row");
        EXPECT_EQ(lines[8], c.timeLine);
        EXPECT_EQ(lines[9], c.stepLine);
        EXPECT_EQ(SampleTable.rowCount, RowCapacity);
        EXPECT_EQ(SampleTable.droppedRows, c.extra);
        EXPECT_EQ(SampleTable.rows[RowCapacity - 1].gps_time, c.time(RowCapacity - 1)) << "the last row in the table is line 100000";
    }

    // A reset after a full table clears it to the last row.
    ResetSampleTable();
    EXPECT_EQ(SampleTable.rowCount, 0);
    EXPECT_EQ(SampleTable.droppedRows, 0);
    EXPECT_EQ(SampleTable.rows[RowCapacity - 1].gps_time, 0.0);
    EXPECT_EQ(SampleTable.rows[RowCapacity - 1].samplenumber, 0);
}

TEST_F(FlightLoadingTest, FlightFilesOfOtherFormatsAreNamedOnStandardErrorAndNotEchoed)
{
    const CircleFlight flight;
    const char stray[] = "samplenumber,gps_curlat,gps_curlon\n\0\xff\xfe\x1b[2J\n1,2850.5,970.5\n";
    const std::string strayBytes(stray, sizeof stray - 1);
    const struct
    {
        std::string bytes;
        const char* format; // null: a keyword log, read as ever
    } files[] = {
        {CircleULog(flight), "ULog"},
        {CircleDataFlash(flight), "DataFlash"},
        {CircleTelemetry(flight, 2), "MAVLink telemetry"},
        {"<?xml version=\"1.0\"?>\n<gpx><trk><trkseg><trkpt lat=\"47\" lon=\"8\"/></trkseg></trk></gpx>\n", "GPX"},
        {"AXXX001\nB1200004700000N00800000EA0050000500\n", "IGC"},
        // Keyword logs whose first line begins as a track's does, and one with stray bytes.
        {"<samplenumber gps_curlat gps_curlon\n1 2850.5 970.5\n", nullptr},
        {"B samplenumber gps_curlat gps_curlon\nB 1 2850.5 970.5\n", nullptr},
        {strayBytes, nullptr},
    };
    for (const auto& file : files)
    {
        SCOPED_TRACE(file.format ? file.format : file.bytes.substr(0, 20));
        ResetLogReader();
        WriteWholeFile("flight", file.bytes);
        OutputCapture capture(true);
        const int status = LoadFlightLog("flight", nullptr);
        const std::string out = capture.Finish();
        if (file.format)
        {
            EXPECT_EQ(status, -4);
            EXPECT_EQ(out, "");
            EXPECT_EQ(capture.Errors(), "'flight' holds a flight in " + std::string(file.format) + ", which the replay does not read: convert it with `flightreplay-data track flight > avlog.log` and replay avlog.log, or replay it directly with `flightreplay-player flight`\n");
        }
        else
        {
            EXPECT_EQ(status, 0);
            EXPECT_NE(out.find("selected 1 row\n"), std::string::npos) << out;
            EXPECT_EQ(capture.Errors(), "");
        }
    }
}

// The player loads a flight file as the log `track` makes of it: the same transcript and
// the same rows in the table, with or without a selection of samples.
TEST_F(FlightLoadingTest, PlayerLoadsFlightFilesAsTheLogsTheyConvertTo)
{
    const CircleFlight flight;
    std::string gpx = "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg>\n";
    std::string csv = "time,lat,lon,alt\n";
    for (int t = 0; t < 60; ++t)
    {
        const FlightState state = StateAt(flight, t);
        const std::string lat = std::to_string(state.latitude), lon = std::to_string(state.longitude), alt = std::to_string(state.altitude);
        gpx += "<trkpt lat=\"" + lat + "\" lon=\"" + lon + "\"><ele>" + alt + "</ele><time>2024-05-01T10:00:" + (t < 10 ? "0" : "") + std::to_string(t) + "Z</time></trkpt>\n";
        csv += std::to_string(1714557600 + t) + "," + lat + "," + lon + "," + alt + "\n";
    }
    gpx += "</trkseg></trk></gpx>\n";
    const struct
    {
        const char* format;
        std::string bytes;
    } files[] = {
        {"ULog", CircleULog(flight)},
        {"MAVLink telemetry", CircleTelemetry(flight, 2)},
        {"GPX", gpx},
        {"CSV", csv},
    };
    // The table's rows as bytes: the table is zeroed whole before a scan, so equal rows are equal bytes.
    const auto load = [](const char* path, const char* samples, FlightFiles flightFiles, std::string* transcript, std::string* errors, std::string* rows) {
        ResetLogReader();
        OutputCapture capture(true);
        const int status = LoadFlightLog(path, samples, flightFiles);
        *transcript = capture.Finish();
        *errors = capture.Errors();
        *rows = std::string(reinterpret_cast<const char*>(SampleTable.rows), sizeof(SampleRow) * static_cast<size_t>(SampleTable.rowCount));
        return status;
    };
    for (const auto& file : files)
    {
        SCOPED_TRACE(file.format);
        WriteWholeFile("flight", file.bytes);
        FlightFileConversion conversion;
        std::string message;
        ASSERT_TRUE(ConvertFlightFile("flight", 0.0, &conversion, &message)) << message;
        ASSERT_STREQ(conversion.format->name, file.format);
        WriteWholeFile("converted.log", FormatConvertedLog(conversion.converted));
        size_t fullRows = 0;
        for (const char* samples : {static_cast<const char*>(nullptr), "5-20,30-45"})
        {
            SCOPED_TRACE(samples ? samples : "all samples");
            std::string expected, expectedErrors, expectedRows, transcript, errors, rows;
            ASSERT_EQ(load("converted.log", samples, FlightFiles::Convert, &expected, &expectedErrors, &expectedRows), 0) << expected;
            ASSERT_EQ(load("flight", samples, FlightFiles::Convert, &transcript, &errors, &rows), 0) << errors;
            EXPECT_EQ(transcript, expected);
            EXPECT_EQ(rows, expectedRows);
            EXPECT_EQ(errors.rfind("track: 'flight': ", 0), 0u) << errors;
            if (!samples)
                fullRows = rows.size();
            else
                EXPECT_LT(rows.size(), fullRows) << "the selection leaves rows out";
        }
    }
}

// The player's events: a flight file's from its conversion, a keyword log's from the file
// beside it; the transcript is the same with or without them.
TEST_F(FlightLoadingTest, LoadedEventsComeFromTheConversionOrTheFileBesideTheLog)
{
    CircleFlight flight;
    flight.events = true;
    WriteWholeFile("flight", CircleULog(flight));
    FlightFileConversion conversion;
    std::string message;
    ASSERT_TRUE(ConvertFlightFile("flight", 0.0, &conversion, &message)) << message;
    const std::vector<FlightEvent>& events = conversion.converted.events;
    ASSERT_GT(events.size(), 5u);
    WriteWholeFile("converted.log", FormatConvertedLog(conversion.converted));
    const auto load = [](const char* path, FlightFiles flightFiles, std::string* transcript, std::string* errors) {
        LoadedFlight loaded;
        OutputCapture capture(true);
        EXPECT_EQ(LoadFlight(path, nullptr, flightFiles, LoadReport::Transcript, &loaded), 0);
        *transcript = capture.Finish();
        *errors = capture.Errors();
        return loaded.events;
    };
    std::string bare, transcript, errors;
    EXPECT_EQ(load("flight", FlightFiles::Convert, &transcript, &errors).size(), events.size());
    EXPECT_TRUE(load("converted.log", FlightFiles::Convert, &bare, &errors).empty()) << "none beside the log";
    std::string error;
    ASSERT_TRUE(WriteFlightEvents("converted.events.csv", events, &error)) << error;
    WriteWholeFile("converted.events.csv", ReadWholeFile("converted.events.csv") + "12,nonsense\n");
    const std::vector<FlightEvent> loaded = load("converted.log", FlightFiles::Refuse, &transcript, &errors);
    ASSERT_EQ(loaded.size(), events.size());
    EXPECT_EQ(loaded.back().text, events.back().text);
    EXPECT_EQ(transcript, bare);
    EXPECT_EQ(errors, "events: 'converted.events.csv': 1 line holds no event and was skipped\n");
    LoadedFlight quiet;
    ASSERT_EQ(LoadFlight("converted.log", nullptr, FlightFiles::Refuse, LoadReport::Quiet, &quiet), 0);
    EXPECT_EQ(quiet.events.size(), events.size());
}

// The plan beside a keyword log comes with it, the transcript unchanged; the files are
// written whole, versions beyond the plan's are removed, and a pilot's own plan of the log's
// name is neither written over nor removed.
TEST_F(FlightLoadingTest, ThePlanBesideALogComesWithItAndAPilotsOwnPlanIsKept)
{
    std::string log = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n";
    for (int i = 0; i < 50; ++i)
        log += std::to_string(i + 1) + "," + std::to_string(i) + ",2820." + std::to_string(10 + i) + ",480.5,430\n";
    WriteWholeFile("flight.log", log);
    const auto FileExists = [](const char* path) { return access(path, F_OK) == 0; };
    FlightPlan plan;
    for (int v = 0; v < 3; ++v)
    {
        MissionVersion version;
        version.uploaded = 10.0 * v;
        version.homeFirst = true;
        for (int32_t seq = 0; seq < 3 + v; ++seq)
        {
            PlanItem item;
            item.seq = seq;
            item.command = seq == 0 ? CommandWaypoint : CommandTakeoff + (seq > 1 ? -6 : 0);
            item.frame = seq == 0 ? 0 : 3;
            item.latitude = 47.0 + 0.001 * seq;
            item.longitude = 8.0 + 0.0012345678 * seq;
            item.altitude = seq == 0 ? 400.0 : 30.0 + seq;
            version.items.push_back(item);
        }
        plan.missions.push_back(version);
    }
    FenceShape fence;
    fence.circle = true;
    fence.centre = {47.0, 8.0};
    fence.radius = 300.0;
    plan.fences.push_back(fence);
    plan.fenceCeiling = 120.0;

    std::vector<std::string> written;
    std::string error;
    WriteWholeFile("flight.v4.plan", std::string("{\n    ") + WrittenByMark + "\n}\n"); // left from an older conversion
    ASSERT_TRUE(WritePlanFilesBeside("flight.log", plan, 15.0, &written, &error)) << error;
    EXPECT_EQ(written, (std::vector<std::string>{"flight.plan", "flight.v2.plan", "flight.v3.plan"}));
    EXPECT_FALSE(FileExists("flight.v4.plan"));

    LoadedFlight bare, loaded;
    {
        OutputCapture capture(true);
        ASSERT_EQ(LoadFlight("flight.log", nullptr, FlightFiles::Refuse, LoadReport::Quiet, &loaded), 0);
        EXPECT_EQ(capture.Errors(), "");
    }
    // The version in force at take-off (15 s: the second) is the log's plan.
    ASSERT_EQ(loaded.plan.missions.size(), 1u);
    const MissionVersion& version = loaded.plan.missions[0];
    EXPECT_EQ(version.uploaded, 10.0);
    ASSERT_EQ(version.items.size(), 3u) << "home is the plan's home, not an item";
    EXPECT_EQ(version.items[1].seq, 2);
    EXPECT_EQ(version.items[1].longitude, 8.0 + 0.0012345678 * 2);
    EXPECT_EQ(version.items[1].altitude, 32.0);
    EXPECT_EQ(loaded.plan.homeAltitude, 400.0);
    EXPECT_EQ(ItemAltitudeAmsl(version.items[1], HomeAltitudeFor(loaded.plan, version, 0.0), nullptr), 432.0);
    ASSERT_EQ(loaded.plan.fences.size(), 1u);
    EXPECT_EQ(loaded.plan.fences[0].radius, 300.0);
    EXPECT_EQ(loaded.plan.fenceCeiling, 120.0);

    // A pilot's own plan of that name stays as it is, and is what the log comes with.
    const std::string own = "{\"fileType\": \"Plan\", \"rallyPoints\": {\"points\": [[47.01, 8.01, 50]]}}";
    WriteWholeFile("flight.plan", own);
    EXPECT_FALSE(WritePlanFilesBeside("flight.log", plan, 15.0, &written, &error));
    EXPECT_NE(error.find("did not write"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile("flight.plan"), own);
    EXPECT_TRUE(FileExists("flight.v2.plan"));
    ASSERT_EQ(LoadFlight("flight.log", nullptr, FlightFiles::Refuse, LoadReport::Quiet, &loaded), 0);
    EXPECT_TRUE(loaded.plan.missions.empty());
    EXPECT_EQ(loaded.plan.rally.size(), 1u);
}

// A flight loaded as a value holds every row, however many: the first RowCapacity are the
// table's very rows, and what a rejected line leaves in the row under construction reaches the
// next line across the pieces the log is read in. Its transcript is the replay's.
TEST_F(FlightLoadingTest, AFlightValueHoldsEveryRowAndPrintsTheReplaysTranscript)
{
    const int32_t lines = RowCapacity + 50000;
    const int32_t rejected = 65534; // the last line of the first piece
    std::string log = "samplenumber,gps_time,gps_curlat,gps_curlon,voltage1\n";
    for (int32_t i = 0; i < lines; ++i)
    {
        const std::string head = std::to_string(2 + i % 99998) + "," + std::to_string(100.0 + 0.25 * i);
        if (i == rejected)
            log += head + ",0,0,7.5\n"; // no position: rejected, its voltage kept
        else if (i == rejected + 1)
            log += head + ",2850.5,970.5\n"; // no voltage of its own
        else
            log += head + ",2850.5,970.5,1\n";
    }
    WriteWholeFile("long.log", log);

    LoadedFlight flight;
    {
        OutputCapture quiet;
        ResetLogReader();
        ASSERT_EQ(LoadFlight("long.log", nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight), 0);
        ResetLogReader();
        ASSERT_EQ(LoadFlightLog("long.log", nullptr), 0);
    }
    ASSERT_EQ(flight.rows.size(), static_cast<size_t>(lines - 1));
    ASSERT_EQ(SampleTable.rowCount, RowCapacity);
    EXPECT_EQ(memcmp(flight.rows.data(), SampleTable.rows, sizeof(SampleRow) * RowCapacity), 0) << "the table's rows, byte for byte";
    EXPECT_EQ(flight.rows[rejected].voltage1, 7.5) << "the rejected line's voltage, carried into the next across the pieces";
    EXPECT_EQ(flight.rows.back().gps_time, 100.0 + 0.25 * (lines - 1));
    EXPECT_EQ(flight.summary.timeMaximum, 100.0 + 0.25 * (lines - 1));
    EXPECT_TRUE(flight.Names(static_cast<int32_t>(ColumnKind::voltage1)));
    EXPECT_FALSE(flight.Names(static_cast<int32_t>(ColumnKind::current)));

    // Lines ended by CRs alone are lines all the same, to the scanner and to the pieces.
    std::string returns = log;
    std::replace(returns.begin(), returns.end(), '\n', '\r');
    WriteWholeFile("returns.log", returns);
    LoadedFlight fromReturns;
    {
        OutputCapture quiet;
        ResetLogReader();
        ASSERT_EQ(LoadFlight("returns.log", nullptr, FlightFiles::Refuse, LoadReport::Quiet, &fromReturns), 0);
    }
    ASSERT_EQ(fromReturns.rows.size(), flight.rows.size());
    EXPECT_EQ(memcmp(fromReturns.rows.data(), flight.rows.data(), sizeof(SampleRow) * flight.rows.size()), 0);

    // A log the table holds: the value's transcript is the replay's, line for line.
    log.resize(log.find('\n', 40000) + 1);
    WriteWholeFile("short.log", log);
    std::string replay, value;
    {
        ResetLogReader();
        OutputCapture capture;
        ASSERT_EQ(LoadFlightLog("short.log", "1-500,600-99999"), 0);
        replay = capture.Finish();
    }
    {
        ResetLogReader();
        OutputCapture capture;
        ASSERT_EQ(LoadFlight("short.log", "1-500,600-99999", FlightFiles::Refuse, LoadReport::Transcript, &flight), 0);
        value = capture.Finish();
    }
    EXPECT_EQ(value, replay);
    EXPECT_NE(value.find("selected "), std::string::npos);
    ResetLogReader();
}

} // namespace
