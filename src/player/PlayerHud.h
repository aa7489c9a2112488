#pragma once
#include <string>
#include <vector>

#include <osg/Camera>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Referenced>
#include <osg/ref_ptr>
#include <osgText/Text>

#include "player/Timeline.h"

// Where the display's parts lie in a window of width x height pixels, origin at the bottom
// left: the figures at the top left, then along the bottom the key line, the timeline bar
// above it and the bar's end labels above that. Sizes follow the window, so that the key
// line fits across it down to windows of 600 pixels. Below SmallestHudWidth x
// SmallestHudHeight the display does not fit at a readable size: its figures would run past
// the right edge and, with the bottom strip, cover half the picture; it is left out there.
const double SmallestHudWidth = 480.0;  // pixels: the figures' widest lines at the smallest text
const double SmallestHudHeight = 270.0; // pixels: the figures and the bottom strip under half of it

struct HudLayout
{
    double width = 0.0;
    double height = 0.0;
    bool fits = true; // false: the window is too small for the display, which is left out
    double textSize = 0.0;   // pixels from one line's baseline to the next, less the spacing
    double lineSpacing = 0.0;
    double keyLineSize = 0.0; // the key line's text size: textSize, or less where it would not fit
    bool keyLineFits = true;  // false: too long for the window even at its smallest; left out
    double figuresLeft = 0.0;
    double figuresTop = 0.0; // the top of the first line of figures
    double keyLineBaseline = 0.0;
    double barLeft = 0.0;
    double barRight = 0.0;
    double barBottom = 0.0;
    double barTop = 0.0;
    double labelBaseline = 0.0; // of the labels at the bar's ends
    double stripTop = 0.0;      // the top of the dark strip behind the bottom parts
    double attributionSize = 0.0; // the credits' smaller text, at the bottom right
};

HudLayout LayoutHud(double width, double height);

// The fraction of the timeline under window point (x, y) (pixels, origin at the bottom
// left), when the point lies on the bar or within half a line of it; false elsewhere.
bool TimelineFractionAt(const HudLayout& layout, double x, double y, double* fraction);

// A stretch of the bar in a flight mode's colour, and an event's mark on it.
struct TimelineMode
{
    TimelineSpan span;
    osg::Vec4 colour;
};
struct TimelineMark
{
    double fraction = 0.0;
    osg::Vec4 colour;
};

// What the timeline shows: the current position, the selected spans, the flight modes, the
// events, the mission's versions and the end labels.
struct TimelineView
{
    double current = 0.0; // fraction of the bar
    std::vector<TimelineSpan> spans;
    std::vector<TimelineMode> modes; // the bar is grey where none is
    std::vector<TimelineMark> marks;
    std::vector<TimelineMark> versions; // where a mission version was uploaded: ticks under the bar
    std::string firstLabel;
    std::string lastLabel;
};

// The heads-up display: text and the timeline under a camera of its own that draws after
// the scene, over it, in window pixels. The camera manipulators do not move it and the
// terrain cannot hide it. Text is white on translucent dark boxes, readable on the sky and
// on bright fields alike. The font is DejaVu Sans Mono from Debian's
// fonts-dejavu-core, or the library's built-in font when that is not installed.
//
// Show may be called between frames of a running viewer: everything it changes is marked
// dynamic, so the viewer finishes drawing it before the next frame's events.
class PlayerHud : public osg::Referenced
{
public:
    PlayerHud();

    // The camera to draw the display with, on the window's graphics context, after the
    // scene's camera.
    osg::Camera* Camera() const { return camera.get(); }

    // Shows the lines of figures and the timeline in a viewport of width x height pixels.
    void Show(const std::vector<std::string>& lines, const TimelineView& timeline, int width, int height);

    // The credits of the data sources, in small text at the bottom right over the scene,
    // above the bottom strip; none when empty. They stay while the rest is hidden, since the
    // data they credit are still shown.
    void ShowAttribution(const std::vector<std::string>& lines);
    bool ShowsAttribution() const { return attribution->getNodeMask() != 0u; }
    // Keeps the credits above y pixels from the bottom (0: no more than the display asks), so
    // that they cover nothing drawn beside the display below that height.
    void KeepAttributionAbove(double y);

    // The flight modes' names in their colours, between the timeline's end labels; none
    // when empty. Those that do not fit are counted ("+3").
    void ShowModeLegend(const std::vector<std::pair<osg::Vec4, std::string>>& modes);

    // The display's font (null: the library's own), for the parts drawn beside it.
    osgText::Font* Font() const { return font.get(); }

    // Shows or hides all but the credits.
    void SetVisible(bool visible);
    // The line of keys under the timeline; a recording, which no key can reach, leaves it out
    // (its room stays, so the rest lies where it does in the player), and so does a window too
    // narrow for it (HudLayout::keyLineFits).
    void ShowKeyLine(bool shown);
    bool Visible() const { return visible; }

    // The layout of the last Show.
    const HudLayout& Layout() const { return layout; }
    // The box behind the figures as the last Show drew it (pixels); invalid while it is not drawn.
    const osg::BoundingBox& FiguresBox() const { return figuresBox; }

private:
    osg::ref_ptr<osgText::Text> MakeText() const;
    void Relayout(int width, int height, size_t lineCount);
    void DrawShapes(const TimelineView& timeline);
    void PlaceAttribution();
    void PlaceModeLegend();
    // Draws the display's parts when it is visible and the window holds it (HudLayout::fits).
    void ShowParts();

    osg::ref_ptr<osg::Camera> camera;
    osg::ref_ptr<osgText::Font> font;
    osg::ref_ptr<osg::Geometry> backing;  // translucent boxes behind the text
    osg::ref_ptr<osg::Geometry> timeline; // bar, selected spans, position marker
    std::vector<osg::ref_ptr<osgText::Text>> figureTexts;
    osg::ref_ptr<osgText::Text> keyLine;
    osg::ref_ptr<osgText::Text> firstLabel;
    osg::ref_ptr<osgText::Text> lastLabel;
    osg::ref_ptr<osg::Geode> shapes;
    osg::ref_ptr<osg::Geode> textGroup;
    osg::ref_ptr<osg::Geode> attribution; // its backing and its text
    osg::ref_ptr<osg::Geometry> attributionBacking;
    osg::ref_ptr<osgText::Text> attributionText;
    std::vector<osg::ref_ptr<osgText::Text>> modeTexts;
    std::vector<std::pair<osg::Vec4, std::string>> modeLegend;
    HudLayout layout;
    bool visible = true;
    double attributionFloor = 0.0;
    osg::BoundingBox figuresBox;
    bool keyLineWanted = true;
};
