#include "player/ColourLegend.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "player/HudShapes.h"

namespace
{
// In text sizes: the margin inside the box, the room of the title, the ramp's bar and its
// labels under it, one line of modes and a mode's colour box; the labels' and the names'
// descenders below their last baseline.
const double Pad = 0.5;
const double TitleRoom = 1.0;
const double BarGap = 0.5;
const double BarDepth = 0.8;
const double LabelRoom = 1.15; // the gap under the bar and a label's capitals
const double LineSpacing = 1.35;
const double TightSpacing = 1.12; // where the rectangle is too low for the lines at LineSpacing
const double SwatchSide = 0.75;
const double SwatchGap = 0.4;
const double ColumnGap = 1.0;
const double Descent = 0.35;

struct ModeGrid
{
    int rows = 0;
    int columns = 0;
    double cellWidth = 0.0;
};

// As many columns as the width holds, and as few rows as they need, within maxRows.
ModeGrid LayModes(const TrackColouring& colouring, double width, double s, int maxRows)
{
    size_t longest = std::string("+99 more").size(); // the count of those left out
    for (const auto& entry : colouring.entries)
        longest = std::max(longest, osgText::String(entry.second, osgText::String::ENCODING_UTF8).size());
    ModeGrid grid;
    grid.cellWidth = (SwatchSide + SwatchGap + HudGlyphAdvance * static_cast<double>(longest) + ColumnGap) * s;
    const int count = static_cast<int>(colouring.entries.size());
    const int fitting = std::max(1, static_cast<int>((width - 2.0 * Pad * s + ColumnGap * s) / grid.cellWidth));
    grid.rows = std::clamp((count + fitting - 1) / fitting, 1, std::max(1, maxRows));
    grid.columns = std::min(fitting, (count + grid.rows - 1) / grid.rows);
    return grid;
}

// The rows of names a rectangle of that height holds at that spacing. A legend asked for at
// the height LegendHeight gives must get all of its rows back, whatever the rounding of the
// sums on the way: a hair short of a whole row still counts as one.
int RowsWithin(double height, double s, double spacing)
{
    return static_cast<int>(std::floor((height - (2.0 * Pad + TitleRoom + Descent) * s) / (spacing * s) + 1e-6));
}

// Which of `count` entries a grid of `cells` shows, in order: all of them, or all but one
// cell's worth, whose cell counts the rest; `keep` (when < count) among them in place of the
// last one shown before it.
std::vector<size_t> ShownEntries(size_t count, size_t cells, size_t keep)
{
    std::vector<size_t> shown;
    const size_t names = count <= cells ? count : std::max<size_t>(cells, 2) - 1;
    for (size_t i = 0; i < names; ++i)
        shown.push_back(i);
    if (keep < count && keep >= names && names > 0)
        shown.back() = keep;
    return shown;
}

osg::ref_ptr<osgText::Text> Label(osgText::Font* font, const std::string& text, double x, double baseline, double size, osgText::Text::AlignmentType alignment)
{
    osg::ref_ptr<osgText::Text> label = MakeHudText(font);
    label->setCharacterSize(static_cast<float>(size));
    label->setAlignment(alignment);
    label->setPosition(osg::Vec3(static_cast<float>(x), static_cast<float>(baseline), 0.0f));
    label->setText(text, osgText::String::ENCODING_UTF8);
    return label;
}
} // namespace

double LegendHeight(const TrackColouring& colouring, double width, double s)
{
    if (colouring.entries.empty())
        return 0.0;
    const double frame = (2.0 * Pad + TitleRoom + Descent) * s;
    if (colouring.ramp)
        return frame + (BarGap + BarDepth + LabelRoom) * s;
    return frame + LayModes(colouring, width, s, std::numeric_limits<int>::max()).rows * LineSpacing * s;
}

double OneColumnLegendWidth(const TrackColouring& colouring, double s)
{
    const double title = HudGlyphAdvance * static_cast<double>(osgText::String(colouring.title, osgText::String::ENCODING_UTF8).size()) * s;
    const double column = LayModes(colouring, 0.0, s, 1).cellWidth - ColumnGap * s;
    return std::max(title, column) + 2.0 * Pad * s;
}

osg::ref_ptr<osg::Geode> BuildColourLegend(const TrackColouring& colouring, double x, double y, double width, double height, double s, osgText::Font* font, size_t keep)
{
    osg::ref_ptr<osg::Geode> legend = new osg::Geode;
    if (colouring.entries.empty())
        return legend;

    std::vector<osg::Vec3> vertices;
    std::vector<osg::Vec4> colours;
    AddBox(vertices, colours, x, y, x + width, y + height, HudBackingColour);
    legend->addDrawable(MakeHudTriangles(HudBackingBin, vertices, colours).get());
    vertices.clear();
    colours.clear();

    const double left = x + Pad * s;
    const double right = x + width - Pad * s;
    const double titleBaseline = y + height - (Pad + TitleRoom) * s;
    legend->addDrawable(Label(font, colouring.title, left, titleBaseline, s, osgText::Text::LEFT_BASE_LINE).get());

    if (colouring.ramp)
    {
        // One band from each stop to the next, its colours blended across it as the track's are.
        const double top = titleBaseline - BarGap * s;
        const double bottom = top - BarDepth * s;
        const size_t stops = colouring.entries.size();
        const double step = (right - left) / static_cast<double>(std::max<size_t>(stops - 1, 1));
        for (size_t i = 0; i + 1 < stops; ++i)
        {
            const double from = left + step * static_cast<double>(i), to = from + step;
            const osg::Vec4 a = colouring.entries[i].first, b = colouring.entries[i + 1].first;
            const osg::Vec3 corners[] = {{float(from), float(bottom), 0.0f}, {float(to), float(bottom), 0.0f}, {float(to), float(top), 0.0f}, {float(from), float(top), 0.0f}};
            const osg::Vec4 shades[] = {a, b, b, a};
            for (int corner : {0, 1, 2, 0, 2, 3})
            {
                vertices.push_back(corners[corner]);
                colours.push_back(shades[corner]);
            }
        }
        const double labelBaseline = bottom - LabelRoom * s;
        for (size_t i = 0; i < stops; ++i)
        {
            if (colouring.entries[i].second.empty())
                continue;
            const osgText::Text::AlignmentType alignment = i == 0 ? osgText::Text::LEFT_BASE_LINE : i + 1 == stops ? osgText::Text::RIGHT_BASE_LINE : osgText::Text::CENTER_BASE_LINE;
            legend->addDrawable(Label(font, colouring.entries[i].second, left + step * static_cast<double>(i), labelBaseline, s, alignment).get());
        }
    }
    else
    {
        // At the usual spacing when every name fits so, else closer; then, what still has no
        // room is counted on a last line in place of the last name, `keep` always shown.
        double spacing = LineSpacing;
        ModeGrid grid = LayModes(colouring, width, s, RowsWithin(height, s, spacing));
        if (static_cast<size_t>(grid.rows * grid.columns) < colouring.entries.size())
        {
            spacing = TightSpacing;
            grid = LayModes(colouring, width, s, RowsWithin(height, s, spacing));
        }
        const std::vector<size_t> shown = ShownEntries(colouring.entries.size(), static_cast<size_t>(std::max(grid.rows * grid.columns, 1)), keep);
        // A grid of one cell shows the entry kept, and no count.
        const size_t cells = shown.size() + (shown.size() < colouring.entries.size() && grid.rows * grid.columns > 1 ? 1 : 0);
        for (size_t cell = 0; cell < cells; ++cell)
        {
            const double cellLeft = left + grid.cellWidth * static_cast<double>(cell / grid.rows);
            const double baseline = titleBaseline - spacing * s * static_cast<double>(cell % grid.rows + 1);
            if (cell == shown.size())
            {
                legend->addDrawable(Label(font, "+" + std::to_string(colouring.entries.size() - shown.size()) + " more", cellLeft, baseline, s, osgText::Text::LEFT_BASE_LINE).get());
                break;
            }
            const std::pair<osg::Vec4, std::string>& entry = colouring.entries[shown[cell]];
            AddBox(vertices, colours, cellLeft, baseline - 0.05 * s, cellLeft + SwatchSide * s, baseline + (SwatchSide - 0.05) * s, entry.first);
            legend->addDrawable(Label(font, entry.second, cellLeft + (SwatchSide + SwatchGap) * s, baseline, s, osgText::Text::LEFT_BASE_LINE).get());
        }
    }
    legend->addDrawable(MakeHudTriangles(HudShapesBin, vertices, colours).get());
    return legend;
}
