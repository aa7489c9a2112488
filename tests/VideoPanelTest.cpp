// The onboard video beside the replay: the clip on the flight's clock through its sync, the
// keys that move it, the panel outside the clip.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

} // namespace
