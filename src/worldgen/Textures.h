#pragma once
#include <cstdint>

#include <osg/Image>
#include <osg/ref_ptr>

// All images are RGB with row 0 at the bottom (t = 0), as osgDB reads and writes them.

const int32_t SkyWidth = 1024;
const int32_t SkyHeight = 512;

// The sky backdrop, 1024 x 512, equirectangular as the sky sphere's own texture
// coordinates lay it out: s runs once round the vertical from the scene's +x axis (south)
// through +y (east), t from the nadir (0) through the horizon (0.5) to the zenith (1).
// Haze at the horizon, deepening blue upwards, fair-weather clouds, a sun glow in the
// south-west, and a plain hazy ground below the horizon.
osg::ref_ptr<osg::Image> MakeSkyImage(uint32_t seed);

// A seamlessly tiling grass texture, 256 x 256: the ground's stand-in for missing imagery.
osg::ref_ptr<osg::Image> MakeGrassImage(uint32_t seed);

// The texture of the shape aircraft's stretched spheres, 256 x 256: white foam on top
// with red bands, a light grey underside (t below 0.5 is the lower half of a sphere).
osg::ref_ptr<osg::Image> MakeShapeAircraftImage();

// Elevation (radians above the horizon) and azimuth (radians from south towards east) of
// the sky image's pixel centre (column, row), row 0 at the bottom.
void SkyDirection(int32_t column, int32_t row, double& elevation, double& azimuth);
