#pragma once
#include <cstddef>
#include <memory>
#include <vector>

#include <osg/Group>
#include <osg/ref_ptr>

// The start-up work no replay of a full world can avoid, done as plainly as possible on
// the files of the working directory: every elevation tile "zsi-*.egm" read whole into
// memory, and every imagery tile "./img/*.jpg" decoded by osgDB::readImageFile and put on
// one textured quad in a geode of its own. The benchmarks and the floor program measure the
// program's own start-up against this.
struct StartupFloorScene
{
    osg::ref_ptr<osg::Group> root;                 // one geode per imagery tile
    std::vector<std::unique_ptr<char[]>> tiles;    // elevation tiles as read, 2101250 bytes each
    size_t imageCount = 0;                         // images decoded (readImageFile gave one)
};

StartupFloorScene BuildStartupFloorScene();
