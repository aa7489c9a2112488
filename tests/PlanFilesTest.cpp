// The readers of the pilots' plan files: a ground station's JSON plan written and read back,
// its waypoint list, a glider task in both forms, the task an IGC file declares, and what
// each makes of broken input.
#include <string>

#include <gtest/gtest.h>

#include "geo/Geodesy.h"
#include "plan/PlanFiles.h"
#include "support/TestSupport.h"
#include "track/IgcReader.h"

namespace
{

bool NoteHas(const FlightPlan& plan, const std::string& text)
{
    for (const std::string& note : plan.notes)
        if (note.find(text) != std::string::npos)
            return true;
    return false;
}

PlanItem Item(int32_t seq, int32_t command, int32_t frame, double latitude, double longitude, double altitude)
{
    PlanItem item;
    item.seq = seq;
    item.command = command;
    item.frame = frame;
    item.latitude = latitude;
    item.longitude = longitude;
    item.altitude = altitude;
    return item;
}

} // namespace

TEST(PlanFilesTest, GroundStationPlanKeepsMissionFenceAndRallyThroughItsText)
{
    FlightPlan plan;
    MissionVersion version;
    version.homeFirst = true;
    version.items = {Item(0, CommandWaypoint, 0, 47.1, 8.2, 512.0), Item(1, CommandTakeoff, 3, 47.1, 8.2, 30.0), Item(2, CommandWaypoint, 3, 47.102, 8.205, 60.0),
                     Item(3, 178, 2, NoValue, NoValue, NoValue), Item(4, CommandReturnToLaunch, 2, NoValue, NoValue, NoValue)};
    version.items[2].param[0] = 5.0;
    version.items[3].param[1] = 12.5; // a speed change: no position
    plan.missions.push_back(version);
    FenceShape polygon;
    polygon.inclusion = false;
    polygon.vertices = {{47.09, 8.19}, {47.11, 8.19}, {47.11, 8.21}};
    FenceShape circle;
    circle.circle = true;
    circle.centre = {47.1, 8.2};
    circle.radius = 750.0;
    plan.fences = {polygon, circle};
    plan.rally.push_back({47.105, 8.195, 40.0, 3});

    FlightPlan read;
    std::string error;
    ASSERT_TRUE(ReadGroundStationPlan(GroundStationPlanText(plan, 0), &read, &error)) << error;
    EXPECT_DOUBLE_EQ(read.homeLatitude, 47.1);
    EXPECT_DOUBLE_EQ(read.homeAltitude, 512.0);
    ASSERT_EQ(read.missions.size(), 1u);
    ASSERT_EQ(read.missions[0].items.size(), 4u); // home travels as the planned home position
    for (size_t i = 0; i < 4; ++i)
    {
        PlanItem written = version.items[i + 1];
        if (!written.HasPosition()) // travels as zeros, as ground stations write it
            written.latitude = written.longitude = written.altitude = 0.0;
        EXPECT_TRUE(SameItem(read.missions[0].items[i], written)) << "item " << i + 1;
    }
    ASSERT_EQ(read.fences.size(), 2u);
    EXPECT_FALSE(read.fences[0].inclusion);
    EXPECT_EQ(read.fences[0].vertices.size(), 3u);
    EXPECT_DOUBLE_EQ(read.fences[0].vertices[2].longitude, 8.21);
    EXPECT_TRUE(read.fences[1].circle);
    EXPECT_DOUBLE_EQ(read.fences[1].radius, 750.0);
    ASSERT_EQ(read.rally.size(), 1u);
    EXPECT_DOUBLE_EQ(read.rally[0].altitude, 40.0);
}

TEST(PlanFilesTest, WaypointListKeepsHomeAndItemsAndCountsBadLines)
{
    ScratchDirectory scratch;
    scratch.WriteFile("survey.waypoints",
                      "QGC WPL 110\r\n"
                      "0\t1\t0\t16\t0\t0\t0\t0\t-35.363262\t149.165237\t584.09\t1\r\n"
                      "1\t0\t3\t22\t15.0\t0\t0\t0\t-35.3632\t149.1652\t30\t1\r\n"
                      "2\t0\t3\t16\t0\t0\t0\t0\t-35.3610\t149.1630\t50\t1\r\n"
                      "3\t0\t3\t16\t0\t0\t0\t0\tnan\t149.1630\t50\t1\r\n"   // not a number
                      "4 0 3 16 0 0 0 0 -35.3620 149.1610 50 1\r\n"        // spaces are read too
                      "5\t0\t3\t16\t0\t0\t0\t-35.3620\t149.1610\t50\t1\r\n" // a field short
                      "6\t0\t3\t16\t0\t0\t0\t0\t95.0\t149.1610\t50\t1\r\n"  // beyond the pole
                      "\r\n"
                      "7\t0\t3\t20\t0\t0\t0\t0\t0\t0\t0\t1\r\n");
    FlightPlan plan;
    plan.missions.resize(2); // a log's versions: the file replaces them
    std::string error;
    ASSERT_TRUE(ReadPlanFile(scratch.PathOf("survey.waypoints"), &plan, &error)) << error;
    ASSERT_EQ(plan.missions.size(), 1u);
    const MissionVersion& mission = plan.missions[0];
    EXPECT_TRUE(mission.homeFirst);
    EXPECT_EQ(mission.source, "waypoint list");
    ASSERT_EQ(mission.items.size(), 5u);
    EXPECT_EQ(mission.items[1].command, CommandTakeoff);
    EXPECT_DOUBLE_EQ(mission.items[1].param[0], 15.0);
    EXPECT_EQ(mission.items[3].seq, 4);
    EXPECT_EQ(mission.items[4].command, CommandReturnToLaunch);
    EXPECT_FALSE(mission.items[4].HasPosition());
    EXPECT_DOUBLE_EQ(plan.homeLatitude, -35.363262);
    EXPECT_DOUBLE_EQ(plan.homeAltitude, 584.09);
    EXPECT_TRUE(NoteHas(plan, "3 lines that cannot be read left out (the first, line 5,")) << testing::PrintToString(plan.notes);

    // An older version with the same columns reads with a note; a .txt that is not a list is refused.
    FlightPlan old;
    ASSERT_TRUE(ReadWaypointList("QGC WPL 100\n0\t1\t0\t16\t0\t0\t0\t0\t47\t8\t500\t1\n", &old, &error));
    EXPECT_TRUE(NoteHas(old, "version \"100\" read as version 110"));
    scratch.WriteFile("notes.txt", "take-off at nine\n");
    EXPECT_FALSE(ReadPlanFile(scratch.PathOf("notes.txt"), &old, &error));
    EXPECT_NE(error.find("not a waypoint list"), std::string::npos) << error;
}

TEST(PlanFilesTest, GliderTaskReadsBothForms)
{
    const std::string full = R"({"taskType": "CLASSIC", "version": 1, "earthModel": "WGS84",
        "turnpoints": [
            {"type": "TAKEOFF", "radius": 400, "waypoint": {"name": "Fiesch", "lat": 46.41, "lon": 8.13, "altSmoothed": 2220}},
            {"type": "SSS", "radius": 3000, "waypoint": {"name": "Start", "lat": 46.42, "lon": 8.16, "altSmoothed": 2400}},
            {"radius": 1000, "waypoint": {"name": "broken", "lat": "north", "lon": 8.3}},
            {"radius": 2000, "waypoint": {"name": "Turn", "lat": 46.5, "lon": 8.3, "altSmoothed": 1800}},
            {"type": "ESS", "radius": 1000, "waypoint": {"name": "Goal", "lat": 46.45, "lon": 8.05, "altSmoothed": 1100}}],
        "sss": {"type": "RACE", "direction": "EXIT", "timeGates": ["11:00:00Z"]},
        "goal": {"type": "LINE", "deadline": "17:00:00Z"}})";
    FlightPlan plan;
    std::string error;
    ASSERT_TRUE(ReadGliderTask(full, &plan, &error)) << error;
    ASSERT_EQ(plan.task.size(), 4u);
    EXPECT_EQ(plan.task[0].role, TurnpointRole::Takeoff);
    EXPECT_EQ(plan.task[1].role, TurnpointRole::Start);
    EXPECT_DOUBLE_EQ(plan.task[1].radius, 3000.0);
    EXPECT_EQ(plan.task[2].role, TurnpointRole::Turn);
    EXPECT_EQ(plan.task[3].role, TurnpointRole::Goal);
    EXPECT_TRUE(plan.task[3].line);
    EXPECT_EQ(plan.task[3].name, "Goal");
    EXPECT_TRUE(NoteHas(plan, "1 turnpoint without a valid position or radius"));

    // The compact form, polyline-encoded: 'qrqp@ana{Gw|A_X' is 8.12345 E, 46.54321 N, 1500 m, 400 m.
    const std::string compact = R"({"taskType": "CLASSIC", "version": 2, "t": [{"z": "qrqp@ana{Gw|A_X", "n": "WPT1", "t": 2},
        {"z": "_igq@c~n{GgbCo}@", "n": "WPT13", "t": 3}], "g": {"t": 2}})";
    ASSERT_TRUE(ReadGliderTask(compact, &plan, &error)) << error;
    ASSERT_EQ(plan.task.size(), 2u); // replaced
    EXPECT_NEAR(plan.task[0].longitude, 8.12345, 1e-9);
    EXPECT_NEAR(plan.task[0].latitude, 46.54321, 1e-9);
    EXPECT_DOUBLE_EQ(plan.task[0].altitude, 1500.0);
    EXPECT_DOUBLE_EQ(plan.task[0].radius, 400.0);
    EXPECT_DOUBLE_EQ(plan.task[1].radius, 1000.0);
    EXPECT_EQ(plan.task[0].role, TurnpointRole::Start);
    EXPECT_EQ(plan.task[1].role, TurnpointRole::Goal);
    EXPECT_FALSE(plan.task[1].line);
}

TEST(PlanFilesTest, IgcTaskDeclarationGivesStartTurnpointsAndFinish)
{
    const std::string igc = "AXXX001\nHFDTE150324\n"
                            "C150324093000150324000102Out and return\n"
                            "C0000000N00000000ETAKEOFF\n"
                            "C4624600N00808000EFiesch start\n"
                            "C4630000S00815500WOne\n"
                            "C46300X0N00815500ETwo\n" // broken: a letter in the minutes
                            "C4624600N00808000EFiesch finish\n"
                            "C4700000N00900000ELANDING\n"
                            "B1000004624600N00808000EA0210002150\n";
    // As written, and with a record cut off at the end, beyond the points declared.
    for (const std::string& text : {igc, igc + "C4630"})
    {
        const FlightFile file("task.igc", text);
        RecordedFlight flight;
        std::string message;
        ASSERT_TRUE(ReadIgcTrack(file, &flight, &message));
        ASSERT_EQ(flight.positions.size(), 1u); // the track is the B records' alone
        const std::vector<Turnpoint>& task = flight.plan.task;
        ASSERT_EQ(task.size(), 3u) << testing::PrintToString(flight.plan.notes);
        EXPECT_EQ(task[0].role, TurnpointRole::Start);
        EXPECT_EQ(task[0].name, "Fiesch start");
        EXPECT_NEAR(task[0].latitude, 46.41, 1e-9);
        EXPECT_EQ(task[1].role, TurnpointRole::Turn);
        EXPECT_NEAR(task[1].latitude, -46.5, 1e-9);
        EXPECT_NEAR(task[1].longitude, -8.2583333333, 1e-9);
        EXPECT_EQ(task[2].role, TurnpointRole::Goal);
        EXPECT_EQ(task[2].name, "Fiesch finish");
        EXPECT_DOUBLE_EQ(task[2].radius, 500.0);
        const bool cut = text.size() > igc.size();
        EXPECT_TRUE(NoteHas(flight.plan, std::string(cut ? "2 C records" : "1 C record") + " that cannot be read left out (the first on line 7)"))
            << testing::PrintToString(flight.plan.notes);
        EXPECT_EQ(NoteHas(flight.plan, "1 C record beyond the 6 points declared"), cut);
    }
    // Points without a declaration: the first and last places are the start and the finish.
    const std::string loose = "AXXX001\nC0000000N00000000E\nC4624600N00808000EA\nC4630000S00815500WB\nC4630000S00825500WC\nC0000000N00000000E\n";
    const FlightFile file("loose.igc", loose);
    RecordedFlight flight;
    std::string message;
    ASSERT_TRUE(ReadIgcTrack(file, &flight, &message));
    ASSERT_EQ(flight.plan.task.size(), 3u);
    EXPECT_EQ(flight.plan.task[0].role, TurnpointRole::Start);
    EXPECT_EQ(flight.plan.task[1].role, TurnpointRole::Turn);
    EXPECT_EQ(flight.plan.task[2].role, TurnpointRole::Goal);
    EXPECT_TRUE(NoteHas(flight.plan, "names no turnpoints but 5 points follow"));
}

TEST(PlanFilesTest, BrokenFilesAreRefusedInOneLineOrReadInPart)
{
    FlightPlan plan;
    plan.task.resize(1);
    std::string error;
    for (const std::string& text : {std::string(), std::string("\x89PNG\r\n\x1a\n\0\0", 10), std::string("{\"turnpoints\": [{\"radius\": 4"), std::string("[1, 2]"),
                                    std::string("QGC WPL 110\n0\t1\t0\t16\n")})
    {
        error.clear();
        EXPECT_FALSE(ReadWaypointList(text, &plan, &error));
        EXPECT_FALSE(ReadGliderTask(text, &plan, &error));
        EXPECT_FALSE(ReadGroundStationPlan(text, &plan, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    EXPECT_EQ(plan.task.size(), 1u); // a refused file changes nothing
    EXPECT_TRUE(plan.missions.empty());

    // Counts beyond the bounds stop at them, with a note.
    std::string list = "QGC WPL 110\n";
    for (size_t i = 0; i < MostPlanItems + 10; ++i)
        list += std::to_string(i) + "\t0\t3\t16\t0\t0\t0\t0\t47\t8\t50\t1\n";
    ASSERT_TRUE(ReadWaypointList(list, &plan, &error));
    EXPECT_EQ(plan.missions[0].items.size(), MostPlanItems);
    EXPECT_TRUE(NoteHas(plan, "more than 2000 items"));
    std::string task = R"({"version": 1, "turnpoints": [)";
    for (size_t i = 0; i < MostTurnpoints + 5; ++i)
        task += std::string(i ? "," : "") + R"({"radius": 400, "waypoint": {"lat": 46, "lon": 8}})";
    ASSERT_TRUE(ReadGliderTask(task + "]}", &plan, &error));
    EXPECT_EQ(plan.task.size(), MostTurnpoints);
    EXPECT_TRUE(NoteHas(plan, "the goal cannot be read"));
    EXPECT_FALSE(ReadGliderTask(R"({"version": 2, "t": [{"z": "qrqp@ana{Gw|A_"}]})", &plan, &error)); // an unfinished number
    EXPECT_FALSE(ReadGliderTask(R"({"version": 3, "t": []})", &plan, &error));
    EXPECT_NE(error.find("version 3"), std::string::npos) << error;
    EXPECT_FALSE(ReadPlanFile("flight.kml", &plan, &error));
    EXPECT_NE(error.find(".xctsk"), std::string::npos) << error;
}

TEST(PlanFilesTest, OpenAirKeepsWhatHoldsAndNamesTheRest)
{
    const std::string text = "* a comment\r\n"
                              "AC D\r\nAN Valley CTR\r\nAL SFC\r\nAH FL95\r\n"
                              "DP 46:20:00 N 008:00:00 E\r\nDP 46:30:00 N 008:00:00 E\r\nDP 46:30:00 N 008:20:00 E\r\nDP 46:20:00 N 008:00:00 E\r\n"
                              "AC R\r\nAN Unclosed\r\nAL 0\r\nAH 3000ft\r\nDP 46:20:00 N 008:00:00 E\r\nDP 46:30:00 N 008:00:00 E\r\n"
                              "AC Q\r\nAN Broken arcs\r\nAL GND\r\nAH 2000m\r\nV X=46:25:00 N 008:10:00 E\r\nDA 2,90\r\nDB 46:25:00 N 008:12:00 E,46:2x:00 N 008:10:00 E\r\nDC\r\n"
                              "AC C\r\nAN Sky high\r\nAL FL 5000\r\nAH 99999999ft\r\nV X=46:25:00 N 008:10:00 E\r\nDC 3\r\n"
                              "AC C\r\nAN Upside down\r\nAL 9000ft MSL\r\nAH 3000ft MSL\r\nV X=46:25:00 N 008:10:00 E\r\nDC 3\r\n"
                              "AC P\r\nAN Near the pole\r\nAL SFC\r\nAH UNL\r\nV X=88:00:00 N 010:00:00 E\r\nDC 120.137445\r\n";
    FlightPlan plan;
    plan.airspace.resize(1); // the files' airspaces add to those there are
    std::string error;
    ASSERT_TRUE(ReadOpenAir(text, &plan, &error)) << error;
    ASSERT_EQ(plan.airspace.size(), 3u) << testing::PrintToString(plan.notes);
    const Airspace& valley = plan.airspace[1];
    EXPECT_EQ(valley.name, "Valley CTR");
    EXPECT_EQ(valley.outline.size(), 3u); // the repeated first point closes it
    EXPECT_EQ(valley.ceiling.reference, AirspaceLimit::FlightLevel);
    EXPECT_NEAR(valley.ceiling.metres, 9500 * 0.3048, 1e-9);
    const Airspace& pole = plan.airspace[2];
    EXPECT_EQ(pole.name, "Near the pole");
    for (const PlanPoint& point : pole.outline)
        ASSERT_TRUE(std::isfinite(point.latitude) && std::isfinite(point.longitude) && point.latitude <= 90.0);
    EXPECT_NEAR(GroundDistance(88.0, 10.0, pole.outline[18].latitude, pole.outline[18].longitude), 120.137445 * 1852.0, 1.0);
    for (const char* fault : {"outline of three points", "arcs (DA) without a radius and two bearings", "arcs (DB) without two points", "circles (DC) without a radius",
                              "floors (AL) it cannot read", "ceilings (AH) it cannot read", "floor above its ceiling"})
        EXPECT_TRUE(NoteHas(plan, fault)) << fault << " in " << testing::PrintToString(plan.notes);

    // A file with nothing to take changes nothing.
    FlightPlan none;
    EXPECT_FALSE(ReadOpenAir("AC D\nAN Only a name\nDP 46:20:00 N 008:00:00 E\n", &none, &error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(none.notes.empty() && none.airspace.empty());
}
