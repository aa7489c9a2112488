#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/NumberedClips.h"
#include "support/TestSupport.h"
#include "video/ClipDecoder.h"

namespace
{
const int DecoderFps = 30;

class ClipDecoderTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new ScratchDirectory();
        ASSERT_TRUE(MakeNumberedClip(folder->PathOf("clip.mp4"), 4.0, DecoderFps, 320, 180));
    }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }

    static int NumberIn(const ClipFrame& frame)
    {
        return ReadFrameNumber([&frame](double u, double v) {
            int x = std::min(frame.width - 1, static_cast<int>(u * frame.width));
            int y = std::min(frame.height - 1, static_cast<int>(v * frame.height));
            const uint8_t* p = &frame.rgb[(static_cast<size_t>(y) * frame.width + x) * 3];
            return (p[0] + p[1] + p[2]) / 3.0;
        });
    }

    static ScratchDirectory* folder;
};
ScratchDirectory* ClipDecoderTest::folder = nullptr;

// Forward a frame at a time, back, far ahead, on and just before frame boundaries: always the
// frame whose presentation time is the last at or before the clock, however it got there.
TEST_F(ClipDecoderTest, GivesTheFrameWhosePresentationTimeIsAtTheClock)
{
    std::string error;
    std::unique_ptr<ClipDecoder> clip = ClipDecoder::Open(folder->PathOf("clip.mp4"), 320, &error);
    ASSERT_TRUE(clip) << error;
    EXPECT_NEAR(clip->Duration(), 4.0, 1e-6);
    EXPECT_NEAR(clip->FrameRate(), DecoderFps, 1e-9);
    EXPECT_EQ(clip->Width(), 320);
    EXPECT_EQ(clip->Height(), 180);
    for (double t : {0.0, 0.02, 0.034, 0.5, 0.51, 3.1, 1.0, 0.999, 2.2, 0.0, 3.99})
    {
        ClipFrame frame;
        ASSERT_TRUE(clip->FrameAt(t, &frame));
        ASSERT_TRUE(frame.inside) << t;
        const int expected = static_cast<int>(std::floor(t * DecoderFps + 1e-9));
        EXPECT_EQ(NumberIn(frame), expected) << "at " << t;
        EXPECT_NEAR(frame.seconds, expected / static_cast<double>(DecoderFps), 1e-6);
        EXPECT_LE(frame.seconds, t);
        EXPECT_GT(frame.until, t);
    }
    for (double outside : {-0.01, 4.0, 60.0})
    {
        ClipFrame frame;
        ASSERT_TRUE(clip->FrameAt(outside, &frame));
        EXPECT_FALSE(frame.inside) << outside;
        EXPECT_TRUE(frame.rgb.empty());
    }
    // Without waiting, the answer comes on the decoder's thread.
    clip->Request(1.5);
    ClipFrame taken;
    for (int tries = 0; tries < 500 && !clip->Take(&taken); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(NumberIn(taken), 45);
    EXPECT_GT(clip->FramesDecoded(), 0);
}

TEST_F(ClipDecoderTest, RefusesWhatIsNoVideoWithOneLine)
{
    const std::string subtitles = folder->PathOf("notes.mp4");
    std::ofstream(subtitles) << "1\n00:00:00,000 --> 00:00:01,000\nno picture here\n";
    const std::string noise = folder->PathOf("noise.mp4");
    std::ofstream(noise) << std::string(4096, '\x5a');
    const std::string sound = folder->PathOf("sound.m4a");
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i sine=d=1 '" + sound + "'").c_str()), 0);
    std::string error;
    EXPECT_FALSE(ClipDecoder::Open(folder->PathOf("missing.mp4"), 320, &error));
    EXPECT_NE(error.find("cannot be read as a video (No such file"), std::string::npos) << error;
    EXPECT_FALSE(ClipDecoder::Open(noise, 320, &error));
    EXPECT_NE(error.find("cannot be read as a video"), std::string::npos) << error;
    EXPECT_FALSE(ClipDecoder::Open(subtitles, 320, &error));
    EXPECT_EQ(error, "holds no video stream");
    EXPECT_FALSE(ClipDecoder::Open(sound, 320, &error));
    EXPECT_EQ(error, "holds no video stream");
}
} // namespace
