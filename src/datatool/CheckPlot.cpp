#include "datatool/CheckPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include "datatool/CheckReport.h"
#include "log/SampleRow.h"
#include "world/TileFiles.h"

// Drawn with cairo: it draws antialiased lines and text and encodes the PNG itself, which the
// scene graph's image plug-ins would leave to us (they write images, but draw no text).

namespace
{

struct Colour
{
    double r, g, b;
};

// One colour per fault kind, in FaultKind order: the ground's faults warm, the log's cool.
const Colour KindColours[FaultKindCount] = {
    {0.85, 0.10, 0.10}, // below the ground
    {1.00, 0.55, 0.00}, // low flight
    {0.55, 0.20, 0.75}, // time backwards
    {0.85, 0.20, 0.60}, // time gap
    {0.00, 0.60, 0.55}, // sample gap
    {0.85, 0.75, 0.00}, // position jump
    {0.35, 0.55, 0.95}, // climb rate
    {0.50, 0.30, 0.10}, // bad position
    {0.40, 0.60, 0.20}, // bad attitude
    {0.00, 0.75, 0.90}, // frozen GPS
};
const Colour AltitudeColour = {0.08, 0.16, 0.55};
const Colour TerrainColour = {0.55, 0.45, 0.30};
const Colour GroundEndsColour = {0.75, 0.75, 0.75}; // take-off and landing
const Colour NoGroundColour = {0.45, 0.45, 0.45};

// The plot area within the picture, in pixels.
const double Left = 90.0;
const double Right = CheckPlotWidth - 230.0;
const double Top = 50.0;
const double Bottom = CheckPlotHeight - 70.0;
const double LaneHeight = 9.0; // of each fault kind's bars along the top

// A linear axis: data values to pixels, with round tick steps (1, 2 or 5 times a power of ten).
struct Axis
{
    double low = 0.0;
    double high = 1.0;
    double from = 0.0; // pixel of `low`
    double to = 1.0;   // pixel of `high`

    double Pixel(double value) const { return from + (value - low) / (high - low) * (to - from); }

    double TickStep(int wanted) const
    {
        const double raw = (high - low) / wanted;
        const double power = std::pow(10.0, std::floor(std::log10(raw)));
        for (double factor : {1.0, 2.0, 5.0})
            if (factor * power >= raw)
                return factor * power;
        return 10.0 * power;
    }
};

// The range of the values, at least one unit wide, with room below and above them (shares
// of the whole axis).
void SetRange(Axis* axis, double minimum, double maximum, double below, double above)
{
    if (!(minimum <= maximum))
        minimum = maximum = 0.0;
    const double span = std::max(maximum - minimum, 1.0) / (1.0 - below - above);
    axis->low = minimum - span * below;
    axis->high = maximum + span * above;
}

void SetColour(cairo_t* cr, const Colour& colour, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha);
}

void Text(cairo_t* cr, double x, double y, const std::string& text, double size, double alignX = 0.0, bool bold = false)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - alignX * extents.x_advance, y);
    cairo_show_text(cr, text.c_str());
}

std::string Number(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%g", std::fabs(value) < 1e-9 ? 0.0 : value);
    return text;
}

// The pixels between two times, at least 3 wide so that a fault of one sample shows.
void Span(const Axis& x, double time1, double time2, double* a, double* b)
{
    *a = x.Pixel(std::min(time1, time2));
    *b = x.Pixel(std::max(time1, time2));
    if (*b - *a < 3.0)
    {
        const double middle = (*a + *b) / 2.0;
        *a = middle - 1.5;
        *b = middle + 1.5;
    }
}

// A band over the whole height of the plot between two times.
void Band(cairo_t* cr, const Axis& x, double time1, double time2, const Colour& colour, double alpha)
{
    double a = 0.0, b = 0.0;
    Span(x, time1, time2, &a, &b);
    SetColour(cr, colour, alpha);
    cairo_rectangle(cr, a, Top, b - a, Bottom - Top);
    cairo_fill(cr);
}

// A solid bar in the kind's own lane along the top of the plot: where the bands of two kinds
// lie over each other (a dropout is a gap in time and in samples at once), the lanes still
// tell them apart.
void LaneBar(cairo_t* cr, const Axis& x, double time1, double time2, const Colour& colour, int lane)
{
    double a = 0.0, b = 0.0;
    Span(x, time1, time2, &a, &b);
    SetColour(cr, colour, 0.9);
    cairo_rectangle(cr, a, Top + 3.0 + lane * LaneHeight, b - a, LaneHeight - 2.0);
    cairo_fill(cr);
}

// A faint grid line from (x1, y1) to (x2, y2) and its value in black at (textX, textY),
// aligned by `align` (0 left, 0.5 centred, 1 right).
void GridLine(cairo_t* cr, double x1, double y1, double x2, double y2, double value, double textX, double textY, double align)
{
    cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.12);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    Text(cr, textX, textY, Number(value), 12.0, align);
}

void Axes(cairo_t* cr, const Axis& x, const Axis& y)
{
    cairo_set_line_width(cr, 1.0);
    const double xStep = x.TickStep(12);
    for (double t = std::ceil(x.low / xStep) * xStep; t <= x.high; t += xStep)
    {
        const double px = std::round(x.Pixel(t)) + 0.5;
        GridLine(cr, px, Top, px, Bottom, t, px, Bottom + 18.0, 0.5);
    }
    const double yStep = y.TickStep(10);
    for (double v = std::ceil(y.low / yStep) * yStep; v <= y.high; v += yStep)
    {
        const double py = std::round(y.Pixel(v)) + 0.5;
        GridLine(cr, Left, py, Right, py, v, Left - 8.0, py + 4.0, 1.0);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_rectangle(cr, Left + 0.5, Top + 0.5, Right - Left, Bottom - Top);
    cairo_stroke(cr);
    Text(cr, (Left + Right) / 2.0, Bottom + 45.0, "time since the first sample (s)", 14.0, 0.5);
    cairo_save(cr);
    cairo_translate(cr, 28.0, (Top + Bottom) / 2.0);
    cairo_rotate(cr, -Pi / 2.0);
    Text(cr, 0.0, 0.0, "altitude above sea level (m)", 14.0, 0.5);
    cairo_restore(cr);
}

// One legend entry: a swatch (a filled box, or a line when `line`) and its words.
void LegendEntry(cairo_t* cr, double* y, const Colour& colour, double alpha, const std::string& label, bool line)
{
    const double x = Right + 20.0;
    SetColour(cr, colour, alpha);
    if (line)
    {
        cairo_set_line_width(cr, 2.5);
        cairo_move_to(cr, x, *y - 5.0);
        cairo_line_to(cr, x + 22.0, *y - 5.0);
        cairo_stroke(cr);
    }
    else
    {
        cairo_rectangle(cr, x, *y - 12.0, 22.0, 14.0);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    Text(cr, x + 30.0, *y, label, 13.0);
    *y += 22.0;
}

struct Point
{
    double x;
    double y;
};

// The points of a line with those that fall into one pixel column reduced to the first, the
// lowest, the highest and the last, in their order: the same picture from at most four
// points a column, however many samples a log has.
std::vector<Point> ReduceToColumns(const std::vector<Point>& points)
{
    std::vector<Point> reduced;
    for (size_t i = 0; i < points.size();)
    {
        const double column = std::floor(points[i].x);
        size_t end = i, lowest = i, highest = i;
        for (; end < points.size() && std::floor(points[end].x) == column; ++end)
        {
            lowest = points[end].y < points[lowest].y ? end : lowest;
            highest = points[end].y > points[highest].y ? end : highest;
        }
        size_t keep[4] = {i, std::min(lowest, highest), std::max(lowest, highest), end - 1};
        for (size_t k = 0; k < 4; ++k)
            if (k == 0 || keep[k] != keep[k - 1])
                reduced.push_back(points[keep[k]]);
        i = end > i ? end : i + 1;
    }
    return reduced;
}

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

bool WriteCheckPlot(const std::string& path, const std::string& title, const SampleRow* rows, const FlightCheckReport& report)
{
    const int32_t count = static_cast<int32_t>(report.samples.size());
    // The ranges: times that are numbers, altitudes of valid positions and the ground drawn.
    double timeLow = INFINITY, timeHigh = -INFINITY, heightLow = INFINITY, heightHigh = -INFINITY;
    for (int32_t i = 0; i < count; ++i)
    {
        if (std::isfinite(rows[i].gps_time))
        {
            timeLow = std::min(timeLow, rows[i].gps_time);
            timeHigh = std::max(timeHigh, rows[i].gps_time);
        }
        if (report.samples[i].validPosition && std::isfinite(rows[i].gps_curalt))
        {
            heightLow = std::min(heightLow, rows[i].gps_curalt);
            heightHigh = std::max(heightHigh, rows[i].gps_curalt);
        }
        if (report.samples[i].clearance.covered)
        {
            heightLow = std::min(heightLow, report.samples[i].clearance.terrain);
            heightHigh = std::max(heightHigh, report.samples[i].clearance.terrain);
        }
    }
    const double start = std::isfinite(timeLow) ? timeLow : 0.0;
    Axis x;
    x.from = Left;
    x.to = Right;
    SetRange(&x, 0.0, std::isfinite(timeHigh) ? timeHigh - start : 0.0, 0.0, 0.0);
    Axis y;
    y.from = Bottom;
    y.to = Top;
    // Room at the top for a lane of bars per fault kind found.
    int lanes = 0;
    for (const std::vector<FaultStretch>& stretches : report.faults)
        lanes += stretches.empty() ? 0 : 1;
    SetRange(&y, heightLow, heightHigh, 0.05, 0.05 + (lanes * LaneHeight + 4.0) / (Bottom - Top));
    const auto time = [&](int32_t i) { return rows[i].gps_time - start; };
    const auto drawable = [&](int32_t i) { return std::isfinite(rows[i].gps_time) && report.samples[i].validPosition && std::isfinite(rows[i].gps_curalt); };

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, CheckPlotWidth, CheckPlotHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);

    // Shading first, under everything: take-off and landing, where no ground is drawn, and
    // the fault stretches.
    if (report.hasTakeOff)
        Band(cr, x, time(report.takeOff.firstRow), time(report.takeOff.lastRow), GroundEndsColour, 0.45);
    if (report.hasLanding)
        Band(cr, x, time(report.landing.firstRow), time(report.landing.lastRow), GroundEndsColour, 0.45);
    bool anyUncovered = false;
    for (int32_t i = 0; i < count; ++i)
        if (!report.samples[i].clearance.covered && std::isfinite(rows[i].gps_time))
        {
            anyUncovered = true;
            // A strip along the foot of the plot, one sample wide (to the next sample).
            const double a = x.Pixel(time(i));
            const double b = i + 1 < count && std::isfinite(rows[i + 1].gps_time) ? x.Pixel(time(i + 1)) : a + 2.0;
            SetColour(cr, NoGroundColour, 0.8);
            cairo_rectangle(cr, std::min(a, b), Bottom - 8.0, std::max(std::fabs(b - a), 2.0), 8.0);
            cairo_fill(cr);
        }
    const auto drawnStretch = [&](const FaultStretch& stretch) { return std::isfinite(rows[stretch.firstRow].gps_time) && std::isfinite(rows[stretch.lastRow].gps_time); };
    for (int32_t k = 0; k < FaultKindCount; ++k)
        for (const FaultStretch& stretch : report.faults[k])
            if (drawnStretch(stretch))
                Band(cr, x, time(stretch.firstRow), time(stretch.lastRow), KindColours[k], 0.22);

    cairo_save(cr);
    cairo_rectangle(cr, Left, Top, Right - Left, Bottom - Top);
    cairo_clip(cr);
    // The ground under the flight: filled down to the foot of the plot, one piece per run of
    // samples over drawn ground.
    std::vector<Point> line;
    for (int32_t i = 0; i < count;)
    {
        line.clear();
        for (; i < count && report.samples[i].clearance.covered && std::isfinite(rows[i].gps_time); ++i)
            line.push_back(Point{x.Pixel(time(i)), y.Pixel(report.samples[i].clearance.terrain)});
        if (line.empty())
        {
            ++i;
            continue;
        }
        const std::vector<Point> ground = ReduceToColumns(line);
        cairo_move_to(cr, ground.front().x, Bottom);
        for (const Point& point : ground)
            cairo_line_to(cr, point.x, point.y);
        cairo_line_to(cr, ground.back().x, Bottom);
        cairo_close_path(cr);
        SetColour(cr, TerrainColour, 0.55);
        cairo_fill_preserve(cr);
        SetColour(cr, TerrainColour);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    // The altitude, broken where a row has no valid position or time.
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    SetColour(cr, AltitudeColour);
    for (int32_t i = 0; i < count;)
    {
        line.clear();
        for (; i < count && drawable(i); ++i)
            line.push_back(Point{x.Pixel(time(i)), y.Pixel(rows[i].gps_curalt)});
        if (line.empty())
        {
            ++i;
            continue;
        }
        const std::vector<Point> flight = ReduceToColumns(line);
        cairo_move_to(cr, flight.front().x, flight.front().y);
        for (const Point& point : flight)
            cairo_line_to(cr, point.x, point.y);
        cairo_stroke(cr);
    }
    int lane = 0;
    for (int32_t k = 0; k < FaultKindCount; ++k)
    {
        if (report.faults[k].empty())
            continue;
        for (const FaultStretch& stretch : report.faults[k])
            if (drawnStretch(stretch))
                LaneBar(cr, x, time(stretch.firstRow), time(stretch.lastRow), KindColours[k], lane);
        ++lane;
    }
    cairo_restore(cr);

    Axes(cr, x, y);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    Text(cr, Left, 30.0, title, 17.0, 0.0, true);

    double legendY = Top + 14.0;
    LegendEntry(cr, &legendY, AltitudeColour, 1.0, "altitude (GPS)", true);
    LegendEntry(cr, &legendY, TerrainColour, 0.55, "drawn ground", false);
    if (report.hasTakeOff || report.hasLanding)
        LegendEntry(cr, &legendY, GroundEndsColour, 0.45, "take-off, landing", false);
    if (anyUncovered)
        LegendEntry(cr, &legendY, NoGroundColour, 0.8, "no ground drawn", false);
    for (int32_t k = 0; k < FaultKindCount; ++k)
        if (!report.faults[k].empty())
            LegendEntry(cr, &legendY, KindColours[k], 0.9, FaultKindLabel(static_cast<FaultKind>(k)), false);

    std::string png;
    cairo_surface_flush(surface);
    const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS && cairo_surface_write_to_png_stream(surface, AppendPng, &png) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    // The font caches cairo and fontconfig keep for the process, handed back: the tool draws
    // one plot per run, and the leak checker of the sanitizer build would count them. Both
    // set themselves up again when a later plot needs them.
    cairo_debug_reset_static_data();
    FcFini();
    return drawn && WriteFileAtomically(path, png.data(), png.size());
}
