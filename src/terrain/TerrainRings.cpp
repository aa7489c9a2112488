#include "terrain/TerrainRings.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Texture2D>
#include <osgDB/FileUtils>
#include <osgDB/ReadFile>

#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "terrain/ElevationTileStore.h"
#include "terrain/PatchBuilder.h"
#include "terrain/RingTiles.h"

namespace
{

// What the terrain went without, for the line that sums it up.
struct MissingImagery
{
    int32_t tiles = 0;
    bool grass = false;
};

// The library tells every file it cannot find ("Error reading file ...: file not found"),
// which repeats the replay's own line for a tile and would double hundreds of lines when the
// tiles are missing: a file that is not there is not handed to it, unless its notices were
// asked for (OSG_NOTIFY_LEVEL). A file that is there but cannot be read gets its reason.
osg::ref_ptr<osg::Image> ReadImageThere(const std::string& fileName)
{
    if (!getenv("OSG_NOTIFY_LEVEL") && osgDB::findDataFile(fileName).empty())
        return nullptr;
    return osgDB::readRefImageFile(fileName);
}

// The tile's aerial image, or the grass texture (read anew each time) when there is none.
osg::ref_ptr<osg::Image> ReadTileImage(const char* fileName, MissingImagery* missing)
{
    osg::ref_ptr<osg::Image> image = ReadImageThere(fileName);
    if (!image)
    {
        printf("img:%s - %s\n", fileName, "Not found");
        ++missing->tiles;
        image = ReadImageThere(GrassTextureFile);
        missing->grass = missing->grass || !image;
    }
    return image;
}

// One line on stderr for all the tiles the terrain went without, and how to make them.
void SumUpMissingTiles(const MissingImagery& imagery, int32_t elevationTiles)
{
    if (imagery.tiles == 0 && elevationTiles == 0)
        return;
    std::string what;
    if (imagery.tiles > 0)
        what = std::to_string(imagery.tiles) + " imagery tile" + (imagery.tiles == 1 ? "" : "s") + (imagery.grass ? std::string(" (drawn plain white: the grass texture '") + GrassTextureFile + "' is missing too)" : " (drawn as grass)");
    if (elevationTiles > 0)
        what += (what.empty() ? "" : " and ") + std::to_string(elevationTiles) + " elevation tile" + (elevationTiles == 1 ? "" : "s") + " (drawn flat at 0 m)";
    fprintf(stderr, "terrain: %s missing: `flightreplay-data plan LOG` lists them, `flightreplay-data dem RASTER... --log LOG` and `flightreplay-data imagery SOURCE --log LOG` make them\n", what.c_str());
}

} // namespace

osg::ref_ptr<osg::Group> BuildTerrain()
{
    MissingImagery missing;
    osg::ref_ptr<osg::Group> terrain = new osg::Group;
    VisitTerrainPatches(MapFrame.CI, MapFrame.CJ, [&terrain, &missing](const TerrainPatch& patch) {
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
        osg::ref_ptr<osg::Image> image = ReadTileImage(ImageryFileName(patch.level, patch.tileRow, patch.tileColumn).c_str(), &missing);
        texture->setImage(image.get());
        // Neighbouring patches meet at their images' edges: CLAMP_TO_EDGE samples the
        // edge texels there, where the library's default CLAMP would blend in the black
        // border colour and draw a dark seam around every patch.
        texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
        texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
        geometry->getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
    });
    SumUpMissingTiles(missing, MissingElevationTiles());
    return terrain;
}
