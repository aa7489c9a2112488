#pragma once
#include <string>
#include <vector>

#include <osg/Geometry>
#include <osg/ref_ptr>
#include <osgText/Font>
#include <osgText/Text>

// What the display's parts are drawn with, in window pixels under the display's camera: flat
// coloured shapes and white text on translucent dark boxes, readable on the sky and on
// bright fields alike; rebuilt in place when they change.

const double HudGlyphAdvance = 0.602; // DejaVu Sans Mono's advance, in character heights

// Render bins within the display's camera: boxes first, then shapes over them, then the text.
// Texts of one font share their state, render bin included, so every text of the display
// takes the one bin after all shapes (the plot strip's among them).
const int HudBackingBin = 10;
const int HudShapesBin = 11;
const int HudTextBin = 20;

// Dark enough that white text on it stands out against the brightest sky (a contrast of
// about 7 : 1 over white), light enough to show what lies beneath.
const osg::Vec4 HudBackingColour(0.0f, 0.0f, 0.0f, 0.65f);

// Two triangles covering the rectangle, in one colour.
void AddBox(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double left, double bottom, double right, double top, const osg::Vec4& colour);

// A line from (x0, y0) to (x1, y1), for GL_LINES shapes.
void AddLine(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double x0, double y0, double x1, double y1, const osg::Vec4& colour);

// Shapes of one primitive mode (GL_TRIANGLES, GL_LINES), drawn in the render bin `bin` of the
// display's camera; empty until SetShapes.
osg::ref_ptr<osg::Geometry> MakeShapes(int bin, GLenum mode = GL_TRIANGLES);

// Replaces the shapes' vertices, in their own arrays, so their buffer objects are reused.
void SetShapes(osg::Geometry& geometry, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours);

// Triangles made once and never changed.
osg::ref_ptr<osg::Geometry> MakeHudTriangles(int bin, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours);

// White text in the display's style, left aligned on its baseline, in HudTextBin;
// the library's built-in font when `font` is null.
osg::ref_ptr<osgText::Text> MakeHudText(osgText::Font* font);

// Setting a text lays out its glyphs again; most lines stay the same from frame to frame.
void SetTextIfChanged(osgText::Text& text, const std::string& line);
