// The player's clock, fed with wall time as the frame loop feeds it.
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "player/PlaybackClock.h"

namespace
{
// Five rows a second, at the replay's x3: 15 rows per wall second.
const double Step = 0.2;

TEST(PlaybackClockTest, PauseStopsOnTheNearestRowAndHoldsIt)
{
    PlaybackClock clock(100, Step, 3.0);
    EXPECT_FALSE(clock.Paused());
    clock.Advance(0.18); // 2.7 rows
    EXPECT_NEAR(clock.Position(), 2.7, 1e-9);
    clock.TogglePause();
    EXPECT_TRUE(clock.Paused());
    EXPECT_EQ(clock.Position(), 3.0) << "a paused clock stands on a whole row";
    clock.Advance(5.0);
    EXPECT_EQ(clock.Position(), 3.0);
    clock.TogglePause();
    clock.Advance(0.2);
    EXPECT_NEAR(clock.Position(), 6.0, 1e-9);
}

TEST(PlaybackClockTest, SpeedChangesWhilePlayingMoveOnFromWhereTheClockStands)
{
    PlaybackClock clock(10000, Step, 3.0);
    clock.Advance(1.0);
    const double before = clock.Position();
    EXPECT_NEAR(before, 15.0, 1e-9);
    clock.Faster();
    EXPECT_EQ(clock.Position(), before) << "no jump when the speed changes";
    clock.Advance(1.0);
    EXPECT_NEAR(clock.Position(), before + 30.0, 1e-9);
    clock.Slower();
    clock.Slower();
    const double slowed = clock.Position();
    clock.Advance(1.0);
    EXPECT_NEAR(clock.Position(), slowed + 7.5, 1e-9);
}

TEST(PlaybackClockTest, SpeedStaysBetweenAQuarterAndSixtyFour)
{
    PlaybackClock clock(10, Step, 3.0);
    for (int i = 0; i < 6; ++i)
        clock.Faster(); // 6 12 24 48, then held at 64
    EXPECT_EQ(clock.Speed(), FastestSpeed);
    for (int i = 0; i < 9; ++i)
        clock.Slower(); // 32 16 8 4 2 1 0.5 0.25, then held
    EXPECT_EQ(clock.Speed(), SlowestSpeed);
    EXPECT_EQ(PlaybackClock(10, Step, 1000.0).Speed(), FastestSpeed);
}

TEST(PlaybackClockTest, SeeksLandOnWholeRowsWithinTheFlight)
{
    // 10 s are 33.3 rows of 0.3 s: a seek still stands on a sample.
    PlaybackClock clock(1000, 0.3, 3.0);
    clock.SetPaused(true);
    clock.SeekRow(10);
    clock.SeekSeconds(10.0);
    EXPECT_EQ(clock.Position(), 43.0);
    EXPECT_TRUE(clock.Paused()) << "a seek leaves a paused clock paused";
    clock.SeekSeconds(-60.0);
    EXPECT_EQ(clock.Position(), 0.0);
    clock.SeekSeconds(1e12); // far past the end, beyond what a row number holds
    EXPECT_EQ(clock.Position(), 999.0);
    clock.SeekRow(-5);
    EXPECT_EQ(clock.Position(), 0.0);

    // Playing, it keeps playing from the row it lands on.
    clock.SetPaused(false);
    clock.Advance(0.1);
    clock.SeekSeconds(60.0);
    EXPECT_EQ(clock.Position(), 201.0);
    EXPECT_FALSE(clock.Paused());
    clock.ToStart();
    EXPECT_EQ(clock.Position(), 0.0);
}

TEST(PlaybackClockTest, StepPausesAndMovesOneRowHeldAtBothEnds)
{
    PlaybackClock clock(5, Step, 3.0);
    clock.Advance(0.1); // 1.5 rows: the display shows row 2
    clock.StepRows(1);
    EXPECT_TRUE(clock.Paused());
    EXPECT_EQ(clock.Position(), 3.0);
    clock.StepRows(1);
    clock.StepRows(1);
    EXPECT_EQ(clock.Position(), 4.0) << "held on the last row";
    clock.ToStart();
    clock.StepRows(-1);
    EXPECT_EQ(clock.Position(), 0.0) << "held on the first row";
    clock.StepRows(std::numeric_limits<int32_t>::max());
    EXPECT_EQ(clock.Position(), 4.0);
}

TEST(PlaybackClockTest, LoopingGoesOnFromTheStartWithoutLoopingItStopsOnTheLastRow)
{
    // 11 rows one second apart, at the recorded speed: 10 s from first to last.
    PlaybackClock looping(11, 1.0, 1.0);
    looping.Advance(10.5);
    EXPECT_NEAR(looping.Position(), 0.5, 1e-9);
    EXPECT_FALSE(looping.Paused());

    PlaybackClock once(11, 1.0, 1.0);
    once.ToggleLoop();
    EXPECT_FALSE(once.Looping());
    once.Advance(10.5);
    EXPECT_EQ(once.Position(), 10.0);
    EXPECT_TRUE(once.Paused());
    once.TogglePause();
    EXPECT_EQ(once.Position(), 0.0) << "resuming at the end starts again";
    EXPECT_FALSE(once.Paused());
}

TEST(PlaybackClockTest, OneRowAndUnusableStepsStillGiveAClock)
{
    PlaybackClock single(1, Step, 3.0);
    single.Advance(100.0);
    single.SeekSeconds(10.0);
    single.StepRows(1);
    EXPECT_EQ(single.Position(), 0.0);

    // No two consecutive sample numbers leave the mean step 0/0, and a step of 0 or less
    // would never move: such flights play one row per second, as the replay's path does.
    for (const double step : {std::numeric_limits<double>::quiet_NaN(), 0.0, -0.5})
    {
        PlaybackClock clock(10, step, 1.0);
        clock.Advance(2.0);
        EXPECT_NEAR(clock.Position(), 2.0, 1e-9) << "step " << step;
        clock.Advance(-1.0);
        EXPECT_NEAR(clock.Position(), 2.0, 1e-9) << "step " << step;
    }
}
} // namespace
