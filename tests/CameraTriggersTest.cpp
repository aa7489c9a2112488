// The photos a flight took: each autopilot's camera messages, on the converted log's clock, a
// trigger without a place put on the aircraft's track, and the file `track` writes beside the
// log, which loading reads back.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flight/LoadedFlight.h"
#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "check/PhotoCheck.h"
#include "track/CameraTriggers.h"
#include "track/FlightConversion.h"

class CameraTriggersTest : public DataToolFixture
{
};

namespace
{
// A log of each format, the source its photos should name, and whether it logs an attitude.
struct PhotoLog
{
    const char* label;
    std::string bytes;
    const char* source;
    bool attitude;
};
} // namespace

TEST_F(CameraTriggersTest, EachAutopilotLogGivesItsPhotosOnTheLogsClock)
{
    CircleFlight flight;
    flight.photos = true;
    const PhotoLog cases[] = {
        {"ULog", CircleULog(flight), "camera_capture", true},
        {"DataFlash (CAM chosen over TRIG)", CircleDataFlash(flight), "CAM", true},
        {"telemetry 2", CircleTelemetry(flight, 2), "CAMERA_FEEDBACK", true},
        {"telemetry 1 (a trigger without a place)", CircleTelemetry(flight, 1), "CAMERA_TRIGGER", false},
    };
    for (const PhotoLog& c : cases)
    {
        WriteText("photos.in", c.bytes);
        RecordedFlight recorded;
        ASSERT_TRUE(ReadFlight("photos.in", &recorded)) << c.label;
        const ConvertedFlight converted = ConvertFlight(recorded, ConversionSettings());
        ASSERT_FALSE(converted.rows.empty()) << c.label;
        ASSERT_EQ(converted.photos.size(), 11u) << c.label << ": 20 s, one every 2 s, both ends, once each";
        EXPECT_EQ(converted.photosWithoutPosition, 0u) << c.label;
        for (size_t i = 0; i < converted.photos.size(); ++i)
        {
            const TimedPhoto& p = converted.photos[i];
            const double s = PhotoInterval * static_cast<double>(i);
            const FlightState truth = StateAt(flight, s);
            EXPECT_EQ(p.source, c.source) << c.label;
            EXPECT_EQ(p.index, static_cast<int64_t>(i) + 1) << c.label;
            ASSERT_NEAR(p.time, flight.bootTime + s, 1e-3) << c.label;
            ASSERT_NEAR(p.latitude, truth.latitude, 2e-7) << c.label << " photo " << i;
            ASSERT_NEAR(p.longitude, truth.longitude, 2e-7) << c.label << " photo " << i;
            ASSERT_NEAR(p.altitude, truth.altitude, 0.02) << c.label << " photo " << i;
            if (!c.attitude)
            {
                EXPECT_FALSE(p.HasAttitude()) << c.label;
                continue;
            }
            ASSERT_NEAR(p.roll, truth.roll, 1e-3) << c.label;
            ASSERT_NEAR(p.pitch, truth.pitch, 1e-3) << c.label;
            ASSERT_LT(std::fabs(std::remainder(p.yaw - truth.yaw, 2.0 * Pi)), 1e-3) << c.label;
        }
    }
    // A log without a camera has no photos.
    WriteText("plain.in", CircleULog(CircleFlight()));
    RecordedFlight plain;
    ASSERT_TRUE(ReadFlight("plain.in", &plain));
    EXPECT_TRUE(ConvertFlight(plain, ConversionSettings()).photos.empty());
}

TEST_F(CameraTriggersTest, ATriggerWithoutAPlaceTakesTheAircraftsOrIsLeftOutAndCounted)
{
    // Fixes at 10 s and 12 s, then none until 20 s: a gap longer than the conversion bridges.
    const std::vector<TimedPosition> positions = {{10.0, 47.0, 8.0, 100.0}, {12.0, 47.002, 8.004, 110.0}, {20.0, 47.01, 8.01, 120.0}};
    std::vector<TimedPhoto> recorded(5);
    recorded[0].time = 111.0; // between the first two fixes, on a clock 100 s behind the rows'
    recorded[1].time = 115.0; // in the gap
    recorded[2].time = 130.0; // after the last fix
    recorded[3].time = 110.5; // a place of its own but no height
    recorded[3].latitude = 46.5;
    recorded[3].longitude = 7.5;
    recorded[4].time = 140.0; // a place of its own is kept wherever the aircraft was
    recorded[4].latitude = 46.0;
    recorded[4].longitude = 7.0;
    recorded[4].altitude = 333.0;
    size_t without = 0;
    const std::vector<TimedPhoto> photos = PhotosOnRows(recorded, 100.0, positions, 2.0, &without);
    EXPECT_EQ(without, 2u);
    ASSERT_EQ(photos.size(), 3u);
    EXPECT_DOUBLE_EQ(photos[0].time, 10.5) << "in time order";
    EXPECT_DOUBLE_EQ(photos[0].latitude, 46.5);
    EXPECT_NEAR(photos[0].altitude, 102.5, 1e-9) << "the aircraft's height a quarter of the way";
    EXPECT_NEAR(photos[1].latitude, 47.001, 1e-12);
    EXPECT_NEAR(photos[1].longitude, 8.002, 1e-12);
    EXPECT_NEAR(photos[1].altitude, 105.0, 1e-9);
    EXPECT_DOUBLE_EQ(photos[2].altitude, 333.0);
    EXPECT_EQ(PhotosLeftOutNote("f.tlog", without), "track: 'f.tlog': 2 camera triggers without a position left out (no place of its own, none of the aircraft's at its time)\n");
    EXPECT_EQ(PhotosLeftOutNote("f.tlog", 0), "");
}

TEST_F(CameraTriggersTest, TrackWritesThePhotosBesideTheLogAndLoadingReadsThemBack)
{
    CircleFlight flight;
    flight.photos = true;
    WriteText("survey.bin", CircleDataFlash(flight));
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "survey.bin", "--out", "survey.log", "--json"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("11 photos (CAM) written to survey.photos.csv"), std::string::npos) << err;
    EXPECT_NE(out.find("\"photos\":11"), std::string::npos) << out;
    const std::string csv = ReadText("survey.photos.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "time,index,latitude,longitude,altitude,roll,pitch,yaw,source");

    // The log with the file beside it, and the flight converted in memory, give the same, to
    // the file's own precision.
    LoadedFlight converted;
    ASSERT_EQ(LoadFlight("survey.bin", nullptr, FlightFiles::Convert, LoadReport::Quiet, &converted), 0);
    std::string error;
    ASSERT_TRUE(WritePhotos("converted.photos.csv", converted.photos, &error)) << error;
    EXPECT_EQ(LoadLogQuietly("survey.log").photos.size(), 11u);
    EXPECT_EQ(ReadText("converted.photos.csv"), csv);

    // A line that holds no photo is said once and skipped; the rest are kept, in time order.
    WriteText("survey.photos.csv", "time,index,latitude,longitude,altitude,roll,pitch,yaw,source\n"
                                   "130.000,,47.0010000,8.0020000,,,,,CAMERA_TRIGGER\n"
                                   "120.000,7,47.0000000,8.0000000,512.25,1.00,-2.00,90.00,CAM\n"
                                   "125.000,8,not-a-number,8.0,500,,,,CAM\n");
    OutputCapture capture(true);
    const LoadedFlight edited = LoadLogQuietly("survey.log");
    capture.Finish();
    EXPECT_NE(capture.Errors().find("photos: 'survey.photos.csv': 1 line holds no photo and was skipped"), std::string::npos) << capture.Errors();
    ASSERT_EQ(edited.photos.size(), 2u);
    EXPECT_EQ(edited.photos[0].index, 7);
    EXPECT_NEAR(edited.photos[0].yaw, 90.0 * Degree, 1e-12);
    EXPECT_DOUBLE_EQ(edited.photos[0].altitude, 512.25);
    EXPECT_EQ(edited.photos[1].index, -1);
    EXPECT_TRUE(std::isnan(edited.photos[1].altitude));
    EXPECT_FALSE(edited.photos[1].HasAttitude());

    // A flight without a camera leaves no file from another flight beside its log.
    WriteText("plain.bin", CircleDataFlash(CircleFlight()));
    ASSERT_EQ(RunTool({"track", "plain.bin", "--out", "survey.log"}, &out, &err), 0) << err;
    EXPECT_FALSE(Exists("survey.photos.csv"));
}

TEST_F(CameraTriggersTest, ALawnmowerSurveyOverlapsAlongEachLineAndItsTurnsAreNoGaps)
{
    // 4 lines of 300 m, a photo every 30 m, 100 m above flat ground: 70% forward overlap.
    SurveyFlight survey;
    survey.altitude = 545.0;
    WriteText("survey.bin", SurveyDataFlash(survey));
    RecordedFlight recorded;
    ASSERT_TRUE(ReadFlight("survey.bin", &recorded));
    const ConvertedFlight converted = ConvertFlight(recorded, ConversionSettings());
    ASSERT_EQ(converted.photos.size(), 44u) << "11 a line, both ends";
    std::vector<PhotoPlace> places;
    for (const TimedPhoto& p : converted.photos)
        places.push_back(PhotoPlace{p.time, p.index, p.latitude, p.longitude, p.altitude});
    const PhotoCheckReport report = CheckPhotos(places, [](double, double) { return 445.0; }, FindCameraModel("survey-1in-20mp"));
    EXPECT_TRUE(report.gaps.empty());
    size_t along = 0;
    for (double overlap : report.forwardOverlap)
        if (std::isfinite(overlap))
        {
            ++along;
            EXPECT_NEAR(overlap, 0.7, 0.01);
        }
    EXPECT_EQ(along, 40u) << "10 steps a line; the 3 steps between lines are turns";
    // With one photo missed in the second line, that line names the gap.
    places.erase(places.begin() + 16);
    const PhotoCheckReport missed = CheckPhotos(places, [](double, double) { return 445.0; }, FindCameraModel("survey-1in-20mp"));
    ASSERT_EQ(missed.gaps.size(), 1u);
    EXPECT_EQ(OverlapGapText(places, missed.gaps[0]).substr(0, 31), "gap between photos 16 and 18 at");
    EXPECT_NEAR(missed.gaps[0].overlap, 0.4, 0.01);
}
