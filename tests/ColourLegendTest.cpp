// The legend of the track's colours, laid out without a window.
#include <string>
#include <vector>

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

namespace
{
// The texts of a legend, in the order drawn.
std::vector<std::string> Texts(const osg::Geode& legend)
{
    std::vector<std::string> texts;
    for (unsigned i = 0; i < legend.getNumDrawables(); ++i)
        if (const osgText::Text* text = dynamic_cast<const osgText::Text*>(legend.getDrawable(i)))
            texts.push_back(text->getText().createUTF8EncodedString());
    return texts;
}
} // namespace

// At the height it asks for, at the text size of any window, every entry is shown.
TEST(ColourLegendTest, EveryEntryShownAtTheHeightAskedForAtAnyTextSize)
{
    const TrackColouring modes = TwelveModes();
    TrackColouring flights = modes;
    flights.entries.resize(3);
    for (const TrackColouring* colouring : std::vector<const TrackColouring*>{&flights, &modes})
        for (double size = 9.0; size <= 20.0; size += 0.125)
        {
            const double width = OneColumnLegendWidth(*colouring, size);
            const osg::ref_ptr<osg::Geode> legend = BuildColourLegend(*colouring, 0.0, 0.0, width, LegendHeight(*colouring, width, size), size, nullptr);
            EXPECT_EQ(Texts(*legend).size(), colouring->entries.size() + 1) << colouring->entries.size() << " entries at text size " << size;
        }

    // Too low for all twelve even with the lines closer: those left out are counted, and the
    // one kept (the selected flight) is shown all the same.
    TrackColouring five = modes;
    five.entries.resize(5);
    const double width = OneColumnLegendWidth(modes, 14.0);
    const osg::ref_ptr<osg::Geode> low = BuildColourLegend(modes, 0.0, 0.0, width, LegendHeight(five, width, 14.0), 14.0, nullptr, 10);
    EXPECT_EQ(Texts(*low), (std::vector<std::string>{"flight mode", "mode 0", "mode 1", "mode 2", "mode 3", "mode 10", "+7 more"}));
}
