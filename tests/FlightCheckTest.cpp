// The flight check: height above the drawn ground, each fault kind at its threshold, the
// merging into stretches, take-off and landing, and the verdict.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "check/FlightCheck.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "log/SampleRow.h"
#include "support/ElevationTiles.h"
#include "support/TestSupport.h"
#include "terrain/ElevationTileStore.h"

namespace
{

// The flight: due north at 10 m/s, 5 rows a second, 30 m over flat ground at 100 m, in the
// middle of elevation tile (90, 140).
const int32_t TileRow = 90, TileColumn = 140;
const double Ground = 100.0;
const double Step = 0.2;   // seconds
const double Speed = 10.0; // m/s
const double MinutesPerMetre = 180.0 * 60.0 / (Pi * EarthRadius); // along a meridian
const double StartLatitude = 60.0 * GridRowLatitude(TileRow * 1024 + 500.3);
const double StartLongitude = 60.0 * GridColumnLongitude(TileColumn * 1024 + 500.6);

std::vector<SampleRow> Flight(int32_t count, double height = 30.0)
{
    std::vector<SampleRow> rows(count);
    for (int32_t i = 0; i < count; ++i)
    {
        rows[i].samplenumber = i + 1;
        rows[i].gps_time = 1000.0 + Step * i;
        rows[i].gps_curlat = StartLatitude + i * Step * Speed * MinutesPerMetre;
        rows[i].gps_curlon = StartLongitude;
        rows[i].gps_curalt = Ground + height;
    }
    return rows;
}

// Moves rows `from` onwards north by `metres` and up by `up`: one step of that much more.
void Shift(std::vector<SampleRow>& rows, size_t from, double metres, double up)
{
    for (size_t i = from; i < rows.size(); ++i)
    {
        rows[i].gps_curlat += metres * MinutesPerMetre;
        rows[i].gps_curalt += up;
    }
}

// The stretches of a kind as sample numbers.
std::vector<std::pair<int32_t, int32_t>> Stretches(const FlightCheckReport& report, const std::vector<SampleRow>& rows, FaultKind kind)
{
    std::vector<std::pair<int32_t, int32_t>> samples;
    for (const FaultStretch& stretch : report.faults[static_cast<int32_t>(kind)])
        samples.emplace_back(rows[stretch.firstRow].samplenumber, rows[stretch.lastRow].samplenumber);
    return samples;
}

using Samples = std::vector<std::pair<int32_t, int32_t>>;

class FlightCheckTest : public ScratchWorkingDirectoryTest
{
protected:
    void SetUp() override
    {
        ResetElevationStore();
        ASSERT_TRUE(WriteElevationTile(TileRow, TileColumn, [](int32_t, int32_t) { return static_cast<int32_t>(Ground); }));
    }
    void TearDown() override { ResetElevationStore(); }

    FlightCheckReport Check(const std::vector<SampleRow>& rows, const FlightCheckLimits& limits = FlightCheckLimits())
    {
        return CheckFlight(FlightRows{rows.data(), static_cast<int32_t>(rows.size()), Step}, frame, selection, limits);
    }

    MapFrameValues frame = MapFrameOn(StartLatitude / 60.0, StartLongitude / 60.0);
    std::vector<SampleRange> selection = {SampleRange{0, 100000}}; // the replay's without --samples

    // The stretches of the kind on a 40-row flight changed by `change`.
    template <typename Change>
    Samples Found(FaultKind kind, Change change, const FlightCheckLimits& limits = FlightCheckLimits())
    {
        std::vector<SampleRow> rows = Flight(40);
        change(rows);
        return Stretches(Check(rows, limits), rows, kind);
    }
};

TEST_F(FlightCheckTest, HeightIsOverTheDrawnGroundOnlyWithinTheRingsAndTheTiles)
{
    std::vector<SampleRow> rows = Flight(3);
    rows[1].gps_curlon += 200.0 / TileScale * 360.0 * 60.0; // beyond the rings, in the same tile
    rows[2].gps_curlat = 60.0 * GridRowLatitude((TileRow + 1) * 1024 + 2.5); // the tile south is missing
    OutputCapture capture;
    const TerrainClearance over = HeightAboveTerrain(RingsAround(frame), rows[0]);
    EXPECT_TRUE(over.covered);
    EXPECT_DOUBLE_EQ(over.terrain, Ground);
    EXPECT_DOUBLE_EQ(over.height, 30.0);
    EXPECT_FALSE(HeightAboveTerrain(RingsAround(frame), rows[1]).covered);
    // The player's terrain lies under the whole flight: there the same tile covers it.
    const TerrainClearance paged = HeightAboveTerrain(PagedGround(), rows[1]);
    EXPECT_TRUE(paged.covered);
    EXPECT_DOUBLE_EQ(paged.terrain, Ground);
    const MapFrameValues south = MapFrameOn(rows[2].gps_curlat / 60.0, StartLongitude / 60.0);
    EXPECT_FALSE(HeightAboveTerrain(PagedGround(), rows[2]).covered);
    EXPECT_EQ(capture.Finish(), "") << "the player's terrain reports no missing tile";
    OutputCapture rings;
    EXPECT_FALSE(HeightAboveTerrain(RingsAround(south), rows[2]).covered);
    EXPECT_NE(rings.Finish().find("Not open egm"), std::string::npos);
}

TEST_F(FlightCheckTest, EachFaultIsFoundJustOverItsThresholdAndNotAtIt)
{
    const Samples none;
    const auto at = [](int32_t sample) { return Samples{{sample - 1, sample}}; };
    // Time: a step of 0 stands still; a step just over 3 median steps is a gap.
    EXPECT_EQ(Found(FaultKind::TimeBackwards, [](auto& r) { r[20].gps_time = r[19].gps_time + 1e-6; }), none);
    EXPECT_EQ(Found(FaultKind::TimeBackwards, [](auto& r) { r[20].gps_time = r[19].gps_time; }), at(21));
    EXPECT_EQ(Found(FaultKind::TimeGap, [](auto& r) { for (size_t i = 20; i < r.size(); ++i) r[i].gps_time += 1.99 * Step; }), none);
    EXPECT_EQ(Found(FaultKind::TimeGap, [](auto& r) { for (size_t i = 20; i < r.size(); ++i) r[i].gps_time += 2.01 * Step; }), at(21));
    EXPECT_EQ(Found(FaultKind::SampleGap, [](auto&) {}), none);
    EXPECT_EQ(Found(FaultKind::SampleGap, [](auto& r) { for (size_t i = 20; i < r.size(); ++i) r[i].samplenumber += 1; }), Samples({{20, 22}}));
    EXPECT_EQ(Found(FaultKind::SampleGap, [](auto& r) { for (size_t i = 20; i < r.size(); ++i) r[i].samplenumber -= 1; }), Samples({{20, 20}}));
    // Speeds: 2 m per step is 10 m/s; the shift adds the rest of 99.9 or 100.1 m/s.
    EXPECT_EQ(Found(FaultKind::PositionJump, [](auto& r) { Shift(r, 20, (99.9 - Speed) * Step, 0.0); }), none);
    EXPECT_EQ(Found(FaultKind::PositionJump, [](auto& r) { Shift(r, 20, (100.1 - Speed) * Step, 0.0); }), at(21));
    FlightCheckLimits slow;
    slow.maximumSpeed = 50.0;
    EXPECT_EQ(Found(FaultKind::PositionJump, [](auto& r) { Shift(r, 20, (60.0 - Speed) * Step, 0.0); }, slow), at(21));
    EXPECT_EQ(Found(FaultKind::ClimbRate, [](auto& r) { Shift(r, 20, 0.0, -29.9 * Step); }), none);
    EXPECT_EQ(Found(FaultKind::ClimbRate, [](auto& r) { Shift(r, 20, 0.0, 30.1 * Step); }), at(21));
    EXPECT_EQ(Found(FaultKind::ClimbRate, [](auto& r) { Shift(r, 20, 0.0, -30.1 * Step); }), at(21));
    // Positions: the reader's own zero rule, and the ends of the world.
    EXPECT_EQ(Found(FaultKind::BadPosition, [](auto& r) { r[5].gps_curlon = 1.01; r[6].gps_curlat = 5400.0; r[7].gps_curlon = -10800.0; }), none);
    EXPECT_EQ(Found(FaultKind::BadPosition, [](auto& r) { r[5].gps_curlon = 1.0; }), Samples({{6, 6}}));
    EXPECT_EQ(Found(FaultKind::BadPosition, [](auto& r) { r[5].gps_curlat = 5400.01; r[9].gps_curlon = -10800.01; r[12].gps_curlat = NAN; }), Samples({{6, 6}, {10, 10}, {13, 13}}));
    // Attitude: up to a full turn either way.
    EXPECT_EQ(Found(FaultKind::BadAttitude, [](auto& r) { r[5].pyro_curroll = TwoPi; r[6].pyro_curpitch = -TwoPi; }), none);
    EXPECT_EQ(Found(FaultKind::BadAttitude, [](auto& r) { r[5].pyro_curroll = TwoPi + 1e-9; r[8].gps_curheading = INFINITY; r[9].pyro_curpitch = NAN; }), Samples({{6, 6}, {9, 10}}));
    // A position held for exactly 2 s (11 rows) is no freeze; for 2.2 s it is.
    const auto hold = [](std::vector<SampleRow>& r, size_t rowsHeld) {
        for (size_t i = 11; i < 10 + rowsHeld; ++i)
        {
            r[i].gps_curlat = r[10].gps_curlat;
            r[i].gps_curalt = r[10].gps_curalt;
        }
    };
    EXPECT_EQ(Found(FaultKind::FrozenPosition, [&](auto& r) { hold(r, 11); }), none);
    EXPECT_EQ(Found(FaultKind::FrozenPosition, [&](auto& r) { hold(r, 12); }), Samples({{11, 22}}));
    // Height: a centimetre either side of the ground, and of 5 m between take-off and landing.
    EXPECT_EQ(Found(FaultKind::BelowGround, [](auto& r) { r[20].gps_curalt = Ground + 0.01; }), none);
    EXPECT_EQ(Found(FaultKind::BelowGround, [](auto& r) { r[20].gps_curalt = Ground - 0.01; }), Samples({{21, 21}}));
    EXPECT_EQ(Found(FaultKind::LowFlight, [](auto& r) { r[20].gps_curalt = Ground + 5.01; }), none);
    EXPECT_EQ(Found(FaultKind::LowFlight, [](auto& r) { r[20].gps_curalt = Ground + 4.99; }), Samples({{21, 21}}));
}

TEST_F(FlightCheckTest, FaultsMergeIntoStretchesOfNeighbouringRowsOnly)
{
    std::vector<SampleRow> rows = Flight(60);
    // Two steps back to back share a row: one stretch. A lone step later: another.
    rows[10].gps_time = rows[11].gps_time = rows[9].gps_time;
    rows[30].gps_time = rows[29].gps_time;
    // Rows under the ground with one row above between them: two stretches.
    rows[40].gps_curalt = rows[41].gps_curalt = rows[43].gps_curalt = Ground - 1.0;
    FlightCheckReport report = Check(rows);
    EXPECT_EQ(Stretches(report, rows, FaultKind::TimeBackwards), Samples({{10, 12}, {30, 31}}));
    EXPECT_EQ(Stretches(report, rows, FaultKind::BelowGround), Samples({{41, 42}, {44, 44}}));
    EXPECT_DOUBLE_EQ(report.faults[static_cast<int32_t>(FaultKind::BelowGround)][0].worst, -1.0);
    // The per-row flags cover the stretch, the step's first row too.
    for (int32_t i = 8; i <= 12; ++i)
        EXPECT_EQ((report.samples[i].faults >> static_cast<int32_t>(FaultKind::TimeBackwards)) & 1u, i >= 9 && i <= 11 ? 1u : 0u) << i;
    EXPECT_EQ(report.verdict, FlightVerdict::Warnings);
}

TEST_F(FlightCheckTest, RowsLeftOutByTheSelectionAreNoGapAndEndEveryStretch)
{
    std::vector<SampleRow> rows = Flight(60);
    // Read with --samples 0-21,30-100: samples 21 to 30 are not selected.
    selection = {SampleRange{0, 21}, SampleRange{30, 100}};
    rows.erase(rows.begin() + 20, rows.begin() + 30);
    rows[18].gps_curalt = rows[19].gps_curalt = rows[20].gps_curalt = Ground - 1.0;
    FlightCheckReport report = Check(rows);
    EXPECT_TRUE(report.faults[static_cast<int32_t>(FaultKind::SampleGap)].empty());
    EXPECT_TRUE(report.faults[static_cast<int32_t>(FaultKind::TimeGap)].empty());
    EXPECT_EQ(Stretches(report, rows, FaultKind::BelowGround), Samples({{19, 20}, {31, 31}}));
    // A sample left out inside a selected range is a gap.
    for (size_t i = 40; i < rows.size(); ++i)
        rows[i].samplenumber += 1;
    EXPECT_EQ(Stretches(Check(rows), rows, FaultKind::SampleGap), Samples({{50, 52}}));
    // Read whole (no selection), samples 21 to 30 are missing from the log itself.
    selection.clear();
    EXPECT_EQ(Stretches(Check(rows), rows, FaultKind::SampleGap), Samples({{20, 31}, {50, 52}}));
}

TEST_F(FlightCheckTest, AFrozenGpsThatRecoversIsNoJumpButATeleportIs)
{
    std::vector<SampleRow> rows = Flight(80);
    for (size_t i = 21; i < 45; ++i) // 5 s on the fix of row 20
    {
        rows[i].gps_curlat = rows[20].gps_curlat;
        rows[i].gps_curalt = rows[20].gps_curalt;
    }
    FlightCheckReport report = Check(rows);
    EXPECT_EQ(Stretches(report, rows, FaultKind::FrozenPosition), Samples({{21, 45}}));
    EXPECT_TRUE(report.faults[static_cast<int32_t>(FaultKind::PositionJump)].empty());
    EXPECT_NEAR(report.samples[45].groundSpeed, Speed, 1e-6) << "measured from the fix that froze";
    Shift(rows, 45, 600.0, 0.0);
    EXPECT_EQ(Stretches(Check(rows), rows, FaultKind::PositionJump), Samples({{45, 46}}));
}

TEST_F(FlightCheckTest, AParkedAircraftIsNoFrozenGpsButAFreezeInFlightIs)
{
    // Parked for 3 s before rows 15 and after row 85, the GPS frozen for 3 s from row 40; over
    // drawn ground, and a degree east of it where only the distance from the ends tells.
    for (const double east : {0.0, 60.0})
    {
        std::vector<SampleRow> rows = Flight(100);
        for (size_t i = 0; i < rows.size(); ++i)
        {
            const size_t moved = std::clamp<size_t>(i, 15, 85) - 15;
            rows[i].gps_curlat = StartLatitude + (i >= 40 && i <= 55 ? 25 : moved) * Step * Speed * MinutesPerMetre;
            rows[i].gps_curlon += east;
            rows[i].gps_curalt = Ground + (i < 15 || i > 85 ? 0.5 : 30.0);
        }
        OutputCapture capture;
        const FlightCheckReport report = Check(rows);
        capture.Finish();
        EXPECT_EQ(Stretches(report, rows, FaultKind::FrozenPosition), Samples({{41, 56}})) << east;
        EXPECT_EQ(report.frozenOnGround, 2) << east;
    }
}

TEST_F(FlightCheckTest, TakeOffAndLandingAreTheLowStretchesAtTheEndsAndNoFault)
{
    std::vector<SampleRow> rows = Flight(200);
    for (size_t i = 0; i < rows.size(); ++i)
    {
        const double fromEnd = std::min(i, rows.size() - 1 - i) * Step; // seconds
        rows[i].gps_curalt = Ground + std::min(30.0, 1.1 + fromEnd * 2.0);
    }
    rows[3].gps_curalt = Ground + 6.0; // a blip above the limit for a row does not split the take-off
    rows[100].gps_curalt = Ground + 3.0; // a low pass
    for (size_t i = 150; i < 155; ++i)   // and a dive into the ground
        rows[i].gps_curalt = Ground + 4.5 - (i - 150) * 2.0;
    FlightCheckReport report = Check(rows);
    ASSERT_TRUE(report.hasTakeOff && report.hasLanding);
    EXPECT_EQ(report.takeOff.firstRow, 0);
    EXPECT_EQ(report.takeOff.lastRow, 9); // 1.1 + 2 t < 5 m up to t = 1.8 s
    EXPECT_EQ(report.landing.lastRow, 199);
    EXPECT_EQ(Stretches(report, rows, FaultKind::LowFlight), Samples({{101, 101}}));
    EXPECT_EQ(Stretches(report, rows, FaultKind::BelowGround), Samples({{154, 155}})) << "told there, not twice";
    EXPECT_DOUBLE_EQ(report.minimumHeight, -3.5);

    // A log that starts in the air has no take-off: its first low stretch is a fault.
    std::vector<SampleRow> late(rows.begin() + 40, rows.end());
    late[5].gps_curalt = Ground + 2.0;
    FlightCheckReport lateReport = Check(late);
    EXPECT_FALSE(lateReport.hasTakeOff);
    EXPECT_EQ(Stretches(lateReport, late, FaultKind::LowFlight).front(), std::make_pair(46, 46));
}

TEST_F(FlightCheckTest, VerdictIsUnusableWithoutRowsOrValidPositionsAndWarnsOverMissingGround)
{
    EXPECT_EQ(CheckFlight(FlightRows(), frame, selection).verdict, FlightVerdict::Unusable);
    std::vector<SampleRow> rows = Flight(20);
    EXPECT_EQ(Check(rows).verdict, FlightVerdict::Clean);
    for (SampleRow& row : rows)
        row.gps_curlat = 6000.0;
    EXPECT_EQ(Check(rows).verdict, FlightVerdict::Unusable);
    rows[7].gps_curlat = StartLatitude;
    EXPECT_EQ(Check(rows).verdict, FlightVerdict::Warnings);

    // Over a missing tile: no height, no fault of its own, but no clean bill either.
    rows = Flight(20);
    ResetElevationStore();
    OutputCapture capture;
    remove(ElevationTileFileName(TileRow, TileColumn).c_str());
    const FlightCheckReport report = Check(rows);
    capture.Finish();
    EXPECT_EQ(report.coveredSamples, 0);
    EXPECT_TRUE(std::isnan(report.medianHeight));
    EXPECT_EQ(report.verdict, FlightVerdict::Warnings);
}

} // namespace
