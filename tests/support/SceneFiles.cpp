#include "support/SceneFiles.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>

#include <osgDB/Registry>
#include <osgDB/WriteFile>

const char* const TriangleModel =
    "AC3Db\n"
    "MATERIAL \"grey\" rgb 0.5 0.5 0.5  amb 0.2 0.2 0.2  emis 0 0 0  spec 0 0 0  shi 0  trans 0\n"
    "OBJECT world\n"
    "kids 1\n"
    "OBJECT poly\n"
    "name \"triangle\"\n"
    "numvert 3\n"
    "-2 0 0\n"
    "2 0 0\n"
    "0 1 0\n"
    "numsurf 1\n"
    "SURF 0x20\n"
    "mat 0\n"
    "refs 3\n"
    "0 0 0\n"
    "1 1 0\n"
    "2 0 1\n"
    "kids 0\n";

PixelPainter SolidColour(unsigned char red, unsigned char green, unsigned char blue)
{
    return [=](int, int, unsigned char* rgb) {
        rgb[0] = red;
        rgb[1] = green;
        rgb[2] = blue;
    };
}

osg::ref_ptr<osg::Image> PaintedImage(int width, int height, const PixelPainter& paint)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            paint(x, y, image->data(x, y));
    return image;
}

bool WriteImage(const std::string& name, int width, int height, const PixelPainter& paint)
{
    const std::filesystem::path folder = std::filesystem::path(name).parent_path();
    std::error_code ignored; // a folder that cannot be made shows as a failed write
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);
    if (osgDB::writeImageFile(*PaintedImage(width, height, paint), name))
        return true;
    fprintf(stderr, "cannot write %s\n", name.c_str());
    return false;
}

std::string EncodedImage(int width, int height, const PixelPainter& paint, const std::string& extension)
{
    osgDB::ReaderWriter* writer = osgDB::Registry::instance()->getReaderWriterForExtension(extension);
    if (!writer)
        return std::string();
    std::ostringstream stream;
    if (!writer->writeImage(*PaintedImage(width, height, paint), stream).success())
        return std::string();
    return stream.str();
}
