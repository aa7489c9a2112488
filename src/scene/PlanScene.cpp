#include "scene/PlanScene.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include <osg/BlendFunc>
#include <osg/Depth>
#include <osg/Geode>
#include <osg/LineStipple>
#include <osg/LineWidth>
#include <osg/Point>
#include <osgText/Text>

#include "geo/Geodesy.h"

namespace
{
const osg::Vec4 PinColour(1.0f, 1.0f, 1.0f, 0.55f);
const osg::Vec4 RallyColour(1.0f, 0.6f, 0.1f, 1.0f);
const osg::Vec4 TurnpointColour(0.3f, 0.7f, 1.0f, 0.25f);
const osg::Vec4 StartLineColour(0.2f, 0.9f, 0.3f, 0.45f);
const osg::Vec4 FinishLineColour(1.0f, 1.0f, 1.0f, 0.45f);
const osg::Vec4 LabelColour(1.0f, 1.0f, 1.0f, 1.0f);
const float LabelSize = 18.0f;  // pixels: read from afar as near
const float MarkerSize = 11.0f; // pixels
const float RouteWidth = 3.0f;  // pixels
const float LegWidth = 5.0f;
const double AirspaceLabelHeight = 100.0; // metres above an airspace's floor

struct Place
{
    double latitude;
    double longitude;
};

osg::Vec3d At(const MapFrameValues& frame, double latitude, double longitude, double altitude)
{
    return osg::Vec3d(ScenePosition(frame, latitude * 60.0, longitude * 60.0, altitude));
}

double GroundAt(const PlanSurroundings& around, double latitude, double longitude)
{
    const double height = around.ground ? around.ground(latitude, longitude) : NoValue;
    return std::isfinite(height) ? height : around.fallbackGround;
}

// The place `north` and `east` metres from (latitude, longitude): near enough flat for a cylinder.
Place Offset(double latitude, double longitude, double north, double east)
{
    const double dLatitude = north / EarthRadius * DegreesPerRadian;
    const double dLongitude = east / (EarthRadius * std::cos(latitude * RadiansPerDegree)) * DegreesPerRadian;
    return Place{latitude + dLatitude, longitude + dLongitude};
}

std::vector<Place> CirclePlaces(double latitude, double longitude, double radius)
{
    std::vector<Place> places;
    for (int i = 0; i < CircleSegments; ++i)
    {
        const double angle = TwoPi * i / CircleSegments;
        places.push_back(Offset(latitude, longitude, radius * std::cos(angle), radius * std::sin(angle)));
    }
    return places;
}

// Seen through, over the opaque scene, from both sides, without hiding what lies behind.
osg::ref_ptr<osg::StateSet> TranslucentState()
{
    osg::ref_ptr<osg::StateSet> state = new osg::StateSet;
    state->setAttributeAndModes(new osg::BlendFunc(osg::BlendFunc::SRC_ALPHA, osg::BlendFunc::ONE_MINUS_SRC_ALPHA));
    state->setAttributeAndModes(new osg::Depth(osg::Depth::LESS, 0.0, 1.0, false));
    state->setMode(GL_CULL_FACE, osg::StateAttribute::OFF);
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    return state;
}

osg::ref_ptr<osg::Geometry> Coloured(osg::Vec3Array* vertices, osg::Vec4Array* colours, osg::Array::Binding binding)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(vertices);
    geometry->setColorArray(colours, binding);
    return geometry;
}

// One colour over all the vertices, drawn as `mode`.
osg::ref_ptr<osg::Geometry> OneColour(osg::Vec3Array* vertices, GLenum mode, const osg::Vec4& colour)
{
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(colour);
    osg::ref_ptr<osg::Geometry> geometry = Coloured(vertices, colours.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(mode, 0, static_cast<GLsizei>(vertices->size())));
    return geometry;
}

osg::ref_ptr<osg::Geometry> Lines(const std::vector<osg::Vec3d>& points, GLenum mode, const osg::Vec4& colour, float width)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (const osg::Vec3d& point : points)
        vertices->push_back(osg::Vec3(point));
    osg::ref_ptr<osg::Geometry> geometry = OneColour(vertices.get(), mode, colour);
    geometry->getOrCreateStateSet()->setAttributeAndModes(new osg::LineWidth(width));
    return geometry;
}

osg::ref_ptr<osgText::Text> Label(const std::string& text, const osg::Vec3d& position, const PlanSurroundings& around)
{
    osg::ref_ptr<osgText::Text> label = new osgText::Text;
    if (around.font)
        label->setFont(around.font);
    label->setCharacterSizeMode(osgText::Text::SCREEN_COORDS);
    label->setCharacterSize(LabelSize);
    label->setAxisAlignment(osgText::Text::SCREEN);
    label->setAlignment(osgText::Text::LEFT_BOTTOM);
    label->setColor(LabelColour);
    // A shadow keeps white text readable over bright fields and sky alike.
    label->setBackdropType(osgText::Text::DROP_SHADOW_BOTTOM_RIGHT);
    label->setBackdropColor(osg::Vec4(0.0f, 0.0f, 0.0f, 0.9f));
    label->setPosition(osg::Vec3(position));
    label->setText(text, osgText::String::ENCODING_UTF8);
    return label;
}

// A translucent face's edge: nearly opaque and paler, so that it reads over imagery of its own hue.
osg::Vec4 EdgeColour(const osg::Vec4& face)
{
    const osg::Vec4 white(1.0f, 1.0f, 1.0f, 1.0f);
    osg::Vec4 edge = face * 0.6f + white * 0.4f;
    edge.a() = 0.95f;
    return edge;
}

// The places of a ring (closed) or a line, each edge cut into pieces no longer than the step,
// so that a wall's foot follows the ground; about `most` columns at the most.
std::vector<Place> Columns(const std::vector<Place>& ring, bool closed, size_t most)
{
    const size_t edges = closed ? ring.size() : ring.size() - 1;
    double perimeter = 0.0;
    for (size_t i = 0; i < edges; ++i)
    {
        const Place& a = ring[i];
        const Place& b = ring[(i + 1) % ring.size()];
        perimeter += GroundDistance(a.latitude, a.longitude, b.latitude, b.longitude);
    }
    const double step = std::max(WallStep, perimeter / static_cast<double>(std::max<size_t>(most, 1)));
    std::vector<Place> columns;
    for (size_t i = 0; i < edges; ++i)
    {
        const Place& a = ring[i];
        const Place& b = ring[(i + 1) % ring.size()];
        const double length = GroundDistance(a.latitude, a.longitude, b.latitude, b.longitude);
        const int pieces = std::isfinite(length) ? std::max(1, std::min(static_cast<int>(std::ceil(length / step)), 1000)) : 1;
        for (int k = 0; k < pieces; ++k)
        {
            const double t = static_cast<double>(k) / pieces;
            columns.push_back(Place{a.latitude + t * (b.latitude - a.latitude), a.longitude + t * (b.longitude - a.longitude)});
        }
    }
    if (!closed)
        columns.push_back(ring.back());
    return columns;
}

// A translucent wall along `ring` (closed) from `bottom` to `top` (metres AMSL at a place), with
// its top edge drawn as a line; the points of its outline go to *outline when given.
void AddWall(osg::Geode& geode, const std::vector<Place>& ring, bool closed, const std::function<double(const Place&)>& bottom,
             const std::function<double(const Place&)>& top, const osg::Vec4& colour, const MapFrameValues& frame, std::vector<osg::Vec3d>* outline)
{
    if (ring.size() < 2)
        return;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    std::vector<osg::Vec3d> edge;
    const size_t count = closed ? ring.size() + 1 : ring.size();
    for (size_t i = 0; i < count; ++i)
    {
        const Place& place = ring[i % ring.size()];
        const double low = bottom(place);
        const double high = std::max(top(place), low);
        const osg::Vec3d foot = At(frame, place.latitude, place.longitude, low);
        const osg::Vec3d head = At(frame, place.latitude, place.longitude, high);
        vertices->push_back(osg::Vec3(foot));
        vertices->push_back(osg::Vec3(head));
        edge.push_back(head);
        if (outline)
        {
            outline->push_back(foot);
            outline->push_back(head);
        }
    }
    geode.addDrawable(OneColour(vertices.get(), GL_TRIANGLE_STRIP, colour).get());
    geode.addDrawable(Lines(edge, GL_LINE_STRIP, EdgeColour(colour), 2.5f).get());
}

std::string CommandLabel(int32_t command)
{
    switch (command)
    {
    case CommandWaypoint: return "WP";
    case CommandSplineWaypoint: return "SPLINE";
    case CommandLoiterUnlimited:
    case CommandLoiterTurns:
    case CommandLoiterTime:
    case 31: return "LOITER";
    case CommandLand: return "LAND";
    case CommandTakeoff: return "TAKEOFF";
    case CommandVtolTakeoff: return "VTOL TAKEOFF";
    case CommandVtolLand: return "VTOL LAND";
    default: return "CMD " + std::to_string(command);
    }
}

osg::Vec4 AirspaceColour(const std::string& airspaceClass)
{
    // Restricted, prohibited and danger areas stand out from the controlled airspace around them.
    if (airspaceClass == "R" || airspaceClass == "P" || airspaceClass == "Q")
        return osg::Vec4(1.0f, 0.3f, 0.2f, 0.18f);
    if (airspaceClass == "CTR" || airspaceClass == "C" || airspaceClass == "D")
        return osg::Vec4(0.3f, 0.5f, 1.0f, 0.18f);
    return osg::Vec4(0.75f, 0.45f, 1.0f, 0.16f);
}

// The metres between the flight's box and an outline's box, 0 where they overlap.
double DistanceToBox(const std::vector<PlanPoint>& outline, const PlanSurroundings& around)
{
    double south = 90.0, north = -90.0, west = 180.0, east = -180.0;
    for (const PlanPoint& point : outline)
    {
        south = std::min(south, point.latitude);
        north = std::max(north, point.latitude);
        west = std::min(west, point.longitude);
        east = std::max(east, point.longitude);
    }
    const double dLatitude = std::max({0.0, south - around.north, around.south - north});
    const double dLongitude = std::max({0.0, west - around.east, around.west - east});
    const double metresPerDegree = EarthRadius * RadiansPerDegree;
    const double across = dLongitude * metresPerDegree * std::cos((around.south + around.north) / 2.0 * RadiansPerDegree);
    return std::hypot(dLatitude * metresPerDegree, across);
}

// The height walls reach that the plan leaves open: above the flight's highest, else above home.
double OpenTop(const PlanSurroundings& around, double home)
{
    if (std::isfinite(around.highestAltitude))
        return around.highestAltitude + OpenHeightMargin;
    return (std::isfinite(home) ? home : around.fallbackGround) + OpenHeightMargin;
}

// The home items above home count from, for the layers that belong to no one version.
double PlanHome(const FlightPlan& plan, const PlanSurroundings& around)
{
    if (!plan.missions.empty())
        return HomeAltitudeFor(plan, plan.missions.front(), around.takeoffAltitude);
    return std::isfinite(plan.homeAltitude) ? plan.homeAltitude : around.takeoffAltitude;
}
} // namespace

osg::Vec4 ItemStateColour(ItemState state)
{
    switch (state)
    {
    case ItemState::Ahead: return osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f);
    case ItemState::InForce: return LegColour;
    case ItemState::Reached: return osg::Vec4(0.2f, 0.95f, 0.3f, 1.0f);
    case ItemState::Missed: return osg::Vec4(1.0f, 0.25f, 0.2f, 1.0f);
    }
    return osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f);
}

std::vector<ItemState> ItemStates(const DrawnMission& mission, int32_t inForce, const std::vector<int32_t>& reached)
{
    std::vector<ItemState> states;
    for (size_t i = 0; i < mission.seqs.size(); ++i)
    {
        const int32_t seq = mission.seqs[i];
        const bool home = i == 0 && mission.startsAtHome;
        if (!home && seq == inForce)
            states.push_back(ItemState::InForce);
        else if (std::find(reached.begin(), reached.end(), seq) != reached.end())
            states.push_back(ItemState::Reached);
        else if (!home && inForce >= 0 && seq < inForce)
            states.push_back(ItemState::Missed);
        else
            states.push_back(ItemState::Ahead);
    }
    return states;
}

static DrawnMission BuildMission(const FlightPlan& plan, const MissionVersion& version, const MapFrameValues& frame, const PlanSurroundings& around, osg::Group* group,
                                 std::vector<osg::Vec3d>* outline)
{
    DrawnMission mission;
    const double home = HomeAltitudeFor(plan, version, around.takeoffAltitude);
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Geode> labels = new osg::Geode;
    std::vector<osg::Vec3d> pins;
    const auto addVertex = [&](int32_t seq, double latitude, double longitude, double altitude, const std::string& label) {
        const osg::Vec3d position = At(frame, latitude, longitude, altitude);
        mission.seqs.push_back(seq);
        vertices->push_back(osg::Vec3(position));
        outline->push_back(position);
        // A pin to the ground under each point, so that its height reads from any side.
        pins.push_back(At(frame, latitude, longitude, GroundAt(around, latitude, longitude)));
        pins.push_back(position);
        labels->addDrawable(Label(label, position, around).get());
    };
    // The route starts at home, where the autopilot keeps it in the mission or the plan names it.
    const bool homeItem = version.homeFirst && !version.items.empty() && version.items.front().seq == 0 && version.items.front().HasPosition();
    if (homeItem && std::isfinite(home))
        addVertex(0, version.items.front().latitude, version.items.front().longitude, home, "H");
    else if (!version.homeFirst && std::isfinite(plan.homeLatitude) && std::isfinite(plan.homeLongitude) && std::isfinite(home))
        addVertex(0, plan.homeLatitude, plan.homeLongitude, home, "H");
    mission.startsAtHome = !mission.seqs.empty();
    for (size_t i = version.homeFirst ? 1 : 0; i < version.items.size(); ++i)
    {
        const PlanItem& item = version.items[i];
        if (!item.HasPosition() || !IsNavigationCommand(item.command))
            continue;
        const double altitude = ItemAltitudeAmsl(item, home, around.ground);
        if (std::isfinite(altitude))
            addVertex(item.seq, item.latitude, item.longitude, altitude, std::to_string(item.seq) + " " + CommandLabel(item.command));
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    const GLsizei count = static_cast<GLsizei>(vertices->size());

    osg::ref_ptr<osg::Vec4Array> routeColour = new osg::Vec4Array;
    routeColour->push_back(RouteColour);
    mission.route = new osg::Geometry;
    mission.route->setUseDisplayList(false);
    mission.route->setUseVertexBufferObjects(true);
    mission.route->setVertexArray(vertices.get());
    mission.route->setColorArray(routeColour.get(), osg::Array::BIND_OVERALL);
    mission.route->addPrimitiveSet(new osg::DrawArrays(GL_LINE_STRIP, 0, count));
    osg::StateSet* routeState = mission.route->getOrCreateStateSet();
    routeState->setAttributeAndModes(new osg::LineWidth(RouteWidth));
    routeState->setAttributeAndModes(new osg::LineStipple(3, 0x0FFF));
    geode->addDrawable(mission.route.get());

    // Changed between frames by ShowProgress: dynamic, so a drawing thread finishes with it first.
    osg::ref_ptr<osg::Vec4Array> legColour = new osg::Vec4Array;
    legColour->push_back(LegColour);
    mission.leg = new osg::DrawArrays(GL_LINE_STRIP, 0, 0);
    mission.legLine = Coloured(vertices.get(), legColour.get(), osg::Array::BIND_OVERALL);
    mission.legLine->setDataVariance(osg::Object::DYNAMIC);
    mission.legLine->addPrimitiveSet(mission.leg.get());
    // Over the dashed route it lies on, at the very same depths.
    osg::ref_ptr<osg::Depth> onTop = new osg::Depth(osg::Depth::LEQUAL);
    mission.legLine->getOrCreateStateSet()->setAttributeAndModes(new osg::LineWidth(LegWidth));
    mission.legLine->getOrCreateStateSet()->setAttributeAndModes(onTop.get());
    geode->addDrawable(mission.legLine.get());

    osg::ref_ptr<osg::Vec4Array> stateColours = new osg::Vec4Array;
    stateColours->assign(static_cast<size_t>(count), ItemStateColour(ItemState::Ahead));
    mission.markers = Coloured(vertices.get(), stateColours.get(), osg::Array::BIND_PER_VERTEX);
    mission.markers->setDataVariance(osg::Object::DYNAMIC);
    mission.markers->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, count));
    mission.markers->getOrCreateStateSet()->setAttributeAndModes(new osg::Point(MarkerSize));
    mission.markers->getOrCreateStateSet()->setAttributeAndModes(onTop.get());
    geode->addDrawable(mission.markers.get());

    osg::ref_ptr<osg::Geode> seeThrough = new osg::Geode;
    seeThrough->setStateSet(TranslucentState().get());
    seeThrough->addDrawable(Lines(pins, GL_LINES, PinColour, 1.0f).get());
    group->addChild(geode.get());
    group->addChild(seeThrough.get());
    group->addChild(labels.get());
    return mission;
}

PlanScene::PlanScene(const FlightPlan& plan, const MapFrameValues& frame, const PlanSurroundings& around)
    : root(new osg::Group), missions(new osg::Switch), fences(new osg::Group), rally(new osg::Group), task(new osg::Group), airspace(new osg::Group)
{
    root->setName("plan");
    // Flat colours, as the rest of the scene is drawn.
    root->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    for (osg::Group* layer : {static_cast<osg::Group*>(missions.get()), fences.get(), rally.get(), task.get(), airspace.get()})
        root->addChild(layer);
    for (osg::Group* layer : {fences.get(), task.get(), airspace.get()})
        layer->setStateSet(TranslucentState().get());
    const double home = PlanHome(plan, around);
    const auto ground = [&around](const Place& place) { return GroundAt(around, place.latitude, place.longitude); };

    for (const MissionVersion& version : plan.missions)
    {
        osg::ref_ptr<osg::Group> group = new osg::Group;
        drawn.push_back(BuildMission(plan, version, frame, around, group.get(), &outline));
        missions->addChild(group.get(), false);
    }
    ShowVersion(plan.missions.empty() ? -1 : 0);

    // The ceiling the autopilot keeps, above home; without one logged, a height above the flight.
    const double fenceTop = std::isfinite(plan.fenceCeiling) && std::isfinite(home) ? home + plan.fenceCeiling : OpenTop(around, home);
    osg::ref_ptr<osg::Geode> walls = new osg::Geode;
    for (const FenceShape& shape : plan.fences)
    {
        std::vector<Place> ring;
        if (shape.circle)
        {
            if (std::isfinite(shape.centre.latitude) && std::isfinite(shape.centre.longitude) && std::isfinite(shape.radius) && shape.radius > 0.0)
                ring = CirclePlaces(shape.centre.latitude, shape.centre.longitude, shape.radius);
        }
        else
            for (const PlanPoint& point : shape.vertices)
                if (std::isfinite(point.latitude) && std::isfinite(point.longitude))
                    ring.push_back(Place{point.latitude, point.longitude});
        if (ring.size() < 3)
            continue;
        AddWall(*walls, Columns(ring, true, MostWallColumns), true, ground, [fenceTop](const Place&) { return fenceTop; }, shape.inclusion ? InclusionColour : ExclusionColour, frame, &outline);
    }
    fences->addChild(walls.get());

    osg::ref_ptr<osg::Geode> rallyGeode = new osg::Geode;
    std::vector<osg::Vec3d> rallyPoints, rallyPins;
    for (size_t i = 0; i < plan.rally.size(); ++i)
    {
        const RallyPoint& point = plan.rally[i];
        PlanItem item;
        item.frame = point.frame;
        item.latitude = point.latitude;
        item.longitude = point.longitude;
        item.altitude = point.altitude;
        const double altitude = ItemAltitudeAmsl(item, home, around.ground);
        if (!item.HasPosition() || !std::isfinite(altitude))
            continue;
        const osg::Vec3d position = At(frame, point.latitude, point.longitude, altitude);
        rallyPoints.push_back(position);
        rallyPins.push_back(At(frame, point.latitude, point.longitude, GroundAt(around, point.latitude, point.longitude)));
        rallyPins.push_back(position);
        outline.push_back(position);
        rallyGeode->addDrawable(Label("R" + std::to_string(i + 1), position, around).get());
    }
    if (!rallyPoints.empty())
    {
        osg::ref_ptr<osg::Geometry> markers = Lines(rallyPoints, GL_POINTS, RallyColour, 1.0f);
        markers->getOrCreateStateSet()->setAttributeAndModes(new osg::Point(MarkerSize));
        rallyGeode->addDrawable(markers.get());
        rallyGeode->addDrawable(Lines(rallyPins, GL_LINES, RallyColour, 1.0f).get());
    }
    rally->addChild(rallyGeode.get());

    // The task's cylinders and lines reach as high as the flight went, and a margin above.
    const double taskTop = OpenTop(around, home);
    osg::ref_ptr<osg::Geode> taskGeode = new osg::Geode;
    for (size_t i = 0; i < plan.task.size(); ++i)
    {
        const Turnpoint& point = plan.task[i];
        if (!std::isfinite(point.latitude) || !std::isfinite(point.longitude) || !std::isfinite(point.radius) || point.radius <= 0.0)
            continue;
        const auto top = [taskTop](const Place&) { return taskTop; };
        if (point.line)
        {
            // Across the course: square to the way from the turnpoint before to the one after.
            const Turnpoint& before = plan.task[i > 0 ? i - 1 : i];
            const Turnpoint& after = plan.task[i + 1 < plan.task.size() ? i + 1 : i];
            double north = after.latitude - before.latitude;
            double east = (after.longitude - before.longitude) * std::cos(point.latitude * RadiansPerDegree);
            const double length = std::hypot(north, east);
            if (!(length > 0.0))
                north = 1.0, east = 0.0;
            else
                north /= length, east /= length;
            const std::vector<Place> gate = {Offset(point.latitude, point.longitude, -east * point.radius, north * point.radius),
                                             Offset(point.latitude, point.longitude, east * point.radius, -north * point.radius)};
            AddWall(*taskGeode, Columns(gate, false, 64), false, ground, top, point.role == TurnpointRole::Start ? StartLineColour : FinishLineColour, frame, &outline);
        }
        else
            AddWall(*taskGeode, Columns(CirclePlaces(point.latitude, point.longitude, point.radius), true, 256), true, ground, top, TurnpointColour, frame, &outline);
        const std::string name = point.name.empty() ? TurnpointRoleName(point.role) : point.name + " (" + TurnpointRoleName(point.role) + ")";
        taskGeode->addDrawable(Label(name, At(frame, point.latitude, point.longitude, taskTop), around).get());
    }
    task->addChild(taskGeode.get());

    // The airspace near the flight only: a country's file holds thousands, most of them far away.
    std::vector<std::pair<double, size_t>> near;
    const bool boxKnown = std::isfinite(around.south) && std::isfinite(around.north) && std::isfinite(around.west) && std::isfinite(around.east);
    for (size_t i = 0; i < plan.airspace.size(); ++i)
    {
        const std::vector<PlanPoint>& points = plan.airspace[i].outline;
        if (points.size() < 3)
            continue;
        const double distance = boxKnown ? DistanceToBox(points, around) : 0.0;
        if (distance <= AirspaceReach)
            near.emplace_back(distance, i);
    }
    std::stable_sort(near.begin(), near.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (near.size() > MostDrawnAirspaces)
        near.resize(MostDrawnAirspaces);
    const double cap = std::isfinite(around.highestAltitude) ? around.highestAltitude + AirspaceHeadroom : OpenTop(around, home) + AirspaceHeadroom;
    osg::ref_ptr<osg::Geode> volumes = new osg::Geode;
    for (const auto& entry : near)
    {
        const ::Airspace& space = plan.airspace[entry.second];
        const size_t stride = (space.outline.size() + MostAirspacePoints - 1) / MostAirspacePoints;
        std::vector<Place> ring;
        for (size_t k = 0; k < space.outline.size(); k += stride)
            ring.push_back(Place{space.outline[k].latitude, space.outline[k].longitude});
        const auto floor = [&space, &around](const Place& place) { return AirspaceLimitAmsl(space.floor, GroundAt(around, place.latitude, place.longitude)); };
        const auto ceiling = [&space, &around, cap](const Place& place) { return std::min(AirspaceLimitAmsl(space.ceiling, GroundAt(around, place.latitude, place.longitude)), cap); };
        // Wholly above the cap, it is none of the flight's business.
        if (!(floor(ring.front()) < cap))
            continue;
        const osg::Vec4 colour = AirspaceColour(space.airspaceClass);
        AddWall(*volumes, ring, true, floor, ceiling, colour, frame, nullptr);
        std::vector<osg::Vec3d> base;
        double latitude = 0.0, longitude = 0.0;
        for (const Place& place : ring)
        {
            base.push_back(At(frame, place.latitude, place.longitude, floor(place)));
            latitude += place.latitude / ring.size();
            longitude += place.longitude / ring.size();
        }
        volumes->addDrawable(Lines(base, GL_LINE_LOOP, EdgeColour(colour), 1.5f).get());
        const Place middle{latitude, longitude};
        const std::string label = space.name + " [" + space.airspaceClass + "] " + space.floor.text + " - " + space.ceiling.text;
        // Just above the floor: the middle of a tall volume lies out of the picture.
        const double low = floor(middle);
        volumes->addDrawable(Label(label, At(frame, latitude, longitude, low + std::min(AirspaceLabelHeight, (ceiling(middle) - low) / 2.0)), around).get());
        ++airspacesDrawn;
    }
    airspace->addChild(volumes.get());
}

void PlanScene::SetVisible(bool visible)
{
    root->setNodeMask(visible ? ~0u : 0u);
}

void PlanScene::ShowVersion(int version)
{
    shown = version >= 0 && static_cast<size_t>(version) < drawn.size() ? version : -1;
    if (shown < 0)
        missions->setAllChildrenOff();
    else
        missions->setSingleChildOn(static_cast<unsigned int>(shown));
}

void PlanScene::ShowProgress(int32_t inForce, const std::vector<int32_t>& reached)
{
    if (shown < 0)
        return;
    DrawnMission& mission = drawn[static_cast<size_t>(shown)];
    const std::vector<ItemState> states = ItemStates(mission, inForce, reached);
    osg::Vec4Array* colours = static_cast<osg::Vec4Array*>(mission.markers->getColorArray());
    for (size_t i = 0; i < states.size() && i < colours->size(); ++i)
        (*colours)[i] = ItemStateColour(states[i]);
    colours->dirty();
    // The leg in force runs from the point before the item in force to it.
    GLsizei count = 0;
    GLint first = 0;
    for (size_t i = 1; i < mission.seqs.size(); ++i)
        if (mission.seqs[i] == inForce)
        {
            first = static_cast<GLint>(i - 1);
            count = 2;
            break;
        }
    if (mission.leg->getFirst() != first || mission.leg->getCount() != count)
    {
        mission.leg->setFirst(first);
        mission.leg->setCount(count);
        mission.leg->dirty();
    }
}
