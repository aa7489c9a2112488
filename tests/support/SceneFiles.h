#pragma once
// Files the scene reads, for tests and test worlds: small images encoded by the scene
// graph's own writer plug-ins (which work without a display), and a tiny model. Without the
// test framework, for the test world maker too.
#include <functional>
#include <string>

#include <osg/Image>
#include <osg/ref_ptr>

// Writes the colour of pixel (x, y) into rgb[0 .. 2]; row 0 is the bottom row, as the
// library holds images and the terrain's texture coordinates count.
using PixelPainter = std::function<void(int x, int y, unsigned char* rgb)>;

// Every pixel the same colour.
PixelPainter SolidColour(unsigned char red, unsigned char green, unsigned char blue);

// A width x height RGB image painted pixel by pixel.
osg::ref_ptr<osg::Image> PaintedImage(int width, int height, const PixelPainter& paint);

// Writes such an image in the format its name's extension says, making the folders on the
// way; false, with a line on stderr, when it cannot.
bool WriteImage(const std::string& name, int width, int height, const PixelPainter& paint);

// The file bytes of such an image in the format of `extension` ("jpg", "png"); empty when
// no plug-in writes that format.
std::string EncodedImage(int width, int height, const PixelPainter& paint, const std::string& extension);

// An AC3D model of one triangle spanning (-2, 0, 0), (2, 0, 0) and (0, 1, 0).
extern const char* const TriangleModel;
