// The plots, the events and the modes on the player's clock, over small known flights.
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include <osg/Geometry>
#include <osg/NodeVisitor>
#include <osgText/Text>

#include "support/SceneTestSupport.h"
#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "log/LogKeywords.h"
#include "player/EventTimeline.h"
#include "player/PlayerSession.h"
#include "player/PlotSeries.h"
#include "player/PlotStrip.h"

namespace
{
class PlotStripTest : public SceneFixture
{
protected:
    // Samples 1 to 40 a second apart, then after 20 s without a sample, 51 to 90: two
    // stretches, climbing a metre a second.
    void SetUp() override
    {
        SceneFixture::SetUp();
        for (int32_t n = 1; n <= 90; ++n)
        {
            if (n > 40 && n <= 50)
                continue;
            AddRow(n, 47.0 + n * 1e-5, 8.0, 100.0 + n);
            flight.rows.back().gps_time = n <= 40 ? n : n + 9.0;
        }
    }
};

// The sloped lines a geometry of GL_LINES draws: [x0, x1] of each.
std::vector<std::pair<float, float>> SlopedLines(const osg::Drawable* drawable)
{
    const osg::Vec3Array* vertices = static_cast<const osg::Vec3Array*>(drawable->asGeometry()->getVertexArray());
    std::vector<std::pair<float, float>> lines;
    for (size_t i = 0; i + 1 < vertices->size(); i += 2)
        if ((*vertices)[i].x() != (*vertices)[i + 1].x())
            lines.emplace_back((*vertices)[i].x(), (*vertices)[i + 1].x());
    return lines;
}

TEST_F(PlotStripTest, CurveBreaksAtTheGapAndAClickSeeksToTheNearestRow)
{
    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions{{"altitude"}, TrackColourBy::None}, Flights(), frame);
    PlotStrip& strip = *session->plots;
    ASSERT_TRUE(strip.Shown());
    session->Refresh(1280, 720, true);
    // The gap of 20 s plays as 3 s: the window spans 39 + 3 + 39 s of the clock.
    EXPECT_DOUBLE_EQ(strip.WindowEnd() - strip.WindowStart(), 81.0);

    // One line from each row to the next within a stretch, none across the gap.
    const PlotStripLayout& layout = strip.Layout();
    const std::vector<std::pair<float, float>> lines = SlopedLines(strip.Node()->asGeode()->getDrawable(1));
    EXPECT_EQ(lines.size(), 78u);
    const double gapFrom = layout.left + 39.0 / 81.0 * (layout.right - layout.left);
    const double gapTo = layout.left + 42.0 / 81.0 * (layout.right - layout.left);
    for (const auto& [x0, x1] : lines)
        EXPECT_FALSE(x0 < gapTo - 0.5 && x1 > gapFrom + 0.5) << "a line runs across the gap from " << x0 << " to " << x1;

    // A click 10.4 s along lands nearer row 10 (10 s) than row 11, and 10.6 s nearer row 11;
    // 1 s into the gap's 3 s it lands on the last row before it.
    double seconds = 0.0;
    const double middle = (layout.plots[0].first + layout.plots[0].second) / 2.0;
    for (const auto& [along, row] : std::vector<std::pair<double, int32_t>>{{10.4, 10}, {10.6, 11}, {40.0, 39}, {80.6, 79}})
    {
        ASSERT_TRUE(strip.SecondsAt(layout.left + along / 81.0 * (layout.right - layout.left), middle, &seconds));
        EXPECT_NEAR(seconds, along, 1e-6);
        session->SeekSeconds(seconds);
        EXPECT_EQ(session->clock.Row(), row) << along << " s";
    }
    EXPECT_FALSE(strip.SecondsAt(layout.left + 10.0, layout.bottom - 1.0, &seconds)) << "below the strip";

    // Zoomed in, the window holds the cursor and is at least ShortestPlotWindow long.
    for (int i = 0; i < 5; ++i)
        strip.ZoomIn();
    session->Refresh(1280, 720, true);
    EXPECT_DOUBLE_EQ(strip.WindowEnd() - strip.WindowStart(), ShortestPlotWindow);
    EXPECT_LE(strip.WindowStart(), session->clock.FlightSeconds());
    EXPECT_GE(strip.WindowEnd(), session->clock.FlightSeconds());
}

TEST_F(PlotStripTest, EventsAndModesFallWhereTheyHappenedOnBothAxes)
{
    const PlaybackClock clock(LogTimesOf(flight.Rows()), 1.0, 3.0);
    const TimelineAxis axis = TimelineAxisOf(flight.Rows());
    const std::vector<FlightEvent> events = {
        {0.0, FlightEventKind::Mode, 6, "MANUAL"},
        {3.0, FlightEventKind::Arming, 6, "armed"},
        {20.5, FlightEventKind::Mode, 6, "POSCTL"},
        {44.0, FlightEventKind::Failsafe, 2, "link lost"},
        {70.0, FlightEventKind::Mode, 6, "MANUAL"},
    };
    flight.events = events;
    const EventTimeline timeline(flight, clock, axis);
    ASSERT_EQ(timeline.Events().size(), 5u);
    // Half-way between rows 19 and 20 (samples 20 and 21); in the gap, the row nearer in time.
    EXPECT_DOUBLE_EQ(timeline.Events()[2].position, 19.5);
    EXPECT_DOUBLE_EQ(timeline.Events()[2].fraction, (20.5 - 1.0) / 89.0);
    EXPECT_DOUBLE_EQ(timeline.Events()[3].position, 39.0);
    EXPECT_DOUBLE_EQ(timeline.Events()[4].seconds, clock.SecondsAt(50.0)); // sample 61 at 70 s

    ASSERT_EQ(timeline.Modes().size(), 3u);
    EXPECT_EQ(timeline.Modes()[1].name, "POSCTL");
    EXPECT_DOUBLE_EQ(timeline.Modes()[1].fromSeconds, 19.5);
    EXPECT_DOUBLE_EQ(timeline.Modes()[1].toSeconds, clock.SecondsAt(50.0));
    EXPECT_EQ(timeline.Modes()[0].colour, timeline.Modes()[2].colour) << "one colour per mode";
    EXPECT_NE(timeline.Modes()[0].colour, timeline.Modes()[1].colour);
    ASSERT_EQ(timeline.ModeLegend().size(), 2u);

    // The nearest event is named with how far the cursor is from it.
    EXPECT_EQ(timeline.NearestEvent(10.0)->event.text, "armed");
    EXPECT_EQ(EventLine(*timeline.NearestEvent(17.0), 17.0), "event 0:19.5 mode POSCTL (2.5 s ahead)");
    EXPECT_EQ(EventLine(*timeline.NearestEvent(40.0), 40.0), "event 0:39.0 failsafe link lost (1.0 s ago)");

    // Without mode events, the ap_status column's values are the modes.
    flight.columns = {static_cast<int32_t>(ColumnKind::ap_status)};
    for (size_t row = 0; row < flight.rows.size(); ++row)
        flight.rows[row].ap_status = row < 30 ? 2 : 5;
    flight.events.clear();
    const EventTimeline fromColumn(flight, clock, axis);
    ASSERT_EQ(fromColumn.Modes().size(), 2u);
    EXPECT_EQ(fromColumn.Modes()[1].name, "mode 5");
    EXPECT_DOUBLE_EQ(fromColumn.Modes()[1].fromSeconds, 30.0);
    EXPECT_EQ(fromColumn.NearestEvent(3.0), nullptr);
}
// A column is offered only when the log's header named it, read from its own field in the
// pilot's unit; the figures come in the display's conventions.
TEST_F(PlotStripTest, SeriesAreTheColumnsTheLogNamesInThePilotsUnits)
{
    flight.columns = {static_cast<int32_t>(ColumnKind::voltage2), static_cast<int32_t>(ColumnKind::gps_curheading), static_cast<int32_t>(ColumnKind::gps_curlat)};
    flight.rows[3].voltage2 = 11.5;
    flight.rows[3].gps_curheading = Pi / 2.0;
    flight.rows[3].pyro_curroll = 0.1; // the log's roll: right wing down is negative bank here
    EXPECT_EQ(AvailablePlotWords(flight), (std::vector<std::string>{"altitude", "height", "speed", "climb", "attitude", "gps_curheading", "voltage2"}));

    PlotSeries series;
    ASSERT_TRUE(MakePlotSeries(flight, "voltage2", &series));
    EXPECT_EQ(series.unit, "V");
    EXPECT_FLOAT_EQ(series.curves[0].values[3], 11.5f);
    ASSERT_TRUE(MakePlotSeries(flight, "gps_curheading", &series));
    EXPECT_FLOAT_EQ(series.curves[0].values[3], 90.0f);
    EXPECT_FALSE(MakePlotSeries(flight, "voltage1", &series)) << "a column the header did not name";
    EXPECT_FALSE(MakePlotSeries(flight, "gps_curlat", &series)) << "positions are the map's, not a plot's";

    ASSERT_TRUE(MakePlotSeries(flight, "attitude", &series));
    ASSERT_EQ(series.curves.size(), 2u);
    EXPECT_FLOAT_EQ(series.curves[0].values[3], static_cast<float>(BankOfLogRoll(0.1) * DegreesPerRadian));
    ASSERT_TRUE(MakePlotSeries(flight, "climb", &series));
    // A metre a second on either side of the gap: the ends of the stretches are not joined
    // across it (11 m over 20 s).
    for (const int32_t row : {10, 39, 40})
        EXPECT_NEAR(series.curves[0].values[row], 1.0, 1e-6) << "row " << row;
}

// Two flights on one clock: the selected one is studied, and its clock, display and plots
// follow the common clock; the other shows only while it has data.
TEST_F(PlotStripTest, TheSelectedFlightIsStudiedAndTheOtherFollowsTheCommonClock)
{
    std::vector<LoadedFlight> flights(2);
    flights[0] = flight;
    flights[0].name = "runs/first.log";
    flights[0].columns = {static_cast<int32_t>(ColumnKind::voltage1)};
    flight = LoadedFlight();
    flight.summary.step = 1.0;
    for (int32_t n = 1; n <= 30; ++n)
    {
        AddRow(n, 47.1, 8.0 + n * 1e-5, 300.0);
        flight.rows[n - 1].gps_time = 1000.0 + n;
    }
    flights[1] = flight;
    flights[1].name = "second.log";

    PlayerViewOptions options{{"voltage1"}, TrackColourBy::None};
    options.alignment = FlightAlignment::Start;
    osg::ref_ptr<PlayerSession> session = new PlayerSession(options, flights, frame);
    ASSERT_TRUE(session->SeveralFlights());
    EXPECT_EQ(&session->Shown(), &flights[0]) << "the first flight is selected";
    EXPECT_EQ(session->plots->Words(), std::vector<std::string>{"voltage1"}) << "its columns with it";

    // Both start at 0 on the clock: the first's row 20 is the second's row 20.
    const double row20 = session->OnClock()->ClockPositionOf(0, 20.0);
    session->Transport().SetPosition(row20);
    session->Follow();
    EXPECT_EQ(session->clock.Row(), 20);
    double other = 0.0;
    ASSERT_TRUE(session->FlightRow(1, &other));
    EXPECT_DOUBLE_EQ(other, 20.0);

    session->SelectNextFlight();
    EXPECT_EQ(&session->Shown(), &flights[1]);
    EXPECT_EQ(session->clock.RowCount(), 30);
    EXPECT_EQ(session->clock.Row(), 20) << "the clock stays where it stood";
    EXPECT_EQ(session->Lines().back(), "flight 2 of 2 second.log  clock 0:20.0 of 1:38.0, aligned at the start");
    EXPECT_EQ(session->plots->SetSeries({"voltage1"}).size(), 1u) << "the second log has no voltage1";

    // Past the second flight's last row only the first flies on.
    session->Transport().SetPosition(session->OnClock()->ClockPositionOf(0, 50.0));
    session->Follow();
    EXPECT_FALSE(session->FlightRow(1, &other));
    EXPECT_EQ(session->clock.Row(), 29) << "held at its last row";
    EXPECT_NE(session->Lines().back().find("(no data now)"), std::string::npos);
    session->SelectNextFlight();
    EXPECT_EQ(&session->Shown(), &flights[0]) << "after the last, the first again";
    EXPECT_EQ(session->clock.Row(), 50) << "on the row the clock stands on";
}

// The texts a camera draws now (those under a node hidden by its mask are not), with where.
std::vector<std::pair<std::string, osg::BoundingBox>> DrawnTexts(osg::Node* root)
{
    struct Collector : osg::NodeVisitor
    {
        Collector() : osg::NodeVisitor(TRAVERSE_ACTIVE_CHILDREN) {}
        void apply(osg::Drawable& drawable) override
        {
            const osgText::Text* text = dynamic_cast<const osgText::Text*>(&drawable);
            if (text && text->getBoundingBox().valid())
                found.emplace_back(text->getText().createUTF8EncodedString(), text->getBoundingBox());
        }
        std::vector<std::pair<std::string, osg::BoundingBox>> found;
    } collector;
    root->accept(collector);
    return collector.found;
}

// At any size of frame, what the display draws lies inside it: below a size where its lines
// would run off the frame and cover half of it, it is left out. The credits keep clear of the
// plots' values and time labels.
TEST_F(PlotStripTest, TheDisplayFitsTheFrameAndTheCreditsKeepClearOfThePlots)
{
    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions{{"altitude", "climb"}, TrackColourBy::None}, Flights(), frame);
    session->hud->ShowAttribution({"Imagery: a credit as long as the sources ask for", "Elevation: another"});
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{320, 180}, {480, 270}, {900, 540}, {1280, 720}})
    {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        session->Refresh(width, height, true);
        bool figures = false, credits = false;
        for (const auto& [text, box] : DrawnTexts(session->hud->Camera()))
        {
            EXPECT_TRUE(box.xMin() >= -0.5 && box.xMax() <= width + 0.5 && box.yMin() >= -0.5 && box.yMax() <= height + 0.5) << text;
            figures = figures || text.rfind("sample ", 0) == 0;
            if (text.rfind("Imagery", 0) == 0)
            {
                credits = true;
                EXPECT_GE(box.yMin(), session->plots->Layout().top) << "the credits over the plots";
            }
        }
        EXPECT_EQ(figures, width >= 480) << "the figures";
        EXPECT_TRUE(credits) << "the credits stay whatever the size";
    }
}

// A count is labelled in whole numbers, whatever its range.
TEST_F(PlotStripTest, ACountIsLabelledInWholeNumbers)
{
    flight.columns = {static_cast<int32_t>(ColumnKind::gps_numsatellites)};
    for (size_t row = 0; row < flight.rows.size(); ++row)
        flight.rows[row].gps_numsatellites = 8 + row % 4;
    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions{{"gps_numsatellites"}, TrackColourBy::None}, Flights(), frame);
    session->Refresh(1280, 720, true);
    std::vector<std::string> values;
    for (const auto& [text, box] : DrawnTexts(session->plots->Node()))
        if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) && text.find(':') == std::string::npos)
            values.push_back(text);
    EXPECT_EQ(values, (std::vector<std::string>{"11", "8"})) << "the highest and the lowest";
}
} // namespace

namespace
{
// Ten hours at ten rows a second: more than the replay's table holds, all of it on the clock,
// the display and the plots.
TEST_F(PlotStripTest, ATenHourFlightIsStudiedWhole)
{
    const int32_t rows = 360000;
    flight = LoadedFlight();
    flight.rows.resize(rows);
    for (int32_t i = 0; i < rows; ++i)
    {
        SampleRow& row = flight.rows[i];
        row.samplenumber = i % 99999 + 1;
        row.gps_time = 0.1 * i;
        row.gps_curlat = 60.0 * (47.0 + 1e-6 * i);
        row.gps_curlon = 60.0 * 8.0;
        row.gps_curalt = 400.0 + 0.01 * i;
    }
    flight.summary.step = 0.1;
    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions{{"altitude"}, TrackColourBy::None}, Flights(), frame);
    EXPECT_EQ(session->clock.RowCount(), rows);
    session->SeekSeconds(35999.9);
    EXPECT_EQ(session->clock.Row(), rows - 1);
    EXPECT_NE(session->Lines()[0].find("of 360000"), std::string::npos) << session->Lines()[0];
    session->Refresh(1280, 720, true);
    PlotSeries series;
    ASSERT_TRUE(MakePlotSeries(flight, "climb", &series));
    ASSERT_EQ(series.curves[0].values.size(), static_cast<size_t>(rows));
    EXPECT_NEAR(series.curves[0].values[rows - 1], 0.1, 1e-4) << "the last row's climb, from its own neighbours";
}
} // namespace
