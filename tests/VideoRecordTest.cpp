// The recorder draws the onboard video's frame for each moment into its output; the still is
// read back by the numbers the clip's frames show. Clips it cannot show are said in one line.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include <osg/Image>
#include <osgDB/ReadFile>

#include "player/VideoPanel.h"
#include "support/NumberedClips.h"
#include "support/TestSupport.h"

namespace
{
const int ClipFps = 30;

int FrameNumberInStill(const std::string& path, int width, int height)
{
    osg::ref_ptr<osg::Image> still = osgDB::readRefImageFile(path);
    if (!still || still->s() != width || still->t() != height)
        return -2;
    const PanelRect panel = VideoPanelRect(width, height, 16.0 / 9.0);
    return ReadFrameNumber([&](double u, double v) {
        // The image's rows run from the bottom; the panel's v from its top.
        const int x = static_cast<int>(panel.left + u * panel.width);
        const int y = static_cast<int>(panel.bottom + (1.0 - v) * panel.height);
        const osg::Vec4 colour = still->getColor(x, y);
        return 255.0 * (colour.r() + colour.g() + colour.b()) / 3.0;
    });
}

class VideoRecordTest : public ScratchWorkingDirectoryTest
{
};

// The recorder draws the clip's frame for each moment into the video, the same on every run;
// the still is read back by the numbers the clip's frames show.
TEST_F(VideoRecordTest, ARecordedStillShowsTheClipsFrameForTheClocksMoment)
{
    ASSERT_TRUE(MakeNumberedClip("clip.mp4", 20.0, ClipFps, 192, 108));
    std::string log = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n";
    for (int n = 1; n <= 121; ++n)
        log += std::to_string(n) + "," + std::to_string((n - 1) * 0.5) + "," + std::to_string(2826.0 + n * 0.01) + ",492.0,500\n";
    WriteWholeFile("flight.log", log);
    const auto record = [](const std::string& out, const std::string& at, const std::string& offset, const std::string& clip = "clip.mp4",
                           const std::string& to = "") {
        return RunProgram(FLIGHTREPLAY_PLAYER_BINARY, ".",
                          {"flight.log", "--video", clip, "--video-offset", offset, "--record", out, "--from", at, "--to", to.empty() ? at : to, "--size",
                           "640x360"},
                          {"-OSG_NOTIFY_LEVEL", "-DISPLAY"}, 120);
    };
    // From log second 17.3 with the clip from second 5, at x3 and 30 frames a second: each
    // frame a tenth of a second of log on, its clip frame 12.3 s * 30 = 369, then three on.
    RunResult inside = record("inside/", "17.3", "5", "clip.mp4", "17.9");
    ASSERT_EQ(inside.status, 0) << inside.err;
    for (int frame = 1; frame <= 7; ++frame)
    {
        char name[64];
        snprintf(name, sizeof name, "inside/frame-%06d.png", frame);
        EXPECT_EQ(FrameNumberInStill(name, 640, 360), 369 + 3 * (frame - 1)) << name;
    }
    RunResult before = record("before/", "3", "5");
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(FrameNumberInStill("before/frame-000001.png", 640, 360), -1) << "no stale frame before the clip";

    // What cannot be shown is said in one line, and the replay goes on without the panel.
    WriteWholeFile("noise.mp4", std::string(2048, 'z'));
    RunResult noise = record("noise/", "17.3", "5", "noise.mp4");
    EXPECT_EQ(noise.status, 0) << noise.err;
    EXPECT_NE(noise.err.find("--video: noise.mp4 cannot be read as a video ("), std::string::npos) << noise.err;
    EXPECT_EQ(FrameNumberInStill("noise/frame-000001.png", 640, 360), -1);
    RunResult beyond = record("beyond/", "17.3", "75");
    EXPECT_EQ(beyond.status, 0) << beyond.err;
    EXPECT_NE(beyond.err.find("--video: clip.mp4 lies outside the flight: its 20.0 s begin at the flight's second 75.0, and the flight lasts 60.0 s;"),
              std::string::npos)
        << beyond.err;
}
} // namespace
