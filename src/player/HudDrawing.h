#pragma once
#include <vector>

#include <osg/Geometry>
#include <osg/Vec3>
#include <osg/Vec4>
#include <osg/ref_ptr>
#include <osgText/Font>
#include <osgText/Text>

// The look the display's parts share, in window pixels under the display's camera: white
// text on translucent dark boxes, readable on the sky and on bright fields alike.

const double HudGlyphAdvance = 0.602; // DejaVu Sans Mono's advance, in character heights
const int HudGlyphResolution = 32;    // texels per glyph side: sharp up to the largest text

// Render bins within the display's camera: boxes first, then shapes over them, then the text.
const int HudBackingBin = 10;
const int HudShapesBin = 11;
const int HudTextBin = 12;

// Dark enough that white text on it stands out against the brightest sky (a contrast of
// about 7 : 1 over white), light enough to show what lies beneath.
const osg::Vec4 HudBackingColour(0.0f, 0.0f, 0.0f, 0.65f);
const osg::Vec4 HudTextColour(1.0f, 1.0f, 1.0f, 1.0f);

// Appends two triangles covering the rectangle, in one colour.
void AddHudBox(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double left, double bottom, double right, double top, const osg::Vec4& colour);

// Triangles with a colour per vertex, in the given render bin, drawn from one vertex buffer.
// Static: a caller that changes them marks them dynamic itself.
osg::ref_ptr<osg::Geometry> MakeHudTriangles(int bin, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours);

// Display text in `font` (the library's built-in font when null), white, left-aligned on its
// baseline, in the text bin. Static: a caller that changes it marks it dynamic itself.
osg::ref_ptr<osgText::Text> MakeHudText(osgText::Font* font);
