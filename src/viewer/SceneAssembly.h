#pragma once
#include <vector>

#include <osg/Group>
#include <osg/MatrixTransform>
#include <osg/ref_ptr>

#include "geo/MapProjection.h"
#include "log/SampleRow.h"
#include "scene/TrackColouring.h"
#include "terrain/FlightCorridor.h"

// The root of the scene, lighting off: terrain, track, sky (when its texture exists) and the
// animated aircraft. Builders run in that order, so terrain messages come first.
osg::ref_ptr<osg::Group> BuildScene();

// The same scene, with a handle on the transform that moves the aircraft along the flight
// path (its update callback plays the path in a loop). A program that moves the aircraft
// by its own clock replaces that callback and leaves the rest as BuildScene makes it.
struct FlightScene
{
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::MatrixTransform> aircraftMover; // the root's last child
    osg::ref_ptr<osg::Group> terrain;                 // the root's first child
    osg::ref_ptr<osg::Group> sky;                     // null without its texture
    osg::ref_ptr<osg::Group> track;
    osg::ref_ptr<osg::MatrixTransform> aircraft; // the model, stood up and scaled, under the mover
};

// Which terrain the scene stands on: the replay's rings around the map frame's centre, or
// the player's paged terrain under the whole flight (PagedTerrain.h), which builds in the
// background and reports nothing on the way.
enum class SceneTerrain
{
    Rings,
    Paged,
};
// The scene of `flight` in `frame`. The track is white without a colouring, else in its row
// colours; the colouring is read during the call only. The paged terrain lies along the
// corridors of `flights` when given (FlightTiles, each around its own rings), else along
// `flight`. The rings are the replay's: they stand around its own frame.
FlightScene AssembleFlightScene(const FlightRows& flight, const MapFrameValues& frame, SceneTerrain terrain, const TrackColouring* colouring = nullptr,
                                const std::vector<FlightTiles>* flights = nullptr);
// The replay's: its table in its frame.
FlightScene AssembleFlightScene(SceneTerrain terrain = SceneTerrain::Rings, const TrackColouring* colouring = nullptr);
