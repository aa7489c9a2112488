#include "player/HudDrawing.h"

#include <osg/PrimitiveSet>

void AddHudBox(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours, double left, double bottom, double right, double top, const osg::Vec4& colour)
{
    const osg::Vec3 a(left, bottom, 0.0), b(right, bottom, 0.0), c(right, top, 0.0), d(left, top, 0.0);
    for (const osg::Vec3& corner : {a, b, c, a, c, d})
    {
        vertices.push_back(corner);
        colours.push_back(colour);
    }
}

osg::ref_ptr<osg::Geometry> MakeHudTriangles(int bin, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec4>& colours)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(new osg::Vec3Array(vertices.begin(), vertices.end()));
    geometry->setColorArray(new osg::Vec4Array(colours.begin(), colours.end()), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size())));
    geometry->getOrCreateStateSet()->setRenderBinDetails(bin, "RenderBin");
    return geometry;
}

osg::ref_ptr<osgText::Text> MakeHudText(osgText::Font* font)
{
    osg::ref_ptr<osgText::Text> text = new osgText::Text;
    if (font)
        text->setFont(font);
    text->setFontResolution(HudGlyphResolution, HudGlyphResolution);
    // No outline: the box behind the text gives the contrast, and the library's outline
    // shader costs a software renderer some 40 ms a frame.
    text->setColor(HudTextColour);
    text->setAlignment(osgText::Text::LEFT_BASE_LINE);
    text->setAxisAlignment(osgText::Text::XY_PLANE);
    text->getOrCreateStateSet()->setRenderBinDetails(HudTextBin, "RenderBin");
    return text;
}
