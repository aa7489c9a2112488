// The photos over the drawn ground: height, ground sample distance and footprint for a named
// camera, and the gaps in a survey's forward overlap, on a made-up survey worked out by hand.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "check/PhotoCheck.h"
#include "geo/Geodesy.h"

namespace
{

const double Metre = 1.0 / (EarthRadius * RadiansPerDegree); // degrees of latitude

PhotoPlace At(int64_t index, double time, double north, double east, double altitude)
{
    return PhotoPlace{time, index, 47.0 + north * Metre, 8.0 + east * Metre / std::cos(47.0 * RadiansPerDegree), altitude};
}

} // namespace

TEST(PhotoCheckTest, GroundSampleDistanceAndFootprintOfANamedCamera)
{
    const CameraModel* camera = FindCameraModel("survey-1in-20mp");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(FindCameraModel("no-such-camera"), nullptr);
    // 100 m x 13.2 mm / (8.8 mm x 5472 px) = 2.7412 cm a pixel; 100 m x 8.8 / 8.8 along the track.
    EXPECT_NEAR(GroundSampleDistance(*camera, 100.0), 2.7412, 1e-4);
    EXPECT_NEAR(FootprintAlongTrack(*camera, 100.0), 100.0, 1e-9);
    // The smaller sensor: 50 m x 6.17 / (4.5 x 4000) = 1.7139 cm.
    EXPECT_NEAR(GroundSampleDistance(*FindCameraModel("compact-12mp"), 50.0), 1.7139, 1e-4);

    // Ground at 100 m west of 8.0005 E, none drawn beyond.
    const GroundHeight ground = [](double, double longitude) { return longitude < 8.0005 ? 100.0 : NAN; };
    const std::vector<PhotoPlace> photos = {At(1, 10.0, 0.0, 0.0, 200.0), At(2, 11.0, 0.0, 0.0, 150.0), At(3, 12.0, 0.0, 100.0, 150.0)};
    const PhotoCheckReport report = CheckPhotos(photos, ground, camera);
    EXPECT_EQ(report.overGround, 2u);
    EXPECT_NEAR(report.photos[0].height, 100.0, 1e-9);
    EXPECT_NEAR(report.photos[0].gsd, 2.7412, 1e-4);
    EXPECT_NEAR(report.photos[0].footprintAcross, 150.0, 1e-9);
    EXPECT_NEAR(report.photos[1].gsd, 2.7412 / 2.0, 1e-4);
    EXPECT_TRUE(std::isnan(report.photos[2].height)) << "no drawn ground under it";
    EXPECT_TRUE(std::isnan(report.forwardOverlap[1])) << "no height, no overlap";
    // Without a camera the heights alone.
    const PhotoCheckReport bare = CheckPhotos(photos, ground, nullptr);
    EXPECT_NEAR(bare.photos[0].height, 100.0, 1e-9);
    EXPECT_TRUE(std::isnan(bare.photos[0].gsd));
    EXPECT_TRUE(bare.gaps.empty());
}

TEST(PhotoCheckTest, AMissedTriggerAlongALineIsAGapAndTheTurnIsNot)
{
    // 100 m above flat ground: footprints 100 m along the track. North every 30 m (70%
    // overlap), photo 5 missed (60 m: 40%), 80 m east to the next line (a turn, no gap), then
    // south every 30 m.
    const std::vector<PhotoPlace> photos = {
        At(1, 100.0, 0.0, 0.0, 200.0),   At(2, 103.0, 30.0, 0.0, 200.0),  At(3, 106.0, 60.0, 0.0, 200.0),  At(4, 109.0, 90.0, 0.0, 200.0),
        At(6, 115.0, 150.0, 0.0, 200.0), At(7, 125.0, 150.0, 80.0, 200.0), At(8, 128.0, 120.0, 80.0, 200.0), At(9, 131.0, 90.0, 80.0, 200.0),
    };
    const GroundHeight flat = [](double, double) { return 100.0; };
    const PhotoCheckReport report = CheckPhotos(photos, flat, FindCameraModel("survey-1in-20mp"), 0.6);
    ASSERT_EQ(report.forwardOverlap.size(), 7u);
    EXPECT_NEAR(report.forwardOverlap[0], 0.70, 1e-3);
    EXPECT_NEAR(report.forwardOverlap[3], 0.40, 1e-3);
    EXPECT_TRUE(std::isnan(report.forwardOverlap[4])) << "the step to the next line";
    EXPECT_NEAR(report.forwardOverlap[5], 0.70, 1e-3) << "the next line's first step";
    ASSERT_EQ(report.gaps.size(), 1u);
    EXPECT_EQ(report.gaps[0].first, 3u);
    EXPECT_NEAR(report.gaps[0].distance, 60.0, 0.01);
    EXPECT_EQ(OverlapGapText(photos, report.gaps[0]), "gap between photos 4 and 6 at 115.0 s: 40% forward overlap (60 m apart)");
    // A lower threshold names none.
    EXPECT_TRUE(CheckPhotos(photos, flat, FindCameraModel("survey-1in-20mp"), 0.35).gaps.empty());
}
