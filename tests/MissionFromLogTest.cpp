// The plan in the autopilots' logs: the mission's versions, the fence, the rally points and
// the progress, read from logs the tests write in each format's layout, and the plan files
// `track` writes beside the log, read back as a ground station reads them.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "plan/PlanFiles.h"
#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "track/MavlinkMessages.h"
#include "track/MissionVersions.h"

namespace
{


FlightPlan ReadPlan(const std::string& path)
{
    FlightPlan plan;
    std::string error;
    EXPECT_TRUE(ReadGroundStationPlan(DataToolFixture::ReadText(path), &plan, &error)) << path << ": " << error;
    return plan;
}

// The items of the file's one version after home, each as the log wrote it.
void ExpectItems(const FlightPlan& plan, const std::vector<WrittenItem>& logged, const std::string& label)
{
    ASSERT_EQ(plan.missions.size(), 1u) << label;
    const std::vector<PlanItem>& items = plan.missions[0].items;
    ASSERT_EQ(items.size(), logged.size() - 1) << label << ": item 0 is home";
    for (size_t i = 0; i < items.size(); ++i)
    {
        const WrittenItem& w = logged[i + 1];
        EXPECT_EQ(items[i].command, w.command) << label << " item " << w.seq;
        EXPECT_EQ(items[i].frame, w.frame) << label << " item " << w.seq;
        EXPECT_DOUBLE_EQ(items[i].param[1], w.param[1]) << label << " item " << w.seq;
        EXPECT_NEAR(items[i].latitude, w.latitude, 1e-9) << label << " item " << w.seq;
        EXPECT_NEAR(items[i].longitude, w.longitude, 1e-9) << label << " item " << w.seq;
        EXPECT_NEAR(items[i].altitude, w.altitude, 1e-6) << label << " item " << w.seq;
    }
    EXPECT_NEAR(plan.homeLatitude, logged[0].latitude, 1e-9) << label;
    EXPECT_NEAR(plan.homeLongitude, logged[0].longitude, 1e-9) << label;
    EXPECT_NEAR(plan.homeAltitude, logged[0].altitude, 1e-6) << label;
}

const double HomeLatitude = 47.001, HomeLongitude = 8.002;

} // namespace

class MissionFromLogTest : public DataToolFixture
{
};

TEST_F(MissionFromLogTest, DataFlashVersionInForceAtTakeoffIsTheLogsPlanWithFenceAndRally)
{
    CircleFlight flight;
    flight.events = true; // armed 1 s after the start: 101 s since boot
    DataFlashWriter log;
    log.bytes = CircleDataFlash(flight);
    // At the log's start the mission as stored; re-uploaded before arming with item 2 moved
    // and its radius changed; extended in flight. Item 3 counts from the terrain.
    std::vector<WrittenItem> first = {WrittenItem(0, 16, 0, HomeLatitude, HomeLongitude, 432.5f), WrittenItem(1, 22, 3, 47.0015, 8.0021, 30.0f), WrittenItem(2, 16, 3, 47.003, 8.004, 50.0f, 5.0f),
                                      WrittenItem(3, 16, 10, 47.0031, 8.0052, 40.0f)};
    std::vector<WrittenItem> second = first;
    second[2] = WrittenItem(2, 16, 3, 47.0032, 8.0041, 55.0f, 8.0f);
    std::vector<WrittenItem> third = second;
    third.push_back(WrittenItem(4, 21, 3, 47.001, 8.002, 0.0f));
    for (const WrittenItem& item : first)
        log.Command(100.0, 4, item);
    for (const WrittenItem& item : first) // the same mission written again starts no version
        log.Command(100.2, 4, item);
    for (const WrittenItem& item : second)
        log.Command(100.5, 4, item);
    for (const WrittenItem& item : third)
        log.Command(110.0, 5, item);
    log.MissionStart(102.0, 4, second[1]).MissionStart(106.0, 4, second[2]);
    // An inclusion square and an exclusion circle; two rally points.
    const double square[4][2] = {{47.0, 8.0}, {47.0, 8.01}, {47.01, 8.01}, {47.01, 8.0}};
    for (uint8_t i = 0; i < 4; ++i)
        log.FencePoint(100.0, 5, i, 5001, square[i][0], square[i][1], 4, 0.0f);
    log.FencePoint(100.0, 5, 4, 5004, 47.005, 8.005, 0, 80.0f);
    log.RallyPoint(100.0, 2, 0, 47.002, 8.001, 60).RallyPoint(100.0, 2, 1, 47.004, 8.006, 70);
    log.Parameter(100.0, "FENCE_TYPE", 7.0f).Parameter(100.0, "FENCE_ALT_MAX", 120.0f).Parameter(100.0, "WPNAV_RADIUS", 200.0f).Parameter(100.0, "FENCE_RADIUS", 300.0f);
    WriteText("flight.bin", log.bytes);
    WriteText("flight.v4.plan", std::string("{") + WrittenByMark + "}"); // ours, left from another flight

    std::string out, err;
    ASSERT_EQ(RunTool({"track", "flight.bin", "--out", "flight.log", "--json"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("track: mission of 4 items, 3 versions; fence of 3 shapes, ceiling 120 m; 2 rally points, written to flight.plan, flight.v2.plan, flight.v3.plan"), std::string::npos) << err;
    const nlohmann::json report = nlohmann::json::parse(out);
    std::vector<std::string> written;
    for (const auto& entry : report["written"])
        written.push_back(entry["path"].get<std::string>());
    for (const char* name : {"flight.plan", "flight.v2.plan", "flight.v3.plan"})
        EXPECT_NE(std::find(written.begin(), written.end(), name), written.end()) << name << "\n" << out;
    EXPECT_FALSE(Exists("flight.v4.plan"));
    ASSERT_EQ(RunTool({"track", "flight.bin", "--out", "flight.log", "--json", "--skip-existing"}, &out, &err), 0) << err;
    const nlohmann::json skipped = nlohmann::json::parse(out);
    EXPECT_TRUE(skipped["skipped"].get<bool>());
    EXPECT_EQ(skipped["written"].size(), 6u) << "the log, its events, its three plans and what flew\n" << out;

    const FlightPlan inForce = ReadPlan("flight.plan"), before = ReadPlan("flight.v2.plan"), later = ReadPlan("flight.v3.plan");
    ExpectItems(inForce, second, "in force at take-off");
    ExpectItems(before, first, "the stored mission");
    ExpectItems(later, third, "uploaded in flight");
    EXPECT_DOUBLE_EQ(inForce.missions[0].uploaded, 100.5);
    EXPECT_DOUBLE_EQ(later.missions[0].uploaded, 110.0);

    ASSERT_EQ(inForce.fences.size(), 3u);
    EXPECT_TRUE(inForce.fences[0].inclusion);
    ASSERT_EQ(inForce.fences[0].vertices.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_NEAR(inForce.fences[0].vertices[i].latitude, square[i][0], 1e-9);
        EXPECT_NEAR(inForce.fences[0].vertices[i].longitude, square[i][1], 1e-9);
    }
    EXPECT_TRUE(inForce.fences[1].circle);
    EXPECT_FALSE(inForce.fences[1].inclusion);
    EXPECT_DOUBLE_EQ(inForce.fences[1].radius, 80.0);
    EXPECT_TRUE(inForce.fences[2].circle && inForce.fences[2].inclusion) << "the circle of FENCE_RADIUS about home";
    EXPECT_DOUBLE_EQ(inForce.fences[2].radius, 300.0);
    EXPECT_DOUBLE_EQ(inForce.fences[2].centre.latitude, inForce.homeLatitude);
    EXPECT_DOUBLE_EQ(inForce.fenceCeiling, 120.0);
    ASSERT_EQ(inForce.rally.size(), 2u);
    EXPECT_NEAR(inForce.rally[1].latitude, 47.004, 1e-9);
    EXPECT_DOUBLE_EQ(inForce.rally[1].altitude, 70.0);

    // In the reader: the progress, and the acceptance radius in metres.
    RecordedFlight recorded;
    ASSERT_TRUE(ReadFlight("flight.bin", &recorded));
    EXPECT_DOUBLE_EQ(recorded.plan.defaultAcceptance, 2.0);
    ASSERT_EQ(recorded.plan.progress.size(), 2u);
    EXPECT_EQ(recorded.plan.progress[1].kind, MissionProgress::Started);
    EXPECT_EQ(recorded.plan.progress[1].seq, 2);
    EXPECT_TRUE(recorded.plan.notes.empty()) << recorded.plan.notes.front();

    // --no-plan writes none; a plan beside a GPS track's log is the pilot's, left alone.
    ASSERT_EQ(RunTool({"track", "flight.bin", "--out", "other.log", "--no-plan"}, &out, &err), 0) << err;
    EXPECT_FALSE(Exists("other.plan"));
    WriteText("walk.csv", "time,lat,lon,alt\n0,47.0,8.0,500\n1,47.0001,8.0,501\n");
    WriteText("walk.plan", "the pilot's");
    ASSERT_EQ(RunTool({"track", "walk.csv", "--out", "walk.log"}, &out, &err), 0) << err;
    EXPECT_EQ(ReadText("walk.plan"), "the pilot's");
}

TEST_F(MissionFromLogTest, TelemetryDownloadAndStationUploadWithHomeMovedAndProgress)
{
    CircleFlight flight;
    flight.events = true;
    TelemetryWriter log;
    log.bytes = CircleTelemetry(flight, 2);
    FrameOptions autopilot, station;
    station.system = 255;
    station.component = 190;
    const auto stamp = [&](double s) { return flight.wallStart * 1000000ull + static_cast<uint64_t>(std::llround(s * 1e6)); };
    // The autopilot sends 4 of the 5 items it announced to a station that asked for them.
    std::vector<WrittenItem> downloaded = {WrittenItem(0, 16, 0, HomeLatitude, HomeLongitude, 432.5f), WrittenItem(1, 22, 3, 47.0015, 8.0021, 30.0f), WrittenItem(2, 16, 3, 47.003, 8.004, 50.0f, 3.0f),
                                           WrittenItem(3, 115, 0, 0.0, 0.0, 0.0f)};
    log.Record(stamp(0.2), MissionCountPayload(255, 190, 5), autopilot);
    for (const WrittenItem& item : downloaded)
        log.Record(stamp(0.3), MissionItemIntPayload(255, 190, item), autopilot);
    log.Record(stamp(2.0), MissionCurrentPayload(1), autopilot).Record(stamp(3.0), MissionCurrentPayload(1), autopilot);
    log.Record(stamp(4.9), MissionItemReachedPayload(1), autopilot).Record(stamp(5.0), MissionCurrentPayload(2), autopilot);
    // A station uploads three items, a fence and a rally point to system 1.
    std::vector<WrittenItem> uploaded = {downloaded[0], WrittenItem(1, 22, 3, 47.0016, 8.0022, 35.0f), WrittenItem(2, 21, 3, 47.002, 8.003, 0.0f)};
    log.Record(stamp(10.0), MissionCountPayload(1, 1, 3), station);
    for (const WrittenItem& item : uploaded)
        log.Record(stamp(10.1), MissionItemIntPayload(1, 1, item), station);
    const WrittenItem fence[] = {WrittenItem(0, 5001, 0, 47.0, 8.0, 0.0f), WrittenItem(1, 5001, 0, 47.0, 8.01, 0.0f), WrittenItem(2, 5001, 0, 47.01, 8.0, 0.0f), WrittenItem(3, 5004, 0, 47.005, 8.005, 0.0f)};
    log.Record(stamp(11.0), MissionCountPayload(1, 1, 4, 1), station);
    for (WrittenItem item : fence)
    {
        item.param[0] = item.command == 5001 ? 3.0f : 80.0f;
        log.Record(stamp(11.1), MissionItemIntPayload(1, 1, item, 1), station);
    }
    log.Record(stamp(12.0), MissionCountPayload(1, 1, 1, 2), station).Record(stamp(12.1), MissionItemIntPayload(1, 1, WrittenItem(0, 5100, 3, 47.004, 8.006, 70.0f), 2), station);
    // Home moves after landing: item 0 alone, sent again, is no new mission.
    log.Record(stamp(19.0), MissionItemIntPayload(255, 190, WrittenItem(0, 16, 0, 47.2, 8.2, 440.0f)), autopilot);
    // Items the autopilot sends to another system's upload are not this flight's.
    log.Record(stamp(19.5), MissionItemIntPayload(7, 1, WrittenItem(1, 16, 3, 10.0, 10.0, 10.0f)), station);
    WriteText("flight.tlog", log.bytes);

    std::string out, err;
    ASSERT_EQ(RunTool({"track", "flight.tlog", "--out", "flight.log"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("track: mission of 4 items (5 announced), 2 versions; fence of 2 shapes; 1 rally point, written to flight.plan, flight.v2.plan"), std::string::npos) << err;
    EXPECT_FALSE(Exists("flight.v3.plan"));
    const FlightPlan inForce = ReadPlan("flight.plan"), later = ReadPlan("flight.v2.plan");
    ExpectItems(inForce, downloaded, "downloaded");
    ExpectItems(later, uploaded, "uploaded by the station");
    EXPECT_NEAR(inForce.missions[0].uploaded, flight.bootTime + 0.2 - 0.030, 1e-6) << "on the autopilot's clock";
    ASSERT_EQ(inForce.fences.size(), 2u);
    EXPECT_EQ(inForce.fences[0].vertices.size(), 3u);
    EXPECT_DOUBLE_EQ(inForce.fences[1].radius, 80.0);
    ASSERT_EQ(inForce.rally.size(), 1u);

    RecordedFlight recorded;
    ASSERT_TRUE(ReadFlight("flight.tlog", &recorded));
    ASSERT_EQ(recorded.plan.missions.size(), 2u);
    EXPECT_FALSE(recorded.plan.missions[0].items[3].HasPosition()) << "a command without a place";
    const std::vector<MissionProgress>& progress = recorded.plan.progress;
    ASSERT_EQ(progress.size(), 3u) << "MISSION_CURRENT where it changes";
    EXPECT_EQ(progress[0].kind, MissionProgress::Current);
    EXPECT_EQ(progress[1].kind, MissionProgress::Reached);
    EXPECT_EQ(progress[1].seq, 1);
    EXPECT_EQ(progress[2].seq, 2);
}

TEST_F(MissionFromLogTest, RefusedItemsAndShapesAreNotedAndTheRestKept)
{
    CircleFlight flight;
    DataFlashWriter log;
    log.bytes = CircleDataFlash(flight);
    log.Command(100.0, 3, WrittenItem(0, 16, 0, HomeLatitude, HomeLongitude, 432.5f));
    log.Command(100.0, 3, WrittenItem(1, 16, 1, 47.002, 8.003, 20.0f)); // a local frame
    log.Command(100.0, 3, WrittenItem(2, 16, 3, 47.003, 8.004, 50.0f));
    log.Command(100.0, 3, WrittenItem(5, 16, 3, 47.005, 8.005, 50.0f)); // past the count
    log.FencePoint(100.0, 6, 0, 5001, 47.0, 8.0, 2, 0.0f).FencePoint(100.0, 6, 1, 5001, 47.0, 8.01, 2, 0.0f);
    log.FencePoint(100.0, 6, 2, 5002, 47.0, 8.0, 4, 0.0f).FencePoint(100.0, 6, 3, 5002, 47.0, 8.01, 4, 0.0f).FencePoint(100.0, 6, 4, 5002, 47.01, 8.0, 4, 0.0f);
    log.FencePoint(100.0, 6, 5, 5003, 47.0, 8.0, 0, 100.0f);
    WriteText("bad.bin", log.bytes);
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "bad.bin", "--out", "bad.log"}, &out, &err), 0) << err;
    for (const char* note : {"bad.bin': mission: 1 item numbered at or beyond the count announced left out (the first: item 5)",
                             "mission: item 1 is placed in frame 1, whose height this program cannot read", "fence: item 0: a polygon of 2 vertices, fewer than 3; left out",
                             "fence: item 2: a polygon of 4 vertices of which 3 follow with its count and a position; left out"})
        EXPECT_NE(err.find(note), std::string::npos) << note << "\n" << err;
    const FlightPlan plan = ReadPlan("bad.plan");
    ASSERT_EQ(plan.missions.size(), 1u);
    EXPECT_EQ(plan.missions[0].items.size(), 2u) << "items 1 and 2 kept";
    ASSERT_EQ(plan.fences.size(), 1u) << "the circle alone";
    EXPECT_TRUE(plan.fences[0].circle);

    // An older log's CMD has no Frame: home is above sea level, the rest above home.
    DataFlashWriter old;
    old.bytes = CircleDataFlash(flight);
    old.Command(100.0, 2, WrittenItem(0, 16, 0, HomeLatitude, HomeLongitude, 432.5f), false).Command(100.0, 2, WrittenItem(1, 16, 0, 47.002, 8.003, 20.0f), false);
    WriteText("old.bin", old.bytes);
    RecordedFlight recorded;
    ASSERT_TRUE(ReadFlight("old.bin", &recorded));
    ASSERT_EQ(recorded.plan.missions.size(), 1u);
    ASSERT_EQ(recorded.plan.missions[0].items.size(), 2u);
    EXPECT_EQ(recorded.plan.missions[0].items[0].frame, 0);
    EXPECT_EQ(recorded.plan.missions[0].items[1].frame, 3);
}

TEST_F(MissionFromLogTest, VersionsToldByContentWhateverOrderAndPrecision)
{
    MissionVersions versions(true, "mission");
    const auto item = [](int32_t seq, double latitude, double altitude)
    {
        PlanItem made;
        made.seq = seq;
        made.command = 16;
        made.frame = seq == 0 ? 0 : 3;
        made.latitude = latitude;
        made.longitude = 8.0;
        made.altitude = altitude;
        return made;
    };
    versions.Announce(1.0, 3);
    versions.Add(1.1, item(2, 47.02, 30.0), "MISSION_ITEM_INT");
    versions.Add(1.2, item(1, 47.0100001, 20.0), "MISSION_ITEM_INT");
    versions.Add(1.3, item(1, 47.01001, 20.0), "MISSION_ITEM", false); // the same item as a float holds it
    versions.Add(1.4, item(0, 47.0, 400.0), "MISSION_ITEM_INT");
    versions.Add(5.0, item(0, 47.5, 410.0), "MISSION_ITEM_INT"); // home moved
    // The same count uploaded again with item 1 changed: one new version, whose item 2 is
    // the one before until its own comes, unchanged.
    versions.Add(9.0, item(1, 47.011, 25.0), "MISSION_ITEM_INT");
    versions.Add(9.1, item(2, 47.02, 30.0), "MISSION_ITEM_INT");
    versions.Add(9.2, item(2, 47.021, 30.0), "MISSION_ITEM_INT"); // a third mission
    const std::vector<MissionVersion> made = versions.Versions();
    ASSERT_EQ(made.size(), 3u);
    ASSERT_EQ(made[0].items.size(), 3u);
    EXPECT_DOUBLE_EQ(made[0].items[1].latitude, 47.0100001) << "the integer item's position";
    EXPECT_DOUBLE_EQ(made[0].uploaded, 1.0);
    EXPECT_EQ(made[0].announced, 3);
    EXPECT_DOUBLE_EQ(made[1].uploaded, 9.0);
    EXPECT_DOUBLE_EQ(made[1].items[1].altitude, 25.0);
    EXPECT_DOUBLE_EQ(made[1].items[2].latitude, 47.02);
    EXPECT_DOUBLE_EQ(made[2].items[1].altitude, 25.0);
    EXPECT_DOUBLE_EQ(made[2].items[2].latitude, 47.021);
    ASSERT_EQ(versions.HomeReports().size(), 2u);
    EXPECT_DOUBLE_EQ(versions.HomeReports()[1].latitude, 47.5);

    // Home at take-off: the last said by a few seconds after the first arming.
    FlightPlan plan;
    SetHomeAtTakeoff(versions.HomeReports(), 2.0, &plan);
    EXPECT_DOUBLE_EQ(plan.homeAltitude, 410.0);
    SetHomeAtTakeoff(versions.HomeReports(), -20.0, &plan);
    EXPECT_DOUBLE_EQ(plan.homeAltitude, 400.0) << "none before it: the first";
}

TEST_F(MissionFromLogTest, ULogMissionFromTheItemsTheNavigatorStarted)
{
    ULogWriter log(0);
    log.Flags();
    log.Format("vehicle_gps_position:uint64_t timestamp;double latitude_deg;double longitude_deg;double altitude_msl_m;float vel_m_s;uint8_t fix_type;uint8_t satellites_used;uint8_t[2] _padding0;");
    log.Format("navigator_mission_item:uint64_t timestamp;uint32_t instance_count;float latitude;float longitude;float time_inside;float acceptance_radius;float loiter_radius;float yaw;float altitude;"
               "uint16_t sequence_current;uint16_t nav_cmd;uint8_t frame;uint8_t origin;bool loiter_exit_xtrack;bool force_heading;bool altitude_is_relative;bool autocontinue;bool vtol_back_transition;uint8_t[5] _padding0;");
    log.Format("mission_result:uint64_t timestamp;int32_t seq_reached;uint16_t seq_current;uint16_t seq_total;");
    log.Subscribe(0, 0, "vehicle_gps_position").Subscribe(0, 1, "navigator_mission_item").Subscribe(0, 2, "mission_result");
    const auto started = [&](double s, uint16_t seq, uint16_t command, float latitude, float altitude, bool relative)
    {
        Packer p;
        p.U64(static_cast<uint64_t>(s * 1e6)).U32(1).F32(latitude).F32(8.0f).F32(0.0f).F32(4.0f).F32(0.0f).F32(0.0f).F32(altitude);
        p.U16(seq).U16(command).U8(0).U8(0).U8(0).U8(0).U8(relative).U8(1).U8(0);
        log.Data(1, p.bytes);
    };
    for (int i = 0; i <= 20; ++i)
        log.Data(0, Packer().U64(static_cast<uint64_t>((1.0 + i) * 1e6)).F64(47.0 + 1e-4 * i).F64(8.0).F64(500.0).F32(10.0f).U8(3).U8(10).bytes);
    started(2.0, 0, 22, 47.0f, 20.0f, true);
    log.Data(2, Packer().U64(2500000).I32(-1).U16(1).U16(2).bytes);
    started(3.0, 1, 16, 47.001f, 530.0f, false);
    log.Data(2, Packer().U64(9000000).I32(1).U16(1).U16(2).bytes);
    WriteText("px4.ulg", log.bytes);
    RecordedFlight recorded;
    ASSERT_TRUE(ReadFlight("px4.ulg", &recorded));
    ASSERT_EQ(recorded.plan.missions.size(), 1u);
    const MissionVersion& version = recorded.plan.missions[0];
    EXPECT_EQ(version.source, "navigator_mission_item");
    EXPECT_EQ(version.announced, 2);
    ASSERT_EQ(version.items.size(), 2u);
    EXPECT_EQ(version.items[0].command, 22);
    EXPECT_EQ(version.items[0].frame, 3) << "above home";
    EXPECT_EQ(version.items[1].frame, 0) << "above mean sea level";
    EXPECT_DOUBLE_EQ(version.items[1].param[1], 4.0) << "the waypoint's acceptance radius";
    const std::vector<MissionProgress>& progress = recorded.plan.progress;
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_EQ(progress[1].kind, MissionProgress::Current);
    EXPECT_EQ(progress[3].kind, MissionProgress::Reached);
    EXPECT_DOUBLE_EQ(progress[3].time, 9.0);
}

TEST_F(MissionFromLogTest, CrcExtraOfTheMissionMessagesFollowsFromTheirDefinitions)
{
    // The values of the message set's generated code, for the messages the plan is read from.
    const std::pair<uint32_t, int> known[] = {{22, 220}, {39, 254}, {42, 28}, {44, 221}, {46, 11}, {73, 38}, {242, 104}};
    for (const auto& entry : known)
    {
        const MavlinkMessage* message = FindMavlinkMessage(entry.first);
        ASSERT_NE(message, nullptr) << entry.first;
        EXPECT_EQ(message->crcExtra, entry.second) << message->name;
    }
    EXPECT_EQ(FindMavlinkMessage(73)->baseLength, 37u);
    EXPECT_EQ(FindMavlinkMessage(73)->Field("mission_type")->offset, 37u);
}
