#include "viewer/SceneAssembly.h"

#include <osg/AnimationPath>
#include <osg/MatrixTransform>
#include <osg/StateSet>

#include "scene/Aircraft.h"
#include "scene/FlightPath.h"
#include "scene/FlightTrack.h"
#include "scene/SkyDome.h"
#include "terrain/TerrainRings.h"

osg::ref_ptr<osg::Group> BuildScene()
{
    osg::ref_ptr<osg::Group> root = new osg::Group;
    // Nothing in the scene is lit: the imagery and the sky carry their own shading.
    root->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);

    // Terrain first, so its reports of missing tiles come before anything else.
    root->addChild(BuildTerrain().get());
    root->addChild(BuildTrack().get());
    osg::ref_ptr<osg::Group> sky = BuildSkyDome();
    if (sky)
        root->addChild(sky.get());

    // The path moves this transform every frame; the aircraft's own fixed turn and scale
    // sit below it.
    osg::ref_ptr<osg::MatrixTransform> animatedTransform = new osg::MatrixTransform;
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();
    animatedTransform->setUpdateCallback(new osg::AnimationPathCallback(path.get(), 0.0, 1.0));
    animatedTransform->addChild(BuildAircraft().get());

    root->addChild(animatedTransform.get());
    return root;
}
