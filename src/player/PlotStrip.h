#pragma once
#include <string>
#include <vector>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Referenced>
#include <osg/ref_ptr>
#include <osgText/Font>
#include <osgText/Text>

#include "player/EventTimeline.h"
#include "player/PlaybackClock.h"
#include "player/PlayerHud.h"
#include "player/PlotSeries.h"

// The plot strip: one to four series stacked above the display's bottom strip, over a time
// window of the flight on the clock's own seconds (PlaybackClock::FlightSeconds), with the
// flight modes as a coloured band along its top, the events as marks in it, and a cursor at
// the clock's position. Drawn in window pixels under the display's camera.
//
// A line is drawn only between neighbouring rows of one stretch (JoinsPreviousRow) whose
// values are both known, so gaps in the data and rows left out show as breaks. Over a window
// of more rows than pixels, each pixel column draws the span of its rows' values.

// Where the strip lies in the window, and each plot in it (pixels, origin at the bottom left).
struct PlotStripLayout
{
    double left = 0.0; // as the timeline bar, so that times line up with it
    double right = 0.0;
    double bottom = 0.0;    // of the strip, above the display's bottom strip
    double axisBaseline = 0.0; // of the time labels, under the plots
    double plotsBottom = 0.0;
    double plotsTop = 0.0;
    double bandBottom = 0.0; // the modes' band, the events' marks on it
    double bandTop = 0.0;
    double top = 0.0;
    double textSize = 0.0;
    std::vector<std::pair<double, double>> plots; // bottom and top of each, top plot first
};

PlotStripLayout LayoutPlotStrip(const HudLayout& hud, size_t plotCount);

// The window of flight seconds shown: the whole flight, or at zoom level k a 2^-k share of it
// (never shorter than ShortestPlotWindow) that holds the cursor.
const double ShortestPlotWindow = 10.0; // seconds
const int DeepestPlotZoom = 12;

class PlotStrip : public osg::Referenced
{
public:
    explicit PlotStrip(osgText::Font* font);

    osg::Node* Node() const { return root.get(); }

    // The flight the series are made of, kept by the caller; the series are made again by
    // SetSeries.
    void SetFlight(const LoadedFlight* shown) { flight = shown; }
    // The series to plot (at most MostPlots words); returns those left out, which the flight
    // cannot show.
    std::vector<std::string> SetSeries(const std::vector<std::string>& words);
    const std::vector<std::string>& Words() const { return words; }
    // The modes and events to mark.
    void SetEvents(const EventTimeline* events) { timeline = events; dirty = true; }

    // Replaces the last plot's series by the next one the flight can show that no other plot
    // shows, in the order of AvailablePlotWords.
    void CycleLastSeries();

    void ZoomIn();
    void ZoomOut();
    int Zoom() const { return zoom; }

    void SetShown(bool shown);
    bool Shown() const { return shown; }

    // Draws the strip for the clock, within the display's layout.
    void Show(const HudLayout& hud, const PlaybackClock& clock);

    // The flight seconds under window point (x, y), when it lies on the strip's plots or band.
    bool SecondsAt(double x, double y, double* seconds) const;
    // The flight seconds at x along the window shown (held within it), for a drag.
    double SecondsAlong(double x) const;

    const PlotStripLayout& Layout() const { return layout; }
    double WindowStart() const { return windowStart; }
    double WindowEnd() const { return windowEnd; }

private:
    void PlaceWindow(const PlaybackClock& clock, bool centre);
    void DrawPlots();
    void DrawCursor(double seconds);
    osgText::Text* NextText();
    double XOf(double seconds) const;

    osg::ref_ptr<osgText::Font> font;
    osg::ref_ptr<osg::Geode> root;
    osg::ref_ptr<osg::Geometry> fills; // backing, ground, mode band: triangles
    osg::ref_ptr<osg::Geometry> lines; // grid, curves, event marks
    osg::ref_ptr<osg::Geometry> cursor;
    std::vector<osg::ref_ptr<osgText::Text>> texts;
    size_t textsUsed = 0;

    const LoadedFlight* flight = nullptr;
    std::vector<std::string> words;
    std::vector<PlotSeries> series;
    const EventTimeline* timeline = nullptr;
    std::vector<double> rowSeconds; // flight seconds of each row, from the clock
    PlotStripLayout layout;
    HudLayout hudLayout;
    int zoom = 0;
    double windowStart = 0.0;
    double windowEnd = 0.0;
    bool shown = false;
    bool dirty = true; // the plots must be drawn again: series, window or layout changed
};
