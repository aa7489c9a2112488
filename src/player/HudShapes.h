#pragma once
#include <string>
#include <vector>

#include <osg/Geometry>
#include <osg/ref_ptr>
#include <osgText/Font>
#include <osgText/Text>

// What the display's parts are drawn with: flat coloured shapes and text in window pixels,
// rebuilt in place when they change.

// Two triangles covering the rectangle, in one colour.
void AddBox(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double left, double bottom, double right, double top, const osg::Vec4& colour);

// A line from (x0, y0) to (x1, y1), for GL_LINES shapes.
void AddLine(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double x0, double y0, double x1, double y1, const osg::Vec4& colour);

// Shapes of one primitive mode (GL_TRIANGLES, GL_LINES), drawn in the render bin `bin` of the
// display's camera; empty until SetShapes.
osg::ref_ptr<osg::Geometry> MakeShapes(int bin, GLenum mode = GL_TRIANGLES);

// Replaces the shapes' vertices, in their own arrays, so their buffer objects are reused.
void SetShapes(osg::Geometry& geometry, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours);

// White text in the display's style, left aligned on its baseline, in the render bin `bin`;
// the library's built-in font when `font` is null.
osg::ref_ptr<osgText::Text> MakeHudText(osgText::Font* font, int bin);

// Setting a text lays out its glyphs again; most lines stay the same from frame to frame.
void SetTextIfChanged(osgText::Text& text, const std::string& line);
