#include "player/PlotStrip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "log/SampleRates.h"
#include "player/HudShapes.h"
#include "player/PlayerDisplay.h"

namespace
{
// Within the display's camera, after its own boxes and bar and before all text.
const int FillBin = HudShapesBin + 1;
const int LineBin = HudShapesBin + 2;
const int CursorBin = HudShapesBin + 3;

const struct
{
    osg::Vec4 backing, plot, grid, zero, cursor, ground, noMode;
} Colours = {
    {0.0f, 0.0f, 0.0f, 0.72f},   // darker than the display's boxes: curves must stand out from the scene
    {0.08f, 0.08f, 0.1f, 0.6f},  // each plot's ground
    {1.0f, 1.0f, 1.0f, 0.18f},   // the time grid, faint
    {1.0f, 1.0f, 1.0f, 0.4f},    // the zero line
    {1.0f, 1.0f, 1.0f, 1.0f},    // the cursor, solid
    {0.55f, 0.42f, 0.25f, 0.85f}, // the ground under the altitude, earth brown
    {0.3f, 0.3f, 0.3f, 0.9f},    // a stretch of no mode, the display bar's grey
};
// A curve's colour by its place in its series: blue, then orange (bank, pitch).
const osg::Vec4 CurveColours[] = {osg::Vec4(0.35f, 0.8f, 1.0f, 1.0f), osg::Vec4(1.0f, 0.62f, 0.2f, 1.0f)};

const double StripShare = 0.42; // of the window's height, at most

// Time steps for the ticks, in seconds: the first that gives at most MostTicks ticks.
const double TickSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400, 28800, 86400};
const int MostTicks = 8;

// With as many decimals as the range needs to tell the ends apart; none for whole numbers.
std::string FormatValue(double value, double range, bool whole)
{
    char text[32];
    const int decimals = whole || range >= 100.0 ? 0 : range >= 10.0 ? 1 : 2;
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return std::string(text) == "-0" || std::string(text) == "-0.0" || std::string(text) == "-0.00" ? std::string(text + 1) : std::string(text);
}

} // namespace

PlotStripLayout LayoutPlotStrip(const HudLayout& hud, size_t plotCount)
{
    PlotStripLayout layout;
    const double s = std::max(9.0, 0.8 * hud.textSize);
    layout.textSize = s;
    layout.left = hud.barLeft;
    layout.right = hud.barRight;
    layout.bottom = hud.stripTop;
    // Below the display's five lines of figures and the event's line.
    const double figuresBottom = hud.figuresTop - 6.0 * hud.lineSpacing - hud.textSize;
    layout.top = std::max(layout.bottom + 6.0 * s, std::min(hud.stripTop + StripShare * hud.height, figuresBottom));
    layout.axisBaseline = layout.bottom + 0.45 * s;
    layout.plotsBottom = layout.bottom + 1.6 * s;
    layout.bandTop = layout.top - 0.3 * s;
    layout.bandBottom = layout.bandTop - 0.9 * s;
    layout.plotsTop = layout.bandBottom - 0.3 * s;
    const size_t count = std::max<size_t>(plotCount, 1);
    const double gap = 0.3 * s;
    const double each = (layout.plotsTop - layout.plotsBottom - gap * (count - 1)) / count;
    for (size_t i = 0; i < count; ++i)
    {
        const double top = layout.plotsTop - i * (each + gap);
        layout.plots.emplace_back(top - each, top);
    }
    return layout;
}

PlotStrip::PlotStrip(osgText::Font* font) : font(font)
{
    root = new osg::Geode;
    fills = MakeShapes(FillBin);
    lines = MakeShapes(LineBin, GL_LINES);
    cursor = MakeShapes(CursorBin);
    for (osg::Geometry* geometry : {fills.get(), lines.get(), cursor.get()})
        root->addDrawable(geometry);
    root->setNodeMask(0u);
}

std::vector<std::string> PlotStrip::SetSeries(const std::vector<std::string>& chosen)
{
    words.clear();
    series.clear();
    // The series may be another flight's, whose rows lie elsewhere on the clock.
    rowSeconds.clear();
    std::vector<std::string> leftOut;
    for (const std::string& word : chosen)
    {
        PlotSeries made;
        if (words.size() < MostPlots && flight && MakePlotSeries(*flight, word, &made))
        {
            words.push_back(word);
            series.push_back(std::move(made));
        }
        else
            leftOut.push_back(word);
    }
    dirty = true;
    return leftOut;
}

void PlotStrip::CycleLastSeries()
{
    if (!flight)
        return;
    const std::vector<std::string> available = AvailablePlotWords(*flight);
    if (words.empty() || available.empty())
        return;
    const auto current = std::find(available.begin(), available.end(), words.back());
    size_t next = current == available.end() ? 0 : current - available.begin() + 1;
    for (size_t tried = 0; tried < available.size(); ++tried, ++next)
    {
        const std::string& word = available[next % available.size()];
        if (std::find(words.begin(), words.end(), word) == words.end())
        {
            std::vector<std::string> chosen = words;
            chosen.back() = word;
            SetSeries(chosen);
            return;
        }
    }
}

void PlotStrip::ZoomIn()
{
    zoom = std::min(zoom + 1, DeepestPlotZoom);
    windowEnd = windowStart; // placed again about the cursor
    dirty = true;
}

void PlotStrip::ZoomOut()
{
    zoom = std::max(zoom - 1, 0);
    windowEnd = windowStart;
    dirty = true;
}

void PlotStrip::SetShown(bool show)
{
    shown = show;
    root->setNodeMask(show ? ~0u : 0u);
    dirty = true;
}

// The whole flight at zoom 0. Zoomed in, the window stays put while the cursor is inside it
// and turns a page when the cursor leaves it, so that a curve can be read while it plays.
void PlotStrip::PlaceWindow(const PlaybackClock& clock, bool centre)
{
    const double duration = clock.DurationSeconds();
    const double length = std::min(duration, std::max(ShortestPlotWindow, duration / std::ldexp(1.0, zoom)));
    const double now = clock.FlightSeconds();
    if (!centre && windowEnd - windowStart == length && now >= windowStart && now <= windowEnd)
        return;
    double start = zoom == 0 ? 0.0 : now - (centre ? 0.5 : 0.1) * length;
    start = std::clamp(start, 0.0, std::max(duration - length, 0.0));
    if (start != windowStart || start + length != windowEnd)
        dirty = true;
    windowStart = start;
    windowEnd = start + length;
}

void PlotStrip::Show(const HudLayout& hud, const PlaybackClock& clock)
{
    if (!shown)
        return;
    if (rowSeconds.size() != static_cast<size_t>(clock.RowCount()))
    {
        rowSeconds.resize(clock.RowCount());
        for (int32_t row = 0; row < clock.RowCount(); ++row)
            rowSeconds[row] = clock.SecondsAt(row);
    }
    if (hud.width != hudLayout.width || hud.height != hudLayout.height || layout.plots.size() != std::max<size_t>(series.size(), 1))
    {
        hudLayout = hud;
        layout = LayoutPlotStrip(hud, series.size());
        dirty = true;
    }
    PlaceWindow(clock, windowEnd == windowStart);
    if (dirty)
        DrawPlots();
    dirty = false;
    DrawCursor(clock.FlightSeconds());
}

double PlotStrip::XOf(double seconds) const
{
    const double span = windowEnd - windowStart;
    return layout.left + (span > 0.0 ? (seconds - windowStart) / span : 0.0) * (layout.right - layout.left);
}

bool PlotStrip::SecondsAt(double x, double y, double* seconds) const
{
    if (!shown || layout.right <= layout.left || x < layout.left || x > layout.right || y < layout.plotsBottom || y > layout.bandTop)
        return false;
    *seconds = SecondsAlong(x);
    return true;
}

double PlotStrip::SecondsAlong(double x) const
{
    if (!(layout.right > layout.left))
        return windowStart;
    const double fraction = std::clamp((x - layout.left) / (layout.right - layout.left), 0.0, 1.0);
    return windowStart + fraction * (windowEnd - windowStart);
}

osgText::Text* PlotStrip::NextText()
{
    if (textsUsed == texts.size())
    {
        texts.push_back(MakeHudText(font.get()));
        root->addDrawable(texts.back().get());
    }
    osgText::Text* text = texts[textsUsed++].get();
    text->setCharacterSize(static_cast<float>(layout.textSize));
    text->setAlignment(osgText::Text::LEFT_BASE_LINE);
    text->setColor(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    return text;
}

namespace
{
// The rows whose seconds lie within [from, to], and one more on each side, so that the curve
// runs on to the window's edges.
std::pair<int32_t, int32_t> RowsBetween(const std::vector<double>& rowSeconds, double from, double to)
{
    const int32_t first = static_cast<int32_t>(std::lower_bound(rowSeconds.begin(), rowSeconds.end(), from) - rowSeconds.begin());
    const int32_t last = static_cast<int32_t>(std::upper_bound(rowSeconds.begin(), rowSeconds.end(), to) - rowSeconds.begin());
    return {std::max(first - 1, 0), std::min(last, static_cast<int32_t>(rowSeconds.size()) - 1)};
}

// What one pixel column of a curve holds: the span of its rows' values, its first and last
// value, and whether its rows run on from the column before without a break.
struct Column
{
    float low = std::numeric_limits<float>::infinity();
    float high = -std::numeric_limits<float>::infinity();
    float first = 0.0f;
    float last = 0.0f;
    int32_t firstRow = -1;
    int32_t lastRow = -1;
    bool broken = false; // a break within the column
};

struct CurveDrawing
{
    double left, width, start, span, bottom, height, low, high;
    FlightRows flight;
    double X(double seconds) const { return left + (seconds - start) / span * width; }
    double Y(double value) const { return bottom + (value - low) / (high - low) * height; }

    // The part of the line from (x0, y0) to (x1, y1), x0 <= x1, within the plot's sides:
    // false when none is.
    bool Clip(double& x0, double& y0, double& x1, double& y1) const
    {
        const double right = left + width;
        if (x1 < left || x0 > right)
            return false;
        if (x1 > x0)
        {
            if (x0 < left)
                y0 += (y1 - y0) * (left - x0) / (x1 - x0), x0 = left;
            if (x1 > right)
                y1 -= (y1 - y0) * (x1 - right) / (x1 - x0), x1 = right;
        }
        return true;
    }
};

bool Joined(const FlightRows& flight, const std::vector<float>& values, int32_t row)
{
    return JoinsPreviousRow(flight, row) && std::isfinite(values[row]) && std::isfinite(values[row - 1]);
}

// The curve's lines: row to row when there are fewer rows than pixels, else per pixel column.
void DrawCurve(const std::vector<float>& values, const std::vector<double>& rowSeconds, std::pair<int32_t, int32_t> rows, const CurveDrawing& at,
               const osg::Vec4& colour, std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours)
{
    const int32_t count = rows.second - rows.first + 1;
    const int columns = std::max(1, static_cast<int>(at.width));
    if (count <= 2 * columns)
    {
        for (int32_t row = rows.first + 1; row <= rows.second; ++row)
        {
            double x0 = at.X(rowSeconds[row - 1]), y0 = at.Y(values[row - 1]), x1 = at.X(rowSeconds[row]), y1 = at.Y(values[row]);
            if (Joined(at.flight, values, row) && at.Clip(x0, y0, x1, y1))
                AddLine(vertices, colours, x0, y0, x1, y1, colour);
        }
        return;
    }
    std::vector<Column> pixels(columns);
    for (int32_t row = rows.first; row <= rows.second; ++row)
    {
        if (!std::isfinite(values[row]))
            continue;
        const int c = std::clamp(static_cast<int>((rowSeconds[row] - at.start) / at.span * columns), 0, columns - 1);
        Column& column = pixels[c];
        if (column.firstRow < 0)
        {
            column.firstRow = row;
            column.first = values[row];
        }
        else if (!Joined(at.flight, values, row))
            column.broken = true;
        column.lastRow = row;
        column.last = values[row];
        column.low = std::min(column.low, values[row]);
        column.high = std::max(column.high, values[row]);
    }
    const Column* previous = nullptr;
    for (int c = 0; c < columns; ++c)
    {
        const Column& column = pixels[c];
        if (column.firstRow < 0)
            continue;
        const double x = at.left + (c + 0.5) * at.width / columns;
        if (previous && previous->lastRow + 1 == column.firstRow && Joined(at.flight, values, column.firstRow))
            AddLine(vertices, colours, x - at.width / columns, at.Y(previous->last), x, at.Y(column.first), colour);
        // A column drawn as one point still shows, a pixel high.
        AddLine(vertices, colours, x, at.Y(column.low), x, std::max(at.Y(column.high), at.Y(column.low) + 1.0), colour);
        previous = &column;
    }
}
// The ground shaded from the plot's bottom up to its height: row to row, or with more rows
// than pixels, one pixel column at a time up to the highest ground in it.
void ShadeGround(const std::vector<float>& ground, const std::vector<double>& rowSeconds, std::pair<int32_t, int32_t> rows, const CurveDrawing& at,
                 std::vector<osg::Vec3>& vertices, std::vector<osg::Vec4>& colours)
{
    const int columns = std::max(1, static_cast<int>(at.width));
    if (rows.second - rows.first + 1 <= 2 * columns)
    {
        for (int32_t row = rows.first + 1; row <= rows.second; ++row)
        {
            double x0 = at.X(rowSeconds[row - 1]), y0 = at.Y(ground[row - 1]), x1 = at.X(rowSeconds[row]), y1 = at.Y(ground[row]);
            if (Joined(at.flight, ground, row) && at.Clip(x0, y0, x1, y1))
            {
                const osg::Vec3 a(x0, at.bottom, 0.0), b(x1, at.bottom, 0.0), c(x1, y1, 0.0), d(x0, y0, 0.0);
                for (const osg::Vec3& corner : {a, b, c, a, c, d})
                {
                    vertices.push_back(corner);
                    colours.push_back(Colours.ground);
                }
            }
        }
        return;
    }
    std::vector<float> highest(columns, -std::numeric_limits<float>::infinity());
    for (int32_t row = rows.first; row <= rows.second; ++row)
        if (std::isfinite(ground[row]))
        {
            const int c = std::clamp(static_cast<int>((rowSeconds[row] - at.start) / at.span * columns), 0, columns - 1);
            highest[c] = std::max(highest[c], ground[row]);
        }
    for (int c = 0; c < columns; ++c)
        if (std::isfinite(highest[c]))
            AddBox(vertices, colours, at.left + c * at.width / columns, at.bottom, at.left + (c + 1) * at.width / columns, at.Y(highest[c]), Colours.ground);
}
} // namespace

void PlotStrip::DrawPlots()
{
    textsUsed = 0;
    const double s = layout.textSize;
    std::vector<osg::Vec3> fillVertices, lineVertices;
    std::vector<osg::Vec4> fillColours, lineColours;
    AddBox(fillVertices, fillColours, 0.0, layout.bottom, hudLayout.width, layout.top, Colours.backing);

    const double span = std::max(windowEnd - windowStart, 1e-9);
    const double width = layout.right - layout.left;
    const std::pair<int32_t, int32_t> rows = RowsBetween(rowSeconds, windowStart, windowEnd);

    // The time axis: ticks at a round step, labelled under the plots, lines through them.
    double step = TickSteps[std::size(TickSteps) - 1];
    for (const double candidate : TickSteps)
        if (span / candidate <= MostTicks)
        {
            step = candidate;
            break;
        }
    for (double tick = std::ceil(windowStart / step) * step; tick <= windowEnd + 1e-9; tick += step)
    {
        const double x = XOf(tick);
        AddLine(lineVertices, lineColours, x, layout.plotsBottom, x, layout.plotsTop, Colours.grid);
        osgText::Text* label = NextText();
        label->setAlignment(osgText::Text::CENTER_BASE_LINE);
        label->setPosition(osg::Vec3(std::clamp(x, layout.left + 1.5 * s, layout.right - 1.5 * s), layout.axisBaseline, 0.0f));
        SetTextIfChanged(*label, FormatWholeDuration(tick));
    }

    // The modes along the top, the events as marks across the band.
    AddBox(fillVertices, fillColours, layout.left, layout.bandBottom, layout.right, layout.bandTop, Colours.noMode);
    if (timeline)
    {
        for (const ModeSpan& mode : timeline->Modes())
            if (mode.toSeconds >= windowStart && mode.fromSeconds <= windowEnd)
                AddBox(fillVertices, fillColours, std::max(XOf(mode.fromSeconds), layout.left), layout.bandBottom,
                       std::max(std::min(XOf(mode.toSeconds), layout.right), XOf(mode.fromSeconds) + 1.0), layout.bandTop, mode.colour);
        for (const TimelineEvent& event : timeline->Events())
            if (event.seconds >= windowStart && event.seconds <= windowEnd)
            {
                const double x = XOf(event.seconds);
                AddLine(lineVertices, lineColours, x, layout.bandBottom - 0.3 * s, x, layout.bandTop + 0.3 * s, event.colour);
                AddLine(lineVertices, lineColours, x, layout.plotsBottom, x, layout.plotsTop, osg::Vec4(event.colour.r(), event.colour.g(), event.colour.b(), 0.3f));
            }
    }

    for (size_t p = 0; p < series.size(); ++p)
    {
        const PlotSeries& plot = series[p];
        const double bottom = layout.plots[p].first;
        const double top = layout.plots[p].second;
        AddBox(fillVertices, fillColours, layout.left, bottom, layout.right, top, Colours.plot);

        // The value axis spans what the window shows, the ground under the altitude too.
        double low = std::numeric_limits<double>::infinity(), high = -low;
        auto widen = [&](const std::vector<float>& values) {
            for (int32_t row = rows.first; row <= rows.second; ++row)
                if (std::isfinite(values[row]))
                {
                    low = std::min(low, static_cast<double>(values[row]));
                    high = std::max(high, static_cast<double>(values[row]));
                }
        };
        for (const PlotCurve& curve : plot.curves)
            widen(curve.values);
        if (!plot.ground.empty())
            widen(plot.ground);
        if (!(low <= high))
            low = 0.0, high = 1.0;
        // The labels say what the data reach; the axis leaves a little room beyond them.
        const double dataLow = low, dataHigh = high;
        if (high - low < 1e-6)
            low -= 1.0, high += 1.0;
        const double margin = 0.08 * (high - low);
        low -= margin;
        high += margin;
        const CurveDrawing at{layout.left, width, windowStart, span, bottom, top - bottom, low, high, flight->Rows()};
        if (low < 0.0 && high > 0.0)
            AddLine(lineVertices, lineColours, layout.left, at.Y(0.0), layout.right, at.Y(0.0), Colours.zero);

        if (!plot.ground.empty())
            ShadeGround(plot.ground, rowSeconds, rows, at, fillVertices, fillColours);
        for (size_t c = 0; c < plot.curves.size(); ++c)
            DrawCurve(plot.curves[c].values, rowSeconds, rows, at, CurveColours[c % std::size(CurveColours)], lineVertices, lineColours);

        // The title and unit at the top left, the curves' names in their colours after it,
        // the axis's ends at the right.
        osgText::Text* title = NextText();
        title->setPosition(osg::Vec3(layout.left + 0.4 * s, top - 1.1 * s, 0.0f));
        SetTextIfChanged(*title, plot.title + (plot.unit.empty() ? "" : " (" + plot.unit + ")") + (std::any_of(plot.ground.begin(), plot.ground.end(), [](float h) { return std::isfinite(h); }) ? ", ground shaded" : ""));
        double x = title->getBoundingBox().valid() ? title->getBoundingBox().xMax() + s : layout.left;
        for (size_t c = 0; plot.curves.size() > 1 && c < plot.curves.size(); ++c)
        {
            osgText::Text* name = NextText();
            name->setColor(CurveColours[c % std::size(CurveColours)]);
            name->setPosition(osg::Vec3(x, top - 1.1 * s, 0.0f));
            SetTextIfChanged(*name, plot.curves[c].name);
            x = name->getBoundingBox().valid() ? name->getBoundingBox().xMax() + s : x;
        }
        osgText::Text* highLabel = NextText();
        highLabel->setAlignment(osgText::Text::RIGHT_BASE_LINE);
        highLabel->setPosition(osg::Vec3(layout.right - 0.4 * s, top - 1.1 * s, 0.0f));
        SetTextIfChanged(*highLabel, FormatValue(dataHigh, high - low, plot.whole));
        osgText::Text* lowLabel = NextText();
        lowLabel->setAlignment(osgText::Text::RIGHT_BASE_LINE);
        lowLabel->setPosition(osg::Vec3(layout.right - 0.4 * s, bottom + 0.3 * s, 0.0f));
        SetTextIfChanged(*lowLabel, FormatValue(dataLow, high - low, plot.whole));
    }
    for (size_t i = textsUsed; i < texts.size(); ++i)
        SetTextIfChanged(*texts[i], "");
    SetShapes(*fills, fillVertices, fillColours);
    SetShapes(*lines, lineVertices, lineColours);
}

void PlotStrip::DrawCursor(double seconds)
{
    std::vector<osg::Vec3> vertices;
    std::vector<osg::Vec4> colours;
    if (seconds >= windowStart && seconds <= windowEnd)
    {
        const double x = XOf(seconds);
        const double half = std::max(0.08 * layout.textSize, 1.0);
        AddBox(vertices, colours, x - half, layout.plotsBottom, x + half, layout.bandTop + 0.3 * layout.textSize, Colours.cursor);
    }
    SetShapes(*cursor, vertices, colours);
}
