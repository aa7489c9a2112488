// The track's colours by altitude, speed, climb and flight mode, and the track drawn in them.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <osg/Geode>
#include <osg/Geometry>

#include "support/SceneTestSupport.h"
#include "geo/Geodesy.h"
#include "scene/FlightTrack.h"
#include "scene/TrackColouring.h"

namespace
{
class TrackColouringTest : public SceneFixture
{
protected:
    // Rows one second apart flying east from 47 N 8 E: `east(i)` metres from the start at
    // `altitude(i)` metres.
    void Fly(int32_t rows, const std::function<double(int32_t)>& east, const std::function<double(int32_t)>& altitude)
    {
        flight = LoadedFlight();
        flight.summary.step = 1.0;
        const double metresPerDegree = EarthRadius * RadiansPerDegree * std::cos(47.0 * RadiansPerDegree);
        for (int32_t i = 0; i < rows; ++i)
        {
            AddRow(i + 1, 47.0, 8.0 + east(i) / metresPerDegree, altitude(i));
            flight.rows[i].gps_time = i;
        }
    }
};

void ExpectSameColour(const osg::Vec4& expected, const osg::Vec4& actual, const std::string& what)
{
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(expected[k], actual[k], 1e-3) << what << ", component " << k;
}
} // namespace

// Each value rises along the flight, and the last row carries a wild spike on top. The ramp's
// limits and every other row's colour are those of the flight without the spike; the spike
// takes the ramp's top colour. Speed and altitude start at the ramp's foot; the climb ramp
// is symmetric, so the row flying level is in its middle.
TEST_F(TrackColouringTest, RampFollowsTheValueAndOneSpikeDoesNotMoveItsLimits)
{
    const int32_t last = 99;
    const struct
    {
        TrackColourBy by;
        std::function<double(int32_t)> east, altitude;
        int32_t row;
        bool middle; // row takes the ramp's middle colour, else its bottom one
    } cases[] = {
        {TrackColourBy::Altitude, [](int32_t i) { return 10.0 * i; }, [](int32_t i) { return i == last ? 9000.0 : 400.0 + i; }, 0, false},
        {TrackColourBy::Speed, [](int32_t i) { return i == last ? 80000.0 : 1.0 * i * i; }, [](int32_t) { return 400.0; }, 0, false},
        {TrackColourBy::Climb, [](int32_t i) { return 10.0 * i; }, [](int32_t i) { return 400.0 + 0.05 * i * i - 2.0 * i + (i == last ? 5000.0 : 0.0); }, 20, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.by));
        Fly(last + 1, [&c](int32_t i) { return i == last ? 2.0 * c.east(last - 1) - c.east(last - 2) : c.east(i); },
            [&c](int32_t i) { return i == last ? 2.0 * c.altitude(last - 1) - c.altitude(last - 2) : c.altitude(i); });
        const TrackColouring calm = ColourTrack(flight.Rows(), c.by, {});
        Fly(last + 1, c.east, c.altitude);
        const TrackColouring spiked = ColourTrack(flight.Rows(), c.by, {});

        ASSERT_TRUE(spiked.ramp);
        ASSERT_EQ(spiked.rowColours.size(), static_cast<size_t>(last + 1));
        ASSERT_EQ(spiked.entries.size() % 2, 1u);
        EXPECT_EQ(spiked.entries, calm.entries);
        for (int32_t i = 0; i < last - 1; ++i)
            EXPECT_EQ(spiked.rowColours[i], calm.rowColours[i]) << "row " << i;
        ExpectSameColour(spiked.entries.back().first, spiked.rowColours[last], "spike");
        ExpectSameColour(spiked.entries[c.middle ? spiked.entries.size() / 2 : 0].first, spiked.rowColours[c.row], "row " + std::to_string(c.row));
        EXPECT_NE(spiked.rowColours[50], spiked.entries.front().first);
        EXPECT_NE(spiked.rowColours[50], spiked.entries.back().first);
    }
}

// Any column by its values: the same ramp and percentiles as the altitude's, a row without a
// value grey, the legend in the column's unit (none for a count).
TEST_F(TrackColouringTest, ColumnValuesTakeTheAltitudeRampWithTheirUnit)
{
    std::vector<double> volts;
    for (int i = 0; i <= 100; ++i)
        volts.push_back(i == 7 ? NAN : 12.6 - 0.02 * i);
    const TrackColouring colouring = ColourTrackByValues(volts, "voltage1", "V", 1);
    EXPECT_EQ(colouring.by, TrackColourBy::Column);
    ASSERT_TRUE(colouring.ramp);
    ASSERT_EQ(colouring.rowColours.size(), volts.size());
    ExpectSameColour(colouring.entries.back().first, colouring.rowColours[0], "the highest voltage");
    ExpectSameColour(colouring.entries.front().first, colouring.rowColours[100], "the lowest");
    EXPECT_EQ(colouring.rowColours[7], osg::Vec4(0.5f, 0.5f, 0.5f, 1.0f));
    EXPECT_EQ(colouring.entries.front().second, "10.6 V");
    EXPECT_EQ(colouring.entries.back().second, "12.6 V");
    const TrackColouring satellites = ColourTrackByValues({6, 7, 8, 9, 10}, "gps_numsatellites", "", 0);
    EXPECT_EQ(satellites.entries.back().second, "10");
}

// Rows at 10, 11, ... 19 s. A row takes the last change at or before its time, a row before
// the first change the first; without changes, its ap_status. The legend lists the modes in
// order of first appearance, even one too brief to hold a row.
TEST_F(TrackColouringTest, ModeColoursChangeAtTheChangeTimesOrFollowApStatus)
{
    const struct
    {
        std::vector<ModeChange> changes;
        std::vector<std::string> modes;    // the legend's
        std::vector<std::string> expected; // each row's
    } cases[] = {
        {{{12.0, "POSCTL"}, {15.0, "AUTO"}, {15.4, "LOITER"}, {15.6, "AUTO"}, {17.0, "POSCTL"}},
         {"POSCTL", "AUTO", "LOITER"},
         {"POSCTL", "POSCTL", "POSCTL", "POSCTL", "POSCTL", "AUTO", "AUTO", "POSCTL", "POSCTL", "POSCTL"}},
        {{}, {"mode 3", "mode 5", "mode 0"}, {"mode 3", "mode 3", "mode 3", "mode 5", "mode 5", "mode 3", "mode 0", "mode 0", "mode 5", "mode 5"}},
    };
    const int32_t apStatus[] = {3, 3, 3, 5, 5, 3, 0, 0, 5, 5};
    for (const auto& c : cases)
    {
        Fly(10, [](int32_t i) { return 10.0 * i; }, [](int32_t) { return 400.0; });
        for (int32_t i = 0; i < 10; ++i)
        {
            flight.rows[i].gps_time = 10.0 + i;
            flight.rows[i].ap_status = apStatus[i];
        }
        const TrackColouring colouring = ColourTrack(flight.Rows(), TrackColourBy::Mode, c.changes);

        EXPECT_FALSE(colouring.ramp);
        const std::vector<std::string>& names = c.modes;
        ASSERT_EQ(colouring.entries.size(), names.size());
        for (size_t k = 0; k < names.size(); ++k)
        {
            EXPECT_EQ(colouring.entries[k].second, names[k]);
            for (size_t other = 0; other < k; ++other)
                EXPECT_NE(colouring.entries[k].first, colouring.entries[other].first);
        }
        ASSERT_EQ(colouring.rowColours.size(), 10u);
        for (size_t i = 0; i < 10; ++i)
        {
            const size_t k = std::find(names.begin(), names.end(), c.expected[i]) - names.begin();
            EXPECT_EQ(colouring.rowColours[i], colouring.entries[k].first) << "row " << i;
        }
    }
}

// Without a colouring, or with None, the track is the one white line; with one, each vertex
// takes its row's colour.
TEST_F(TrackColouringTest, TrackTakesTheRowColoursOnlyFromAColouring)
{
    Fly(3, [](int32_t i) { return 10.0 * i; }, [](int32_t i) { return 400.0 + 50.0 * i; });
    const TrackColouring none;
    const TrackColouring byAltitude = ColourTrack(flight.Rows(), TrackColourBy::Altitude, {});
    for (const TrackColouring* colouring : {static_cast<const TrackColouring*>(nullptr), &none, &byAltitude})
    {
        osg::ref_ptr<osg::Group> track = BuildTrack(flight.Rows(), frame, colouring);
        const osg::Geometry* geometry = track->getChild(0)->asGeode()->getDrawable(0)->asGeometry();
        const osg::Vec4Array* colours = static_cast<const osg::Vec4Array*>(geometry->getColorArray());
        if (colouring == &byAltitude)
        {
            EXPECT_EQ(colours->getBinding(), osg::Array::BIND_PER_VERTEX);
            EXPECT_EQ(std::vector<osg::Vec4>(colours->begin(), colours->end()), byAltitude.rowColours);
            EXPECT_NE(byAltitude.rowColours.front(), byAltitude.rowColours.back());
        }
        else
        {
            EXPECT_EQ(colours->getBinding(), osg::Array::BIND_OVERALL);
            EXPECT_EQ(std::vector<osg::Vec4>(colours->begin(), colours->end()), std::vector<osg::Vec4>{osg::Vec4(1, 1, 1, 1)});
        }
    }
}
