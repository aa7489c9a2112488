#include "viewer/SceneAssembly.h"

#include <future>
#include <system_error>

#include <osg/AnimationPath>
#include <osg/MatrixTransform>
#include <osg/StateSet>

#include "scene/Aircraft.h"
#include "scene/FlightPath.h"
#include "scene/FlightTrack.h"
#include "scene/SkyDome.h"
#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "terrain/PagedTerrain.h"
#include "terrain/TerrainRings.h"

osg::ref_ptr<osg::Group> BuildScene()
{
    return AssembleFlightScene().root;
}

FlightScene AssembleFlightScene(SceneTerrain kind, const TrackColouring* colouring)
{
    return AssembleFlightScene(TableRows(), MapFrame, kind, colouring);
}

FlightScene AssembleFlightScene(const FlightRows& flight, const MapFrameValues& frame, SceneTerrain kind, const TrackColouring* colouring, const std::vector<FlightTiles>* flights)
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    // Nothing in the scene is lit: the imagery and the sky carry their own shading.
    root->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);

    // The track and the flight path are pure arithmetic over the samples, a good part of the
    // build for a long log: they are made on a second core while this one decodes the
    // imagery. Everything that reads files or prints stays on this thread, so the reports
    // keep their order.
    struct TrackAndPath
    {
        osg::ref_ptr<osg::Group> track;
        osg::ref_ptr<osg::AnimationPath> path;
    };
    auto buildTrackAndPath = [&flight, &frame, colouring] { return TrackAndPath{BuildTrack(flight, frame, colouring), BuildFlightPath(flight, frame)}; };
    std::future<TrackAndPath> pending;
    try
    {
        pending = std::async(std::launch::async, buildTrackAndPath);
    }
    catch (const std::system_error&)
    {
        pending = std::async(std::launch::deferred, buildTrackAndPath);
    }

    // Terrain first, so its reports of missing tiles come before anything else.
    // The rings are the replay's own, around its frame.
    osg::ref_ptr<osg::Group> terrain = kind == SceneTerrain::Rings ? BuildTerrain()
                                       : flights                   ? osg::ref_ptr<osg::Group>(new PagedTerrain(frame, *flights))
                                                                   : osg::ref_ptr<osg::Group>(new PagedTerrain(frame, TilesUnderFlights({flight})));
    root->addChild(terrain.get());
    const TrackAndPath trackAndPath = pending.get();
    root->addChild(trackAndPath.track.get());
    osg::ref_ptr<osg::Group> sky = BuildSkyDome();
    if (sky)
        root->addChild(sky.get());

    // The path moves this transform every frame; the aircraft's own fixed turn and scale
    // sit below it.
    osg::ref_ptr<osg::MatrixTransform> animatedTransform = new osg::MatrixTransform;
    animatedTransform->setUpdateCallback(new osg::AnimationPathCallback(trackAndPath.path.get(), 0.0, 1.0));
    osg::ref_ptr<osg::MatrixTransform> aircraft = kind == SceneTerrain::Rings ? BuildAircraft() : BuildAircraft(frame.k);
    animatedTransform->addChild(aircraft.get());

    root->addChild(animatedTransform.get());
    return FlightScene{root, animatedTransform, terrain, sky, trackAndPath.track, aircraft};
}
