#include "player/HudShapes.h"

namespace
{
const int GlyphResolution = 32; // texels per glyph side: sharp up to the largest text
const osg::Vec4 TextColour(1.0f, 1.0f, 1.0f, 1.0f);
} // namespace

void AddBox(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double left, double bottom, double right, double top, const osg::Vec4& colour)
{
    const osg::Vec3 a(left, bottom, 0.0), b(right, bottom, 0.0), c(right, top, 0.0), d(left, top, 0.0);
    for (const osg::Vec3& corner : {a, b, c, a, c, d})
    {
        vertices.push_back(corner);
        colours.push_back(colour);
    }
}

void AddLine(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double x0, double y0, double x1, double y1, const osg::Vec4& colour)
{
    vertices.emplace_back(x0, y0, 0.0);
    vertices.emplace_back(x1, y1, 0.0);
    colours.push_back(colour);
    colours.push_back(colour);
}

osg::ref_ptr<osg::Geometry> MakeShapes(int bin, GLenum mode)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setDataVariance(osg::Object::DYNAMIC);
    // Rebuilt whenever the display changes: no display list to compile again each time.
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(new osg::Vec3Array);
    geometry->setColorArray(new osg::Vec4Array, osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(mode, 0, 0));
    geometry->getOrCreateStateSet()->setRenderBinDetails(bin, "RenderBin");
    return geometry;
}

void SetShapes(osg::Geometry& geometry, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours)
{
    osg::Vec3Array* ownVertices = static_cast<osg::Vec3Array*>(geometry.getVertexArray());
    osg::Vec4Array* ownColours = static_cast<osg::Vec4Array*>(geometry.getColorArray());
    ownVertices->assign(vertices.begin(), vertices.end());
    ownColours->assign(colours.begin(), colours.end());
    ownVertices->dirty();
    ownColours->dirty();
    static_cast<osg::DrawArrays*>(geometry.getPrimitiveSet(0))->setCount(static_cast<GLsizei>(vertices.size()));
    geometry.getPrimitiveSet(0)->dirty();
    geometry.dirtyBound();
}

osg::ref_ptr<osg::Geometry> MakeHudTriangles(int bin, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours)
{
    osg::ref_ptr<osg::Geometry> geometry = MakeShapes(bin);
    SetShapes(*geometry, vertices, colours);
    geometry->setDataVariance(osg::Object::STATIC);
    return geometry;
}

osg::ref_ptr<osgText::Text> MakeHudText(osgText::Font* font)
{
    osg::ref_ptr<osgText::Text> text = new osgText::Text;
    text->setDataVariance(osg::Object::DYNAMIC);
    if (font)
        text->setFont(font);
    text->setFontResolution(GlyphResolution, GlyphResolution);
    // No outline: the box behind the text gives the contrast, and the library's outline
    // shader costs a software renderer some 40 ms a frame.
    text->setColor(TextColour);
    text->setAlignment(osgText::Text::LEFT_BASE_LINE);
    text->setAxisAlignment(osgText::Text::XY_PLANE);
    text->getOrCreateStateSet()->setRenderBinDetails(HudTextBin, "RenderBin");
    return text;
}

void SetTextIfChanged(osgText::Text& text, const std::string& line)
{
    if (text.getText().createUTF8EncodedString() != line)
        text.setText(line, osgText::String::ENCODING_UTF8);
}
