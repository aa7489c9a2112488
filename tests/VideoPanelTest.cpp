// The onboard video beside the replay: the clip's frame at the clock, in the session and in a
// recorded still read back, the keys that move it, and the clips it cannot show.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <osg/Image>
#include <osgDB/ReadFile>

#include "player/PlayerKeys.h"
#include "player/PlayerSession.h"
#include "player/VideoPanel.h"
#include "support/NumberedClips.h"
#include "support/SceneTestSupport.h"
#include "support/TestSupport.h"
#include "video/ClipSync.h"

namespace
{
const int ClipFps = 30;

class VideoPanelTest : public SceneFixture
{
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        // Two rows a second from log time 1000 s, for a minute.
        for (int32_t n = 1; n <= 121; ++n)
        {
            AddRow(n, 47.1 + n * 1e-5, 8.2, 500.0 + n);
            flight.rows.back().gps_time = 1000.0 + (n - 1) * 0.5;
        }
        flight.summary.step = 0.5;
        flight.name = "flight.log";
        ASSERT_TRUE(MakeNumberedClip("clip.mp4", 20.0, ClipFps, 192, 108));
    }

    static int FrameNumberInStill(const std::string& path, int width, int height)
    {
        osg::ref_ptr<osg::Image> still = osgDB::readRefImageFile(path);
        if (!still || still->s() != width || still->t() != height)
            return -2;
        const PanelRect panel = VideoPanelRect(width, height, 320.0 / 180.0);
        return ReadFrameNumber([&](double u, double v) {
            // The image's rows run from the bottom; the panel's v from its top.
            const int x = static_cast<int>(panel.left + u * panel.width);
            const int y = static_cast<int>(panel.bottom + (1.0 - v) * panel.height);
            const osg::Vec4 colour = still->getColor(x, y);
            return 255.0 * (colour.r() + colour.g() + colour.b()) / 3.0;
        });
    }
};

// The sync file beside the clip places it; the keys nudge it and the display says so; outside
// the clip's span the panel holds no frame.
TEST_F(VideoPanelTest, TheClipStandsOnTheFlightsClockThroughItsSync)
{
    ClipSync sync;
    sync.offset = 12.0;
    sync.rate = 1.0005;
    sync.method = "telemetry";
    sync.log = "flight.log";
    std::string error;
    ASSERT_TRUE(WriteClipSync(ClipSyncPath("clip.mp4"), sync, &error)) << error;
    PlayerViewOptions options;
    options.video = "clip.mp4";
    osg::ref_ptr<PlayerSession> session = new PlayerSession(options, Flights(), frame);
    VideoPanel* video = session->Video();
    ASSERT_NE(video, nullptr);
    video->SetExact(true);
    EXPECT_NE(std::string(ShownKeyLine()).find("c video  x swap  (/) offset"), std::string::npos);

    session->clock.SeekRow(50); // 25 s into the flight: 13 s into the clip, its clock 0.05 % fast
    session->Refresh(640, 360, true);
    EXPECT_TRUE(video->Inside());
    EXPECT_NEAR(video->ClipSeconds(), 13.0 * 1.0005, 1e-9);
    std::vector<std::string> lines = session->Lines();
    EXPECT_EQ(lines.back(), "video clip.mp4: 13.00 s of 20.0 s  offset +12.0 s (telemetry, rate 1.00050)");

    ApplyVideoAction(ActionOfKey(')'), *video);
    ApplyVideoAction(ActionOfKey(')'), *video);
    ApplyVideoAction(ActionOfKey('('), *video);
    session->Refresh(640, 360, true);
    EXPECT_NEAR(video->Sync().offset, 12.1, 1e-9);
    EXPECT_NE(session->Lines().back().find("offset +12.1 s"), std::string::npos);

    session->clock.SeekRow(10); // 5 s: 7.1 s before the clip
    session->Refresh(640, 360, true);
    EXPECT_FALSE(video->Inside());
    EXPECT_EQ(session->Lines().back(), "video clip.mp4: the clip starts in 7.1 s  offset +12.1 s (telemetry, rate 1.00050)");
    session->clock.SeekRow(120); // 60 s: past its end
    session->Refresh(640, 360, true);
    EXPECT_FALSE(video->Inside());
    EXPECT_NE(session->Lines().back().find("the clip ended"), std::string::npos);

    // Swapped, the scene takes the panel's place at the window's shape.
    ApplyVideoAction(ActionOfKey('x'), *video);
    const PanelRect scene = video->SceneRect(640, 360);
    EXPECT_NEAR(scene.width / scene.height, 640.0 / 360.0, 1e-9);
    EXPECT_NEAR(scene.left + scene.width, 640.0 - VideoPanelMargin, 1e-9);
    ApplyVideoAction(ActionOfKey('c'), *video);
    EXPECT_EQ(video->SceneRect(640, 360).width, 640.0) << "hidden, the video gives the scene back";
}

// The recorder draws the clip's frame for each moment into the video, the same on every run;
// the still is read back by the numbers the clip's frames show.
TEST_F(VideoPanelTest, ARecordedStillShowsTheClipsFrameForTheClocksMoment)
{
    std::string log = "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n";
    for (int n = 1; n <= 121; ++n)
        log += std::to_string(n) + "," + std::to_string((n - 1) * 0.5) + "," + std::to_string(2826.0 + n * 0.01) + ",492.0,500\n";
    WriteText("flight.log", log);
    const auto record = [](const std::string& out, const std::string& at, const std::string& offset, const std::string& clip = "clip.mp4") {
        return RunProgram(FLIGHTREPLAY_PLAYER_BINARY, ".",
                          {"flight.log", "--video", clip, "--video-offset", offset, "--record", out, "--from", at, "--to", at, "--size", "640x360"},
                          {"-OSG_NOTIFY_LEVEL", "-DISPLAY"}, 120);
    };
    // Log second 17.3 with the clip from second 5: its frame 12.3 s * 30 = 369.
    RunResult inside = record("inside/", "17.3", "5");
    ASSERT_EQ(inside.status, 0) << inside.err;
    EXPECT_EQ(FrameNumberInStill("inside/frame-000001.png", 640, 360), 369);
    RunResult before = record("before/", "3", "5");
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(FrameNumberInStill("before/frame-000001.png", 640, 360), -1) << "no stale frame before the clip";

    // What cannot be shown is said in one line, and the replay goes on without the panel.
    WriteText("noise.mp4", std::string(2048, 'z'));
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
