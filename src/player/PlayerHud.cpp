#include "player/PlayerHud.h"

#include <algorithm>
#include <vector>

#include <osg/BlendFunc>
#include <osg/Geode>
#include <osgDB/FileUtils>
#include <osgText/Font>

#include "player/HudShapes.h"
#include "player/PlayerKeys.h"

namespace
{
// From Debian's fonts-dejavu-core: monospaced, so figures stay in their columns.
const char* const FontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
const double LargestText = 20.0;     // pixels: a comfortable size on a 1024-line window
const double SmallestText = 9.0;     // pixels: below this the figures are hard to read
const double SmallestKeyText = 7.0;  // pixels: the key line, read once, may be smaller

const osg::Vec4 BarColour(0.45f, 0.45f, 0.45f, 0.9f);
const osg::Vec4 SpanColour(0.25f, 0.6f, 1.0f, 0.95f);
const osg::Vec4 MarkerColour(1.0f, 1.0f, 1.0f, 1.0f);
const osg::Vec4 MarkerEdgeColour(0.0f, 0.0f, 0.0f, 1.0f);
// The credits are asked to be shown, not to draw the eye: lighter behind, a little less white.
const osg::Vec4 AttributionBackingColour(0.0f, 0.0f, 0.0f, 0.45f);
const osg::Vec4 AttributionTextColour(1.0f, 1.0f, 1.0f, 0.85f);
const double AttributionShare = 0.7; // of the display's text size
} // namespace

HudLayout LayoutHud(double width, double height)
{
    HudLayout layout;
    layout.width = width;
    layout.height = height;
    layout.fits = width >= SmallestHudWidth && height >= SmallestHudHeight;
    // As large as a comfortable size allows; the key line alone shrinks below it (to
    // SmallestKeyText at the least) where the window is too narrow for it.
    const double keyLineCharacters = static_cast<double>(osgText::String(ShownKeyLine(), osgText::String::ENCODING_UTF8).size());
    const double fitting = (width * 0.96) / (keyLineCharacters * HudGlyphAdvance);
    layout.textSize = std::max(SmallestText, std::min(LargestText, height / 48.0));
    layout.keyLineSize = std::max(SmallestKeyText, std::min(layout.textSize, fitting));
    layout.keyLineFits = layout.keyLineSize <= fitting;
    const double s = layout.textSize;
    layout.lineSpacing = 1.35 * s;
    layout.figuresLeft = s;
    layout.figuresTop = height - s;
    layout.keyLineBaseline = 0.6 * s;
    layout.barLeft = s;
    layout.barRight = std::max(width - s, layout.barLeft + 1.0);
    layout.barBottom = layout.keyLineBaseline + 1.4 * s;
    layout.barTop = layout.barBottom + 0.8 * s;
    layout.labelBaseline = layout.barTop + 0.6 * s;
    layout.stripTop = layout.labelBaseline + 1.3 * s;
    layout.attributionSize = std::max(SmallestText, AttributionShare * s);
    return layout;
}

bool TimelineFractionAt(const HudLayout& layout, double x, double y, double* fraction)
{
    const double reach = layout.lineSpacing / 2.0;
    if (!layout.fits || x < layout.barLeft - reach || x > layout.barRight + reach || y < layout.barBottom - reach || y > layout.barTop + reach)
        return false;
    *fraction = std::clamp((x - layout.barLeft) / (layout.barRight - layout.barLeft), 0.0, 1.0);
    return true;
}

PlayerHud::PlayerHud()
{
    camera = new osg::Camera;
    camera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    camera->setViewMatrix(osg::Matrix::identity());
    // The projection follows the viewport in Show; the library must not stretch it.
    camera->setProjectionResizePolicy(osg::Camera::FIXED);
    camera->setRenderOrder(osg::Camera::POST_RENDER);
    camera->setClearMask(0); // drawn over the finished scene, which it must not clear
    camera->setAllowEventFocus(false);
    osg::StateSet* state = camera->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    // Never hidden by the terrain, whatever the depth buffer holds.
    state->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF);
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setAttributeAndModes(new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));

    if (osgDB::fileExists(FontFile))
        font = osgText::readRefFontFile(FontFile);

    shapes = new osg::Geode;
    backing = MakeShapes(HudBackingBin);
    timeline = MakeShapes(HudShapesBin);
    shapes->addDrawable(backing.get());
    shapes->addDrawable(timeline.get());
    camera->addChild(shapes.get());

    textGroup = new osg::Geode;
    keyLine = MakeText();
    keyLine->setText(ShownKeyLine(), osgText::String::ENCODING_UTF8);
    firstLabel = MakeText();
    lastLabel = MakeText();
    lastLabel->setAlignment(osgText::Text::RIGHT_BASE_LINE);
    for (osgText::Text* text : {keyLine.get(), firstLabel.get(), lastLabel.get()})
        textGroup->addDrawable(text);
    camera->addChild(textGroup.get());

    attribution = new osg::Geode;
    attributionBacking = MakeShapes(HudBackingBin);
    attributionText = MakeText();
    attributionText->setColor(AttributionTextColour);
    // Lines wrap at the window's width; the last line's baseline ends at the bottom right.
    attributionText->setAlignment(osgText::Text::RIGHT_BOTTOM_BASE_LINE);
    attribution->addDrawable(attributionBacking.get());
    attribution->addDrawable(attributionText.get());
    attribution->setNodeMask(0u);
    camera->addChild(attribution.get());
}

osg::ref_ptr<osgText::Text> PlayerHud::MakeText() const
{
    return MakeHudText(font.get());
}

void PlayerHud::Relayout(int width, int height, size_t lineCount)
{
    while (figureTexts.size() < lineCount)
    {
        figureTexts.push_back(MakeText());
        textGroup->addDrawable(figureTexts.back().get());
    }
    if (layout.width == width && layout.height == height && layout.textSize > 0.0)
        return;
    layout = LayoutHud(width, height);
    ShowParts();
    camera->setProjectionMatrixAsOrtho2D(0.0, width, 0.0, height);
    const float size = static_cast<float>(layout.textSize);
    for (size_t i = 0; i < figureTexts.size(); ++i)
    {
        figureTexts[i]->setCharacterSize(size);
        figureTexts[i]->setPosition(osg::Vec3(layout.figuresLeft, layout.figuresTop - size - i * layout.lineSpacing, 0.0f));
    }
    for (osgText::Text* text : {firstLabel.get(), lastLabel.get()})
        text->setCharacterSize(size);
    keyLine->setCharacterSize(static_cast<float>(layout.keyLineSize));
    ShowKeyLine(keyLineWanted);
    keyLine->setPosition(osg::Vec3(layout.barLeft, layout.keyLineBaseline, 0.0f));
    firstLabel->setPosition(osg::Vec3(layout.barLeft, layout.labelBaseline, 0.0f));
    lastLabel->setPosition(osg::Vec3(layout.barRight, layout.labelBaseline, 0.0f));
    PlaceModeLegend();
}

void PlayerHud::ShowModeLegend(const std::vector<std::pair<osg::Vec4, std::string>>& modes)
{
    modeLegend = modes;
    for (const osg::ref_ptr<osgText::Text>& text : modeTexts)
        textGroup->removeDrawable(text.get());
    modeTexts.clear();
    for (size_t i = 0; i <= modes.size(); ++i)
    {
        modeTexts.push_back(MakeText());
        textGroup->addDrawable(modeTexts.back().get());
    }
    PlaceModeLegend();
}

// In the middle of the label line: a coloured square and the name of each mode, as many as
// fit between the end labels, then how many more there are.
void PlayerHud::PlaceModeLegend()
{
    if (modeTexts.empty() || layout.textSize <= 0.0)
        return;
    const double s = layout.textSize;
    const double room = (layout.barRight - layout.barLeft) * 0.6; // the end labels keep the rest
    const double left = (layout.barLeft + layout.barRight - room) / 2.0;
    double x = left;
    size_t shown = 0;
    for (; shown < modeLegend.size(); ++shown)
    {
        const std::string entry = "\u25a0 " + modeLegend[shown].second;
        const double length = osgText::String(entry, osgText::String::ENCODING_UTF8).size() * HudGlyphAdvance * s;
        if (x + length > left + room)
            break;
        osgText::Text& text = *modeTexts[shown];
        text.setCharacterSize(static_cast<float>(s));
        text.setColor(modeLegend[shown].first);
        text.setPosition(osg::Vec3(x, layout.labelBaseline, 0.0f));
        SetTextIfChanged(text, entry);
        x += length + s;
    }
    for (size_t i = shown; i < modeTexts.size(); ++i)
    {
        modeTexts[i]->setCharacterSize(static_cast<float>(s));
        modeTexts[i]->setPosition(osg::Vec3(x, layout.labelBaseline, 0.0f));
        SetTextIfChanged(*modeTexts[i], i == shown && shown < modeLegend.size() ? "+" + std::to_string(modeLegend.size() - shown) : std::string());
    }
}

void PlayerHud::Show(const std::vector<std::string>& lines, const TimelineView& view, int width, int height)
{
    Relayout(std::max(width, 1), std::max(height, 1), lines.size());
    for (size_t i = 0; i < figureTexts.size(); ++i)
        SetTextIfChanged(*figureTexts[i], i < lines.size() ? lines[i] : std::string());
    SetTextIfChanged(*firstLabel, view.firstLabel);
    SetTextIfChanged(*lastLabel, view.lastLabel);
    DrawShapes(view);
    PlaceAttribution();
}

void PlayerHud::ShowAttribution(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    attributionText->setText(text, osgText::String::ENCODING_UTF8);
    attribution->setNodeMask(lines.empty() ? 0u : ~0u);
    PlaceAttribution();
}

// Over the scene's bottom right corner: above the bottom strip, or in the corner without it;
// above what the display's owner keeps clear (the plots' values and time labels).
void PlayerHud::PlaceAttribution()
{
    if (!ShowsAttribution() || layout.textSize <= 0.0)
        return;
    const double size = layout.attributionSize;
    const double pad = 0.3 * size;
    const double bottom = std::max(visible && layout.fits ? layout.stripTop : 0.0, attributionFloor) + pad;
    attributionText->setCharacterSize(static_cast<float>(size));
    attributionText->setMaximumWidth(static_cast<float>(std::max(layout.width - 4.0 * pad, size)));
    // The baseline sits a descender's depth above the box's bottom.
    attributionText->setPosition(osg::Vec3(layout.width - 2.0 * pad, bottom + pad + 0.25 * size, 0.0f));
    const osg::BoundingBox box = attributionText->getBoundingBox();
    std::vector<osg::Vec3> vertices;
    std::vector<osg::Vec4> colours;
    if (box.valid())
        AddBox(vertices, colours, box.xMin() - pad, bottom, layout.width - pad, box.yMax() + pad, AttributionBackingColour);
    SetShapes(*attributionBacking, vertices, colours);
}

void PlayerHud::DrawShapes(const TimelineView& view)
{
    const double s = layout.textSize;
    const double pad = 0.5 * s;

    // Behind the figures: as wide as their widest line, as deep as their lines.
    double figuresRight = layout.figuresLeft;
    for (const osg::ref_ptr<osgText::Text>& text : figureTexts)
        if (text->getBoundingBox().valid())
            figuresRight = std::max(figuresRight, static_cast<double>(text->getBoundingBox().xMax()));
    const double figuresBottom = layout.figuresTop - s - (figureTexts.size() - 1) * layout.lineSpacing - 0.35 * s;
    std::vector<osg::Vec3> vertices;
    std::vector<osg::Vec4> colours;
    AddBox(vertices, colours, layout.figuresLeft - pad, figuresBottom - pad, figuresRight + pad, layout.figuresTop + pad, HudBackingColour);
    figuresBox = visible && layout.fits ? osg::BoundingBox(layout.figuresLeft - pad, figuresBottom - pad, 0.0, figuresRight + pad, layout.figuresTop + pad, 0.0) : osg::BoundingBox();
    AddBox(vertices, colours, 0.0, 0.0, layout.width, layout.stripTop, HudBackingColour);
    SetShapes(*backing, vertices, colours);

    vertices.clear();
    colours.clear();
    const double left = layout.barLeft;
    const double length = layout.barRight - layout.barLeft;
    AddBox(vertices, colours, left, layout.barBottom, layout.barRight, layout.barTop, BarColour);
    for (const TimelineMode& mode : view.modes)
        AddBox(vertices, colours, left + mode.span.from * length, layout.barBottom, std::max(left + mode.span.to * length, left + mode.span.from * length + 1.0), layout.barTop, mode.colour);
    // A span of one sample still shows, one pixel wide; over the modes' colours, along the
    // bar's lower edge only.
    const double spanTop = view.modes.empty() ? layout.barTop : layout.barBottom + 0.3 * (layout.barTop - layout.barBottom);
    for (const TimelineSpan& span : view.spans)
        AddBox(vertices, colours, left + span.from * length, layout.barBottom, std::max(left + span.to * length, left + span.from * length + 1.0), spanTop, SpanColour);
    const double tick = std::max(0.08 * s, 1.0);
    for (const TimelineMark& mark : view.marks)
        AddBox(vertices, colours, left + mark.fraction * length - tick / 2.0, layout.barTop, left + mark.fraction * length + tick / 2.0, layout.barTop + 0.45 * s, mark.colour);
    // Below the bar, so that they never hide an event's mark above it.
    for (const TimelineMark& mark : view.versions)
        AddBox(vertices, colours, left + mark.fraction * length - tick / 2.0, layout.barBottom - 0.45 * s, left + mark.fraction * length + tick / 2.0, layout.barBottom, mark.colour);
    const double x = left + view.current * length;
    const double half = std::max(0.15 * s, 1.5);
    const double edge = std::max(0.1 * s, 1.0);
    AddBox(vertices, colours, x - half - edge, layout.barBottom - 0.35 * s - edge, x + half + edge, layout.barTop + 0.35 * s + edge, MarkerEdgeColour);
    AddBox(vertices, colours, x - half, layout.barBottom - 0.35 * s, x + half, layout.barTop + 0.35 * s, MarkerColour);
    SetShapes(*timeline, vertices, colours);
}

void PlayerHud::ShowKeyLine(bool shown)
{
    keyLineWanted = shown;
    SetTextIfChanged(*keyLine, shown && layout.keyLineFits ? ShownKeyLine() : "");
}

void PlayerHud::SetVisible(bool show)
{
    visible = show;
    ShowParts();
    PlaceAttribution();
}

void PlayerHud::ShowParts()
{
    const bool drawn = visible && layout.fits;
    if (!drawn)
        figuresBox = osg::BoundingBox();
    shapes->setNodeMask(drawn ? ~0u : 0u);
    textGroup->setNodeMask(drawn ? ~0u : 0u);
}

void PlayerHud::KeepAttributionAbove(double y)
{
    if (y == attributionFloor)
        return;
    attributionFloor = y;
    PlaceAttribution();
}
