// The player beside the replay: its keys against the viewer's own, its timeline and
// display layout, its run as a program (transcript and statuses as the replay's), and the
// plan it draws following its clock.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <osg/NodeVisitor>
#include <osgGA/KeySwitchMatrixManipulator>
#include <osgViewer/Viewer>
#include <osgViewer/ViewerEventHandlers>

#include "support/SceneTestSupport.h"
#include "log/SampleSelection.h"
#include "player/PlayerDisplay.h"
#include "player/PlayerHud.h"
#include "player/PlayerKeys.h"
#include "player/PlayerSession.h"
#include "player/Timeline.h"
#include "scene/Aircraft.h"
#include "support/TestSupport.h"
#include "viewer/FlightViewer.h"

namespace
{
// The character count of the key line as drawn (UTF-8 arrows are one character each).
size_t KeyLineCharacters()
{
    return osgText::String(PlayerKeyLine, osgText::String::ENCODING_UTF8).size();
}

TEST(PlayerKeysTest, NoTransportKeyIsOneOfTheViewersOwn)
{
    osg::ref_ptr<osg::Group> scene = new osg::Group;
    osg::ref_ptr<osg::MatrixTransform> aircraft = new osg::MatrixTransform;
    scene->addChild(aircraft.get());
    TrackedAircraft = aircraft.get();
    osgViewer::Viewer viewer;
    {
        OutputCapture trackedPathNotice;
        SetUpFlightViewer(viewer, scene.get());
    }
    TrackedAircraft = nullptr;
    auto* cameraSwitch = dynamic_cast<osgGA::KeySwitchMatrixManipulator*>(viewer.getCameraManipulator());
    ASSERT_NE(cameraSwitch, nullptr);
    ASSERT_EQ(cameraSwitch->getNumMatrixManipulators(), 5u);
    const osgViewer::WindowSizeHandler* windowSize = nullptr;
    for (const auto& handler : viewer.getEventHandlers())
        if (const auto* found = dynamic_cast<const osgViewer::WindowSizeHandler*>(handler.get()))
            windowSize = found;
    ASSERT_NE(windowSize, nullptr);

    std::vector<int> keys = PlayerKeyCodes();
    ASSERT_EQ(keys.size(), 26u);
    for (const int key : keys)
    {
        EXPECT_EQ(cameraSwitch->getMatrixManipulatorWithKey(key), nullptr) << "key " << key << " switches the camera";
        EXPECT_NE(key, viewer.getKeyEventSetsDone()) << "key " << key;
        EXPECT_NE(key, windowSize->getKeyEventToggleFullscreen()) << "key " << key;
        EXPECT_NE(key, windowSize->getKeyEventWindowedResolutionUp()) << "key " << key;
        EXPECT_NE(key, windowSize->getKeyEventWindowedResolutionDown()) << "key " << key;
        // Each camera mode, asked itself, does nothing with the key.
        for (unsigned int mode = 0; mode < cameraSwitch->getNumMatrixManipulators(); ++mode)
        {
            osgGA::CameraManipulator* manipulator = cameraSwitch->getMatrixManipulatorWithIndex(mode);
            manipulator->setNode(scene.get());
            const osg::Matrixd before = manipulator->getMatrix();
            osg::ref_ptr<osgGA::GUIEventAdapter> down = new osgGA::GUIEventAdapter;
            down->setEventType(osgGA::GUIEventAdapter::KEYDOWN);
            down->setKey(key);
            EXPECT_FALSE(manipulator->handle(*down, viewer)) << manipulator->className() << " answers key " << key;
            EXPECT_EQ(manipulator->getMatrix(), before) << manipulator->className() << " moves on key " << key;
        }
    }
    // A key the drive mode does use is seen by the same check.
    osg::ref_ptr<osgGA::GUIEventAdapter> q = new osgGA::GUIEventAdapter;
    q->setEventType(osgGA::GUIEventAdapter::KEYDOWN);
    q->setKey('q');
    EXPECT_TRUE(cameraSwitch->getMatrixManipulatorWithKey('3')->handle(*q, viewer));
}

TEST(PlayerHudLayoutTest, KeyLineFitsAndClicksOnTheBarGiveItsFractions)
{
    for (const double width : {640.0, 1280.0, 1920.0})
    {
        const HudLayout layout = LayoutHud(width, width * 0.75);
        // DejaVu Sans Mono advances 0.602 of the character size per character.
        EXPECT_LE(KeyLineCharacters() * 0.602 * layout.keyLineSize + layout.barLeft, width) << width;
        EXPECT_LT(layout.stripTop, layout.figuresTop - 5 * layout.lineSpacing) << "the figures overlap the bottom strip at " << width;

        const double middle = (layout.barBottom + layout.barTop) / 2.0;
        double fraction = -1.0;
        ASSERT_TRUE(TimelineFractionAt(layout, layout.barLeft, middle, &fraction));
        EXPECT_EQ(fraction, 0.0);
        ASSERT_TRUE(TimelineFractionAt(layout, (layout.barLeft + layout.barRight) / 2.0, layout.barTop, &fraction));
        EXPECT_DOUBLE_EQ(fraction, 0.5);
        ASSERT_TRUE(TimelineFractionAt(layout, layout.barRight + 2.0, middle, &fraction));
        EXPECT_EQ(fraction, 1.0);
        EXPECT_FALSE(TimelineFractionAt(layout, width / 2.0, layout.keyLineBaseline, &fraction)) << "a click on the key line";
        EXPECT_FALSE(TimelineFractionAt(layout, width / 2.0, width * 0.375, &fraction)) << "a click in the scene";
    }
}

TEST(AttributionTest, LinesComeFromTheFileCleanAndBoundedNoneWithoutIt)
{
    const std::string e = "\xC3\xA9"; // one character, two bytes
    std::string manyE;
    for (int i = 0; i < 250; ++i)
        manyE += e;
    const std::string ellipsis = "\u2026";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"Elevation: a\n\n  \r\nImagery: b\r\n", {"Elevation: a", "Imagery: b"}},
        {"no newline at the end", {"no newline at the end"}},
        {"1\n2\n3\n4\n5\n6\n", {"1", "2", "3", "4"}},
        {std::string(200, 'x'), {std::string(200, 'x')}},
        {std::string(1 << 20, 'y'), {std::string(199, 'y') + ellipsis}},
        {manyE, {manyE.substr(0, 199 * e.size()) + ellipsis}},
        {"caf" + e + "\t\xFF\xC3[end\x7F", {"caf" + e + " ??[end"}},
        {std::string("PK\x03\x04\0\0binary\n", 13), {}},
    };
    ScratchDirectory scratch;
    EXPECT_TRUE(AttributionLines(scratch.PathOf("none.txt")).empty());
    for (size_t i = 0; i < cases.size(); ++i)
    {
        const std::string path = scratch.PathOf("a" + std::to_string(i) + ".txt");
        WriteWholeFile(path, cases[i].first);
        EXPECT_EQ(AttributionLines(path), cases[i].second) << "case " << i;
    }
}

// The text a draw would reach under the display's camera, hidden nodes left out; null if none.
const osgText::Text* DrawnText(osg::Camera* camera, const std::string& wanted)
{
    struct Finder : osg::NodeVisitor
    {
        explicit Finder(const std::string& wanted) : osg::NodeVisitor(TRAVERSE_ACTIVE_CHILDREN), wanted(wanted) {}
        void apply(osg::Drawable& drawable) override
        {
            if (const auto* text = dynamic_cast<const osgText::Text*>(&drawable))
                if (text->getText().createUTF8EncodedString() == wanted)
                    found = text;
        }
        std::string wanted;
        const osgText::Text* found = nullptr;
    } finder(wanted);
    if (camera->getNodeMask() != 0u)
        camera->accept(finder);
    return finder.found;
}

TEST(PlayerHudTest, TheCreditsStayAtTheBottomRightWhenTheRestIsHidden)
{
    const std::string credits = "Elevation: a\nImagery: b";
    osg::ref_ptr<PlayerHud> hud = new PlayerHud;
    hud->ShowAttribution({"Elevation: a", "Imagery: b"});
    hud->Show({"figures"}, TimelineView{}, 640, 360);
    EXPECT_NE(DrawnText(hud->Camera(), "figures"), nullptr);
    EXPECT_NE(DrawnText(hud->Camera(), credits), nullptr);

    hud->SetVisible(false);
    EXPECT_EQ(DrawnText(hud->Camera(), "figures"), nullptr);
    const osgText::Text* shown = DrawnText(hud->Camera(), credits);
    ASSERT_NE(shown, nullptr);
    const osg::BoundingBox box = shown->getBoundingBox();
    EXPECT_GT(box.xMin(), 320.0f);
    EXPECT_LE(box.xMax(), 640.0f);
    EXPECT_GE(box.yMin(), 0.0f);
    EXPECT_LT(box.yMax(), 60.0f);

    hud->ShowAttribution({});
    EXPECT_EQ(DrawnText(hud->Camera(), credits), nullptr);
}

class PlayerTimelineTest : public SceneFixture
{
protected:
    void TearDown() override
    {
        RangeList.entries[0] = SampleRange{0, 100000};
        RangeList.count = 1;
    }
};

TEST_F(PlayerTimelineTest, AxisOverTheSampleNumbersWithTheSelectedRangesOnIt)
{
    // Two ranges, as --samples 1-6,10-16 selects them, and one the log never reaches.
    for (const int32_t n : {2, 3, 4, 5, 11, 12, 13, 14, 15})
        AddRow(n, 47.1, 8.2, 500.0);
    RangeList.entries[0] = SampleRange{1, 6};
    RangeList.entries[1] = SampleRange{10, 16};
    RangeList.entries[2] = SampleRange{50, 60};
    RangeList.count = 3;

    const TimelineAxis axis = TimelineAxisOf(flight.Rows());
    EXPECT_EQ(axis.first, 2);
    EXPECT_EQ(axis.last, 15);
    const std::vector<TimelineSpan> spans = SelectedSpans(axis);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_DOUBLE_EQ(spans[0].from, 0.0);
    EXPECT_DOUBLE_EQ(spans[0].to, 3.0 / 13.0);
    EXPECT_DOUBLE_EQ(spans[1].from, 9.0 / 13.0);
    EXPECT_DOUBLE_EQ(spans[1].to, 1.0);

    // Across the gap between the ranges the marker moves from 5 to 11 in one row.
    EXPECT_DOUBLE_EQ(SampleNumberAtPosition(flight.Rows(), 3.5), 8.0);
    EXPECT_DOUBLE_EQ(TimelineFraction(axis, SampleNumberAtPosition(flight.Rows(), 8.0)), 1.0);
    // A click in the gap goes to the nearer range's row, the first of a tie.
    EXPECT_EQ(RowAtTimelineFraction(flight.Rows(), axis, 6.0 / 13.0), 3);   // sample 8: 5 and 11 are 3 away
    EXPECT_EQ(RowAtTimelineFraction(flight.Rows(), axis, 7.0 / 13.0), 4);   // sample 9: 11
    EXPECT_EQ(RowAtTimelineFraction(flight.Rows(), axis, 1.0), 8);
    EXPECT_EQ(RowAtTimelineFraction(flight.Rows(), axis, -3.0), 0);
}

// The player as a program: it loads as the replay does, so it says and returns the same;
// only its terrain is its own, and says what it lacks in its own words.
class PlayerProgramTest : public ::testing::Test
{
protected:
    // The lines of a transcript up to the map frame, and of standard error without the
    // terrain's summary: what the loading said.
    static std::string Loading(const std::string& text, bool out)
    {
        std::string kept;
        size_t start = 0;
        while (start < text.size())
        {
            const size_t end = text.find('\n', start);
            const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
            start = end == std::string::npos ? text.size() : end + 1;
            if (!out && line.rfind("terrain: ", 0) == 0)
                continue;
            kept += line;
            if (out && line.rfind("CI,CJ=", 0) == 0)
                break;
        }
        return kept;
    }

    RunResult Run(const char* program, const std::vector<std::string>& arguments)
    {
        return RunProgram(program, scratch.Path(), arguments, {"-OSG_NOTIFY_LEVEL"});
    }

    void ExpectSameRun(const std::vector<std::string>& arguments, int status)
    {
        const RunResult replay = Run(FLIGHTREPLAY_BINARY, arguments);
        const RunResult player = Run(FLIGHTREPLAY_PLAYER_BINARY, arguments);
        EXPECT_EQ(replay.status, status);
        EXPECT_EQ(player.status, status);
        EXPECT_EQ(player.out, Loading(replay.out, true));
        EXPECT_EQ(Loading(player.err, false), Loading(replay.err, false));
    }

    ScratchDirectory scratch;
};

TEST_F(PlayerProgramTest, SameTranscriptAndStatusAsTheReplay)
{
    scratch.WriteFile("flight.log",
                      "samplenumber,gps_time,gps_curlat,gps_curlon,gps_curalt\n"
                      "1,36000.0,2880.0,600.0,100\n"
                      "2,36000.5,2880.6,601.2,110\n"
                      "3,36001.0,2881.2,600.6,120\n");
    scratch.WriteFile("empty.log", "samplenumber,gps_time,gps_curlat,gps_curlon\n");
    ExpectSameRun({"flight.log"}, 251); // no display here
    EXPECT_NE(Run(FLIGHTREPLAY_PLAYER_BINARY, {"flight.log"}).err.find("terrain: 1"), std::string::npos);
    ExpectSameRun({"missing.log"}, 254);
    ExpectSameRun({"empty.log"}, 252);

    // Its own command line is the companion commands' (cli/CommandLine.h): a usage error is
    // one line and the usage on stderr, and the replay's status for one.
    const RunResult usage = Run(FLIGHTREPLAY_PLAYER_BINARY, {});
    EXPECT_EQ(usage.status, 255);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err.rfind("player: no FLIGHT given\nUsage: " FLIGHTREPLAY_PLAYER_BINARY " ", 0), 0u) << usage.err;
    const RunResult unknown = Run(FLIGHTREPLAY_PLAYER_BINARY, {"flight.log", "--sample", "1-3"});
    EXPECT_EQ(unknown.status, 255);
    EXPECT_EQ(unknown.err.rfind("player: unknown option '--sample'\n", 0), 0u) << unknown.err;
}

class PlayerPlanTest : public SceneFixture
{
};

TEST_F(PlayerPlanTest, TheMissionFollowsTheClockAndTheKeyTogglesItsLayers)
{
    for (int32_t n = 1; n <= 11; ++n)
    {
        AddRow(n, 47.1 + n * 1e-4, 8.2, 500.0);
        flight.rows.back().gps_time = 100.0 + n;
    }
    // Two versions: the second uploaded at 108, after which the first's progress no longer counts.
    MissionVersion version;
    version.homeFirst = true;
    for (int32_t seq = 0; seq < 4; ++seq)
    {
        PlanItem item;
        item.seq = seq;
        item.command = seq == 1 ? CommandTakeoff : CommandWaypoint;
        item.latitude = 47.1 + seq * 1e-3;
        item.longitude = 8.2;
        item.altitude = 520.0;
        version.items.push_back(item);
    }
    version.uploaded = 100.0;
    flight.plan.missions = {version, version};
    flight.plan.missions[1].uploaded = 108.0;
    using P = MissionProgress;
    flight.plan.progress = {{102.0, P::Current, 1}, {104.0, P::Reached, 1}, {104.5, P::Current, 2}, {106.0, P::Reached, 2}, {109.0, P::Started, 1}};

    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions(), Flights(), frame);
    ASSERT_EQ(session->timeline.versions.size(), 2u);
    EXPECT_DOUBLE_EQ(session->timeline.versions[1].fraction, 0.7) << "uploaded at sample 8 of 1 to 11";
    FlightScene scene;
    scene.root = new osg::Group;
    session->AddPlanToScene(scene);
    ASSERT_NE(session->PlanLayers(), nullptr);

    // Row r is at 101 + r seconds: the item in force at each, then the leg drawn to it.
    const struct
    {
        int32_t row;
        int version;
        int32_t inForce;
        std::vector<int32_t> reached;
    } moments[] = {{0, 0, -1, {}}, {2, 0, 1, {}}, {4, 0, 2, {1}}, {6, 0, 3, {1, 2}}, {8, 1, 1, {}}};
    for (const auto& moment : moments)
    {
        session->clock.SeekRow(moment.row);
        session->ShowPlanAtClock();
        const MissionMoment now = session->MissionNow();
        EXPECT_EQ(now.version, moment.version) << "row " << moment.row;
        EXPECT_EQ(now.inForce, moment.inForce) << "row " << moment.row;
        EXPECT_EQ(now.reached, moment.reached) << "row " << moment.row;
        ASSERT_EQ(session->PlanLayers()->ShownVersion(), moment.version);
        const osg::DrawArrays& leg = *session->PlanLayers()->Drawn()[static_cast<size_t>(moment.version)].leg;
        EXPECT_EQ(leg.getCount(), moment.inForce < 0 ? 0 : 2) << "row " << moment.row;
        if (moment.inForce >= 0)
        {
            EXPECT_EQ(leg.getFirst(), moment.inForce - 1) << "row " << moment.row;
        }
    }
    const std::vector<std::string> lines = session->Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "mission v2 of 2  item 1 in force"), lines.end());

    osgViewer::Viewer viewer;
    osg::ref_ptr<PlayerControls> controls = new PlayerControls(session.get());
    osg::ref_ptr<osgGA::GUIEventAdapter> key = new osgGA::GUIEventAdapter;
    key->setEventType(osgGA::GUIEventAdapter::KEYDOWN);
    key->setKey('m');
    for (const bool visible : {false, true})
    {
        EXPECT_TRUE(controls->handle(*key, viewer));
        EXPECT_EQ(session->PlanLayers()->Visible(), visible);
    }
}
} // namespace
