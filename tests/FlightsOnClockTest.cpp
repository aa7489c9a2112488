// Several flights on one clock: where each stands when they are lined up by time of day, at
// take-off or at the start, and when each has no data.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/SampleRow.h"
#include "player/FlightsOnClock.h"
#include "player/PlayerDisplay.h"

namespace
{
struct Leg
{
    int32_t groundRows; // standing at groundAltitude before climbing
    double groundAltitude;
    double start; // gps_time of the first row
    double step;
    int32_t rows;
    int32_t date; // gps_date, 0 for none
};

struct LegFlight
{
    std::vector<SampleRow> rows;
    double step = 0.0;
    FlightRows Rows() const { return FlightRows{rows.data(), static_cast<int32_t>(rows.size()), step}; }
};

std::unique_ptr<LegFlight> Flight(const Leg& leg)
{
    auto flight = std::make_unique<LegFlight>();
    flight->rows.resize(static_cast<size_t>(leg.rows));
    for (int32_t i = 0; i < leg.rows; ++i)
    {
        SampleRow& row = flight->rows[i];
        row.samplenumber = i + 1;
        row.gps_date = leg.date;
        row.gps_time = leg.start + leg.step * i;
        row.gps_curalt = i < leg.groundRows ? leg.groundAltitude : leg.groundAltitude + 2.0 * (i - leg.groundRows + 1);
    }
    flight->step = leg.step;
    return flight;
}

double RowOf(const FlightsOnClock& clock, size_t flight, double clockPosition)
{
    double row = -1.0;
    EXPECT_TRUE(clock.FlightRowAt(flight, clockPosition, &row)) << "flight " << flight << " at " << clockPosition;
    return row;
}

TEST(FlightsOnClockTest, FlightsLineUpByTimeOfDayAtTakeoffOrAtTheStart)
{
    // A: 1 s rows from 10:00:00, two on the ground, then 2 m higher each: 6 m up at row 4.
    // B: 0.5 s rows from 10:00:30 on the same day, 20 rows on the ground, then climbing.
    const auto a = Flight({2, 400.0, 36000.0, 1.0, 200, 90426});
    const auto b = Flight({20, 600.0, 36030.0, 0.5, 150, 90426});
    EXPECT_EQ(TakeoffRow(a->Rows()), 4) << "the first row more than 5 m above the ground";
    EXPECT_EQ(TakeoffRow(b->Rows()), 22);

    const FlightsOnClock byTime({a->Rows(), b->Rows()}, FlightAlignment::Automatic);
    EXPECT_EQ(byTime.Alignment(), FlightAlignment::Time) << "both log dates";
    double row = 0.0;
    EXPECT_FALSE(byTime.FlightRowAt(1, byTime.ClockPositionOf(0, 29.0), &row)) << "B has not begun at 10:00:29";
    EXPECT_NEAR(RowOf(byTime, 1, byTime.ClockPositionOf(0, 60.0)), 60.0, 1e-9) << "10:01:00 is B's row 60";
    EXPECT_NEAR(RowOf(byTime, 1, byTime.ClockPositionOf(0, 60.25)), 60.5, 1e-9) << "between rows, in proportion";
    EXPECT_NEAR(byTime.StartOf(1) - byTime.StartOf(0), 30.0, 1e-9);

    const FlightsOnClock atTakeoff({a->Rows(), b->Rows()}, FlightAlignment::Takeoff);
    EXPECT_NEAR(RowOf(atTakeoff, 1, atTakeoff.ClockPositionOf(0, 4.0)), 22.0, 1e-9) << "both leave the ground together";
    EXPECT_NEAR(RowOf(atTakeoff, 0, atTakeoff.ClockPositionOf(1, 122.0)), 54.0, 1e-9) << "and 50 s later too";
    EXPECT_NEAR(atTakeoff.TimeAt(0.0), 0.0, 1e-9) << "the clock starts at the earliest row of all";
    EXPECT_NEAR(atTakeoff.StartOf(0), 7.0, 1e-9) << "A's 4 s before take-off, after B's 11 s";

    const FlightsOnClock atStart({a->Rows(), b->Rows()}, FlightAlignment::Start);
    EXPECT_NEAR(RowOf(atStart, 1, atStart.ClockPositionOf(0, 10.0)), 20.0, 1e-9);
    // A lasts 199 s, B 74.5 s: past B's end only A has data.
    EXPECT_FALSE(atStart.FlightRowAt(1, atStart.ClockPositionOf(0, 100.0), &row));
    EXPECT_EQ(row, 149.0) << "held at its last row";
    EXPECT_NEAR(atStart.ClockTimes().back(), 199.0, 1e-9);

    // Without a date on one of them, time of day cannot line them up: take-off does.
    const auto undated = Flight({20, 600.0, 36030.0, 0.5, 150, 0});
    EXPECT_EQ(FlightsOnClock({a->Rows(), undated->Rows()}, FlightAlignment::Time).Alignment(), FlightAlignment::Takeoff);
}

TEST(FlightsOnClockTest, ClocksThatGoBackOrCrossMidnightKeepTheRowsInOrder)
{
    // 23:59:58 to 00:00:02 the next day, logged as seconds of each day.
    auto night = Flight({0, 100.0, 86398.0, 1.0, 5, 90426});
    for (int32_t i = 2; i < 5; ++i)
    {
        night->rows[i].gps_time = i - 2.0;
        night->rows[i].gps_date = 100426;
    }
    auto stutter = Flight({0, 100.0, 86398.0, 1.0, 5, 90426});
    stutter->rows[3].gps_time = stutter->rows[1].gps_time; // a clock that jumped back
    const FlightsOnClock clock({night->Rows(), stutter->Rows()}, FlightAlignment::Time);
    EXPECT_NEAR(clock.ClockTimes().back(), 4.0, 1e-9) << "midnight is no jump back of a day";
    for (double row = 0.0; row <= 4.0; row += 0.5)
        EXPECT_NEAR(RowOf(clock, 0, clock.ClockPositionOf(0, row)), row, 1e-9);
    // Its row 3 holds row 2's time; positions on the clock never go back along the rows.
    double previous = -1.0;
    for (int32_t r = 0; r < 5; ++r)
    {
        const double position = clock.ClockPositionOf(1, r);
        EXPECT_GE(position, previous) << "row " << r;
        previous = position;
    }
    double seconds = 0.0;
    ASSERT_TRUE(RowUtcSeconds(night->rows[0], &seconds));
    EXPECT_EQ(seconds, 1775692800.0 + 86398.0) << "2026-04-09 23:59:58 UTC";
    EXPECT_EQ(FormatUtc(seconds + 1.96), "2026-04-10 00:00:00.0 UTC") << "rounded to the tenth, into the next day";
    night->rows[0].gps_date = 0;
    EXPECT_FALSE(RowUtcSeconds(night->rows[0], &seconds));
}

// Flights dated years apart play by time of day only when asked to, the clock then counting
// days; by default they line up at take-off, saying why. Asked by time of day, a flight
// without a date is named.
TEST(FlightsOnClockTest, DatesFarApartOrMissingLineUpAtTakeoffWithAWordUnlessAskedFor)
{
    const auto a = Flight({2, 400.0, 36000.0, 1.0, 200, 90426});
    const auto b = Flight({2, 400.0, 39600.0, 1.0, 100, 90424}); // two years earlier, an hour later in the day
    const std::vector<std::string> names = {"a.log", "b.log"};

    const FlightsOnClock automatic({a->Rows(), b->Rows()}, FlightAlignment::Automatic);
    EXPECT_EQ(automatic.Alignment(), FlightAlignment::Takeoff);
    EXPECT_EQ(automatic.Note(names), "the flights were flown 730 days apart, so they are lined up at take-off (--align time keeps them by time of day)");

    const FlightsOnClock asked({a->Rows(), b->Rows()}, FlightAlignment::Time);
    EXPECT_EQ(asked.Alignment(), FlightAlignment::Time);
    EXPECT_EQ(asked.Note(names), "");
    EXPECT_EQ(FormatWholeDuration(asked.ClockTimes().back()), "729 d 23:03:19");
    EXPECT_EQ(FormatDuration(asked.ClockTimes().back() + 0.25), "729 d 23:03:19.3");

    const auto undated = Flight({20, 600.0, 36030.0, 0.5, 150, 0});
    const FlightsOnClock fallen({a->Rows(), undated->Rows()}, FlightAlignment::Time);
    EXPECT_EQ(fallen.Note(names), "--align time: flight 2 (b.log) logs no date, so the flights are lined up at take-off");
    EXPECT_EQ(FlightsOnClock({a->Rows(), undated->Rows()}, FlightAlignment::Automatic).Note(names), "") << "the default says nothing of it";
}
} // namespace
