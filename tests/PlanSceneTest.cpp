// The plan's layers: fences from the drawn ground to their ceiling, the route at the items'
// heights in every frame of reference, the airspace near the flight only, and the marks that
// follow the mission's progress.
#include <cmath>

#include <osg/Depth>
#include <osg/Geode>

#include "support/SceneTestSupport.h"
#include "geo/Geodesy.h"
#include "scene/PlanScene.h"

namespace
{
const double Latitude = 47.1;
const double Longitude = 8.2;
const MapFrameValues Frame = MapFrameOn(Latitude, Longitude);

// Ground that rises a metre every ten metres northwards, so that a wall on a flat floor shows.
double Ground(double latitude, double)
{
    return 300.0 + (latitude - Latitude) * EarthRadius * RadiansPerDegree / 10.0;
}

PlanSurroundings Around()
{
    PlanSurroundings around;
    around.ground = Ground;
    around.takeoffAltitude = 400.0;
    around.highestAltitude = 700.0;
    around.south = around.north = Latitude;
    around.west = around.east = Longitude;
    return around;
}

// The place and height (metres AMSL) of a scene vertex.
void Unproject(const osg::Vec3& v, double* latitude, double* longitude, double* altitude)
{
    *latitude = GridRowLatitude(v.x() + static_cast<double>(Frame.CI));
    *longitude = GridColumnLongitude(v.y() + static_cast<double>(Frame.CJ));
    *altitude = v.z() / Frame.k;
}

osg::Geometry* Drawable(osg::Group* layer, unsigned int index)
{
    return layer->getChild(0)->asGeode()->getDrawable(index)->asGeometry();
}

// Home, a take-off above home, a waypoint AMSL, one above the terrain, then a command
// without a place and a waypoint without a height, which the route leaves out.
FlightPlan Mission()
{
    FlightPlan plan;
    MissionVersion version;
    version.homeFirst = true;
    version.items = {PlanItem{0, CommandWaypoint, 0, {}, Latitude, Longitude, 500.0}, PlanItem{1, CommandTakeoff, 3, {}, Latitude + 0.001, Longitude, 20.0},
                     PlanItem{2, CommandWaypoint, 0, {}, Latitude + 0.002, Longitude, 650.0}, PlanItem{3, CommandWaypoint, 10, {}, Latitude + 0.003, Longitude + 0.001, 30.0},
                     PlanItem{4, 115, 3, {}, NoValue, NoValue, 0.0}, PlanItem{5, CommandWaypoint, 3, {}, Latitude, Longitude + 0.002, NoValue}};
    plan.missions.push_back(version);
    return plan;
}

osg::Vec4 MarkerColour(const DrawnMission& mission, size_t vertex)
{
    return (*static_cast<const osg::Vec4Array*>(mission.markers->getColorArray()))[static_cast<unsigned int>(vertex)];
}
} // namespace

TEST(PlanSceneTest, FencesAreTranslucentWallsFromTheGroundToTheCeiling)
{
    FlightPlan plan;
    FenceShape polygon;
    for (const auto& corner : {std::make_pair(0.0, 0.0), std::make_pair(0.004, 0.0), std::make_pair(0.004, 0.006), std::make_pair(0.0, 0.006)})
        polygon.vertices.push_back(PlanPoint{Latitude + corner.first, Longitude + corner.second});
    FenceShape circle;
    circle.inclusion = false;
    circle.circle = true;
    circle.centre = PlanPoint{Latitude + 0.002, Longitude + 0.003};
    circle.radius = 80.0;
    plan.fences = {polygon, circle};
    plan.homeAltitude = 410.0;
    plan.fenceCeiling = 120.0;

    for (const bool logged : {true, false})
    {
        if (!logged)
            plan.fenceCeiling = NoValue;
        const PlanScene scene(plan, Frame, Around());
        const double ceiling = logged ? 410.0 + 120.0 : 700.0 + OpenHeightMargin;
        for (unsigned int shape = 0; shape < 2; ++shape)
        {
            // Each shape is its wall, then the line along its top.
            osg::Geometry* wall = Drawable(scene.Fences(), 2 * shape);
            const auto* colours = static_cast<const osg::Vec4Array*>(wall->getColorArray());
            EXPECT_EQ((*colours)[0], shape == 0 ? InclusionColour : ExclusionColour);
            const auto* vertices = static_cast<const osg::Vec3Array*>(wall->getVertexArray());
            ASSERT_GE(vertices->size(), 8u);
            EXPECT_EQ((*vertices)[0], vertices->at(vertices->size() - 2)) << "the wall closes";
            for (size_t i = 0; i + 1 < vertices->size(); i += 2)
            {
                double latitude, longitude, bottom, top;
                Unproject((*vertices)[i], &latitude, &longitude, &bottom);
                EXPECT_NEAR(bottom, Ground(latitude, longitude), 0.05) << "shape " << shape << " column " << i / 2;
                Unproject((*vertices)[i + 1], &latitude, &longitude, &top);
                EXPECT_NEAR(top, ceiling, 0.05);
                if (shape == 1)
                {
                    EXPECT_NEAR(GroundDistance(latitude, longitude, circle.centre.latitude, circle.centre.longitude), 80.0, 0.5);
                }
            }
            if (shape == 0) // the 445 m long edges are followed every 50 m at the most
                EXPECT_GE(vertices->size() / 2, 4u * 9u);
            else
                EXPECT_EQ(vertices->size() / 2, static_cast<size_t>(CircleSegments + 1));
        }
        const osg::StateSet* state = scene.Fences()->getStateSet();
        ASSERT_NE(state, nullptr);
        const auto* depth = dynamic_cast<const osg::Depth*>(state->getAttribute(osg::StateAttribute::DEPTH));
        ASSERT_NE(depth, nullptr);
        EXPECT_FALSE(depth->getWriteMask());
        EXPECT_EQ(state->getRenderingHint(), osg::StateSet::TRANSPARENT_BIN);
        EXPECT_EQ(state->getMode(GL_CULL_FACE) & osg::StateAttribute::ON, 0u);
    }
}

TEST(PlanSceneTest, RouteRunsThroughTheItemsAtTheirHeightsAboveSeaLevel)
{
    FlightPlan plan = Mission();
    const PlanScene scene(plan, Frame, Around());
    ASSERT_EQ(scene.Drawn().size(), 1u);
    const DrawnMission& mission = scene.Drawn()[0];
    EXPECT_EQ(mission.seqs, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_TRUE(mission.startsAtHome);
    const auto* vertices = static_cast<const osg::Vec3Array*>(mission.route->getVertexArray());
    ASSERT_EQ(vertices->size(), 4u);
    const double expected[] = {500.0, 520.0, 650.0, Ground(Latitude + 0.003, Longitude + 0.001) + 30.0};
    for (size_t i = 0; i < 4; ++i)
    {
        double latitude, longitude, altitude;
        Unproject((*vertices)[i], &latitude, &longitude, &altitude);
        EXPECT_NEAR(altitude, expected[i], 0.05) << "item " << mission.seqs[i];
        EXPECT_NEAR(latitude, plan.missions[0].items[i].latitude, 1e-7);
    }
    // The route keeps its colour whatever colours the track.
    EXPECT_EQ((*static_cast<const osg::Vec4Array*>(mission.route->getColorArray()))[0], RouteColour);

    // Without home in the plan, items above home count from the take-off.
    plan.missions[0].homeFirst = false;
    plan.missions[0].items.erase(plan.missions[0].items.begin());
    const PlanScene noHome(plan, Frame, Around());
    double latitude, longitude, altitude;
    Unproject((*static_cast<const osg::Vec3Array*>(noHome.Drawn()[0].route->getVertexArray()))[0], &latitude, &longitude, &altitude);
    EXPECT_NEAR(altitude, 400.0 + 20.0, 0.05);
    EXPECT_EQ(noHome.Drawn()[0].seqs.front(), 1);

    // A plan file names home beside its items: the route starts there, and counts from it.
    plan.homeLatitude = Latitude - 0.001;
    plan.homeLongitude = Longitude;
    plan.homeAltitude = 450.0;
    const PlanScene fileHome(plan, Frame, Around());
    EXPECT_EQ(fileHome.Drawn()[0].seqs, (std::vector<int32_t>{0, 1, 2, 3}));
    Unproject((*static_cast<const osg::Vec3Array*>(fileHome.Drawn()[0].route->getVertexArray()))[1], &latitude, &longitude, &altitude);
    EXPECT_NEAR(altitude, 450.0 + 20.0, 0.05);
}

TEST(PlanSceneTest, ProgressMarksTheLegInForceAndTheItemsReachedOrMissed)
{
    PlanScene scene(Mission(), Frame, Around());
    const DrawnMission& mission = scene.Drawn()[0];
    EXPECT_EQ(scene.ShownVersion(), 0);
    EXPECT_EQ(mission.leg->getCount(), 0) << "no leg before the log names one";

    scene.ShowProgress(2, {1});
    EXPECT_EQ(mission.leg->getFirst(), 1);
    EXPECT_EQ(mission.leg->getCount(), 2);
    EXPECT_EQ(MarkerColour(mission, 0), ItemStateColour(ItemState::Ahead)) << "home is never missed";
    EXPECT_EQ(MarkerColour(mission, 1), ItemStateColour(ItemState::Reached));
    EXPECT_EQ(MarkerColour(mission, 2), ItemStateColour(ItemState::InForce));
    EXPECT_EQ(MarkerColour(mission, 3), ItemStateColour(ItemState::Ahead));

    scene.ShowProgress(3, {1});
    EXPECT_EQ(mission.leg->getFirst(), 2);
    EXPECT_EQ(MarkerColour(mission, 2), ItemStateColour(ItemState::Missed));

    scene.ShowVersion(-1);
    EXPECT_EQ(scene.Missions()->getValue(0), false);
}

TEST(PlanSceneTest, OnlyAirspaceNearTheFlightIsDrawnAndItsCeilingIsCapped)
{
    FlightPlan plan;
    for (const double away : {0.05, 1.0}) // about 5.5 km and 110 km north
    {
        ::Airspace space;
        space.name = "TMA " + std::to_string(away);
        space.airspaceClass = "C";
        space.floor.reference = AirspaceLimit::Surface;
        space.ceiling.reference = AirspaceLimit::Unlimited;
        for (const auto& corner : {std::make_pair(0.0, 0.0), std::make_pair(0.02, 0.0), std::make_pair(0.02, 0.03)})
            space.outline.push_back(PlanPoint{Latitude + away + corner.first, Longitude + corner.second});
        plan.airspace.push_back(space);
    }
    const PlanScene scene(plan, Frame, Around());
    EXPECT_EQ(scene.AirspacesDrawn(), 1u);
    const auto* vertices = static_cast<const osg::Vec3Array*>(Drawable(scene.Airspace(), 0)->getVertexArray());
    ASSERT_EQ(vertices->size(), 8u); // three corners and the first again, foot and head
    double latitude, longitude, top;
    Unproject((*vertices)[1], &latitude, &longitude, &top);
    EXPECT_NEAR(latitude, Latitude + 0.05, 1e-7) << "the near one";
    EXPECT_NEAR(top, 700.0 + AirspaceHeadroom, 0.05);
    EXPECT_TRUE(scene.Outline().empty()) << "airspace is not framed";
}

TEST(PlanSceneTest, AGliderTaskHasCylindersAndLinesAcrossTheCourse)
{
    FlightPlan plan;
    Turnpoint start;
    start.latitude = Latitude;
    start.longitude = Longitude;
    start.radius = 500.0;
    start.role = TurnpointRole::Start;
    start.line = true;
    Turnpoint turn = start;
    turn.longitude = Longitude + 0.05; // due east: the start line runs north and south
    turn.radius = 400.0;
    turn.role = TurnpointRole::Turn;
    turn.line = false;
    plan.task = {start, turn};
    const PlanScene scene(plan, Frame, Around());

    osg::Geode* geode = scene.Task()->getChild(0)->asGeode();
    // The line's wall and top edge, its label, then the cylinder's wall.
    const auto* line = static_cast<const osg::Vec3Array*>(geode->getDrawable(0)->asGeometry()->getVertexArray());
    double latitude, longitude, altitude;
    Unproject(line->front(), &latitude, &longitude, &altitude);
    EXPECT_NEAR(longitude, Longitude, 1e-7);
    EXPECT_NEAR(GroundDistance(latitude, longitude, Latitude, Longitude), 500.0, 0.5);
    Unproject(line->at(line->size() - 2), &latitude, &longitude, &altitude);
    EXPECT_NEAR(longitude, Longitude, 1e-7);
    EXPECT_NEAR(GroundDistance(latitude, longitude, Latitude, Longitude), 500.0, 0.5) << "the other end";
    Unproject(line->at(1), &latitude, &longitude, &altitude);
    EXPECT_NEAR(altitude, 700.0 + OpenHeightMargin, 0.05);

    const auto* cylinder = static_cast<const osg::Vec3Array*>(geode->getDrawable(3)->asGeometry()->getVertexArray());
    ASSERT_GT(cylinder->size(), static_cast<size_t>(2 * CircleSegments));
    for (size_t i = 0; i < cylinder->size(); i += 2)
    {
        Unproject((*cylinder)[i], &latitude, &longitude, &altitude);
        EXPECT_NEAR(GroundDistance(latitude, longitude, turn.latitude, turn.longitude), 400.0, 2.0);
    }
}
