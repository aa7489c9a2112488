#include "terrain/TerrainRings.h"

#include <cstdio>

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Texture2D>
#include <osgDB/ReadFile>

#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "terrain/PatchBuilder.h"
#include "terrain/RingTiles.h"

// The tile's aerial image, or the grass texture (read anew each time) when there is none.
static osg::ref_ptr<osg::Image> ReadTileImage(const char* fileName)
{
    osg::ref_ptr<osg::Image> image = osgDB::readRefImageFile(fileName);
    if (!image)
    {
        printf("img:%s - %s\n", fileName, "Not found");
        image = osgDB::readRefImageFile(GrassTextureFile);
    }
    return image;
}

osg::ref_ptr<osg::Group> BuildTerrain()
{
    osg::ref_ptr<osg::Group> terrain = new osg::Group;
    VisitTerrainPatches(MapFrame.CI, MapFrame.CJ, [&terrain](const TerrainPatch& patch) {
        osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
        BuildPatch(geometry.get(), MapFrame.CI, MapFrame.CJ, patch.originRow, patch.originCol, patch.s, *patch.patchTemplate, patch.mode);

        // The imagery carries all the colour: white, opaque, one value for the patch.
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        colours->push_back(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
        geometry->setColorArray(colours.get());
        geometry->setColorBinding(osg::Geometry::BIND_OVERALL);

        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(geometry.get());
        terrain->addChild(geode.get());

        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
        texture->setDataVariance(osg::Object::DYNAMIC);
        osg::ref_ptr<osg::Image> image = ReadTileImage(ImageryFileName(patch.level, patch.tileRow, patch.tileColumn).c_str());
        texture->setImage(image.get());
        // Neighbouring patches meet at their images' edges: CLAMP_TO_EDGE samples the
        // edge texels there, where the library's default CLAMP would blend in the black
        // border colour and draw a dark seam around every patch.
        texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
        texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
        geometry->getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
    });
    return terrain;
}
