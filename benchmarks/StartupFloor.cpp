#include "StartupFloor.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/Texture2D>
#include <osgDB/ReadFile>

#include "geo/ReplayFiles.h"

namespace
{
// Names in sorted order, so every run reads the files in the same order.
std::vector<std::string> FilesMatching(const std::filesystem::path& directory, const std::string& prefix, const std::string& suffix)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error))
    {
        const std::string name = entry.path().filename().string();
        if (name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A unit square in the xy plane with the image spread over it once.
osg::ref_ptr<osg::Geode> TexturedQuad(float x, float y, osg::Image* image)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3(x, y, 0.0f));
    vertices->push_back(osg::Vec3(x + 1.0f, y, 0.0f));
    vertices->push_back(osg::Vec3(x, y + 1.0f, 0.0f));
    vertices->push_back(osg::Vec3(x + 1.0f, y + 1.0f, 0.0f));
    osg::ref_ptr<osg::Vec2Array> texCoords = new osg::Vec2Array;
    texCoords->push_back(osg::Vec2(0.0f, 1.0f));
    texCoords->push_back(osg::Vec2(0.0f, 0.0f));
    texCoords->push_back(osg::Vec2(1.0f, 1.0f));
    texCoords->push_back(osg::Vec2(1.0f, 0.0f));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));

    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setTexCoordArray(0, texCoords.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLE_STRIP, 0, 4));

    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
    texture->setImage(image);
    geometry->getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    return geode;
}
} // namespace

StartupFloorScene BuildStartupFloorScene()
{
    StartupFloorScene scene;
    scene.root = new osg::Group;

    for (const std::string& name : FilesMatching(".", "zsi-", ".egm"))
    {
        FILE* file = fopen(name.c_str(), "rb");
        if (!file)
            continue;
        std::unique_ptr<char[]> tile(new char[ElevationTileBytes]());
        const size_t read = fread(tile.get(), 1, ElevationTileBytes, file);
        fclose(file);
        if (read > 0)
            scene.tiles.push_back(std::move(tile));
    }

    // Laid out in a square so that a default camera sees them all.
    const std::vector<std::string> images = FilesMatching(ImageryFolder, "", ".jpg");
    int side = 1;
    while (static_cast<size_t>(side * side) < images.size())
        ++side;
    for (size_t i = 0; i < images.size(); ++i)
    {
        osg::ref_ptr<osg::Image> image = osgDB::readImageFile("./img/" + images[i]);
        if (!image)
            continue;
        ++scene.imageCount;
        scene.root->addChild(TexturedQuad(static_cast<float>(i / side), static_cast<float>(i % side), image.get()));
    }
    return scene;
}
