#pragma once
#include <cstdint>
#include <vector>

#include <osg/Geometry>
#include <osg/Group>
#include <osg/PrimitiveSet>
#include <osg/Switch>
#include <osg/Vec4>
#include <osg/ref_ptr>
#include <osgText/Font>

#include "geo/MapProjection.h"
#include "plan/FlightPlan.h"

// The plan drawn beside the flown track: the mission's route and markers (every version, one
// shown at a time), the fence's walls, the rally points, a glider task's cylinders and lines,
// and the airspace near the flight. The translucent parts never write depth and are drawn
// after the opaque scene, both faces, so the track, the aircraft and the terrain show through
// them from either side; their walls rise from the drawn ground, never from a flat floor that
// would fight it. Like the rest of the scene they are unlit: flat colours that read the same
// from every side.

// What the layers are laid over besides the plan and the frame.
struct PlanSurroundings
{
    GroundHeight ground;           // the drawn ground (GroundHeightOf), NaN where not covered
    double fallbackGround = 0.0;   // metres AMSL where `ground` knows nothing: walls start there
    double takeoffAltitude = NoValue; // AMSL: home for items above home when the plan has none
    double highestAltitude = NoValue; // the flight's highest AMSL, for heights the plan leaves open
    // The flight's box in degrees: airspace is drawn near it only.
    double south = NoValue, north = NoValue, west = NoValue, east = NoValue;
    osgText::Font* font = nullptr; // the labels' (null: the library's own)
};

// A fence without a logged ceiling, a glider's cylinders and an airspace without a ceiling
// reach this far above the flight's highest altitude: high enough to enclose all it flew,
// low enough that the walls do not tower over the picture.
const double OpenHeightMargin = 100.0; // metres
// An airspace whose ceiling lies further above the flight's highest altitude than this is cut
// there: FL 195 over a 600 m flight would make every other wall a sliver.
const double AirspaceHeadroom = 1500.0; // metres
// Airspace whose outline comes within this distance of the flight's box is drawn, the nearest
// first, at most MostDrawnAirspaces of them, each outline thinned to MostAirspacePoints.
const double AirspaceReach = 25000.0; // metres
const size_t MostDrawnAirspaces = 150;
const size_t MostAirspacePoints = 360;
// A fence wall follows the ground at least this finely, within MostWallColumns a shape.
const double WallStep = 50.0; // metres
const size_t MostWallColumns = 2000;
const int CircleSegments = 48;

// Where an item stands while the mission runs.
enum class ItemState
{
    Ahead,   // not reached yet
    InForce, // the item the aircraft is heading for
    Reached,
    Missed,  // the mission went past it without reaching it
};

const osg::Vec4 RouteColour(0.95f, 0.30f, 0.95f, 1.0f);   // dashed, whatever colours the track
const osg::Vec4 LegColour(1.0f, 0.9f, 0.1f, 1.0f);        // the leg in force, solid
const osg::Vec4 InclusionColour(0.25f, 1.0f, 0.45f, 0.32f);
const osg::Vec4 ExclusionColour(1.0f, 0.2f, 0.2f, 0.30f);
osg::Vec4 ItemStateColour(ItemState state);

// One mission version as drawn: the route's vertices in order with the seq of each.
struct DrawnMission
{
    std::vector<int32_t> seqs;               // of the route's vertices, home's first when drawn
    bool startsAtHome = false;               // the first vertex is home, which is never missed
    osg::ref_ptr<osg::Geometry> route;       // the dashed line strip
    osg::ref_ptr<osg::Geometry> markers;     // one point per vertex, coloured by its state
    osg::ref_ptr<osg::DrawArrays> leg;       // the leg in force: two vertices of `legLine`, or none
    osg::ref_ptr<osg::Geometry> legLine;
};

// The layers, with the handle the player moves each frame: which version shows, which leg is
// in force and which items were reached, without building anything again.
class PlanScene
{
public:
    // The layers of `plan` in `frame`. An empty plan gives an empty root.
    PlanScene(const FlightPlan& plan, const MapFrameValues& frame, const PlanSurroundings& around);

    osg::Group* Root() const { return root.get(); }
    // Shows or hides every layer.
    void SetVisible(bool visible);
    bool Visible() const { return root->getNodeMask() != 0u; }

    // Shows mission version `version` (an index into plan.missions; -1 or beyond: none).
    void ShowVersion(int version);
    int ShownVersion() const { return shown; }
    // Marks the shown version's items: the one in force (-1: none) and those reached; the
    // navigation items before the one in force that were not reached are missed. Without a
    // leg in force nothing counts as missed.
    void ShowProgress(int32_t inForce, const std::vector<int32_t>& reached);

    // The parts, for whoever checks or frames them.
    osg::Switch* Missions() const { return missions.get(); }
    const std::vector<DrawnMission>& Drawn() const { return drawn; }
    osg::Group* Fences() const { return fences.get(); }
    osg::Group* Rally() const { return rally.get(); }
    osg::Group* Task() const { return task.get(); }
    osg::Group* Airspace() const { return airspace.get(); }
    size_t AirspacesDrawn() const { return airspacesDrawn; }
    // Every point of the layers' outlines and routes (frame units), for a camera to frame.
    const std::vector<osg::Vec3d>& Outline() const { return outline; }

private:
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::Switch> missions;
    osg::ref_ptr<osg::Group> fences, rally, task, airspace;
    std::vector<DrawnMission> drawn; // one per version
    std::vector<osg::Vec3d> outline;
    size_t airspacesDrawn = 0;
    int shown = -1;
};

// The state each vertex of `mission` is drawn in, given the item in force (-1: none) and the
// items reached.
std::vector<ItemState> ItemStates(const DrawnMission& mission, int32_t inForce, const std::vector<int32_t>& reached);
