#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <osg/AutoTransform>
#include <osg/Geometry>
#include <osg/Group>
#include <osgText/Font>
#include <osgText/Text>

#include "geo/MapProjection.h"
#include "track/FlightTraffic.h"

// The other aircraft at the clock: each where its reports put it at a time of the selected
// flight's log, with a label and the trail of its last reports.

// A report stands for this long: later than this after an aircraft's last report, or before
// its first, it is not drawn; between two reports further apart it holds the earlier one.
const double TrafficHeldFor = 10.0; // seconds
const double TrafficTrailSeconds = 60.0;

// One aircraft's reports in time order, an unknown altitude filled from the reports nearest
// in time that have one (none: the aircraft stays unknown in height).
struct TrafficTrack
{
    uint32_t address = 0;
    std::string name; // its last callsign, else the address in hex
    std::vector<TimedTraffic> reports;
};
std::vector<TrafficTrack> TracksOfTraffic(const std::vector<TimedTraffic>& traffic);

// Where the track puts the aircraft at `time`: between two reports at most TrafficHeldFor
// apart, place, altitude and heading linear (the heading the shorter way round, or along
// the way it moved when the reports give none); else the last report, while it is at most
// TrafficHeldFor old. False where it is not drawn.
bool TrafficPlaceAt(const TrafficTrack& track, double time, TimedTraffic* place);

// The drawing, for the player and the recorder: hung under the scene once, moved at each
// position of the clock without being built again (unless the list of reports changes, as
// when another flight is selected).
class TrafficOnClock
{
public:
    TrafficOnClock(const MapFrameValues& frame, osgText::Font* font);
    osg::Group* Root() const { return root.get(); }

    // Draws `traffic` (on gps_time's clock) as it was at `time`.
    void ShowAt(const std::vector<TimedTraffic>& traffic, double time);
    // How many aircraft the last ShowAt drew.
    size_t Shown() const { return shown; }

private:
    struct Drawn
    {
        TrafficTrack track;
        osg::ref_ptr<osg::AutoTransform> mover;
        osg::ref_ptr<osgText::Text> label;
        osg::ref_ptr<osg::Geometry> trail;
        std::string text;
    };
    void Build(const std::vector<TimedTraffic>& traffic);

    MapFrameValues frame;
    osg::ref_ptr<osgText::Font> font;
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::Node> shape;
    std::vector<Drawn> drawn;
    const TimedTraffic* builtFrom = nullptr; // the list drawn, told by its data and size
    size_t builtSize = 0;
    size_t shown = 0;
};
