#include "scene/SkyDome.h"

#include <osg/Depth>
#include <osg/Geode>
#include <osg/Image>
#include <osg/ShapeDrawable>
#include <osg/StateSet>
#include <osg/TexEnv>
#include <osg/Texture2D>
#include <osgDB/ReadFile>

#include "geo/ReplayFiles.h"

const double SkyRadius = 200.0; // map-frame units (zoom-18 tiles), well beyond the terrain rings' detail

osg::ref_ptr<osg::Group> BuildSkyDome()
{
    osg::ref_ptr<osg::Group> group = new osg::Group;
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    osg::ref_ptr<osg::StateSet> stateSet = new osg::StateSet;

    osg::ref_ptr<osg::Image> image = osgDB::readImageFile(SkyTextureFile);
    if (!image)
        return nullptr; // no texture, no sky: an untextured sphere would only hide the clear colour

    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
    texture->setImage(image.get());
    // Edge texels at the poles and along the seam where the image's sides meet, not the
    // black border colour that the default CLAMP blends in there.
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
    stateSet->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);

    osg::ref_ptr<osg::TexEnv> texEnv = new osg::TexEnv;
    texEnv->setMode(osg::TexEnv::MODULATE);
    stateSet->setTextureAttribute(0, texEnv.get());

    stateSet->setMode(GL_LIGHTING, osg::StateAttribute::OFF);

    // Every fragment passes and lands on the far end of the depth range, and bin -2 draws the
    // sphere before everything else: whatever comes later covers it, whatever the near and far
    // planes are, even geometry beyond the sphere's radius.
    osg::ref_ptr<osg::Depth> depth = new osg::Depth(osg::Depth::LESS, 0.0, 1.0, true);
    depth->setFunction(osg::Depth::ALWAYS);
    depth->setRange(1.0, 1.0);
    stateSet->setAttributeAndModes(depth.get(), osg::StateAttribute::ON);
    stateSet->setRenderBinDetails(-2, "RenderBin", osg::StateSet::USE_RENDERBIN_DETAILS);

    geode->setStateSet(stateSet.get());

    osg::ref_ptr<osg::TessellationHints> hints = new osg::TessellationHints;
    hints->setDetailRatio(1.0f);
    osg::ref_ptr<osg::Sphere> sphere = new osg::Sphere(osg::Vec3(0.0f, 0.0f, 0.0f), SkyRadius);
    geode->addDrawable(new osg::ShapeDrawable(sphere.get(), hints.get()));
    group->addChild(geode.get());
    return group;
}
