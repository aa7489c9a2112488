// A clip lined up with its flight: by its telemetry subtitles fitted to the log's track (the
// offset to within a frame, the clock's drift), refused where no flight is in common or the
// track cannot tell placings apart, by its creation time without telemetry; and the flight's
// figures as subtitles, on the flight's clock and on the clip's through its sync.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/DataToolSupport.h"
#include "support/NumberedClips.h"
#include "track/FlightConversion.h"
#include "track/SrtReader.h"
#include "video/ClipProbe.h"
#include "video/ClipSync.h"
#include "video/Subtitles.h"
#include "video/SyncFit.h"

namespace
{

const double Latitude0 = 46.95, Longitude0 = 7.45;
const double StartOfDay = 8 * 3600 + 22 * 60; // the log begins 2019-08-25 08:22:00 UTC
const double StartUtc = 1566721320.0;
const double ClipStart = 37.4, ClipRate = 1.0005, ClipLength = 40.0;
const int Fps = 30;

struct Place
{
    double latitude, longitude, altitude;
};

// A survey drone's flight: a climb off the ground, then a figure of eight whose speed swells
// and slackens; with `hover`, it holds still over one place from 30 s to 150 s.
Place Flown(double t, bool hover)
{
    if (hover)
        t = t < 30.0 ? t : t < 150.0 ? 30.0 : t - 120.0;
    const double phase = 0.045 * t + 0.25 * std::sin(0.06 * t);
    const double east = 180.0 * std::sin(phase), north = 90.0 * std::sin(2.0 * phase);
    return {Latitude0 + north / MetresPerDegree, Longitude0 + east / (MetresPerDegree * std::cos(Latitude0 * Degree)),
            420.0 + 30.0 * (1.0 - std::exp(-t / 15.0)) + 4.0 * std::sin(0.1 * t)};
}

double Speed(double t, bool hover)
{
    const Place a = Flown(t - 0.05, hover), b = Flown(t + 0.05, hover);
    return GroundDistance(a.latitude, a.longitude, b.latitude, b.longitude) / 0.1;
}

// Three minutes at 10 rows a second, dated or not.
std::string FlightLog(bool hover, bool dated)
{
    ConvertedFlight flight;
    flight.columns = BaseLogColumns();
    if (dated)
        flight.columns.push_back(LogColumn{ColumnKind::gps_date, 0});
    for (int i = 0; i < 1800; ++i)
    {
        SampleRow row{};
        const Place place = Flown(i / 10.0, hover);
        row.samplenumber = i + 1;
        row.gps_time = StartOfDay + i / 10.0;
        row.gps_curlat = place.latitude * 60.0;
        row.gps_curlon = place.longitude * 60.0;
        row.gps_curalt = place.altitude;
        row.gps_date = dated ? 250819 : 0;
        flight.rows.push_back(row);
    }
    return FormatConvertedLog(flight);
}

// A cue a frame, in the layout that gives the home's altitude, the height above it and the
// speed, lying `north` degrees off the flight.
std::string Telemetry(bool hover, double north = 0.0)
{
    std::string text;
    char cue[512];
    for (int k = 0; k < ClipLength * Fps; ++k)
    {
        const double c = static_cast<double>(k) / Fps, t = ClipStart + c / ClipRate;
        const Place place = Flown(t, hover);
        snprintf(cue, sizeof cue, "F/2.8, SS 320, ISO 100, EV 0, GPS (%.6f, %.6f, 18), HOME (%.6f, %.6f, 400.00m), D 10.0m, H %.2fm, H.S %.2fm/s, V.S 0.00m/s\n\n",
                 place.longitude, place.latitude + north, Longitude0, Latitude0, place.altitude - 400.0, Speed(t, hover));
        text += std::to_string(k + 1) + "\n" + SubRipTime(c) + " --> " + SubRipTime(c + 1.0 / Fps) + "\n" + cue;
    }
    return text;
}

class VideoSyncTest : public DataToolFixture
{
protected:
    // The clip (made once per test: ffmpeg takes a moment), its telemetry and the flight.
    void Prepare(bool hover, bool dated, const std::string& telemetry, const std::string& creationTime = "")
    {
        WriteText("flight.log", FlightLog(hover, dated));
        ASSERT_TRUE(MakeNumberedClip("CLIP.MP4", ClipLength, Fps, 64, 48, creationTime));
        if (!telemetry.empty())
            WriteText("CLIP.SRT", telemetry);
    }

    int Sync(std::string* err, nlohmann::json* report = nullptr)
    {
        std::string out;
        const int status = RunTool({"sync", "flight.log", "CLIP.MP4", "--json"}, &out, err);
        if (report)
            *report = nlohmann::json::parse(out, nullptr, false);
        return status;
    }
};

TEST_F(VideoSyncTest, TelemetryGivesTheOffsetToAFrameAndTheClocksRate)
{
    Prepare(false, true, Telemetry(false));
    std::string err;
    nlohmann::json report;
    ASSERT_EQ(Sync(&err, &report), 0) << err;
    ClipSync sync;
    std::string error;
    ASSERT_TRUE(ReadClipSync("CLIP.sync", &sync, &error)) << error;
    EXPECT_NEAR(sync.offset, ClipStart, 1.0 / Fps);
    EXPECT_NEAR(sync.rate / ClipRate - 1.0, 0.0, 1e-4);
    EXPECT_EQ(sync.method, "telemetry");
    EXPECT_EQ(sync.log, "flight.log");
    EXPECT_DOUBLE_EQ(sync.logStartUtc, StartUtc);
    EXPECT_NEAR(sync.clipSeconds, ClipLength, 0.1);
    EXPECT_LT(sync.rmsMetres, 1.0);
    EXPECT_EQ(report["status"], "done");
    EXPECT_NE(err.find("offset 37.4"), std::string::npos) << err;
    // 0.05 % is within what a clip's clock keeps: no drift is reported.
    EXPECT_EQ(err.find("drifts"), std::string::npos) << err;
}

TEST_F(VideoSyncTest, NoFlightInCommonAndAHoverAreRefusedWithNothingWritten)
{
    Prepare(false, true, Telemetry(false, 0.05)); // five kilometres north of the flight
    std::string err;
    EXPECT_EQ(Sync(&err), ExitBadInput);
    EXPECT_NE(err.find("no fit"), std::string::npos) << err;
    EXPECT_FALSE(Exists("CLIP.sync"));

    // The clip lies inside two minutes of hover: every offset in it fits as well.
    WriteText("flight.log", FlightLog(true, true));
    WriteText("CLIP.SRT", Telemetry(true));
    EXPECT_EQ(Sync(&err), ExitBadInput);
    EXPECT_NE(err.find("ambiguous"), std::string::npos) << err;
    EXPECT_FALSE(Exists("CLIP.sync"));
}

TEST_F(VideoSyncTest, WithoutTelemetryTheCreationTimeGivesTheOffset)
{
    Prepare(false, true, "", "2019-08-25T08:22:54Z");
    std::string err;
    ASSERT_EQ(Sync(&err), 0) << err;
    ClipSync sync;
    std::string error;
    ASSERT_TRUE(ReadClipSync("CLIP.sync", &sync, &error)) << error;
    EXPECT_EQ(sync.method, "creation time");
    EXPECT_DOUBLE_EQ(sync.offset, 54.0);
    EXPECT_DOUBLE_EQ(sync.rate, 1.0);
    EXPECT_NE(err.find("weaker"), std::string::npos) << err;

    // An undated log has no time of day to set it against; one line, nothing written.
    ASSERT_EQ(remove("CLIP.sync"), 0);
    WriteText("flight.log", FlightLog(false, false));
    EXPECT_EQ(Sync(&err), ExitBadInput);
    EXPECT_EQ(SplitLines(err).size(), 1u) << err;
    EXPECT_NE(err.find("logs no date"), std::string::npos) << err;
    EXPECT_FALSE(Exists("CLIP.sync"));
    // Nor a clip that is missing, or no clip at all.
    std::string out;
    EXPECT_EQ(RunTool({"sync", "flight.log", "NONE.MP4"}, &out, &err), ExitBadInput);
    EXPECT_NE(err.find("no such clip"), std::string::npos) << err;
    EXPECT_EQ(RunTool({"sync", "flight.log", "flight.log"}, &out, &err), ExitBadInput);
    EXPECT_NE(err.find("no video clip"), std::string::npos) << err;
}

TEST(VideoSyncFitTest, ADriftingClockIsMeasuredAndAClipOutlastingItsFlightPlaced)
{
    std::vector<SampleRow> rows;
    // The cues of a clip whose clock runs 0.3 % fast, at 60 s, read back as the command reads them.
    std::vector<SrtCue> cues;
    for (int k = 0; k < 300; ++k)
    {
        const double c = k / 10.0, t = 60.0 + c / 1.003;
        const Place place = Flown(t, false);
        cues.push_back(SrtCue{c, place.latitude, place.longitude, place.altitude + 7.0, NAN, true});
    }
    for (int i = 0; i < 1800; ++i)
    {
        SampleRow row{};
        const Place place = Flown(i / 10.0, false);
        row.samplenumber = i + 1;
        row.gps_time = i / 10.0;
        row.gps_curlat = place.latitude * 60.0;
        row.gps_curlon = place.longitude * 60.0;
        row.gps_curalt = place.altitude;
        rows.push_back(row);
    }
    const SyncFitResult fit = FitClipToFlight(cues, FlightRows{rows.data(), static_cast<int32_t>(rows.size()), 0.1});
    ASSERT_EQ(fit.verdict, SyncFitVerdict::Fitted) << fit.why;
    EXPECT_NEAR(fit.offset, 60.0, 0.01);
    EXPECT_NEAR(fit.rate, 1.003, 1e-5);
    EXPECT_TRUE(fit.Drifts());
    EXPECT_NEAR(fit.heightBias, 7.0, 0.05);
    EXPECT_NEAR(fit.overlapSeconds, 29.9, 1e-9);

    // A camera started a minute before the log and left running past its end: the clip holds
    // the whole flight, and less than half of the clip lies over it.
    std::vector<SrtCue> longer;
    for (int k = 0; k < 4000; ++k)
    {
        const double c = k / 10.0;
        const Place place = Flown(c - 60.0, false);
        longer.push_back(SrtCue{c, place.latitude, place.longitude, place.altitude, NAN, true});
    }
    const SyncFitResult outlasting = FitClipToFlight(longer, FlightRows{rows.data(), static_cast<int32_t>(rows.size()), 0.1});
    ASSERT_EQ(outlasting.verdict, SyncFitVerdict::Fitted) << outlasting.why;
    EXPECT_NEAR(outlasting.offset, -60.0, 0.01);
    EXPECT_LT(outlasting.overlapShare, 0.5);
}

TEST(VideoSyncPartsTest, CuesOnTheClipsClockCreationTimesAndSubtitleTimes)
{
    // The cues' own starts, heights from home plus the height above it, the speed; a cue
    // without a position counted.
    size_t skipped = 0;
    const std::vector<SrtCue> cues = ReadSrtCues("1\n00:00:01,500 --> 00:00:02,000\nGPS (8.2090, 47.4692, 18), HOME (8.2091, 47.4691, 412.50m), H 45.60m, H.S 3.20m/s\n\n"
                                                 "2\n00:00:02,000 --> 00:00:02,500\nISO 100 and nothing else\n\n"
                                                 "3\n00:01:02,250 --> 00:01:03,000\nGPS(8.2092,47.4693,16) BAROMETER:2.5\n",
                                                 &skipped);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(skipped, 1u);
    EXPECT_DOUBLE_EQ(cues[0].clipSeconds, 1.5);
    EXPECT_DOUBLE_EQ(cues[0].latitude, 47.4692);
    EXPECT_DOUBLE_EQ(cues[0].altitude, 458.1);
    EXPECT_DOUBLE_EQ(cues[0].speed, 3.2);
    EXPECT_TRUE(cues[0].seaLevel);
    EXPECT_DOUBLE_EQ(cues[1].clipSeconds, 62.25);
    EXPECT_DOUBLE_EQ(cues[1].altitude, 412.5 + 2.5) << "the home's altitude carried on";
    EXPECT_TRUE(std::isnan(cues[1].speed));

    double utc = 0.0;
    ASSERT_TRUE(ParseCreationTime("2019-08-25T08:22:54.500000Z", &utc));
    EXPECT_DOUBLE_EQ(utc, StartUtc + 54.5);
    ASSERT_TRUE(ParseCreationTime("2019-08-25 10:22:54+02:00", &utc));
    EXPECT_DOUBLE_EQ(utc, StartUtc + 54.0);
    ASSERT_TRUE(ParseCreationTime("2019-08-25T06:52:54-0130", &utc));
    EXPECT_DOUBLE_EQ(utc, StartUtc + 54.0);
    for (const char* bad : {"2019-08-25", "2019-13-25T08:22:54Z", "2019-08-25T08:22:54Z later", "25/08/2019 08:22:54"})
        EXPECT_FALSE(ParseCreationTime(bad, &utc)) << bad;

    EXPECT_EQ(SubRipTime(3723.4567), "01:02:03,457");
    EXPECT_EQ(AssTime(3723.4567), "1:02:03.46");
    EXPECT_EQ(AssTime(59.999), "0:01:00.00");
    EXPECT_EQ(SubRipTime(-0.2), "00:00:00,000");
    SubtitleFormat format = SubtitleFormat::SubRip;
    EXPECT_TRUE(SubtitleFormatOf("out/Figures.ASS", &format));
    EXPECT_EQ(format, SubtitleFormat::Ass);
    EXPECT_FALSE(SubtitleFormatOf("figures.ass/x", &format));
    EXPECT_FALSE(SubtitleFormatOf("figures.txt", &format));
}

TEST_F(VideoSyncTest, SubtitlesOnTheFlightsClockAndOnTheClips)
{
    WriteText("flight.log", FlightLog(false, true));
    std::string out, err;
    ASSERT_EQ(RunTool({"subtitles", "flight.log", "--out", "figures.srt"}, &out, &err), 0) << err;
    const std::vector<std::string> srt = SplitLines(ReadText("figures.srt"));
    // A cue a second over three minutes, each a number, its times, two lines of figures and a blank.
    ASSERT_EQ(srt.size(), 180u * 5) << ReadText("figures.srt");
    EXPECT_EQ(srt[38 * 5], "39");
    EXPECT_EQ(srt[38 * 5 + 1], "00:00:38,000 --> 00:00:39,000");
    char altitude[64];
    snprintf(altitude, sizeof altitude, "08:22:38 UTC   alt %.1f m", Flown(38.0, false).altitude);
    EXPECT_EQ(srt[38 * 5 + 2], altitude);
    EXPECT_EQ(srt[38 * 5 + 3].rfind("GS ", 0), 0u) << srt[38 * 5 + 3];

    ASSERT_EQ(RunTool({"subtitles", "flight.log", "--out", "figures.ass"}, &out, &err), 0) << err;
    const std::string ass = ReadText("figures.ass");
    for (const char* section : {"[Script Info]\n", "\n[V4+ Styles]\nFormat: Name,", "\n[Events]\nFormat: Layer, Start, End, Style,"})
        EXPECT_NE(ass.find(section), std::string::npos) << section;
    size_t dialogues = 0;
    for (const std::string& line : SplitLines(ass))
        dialogues += line.rfind("Dialogue: 0,", 0) == 0;
    EXPECT_EQ(dialogues, 180u);
    EXPECT_NE(ass.find("Dialogue: 0,0:00:38.00,0:00:39.00,Figures,,0,0,0,,08:22:38 UTC   alt "), std::string::npos);

    // The mode in force and the nearest event, from the events beside the log (on gps_time's clock).
    WriteText("flight.events.csv", "time,kind,severity,text\n30125.000,mode,6,Loiter\n30140.000,failsafe,2,battery low\n");
    ASSERT_EQ(RunTool({"subtitles", "flight.log", "--out", "events.srt"}, &out, &err), 0) << err;
    const std::string events = ReadText("events.srt");
    // Each cue's text after its number and times, by its second on the flight's clock.
    std::vector<std::string> cue;
    for (size_t from = 0, end; from < events.size(); from = end + 2)
    {
        end = events.find("\n\n", from);
        const std::string whole = events.substr(from, end - from);
        cue.push_back(whole.substr(whole.find(" --> ") + 18));
    }
    ASSERT_EQ(cue.size(), 180u);
    EXPECT_EQ(cue[4].find("mode"), std::string::npos) << cue[4];
    EXPECT_NE(cue[5].find("   mode Loiter"), std::string::npos) << cue[5];
    EXPECT_EQ(cue[9].find("failsafe"), std::string::npos) << "an event further than 10 s away is not shown";
    EXPECT_NE(cue[12].find("   mode Loiter\nfailsafe: battery low (in 8 s)"), std::string::npos) << cue[12];
    EXPECT_NE(cue[20].find("\nfailsafe: battery low (now)"), std::string::npos) << cue[20];
    EXPECT_NE(cue[30].find("\nfailsafe: battery low (10 s ago)"), std::string::npos) << cue[30];
    ASSERT_EQ(remove("flight.events.csv"), 0);

    // On the clip's clock: flight second 37 to 77 fall within its 40 s, shifted and stretched.
    ASSERT_TRUE(MakeNumberedClip("CLIP.MP4", ClipLength, Fps, 64, 48));
    ClipSync sync;
    sync.offset = ClipStart;
    sync.rate = ClipRate;
    sync.method = "telemetry";
    sync.log = "flight.log";
    sync.clipSeconds = ClipLength;
    std::string error;
    ASSERT_TRUE(WriteClipSync("CLIP.sync", sync, &error)) << error;
    ASSERT_EQ(RunTool({"subtitles", "flight.log", "--out", "clip.srt", "--for", "CLIP.MP4"}, &out, &err), 0) << err;
    const std::vector<std::string> onClip = SplitLines(ReadText("clip.srt"));
    ASSERT_EQ(onClip.size(), 41u * 5);
    EXPECT_EQ(onClip[1], "00:00:00,000 --> 00:00:00,600");
    EXPECT_EQ(onClip[6], "00:00:00,600 --> 00:00:01,601");
    EXPECT_EQ(onClip[5 * 40 + 1].substr(0, 17), "00:00:39,620 --> ");

    // No sync beside a clip: one line, nothing written.
    EXPECT_EQ(RunTool({"subtitles", "flight.log", "--out", "other.srt", "--for", "OTHER.MP4"}, &out, &err), ExitBadInput);
    EXPECT_EQ(SplitLines(err).size(), 1u) << err;
    EXPECT_NE(err.find("no sync beside"), std::string::npos) << err;
    EXPECT_FALSE(Exists("other.srt"));
}

} // namespace
