// Fuzz target of the readers of plan, task and airspace files. The first byte picks the
// reader (its value modulo their number: 0 a ground station's JSON plan, 1 a waypoint list,
// 2 a glider task, 3 the task of an IGC file's C records, 4 OpenAir airspace); the rest is
// the file, in a buffer of its own size. What a reader keeps is checked against the bounds and the ranges the
// drawing and the checks rely on, and a plan with a mission, fence or rally points is
// written as a ground station's plan and read back.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "plan/PlanFiles.h"
#include "track/IgcReader.h"

namespace
{

bool ValidPlace(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0;
}

bool OneLine(const std::string& text)
{
    return text.find('\n') == std::string::npos;
}

void CheckPlan(const FlightPlan& plan)
{
    CHECK(plan.missions.size() <= MostMissionVersions);
    for (const MissionVersion& version : plan.missions)
    {
        CHECK(!version.items.empty() && version.items.size() <= MostPlanItems);
        for (size_t i = 0; i < version.items.size(); ++i)
        {
            const PlanItem& item = version.items[i];
            CHECK(i == 0 || item.seq > version.items[i - 1].seq);
            CHECK(!item.HasPosition() || ValidPlace(item.latitude, item.longitude));
            CHECK(!std::isinf(item.altitude));
        }
    }
    CHECK(plan.fences.size() <= MostFenceShapes);
    for (const FenceShape& shape : plan.fences)
    {
        if (shape.circle)
            CHECK(ValidPlace(shape.centre.latitude, shape.centre.longitude) && shape.radius > 0.0 && std::isfinite(shape.radius));
        else
            CHECK(shape.vertices.size() >= 3 && shape.vertices.size() <= MostShapeVertices);
        for (const PlanPoint& vertex : shape.vertices)
            CHECK(ValidPlace(vertex.latitude, vertex.longitude));
    }
    CHECK(plan.rally.size() <= MostRallyPoints);
    for (const RallyPoint& point : plan.rally)
        CHECK(ValidPlace(point.latitude, point.longitude));
    CHECK(plan.task.size() <= MostTurnpoints + 4);
    for (const Turnpoint& point : plan.task)
        CHECK(ValidPlace(point.latitude, point.longitude) && point.radius > 0.0 && std::isfinite(point.radius) && point.name.size() <= 100);
    CHECK(plan.airspace.size() <= MostAirspaces);
    for (const Airspace& space : plan.airspace)
    {
        CHECK(space.outline.size() >= 3 && space.outline.size() <= MostShapeVertices && space.name.size() <= 100);
        CHECK(std::isfinite(space.floor.metres) && std::isfinite(space.ceiling.metres));
        for (const PlanPoint& vertex : space.outline)
            CHECK(ValidPlace(vertex.latitude, vertex.longitude));
    }
    for (const std::string& note : plan.notes)
        CHECK(!note.empty() && OneLine(note));
}

// What GroundStationPlanText writes of the first version: its items but home, the fence and the rally points.
size_t WrittenItems(const FlightPlan& plan)
{
    if (plan.missions.empty())
        return 0;
    const MissionVersion& version = plan.missions.front();
    return version.items.size() - (version.homeFirst && version.items.front().seq == 0 ? 1 : 0);
}

void CheckWrittenAndReadBack(const FlightPlan& plan)
{
    FlightPlan again;
    std::string error;
    const bool read = ReadGroundStationPlan(GroundStationPlanText(plan, 0), &again, &error);
    CHECK(read == (WrittenItems(plan) > 0 || !plan.fences.empty() || !plan.rally.empty()));
    if (!read)
        return;
    CHECK(WrittenItems(again) == WrittenItems(plan) && again.fences.size() == plan.fences.size() && again.rally.size() == plan.rally.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::vector<char> file(data + 1, data + size);
    const std::string text(file.begin(), file.end());
    FlightPlan plan;
    std::string error;
    bool read = false;
    const int reader = data[0] % 5;
    switch (reader)
    {
    case 0:
        read = ReadGroundStationPlan(text, &plan, &error);
        break;
    case 1:
        read = ReadWaypointList(text, &plan, &error);
        break;
    case 2:
        read = ReadGliderTask(text, &plan, &error);
        break;
    case 3:
    {
        // The IGC reader reads the bytes in place: a buffer of their own size.
        const FlightFile input("fuzz input", std::string_view(file.data(), file.size()));
        RecordedFlight flight;
        read = ReadIgcTrack(input, &flight, &error);
        CHECK(read);
        plan = flight.plan;
        break;
    }
    case 4:
        read = ReadOpenAir(text, &plan, &error);
        break;
    }
    CHECK(read ? !plan.Empty() || reader == 3 : !error.empty() && OneLine(error) && plan.Empty() && plan.notes.empty());
    if (!read)
        return 0;
    CheckPlan(plan);
    CheckWrittenAndReadBack(plan);
    return 0;
}
