// The legend of the track's colours, laid out without a window.
#include <string>

#include <gtest/gtest.h>
#include <osgDB/FileUtils>
#include <osgText/Font>
#include <osgText/Text>

#include "player/ColourLegend.h"

namespace
{
TrackColouring ClimbRamp()
{
    TrackColouring ramp;
    ramp.by = TrackColourBy::Climb;
    ramp.ramp = true;
    ramp.title = "climb rate";
    for (const char* label : {"-3.2 m/s", "", "0.0 m/s", "", "3.2 m/s"})
        ramp.entries.emplace_back(osg::Vec4(0.5f, 0.5f, 0.5f, 1.0f), label);
    return ramp;
}

TrackColouring TwelveModes()
{
    TrackColouring modes;
    modes.by = TrackColourBy::Mode;
    modes.title = "flight mode";
    for (int i = 0; i < 12; ++i)
        modes.entries.emplace_back(osg::Vec4(0.1f * i, 0.5f, 0.5f, 1.0f), "mode " + std::to_string(i));
    return modes;
}
} // namespace

// At the height it asks for, every box and every piece of text lies inside the rectangle and
// every entry is shown; modes wrap into more rows on a narrower rectangle, and a rectangle
// too low for them leaves some out rather than spill below it.
TEST(ColourLegendTest, EverythingInsideItsRectangleAtTheHeightItAsksFor)
{
    const char* const fontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
    osg::ref_ptr<osgText::Font> font = osgDB::fileExists(fontFile) ? osgText::readRefFontFile(fontFile) : nullptr;
    const double x = 30.0, y = 40.0, size = 14.0;
    const TrackColouring ramp = ClimbRamp(), modes = TwelveModes();
    EXPECT_GT(LegendHeight(modes, 200.0, size), LegendHeight(modes, 600.0, size));

    const struct
    {
        const TrackColouring* colouring;
        double width, height;
        unsigned texts; // the title and the labels or names
    } cases[] = {
        {&ramp, 300.0, LegendHeight(ramp, 300.0, size), 4},
        {&modes, 200.0, LegendHeight(modes, 200.0, size), 13},
        {&modes, 600.0, LegendHeight(modes, 600.0, size), 13},
        {&modes, 200.0, LegendHeight(modes, 600.0, size), 5},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.colouring->title + " " + std::to_string(c.width) + " x " + std::to_string(c.height));
        osg::ref_ptr<osg::Geode> legend = BuildColourLegend(*c.colouring, x, y, c.width, c.height, size, font.get());
        unsigned texts = 0;
        for (unsigned i = 0; i < legend->getNumDrawables(); ++i)
        {
            osg::Drawable* drawable = legend->getDrawable(i);
            texts += dynamic_cast<osgText::Text*>(drawable) ? 1 : 0;
            const osg::BoundingBox box = drawable->getBoundingBox();
            if (!box.valid())
                continue;
            EXPECT_GE(box.xMin(), x - 0.5) << "drawable " << i;
            EXPECT_LE(box.xMax(), x + c.width + 0.5) << "drawable " << i;
            EXPECT_GE(box.yMin(), y - 0.5) << "drawable " << i;
            EXPECT_LE(box.yMax(), y + c.height + 0.5) << "drawable " << i;
        }
        EXPECT_EQ(texts, c.texts);
    }
}
