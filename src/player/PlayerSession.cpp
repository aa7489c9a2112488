#include "player/PlayerSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <osg/MatrixTransform>
#include <osg/Vec2d>
#include <osg/Viewport>
#include <osgViewer/View>

#include "app/FlightLoading.h"
#include "geo/ReplayFiles.h"
#include "log/SampleTable.h"
#include "player/ColourLegend.h"
#include "player/FlightReadout.h"
#include "player/PlayerDisplay.h"
#include "player/PlayerKeys.h"
#include "scene/FlightPath.h"

osg::Matrixd AircraftMatrixAt(double position)
{
    const int32_t lastRow = SampleTable.rowCount - 1;
    const double held = std::clamp(position, 0.0, static_cast<double>(lastRow));
    const int32_t row = static_cast<int32_t>(held);
    const double fraction = held - row;
    osg::AnimationPath::ControlPoint point = FlightPathPoint(SampleTable.rows[row]);
    if (fraction > 0.0 && row < lastRow)
    {
        const osg::AnimationPath::ControlPoint from = point;
        point.interpolate(fraction, from, FlightPathPoint(SampleTable.rows[row + 1]));
    }
    osg::Matrixd matrix;
    point.getMatrix(matrix);
    return matrix;
}

std::vector<double> TableLogTimes()
{
    std::vector<double> times(std::max<int32_t>(SampleTable.rowCount, 1));
    for (size_t i = 0; i < times.size(); ++i)
        times[i] = SampleTable.rows[i].gps_time;
    return times;
}

PlayerSession::PlayerSession(const PlayerViewOptions& options)
    : clock(TableLogTimes(), SampleTable.SampleStep, ReplaySpeedUp), hud(new PlayerHud), axis(TimelineAxisOfTable())
{
    events = EventTimeline(LoadedFlightEvents(), clock, axis);
    timeline.spans = SelectedSpans(axis);
    for (const ModeSpan& mode : events.Modes())
        timeline.modes.push_back(TimelineMode{TimelineSpan{mode.fromFraction, mode.toFraction}, mode.colour});
    for (const TimelineEvent& event : events.Events())
        timeline.marks.push_back(TimelineMark{event.fraction, event.colour});
    hud->ShowModeLegend(events.ModeLegend());
    plots = new PlotStrip(hud->Font());
    plots->SetEvents(&events);
    hud->Camera()->addChild(plots->Node());
    if (!options.plots.empty())
    {
        for (const std::string& word : plots->SetSeries(options.plots))
            fprintf(stderr, "--plot: the log has no %s column, so it is not plotted\n", word.c_str());
        plots->SetShown(!plots->Words().empty());
    }
    timeline.firstLabel = "sample " + std::to_string(axis.first);
    timeline.lastLabel = std::to_string(axis.last);
    hud->ShowAttribution(AttributionLines(AttributionFile));
    const char* path = getenv(DisplayLogVariable);
    if (path)
        displayLog = path;
}

std::vector<std::string> PlayerSession::Lines() const
{
    std::vector<std::string> lines = DisplayLines(ReadFlightAt(clock.Row()), clock);
    if (const TimelineEvent* nearest = events.NearestEvent(clock.FlightSeconds()))
        lines.push_back(EventLine(*nearest, clock.FlightSeconds()));
    return lines;
}

void PlayerSession::SetDisplayVisible(bool visible)
{
    hud->SetVisible(visible);
    plots->Node()->setNodeMask(visible && plots->Shown() ? ~0u : 0u);
}

void PlayerSession::TogglePlots()
{
    if (plots->Words().empty())
        plots->SetSeries(DefaultPlotWords());
    plots->SetShown(!plots->Shown());
    SetDisplayVisible(hud->Visible());
}

TrackColouring PlayerSession::ColourTrack(TrackColourBy by)
{
    trackColours = ::ColourTrack(by, events.ModeChanges());
    legendWidth = legendHeight = 0;
    return trackColours;
}

void PlayerSession::PlaceTrackLegend(int width, int height)
{
    if (trackColours.by == TrackColourBy::None || (width == legendWidth && height == legendHeight))
        return;
    legendWidth = width;
    legendHeight = height;
    if (trackLegend)
        hud->Camera()->removeChild(trackLegend.get());
    // At the top right, clear of the figures at the top left.
    const HudLayout layout = LayoutHud(width, height);
    const double legendWidthPixels = std::min(0.3 * width, 24.0 * layout.textSize);
    const double legendHeightPixels = LegendHeight(trackColours, legendWidthPixels, layout.textSize);
    osg::ref_ptr<osg::Geode> legend = BuildColourLegend(trackColours, width - layout.textSize - legendWidthPixels, height - layout.textSize - legendHeightPixels,
                                                       legendWidthPixels, legendHeightPixels, layout.textSize, hud->Font());
    // Replaced when the window's size changes, maybe while the last frame is still drawn:
    // dynamic, so the viewer finishes drawing it before the next frame's events.
    for (unsigned int i = 0; i < legend->getNumDrawables(); ++i)
        legend->getDrawable(i)->setDataVariance(osg::Object::DYNAMIC);
    trackLegend = legend;
    hud->Camera()->addChild(trackLegend.get());
}

double PlayerSession::CoveredBelow(int width, int height) const
{
    if (!plots->Shown() || plots->Node()->getNodeMask() == 0u || height <= 0)
        return 0.0;
    return LayoutPlotStrip(LayoutHud(width, height), plots->Words().size()).top / height;
}

void LiftPicture(osg::Camera& camera, double lift, double* applied)
{
    if (lift == *applied)
        return;
    // In clip coordinates, after the projection, so the field of view stays as it is: a point
    // at the middle of the window (0 in normalised coordinates) moves up to `lift`, the middle
    // of the window's share from `lift` to its top.
    camera.setProjectionMatrix(camera.getProjectionMatrix() * osg::Matrix::translate(0.0, lift - *applied, 0.0));
    *applied = lift;
}

void PlayerSession::SeekSeconds(double seconds)
{
    clock.SeekRow(static_cast<int32_t>(std::lround(clock.PositionAt(seconds))));
}

void PlayerSession::Refresh(int width, int height, bool figures)
{
    if (figures || shownLines.empty())
        shownLines = Lines();
    timeline.current = TimelineFraction(axis, SampleNumberAtPosition(clock.Position()));
    hud->Show(shownLines, timeline, width, height);
    plots->Show(hud->Layout(), clock);
    PlaceTrackLegend(width, height);
    if (!displayLog.empty() && shownLines != loggedLines)
        WriteDisplayLog();
}

void PlayerSession::WriteDisplayLog()
{
    loggedLines = shownLines;
    // Written beside and renamed over, so a reader never sees half the lines.
    const std::string partial = displayLog + ".partial";
    FILE* file = fopen(partial.c_str(), "w");
    if (!file)
        return;
    for (const std::string& line : loggedLines)
        fprintf(file, "%s\n", line.c_str());
    const bool written = fclose(file) == 0;
    if (written)
        rename(partial.c_str(), displayLog.c_str());
}

void ClockedAircraft::operator()(osg::Node* node, osg::NodeVisitor* visitor)
{
    static_cast<osg::MatrixTransform*>(node)->setMatrix(AircraftMatrixAt(session->clock.Position()));
    traverse(node, visitor);
}

namespace
{
// The pointer in the display's pixels, which count from the bottom left. Normalised
// coordinates run from -1 to 1 with y upwards, whatever the window's own orientation.
osg::Vec2d PointerOnDisplay(const osgGA::GUIEventAdapter& event, const HudLayout& layout)
{
    return osg::Vec2d((event.getXnormalized() + 1.0) / 2.0 * layout.width, (event.getYnormalized() + 1.0) / 2.0 * layout.height);
}
} // namespace

bool PlayerControls::FractionUnderPointer(const osgGA::GUIEventAdapter& event, double* fraction) const
{
    const HudLayout& layout = session->hud->Layout();
    if (!session->hud->Visible() || layout.width <= 0.0)
        return false;
    const osg::Vec2d pointer = PointerOnDisplay(event, layout);
    return TimelineFractionAt(layout, pointer.x(), pointer.y(), fraction);
}

void PlayerControls::SeekTimeline(double fraction)
{
    session->clock.SeekRow(RowAtTimelineFraction(session->axis, fraction));
    Refresh(true);
}

void PlayerControls::SeekPlot(double seconds)
{
    session->SeekSeconds(seconds);
    Refresh(true);
}

void PlayerControls::Refresh(bool figures)
{
    const osg::Viewport* viewport = session->hud->Camera()->getViewport();
    if (viewport)
        session->Refresh(static_cast<int>(viewport->width()), static_cast<int>(viewport->height()), figures);
}

bool PlayerControls::handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions)
{
    double fraction = 0.0;
    switch (event.getEventType())
    {
    case osgGA::GUIEventAdapter::FRAME:
        if (lastFrameTime >= 0.0)
            session->clock.Advance(event.getTime() - lastFrameTime);
        lastFrameTime = event.getTime();
        if (session->clock.Paused() || !(event.getTime() - lastFiguresTime < 1.0 / FiguresPerSecond))
        {
            lastFiguresTime = event.getTime();
            Refresh(true);
        }
        else
            Refresh(false);
        if (osgViewer::View* view = dynamic_cast<osgViewer::View*>(&actions))
        {
            const HudLayout& layout = session->hud->Layout();
            LiftPicture(*view->getCamera(), session->CoveredBelow(static_cast<int>(layout.width), static_cast<int>(layout.height)), &lift);
        }
        return false;
    case osgGA::GUIEventAdapter::KEYDOWN:
    {
        const PlayerAction action = ActionOfKey(event.getKey());
        if (action == PlayerAction::None)
            return false;
        switch (action)
        {
        case PlayerAction::ToggleDisplay: session->SetDisplayVisible(!session->hud->Visible()); break;
        case PlayerAction::TogglePlots: session->TogglePlots(); break;
        case PlayerAction::CycleSeries: session->plots->CycleLastSeries(); break;
        case PlayerAction::ZoomIn: session->plots->ZoomIn(); break;
        case PlayerAction::ZoomOut: session->plots->ZoomOut(); break;
        default: ApplyAction(action, session->clock); break;
        }
        Refresh(true);
        return true;
    }
    case osgGA::GUIEventAdapter::PUSH:
    {
        if (event.getButton() != osgGA::GUIEventAdapter::LEFT_MOUSE_BUTTON)
            return false;
        double seconds = 0.0;
        const osg::Vec2d pointer = PointerOnDisplay(event, session->hud->Layout());
        if (session->plots->Node()->getNodeMask() != 0u && session->plots->SecondsAt(pointer.x(), pointer.y(), &seconds))
        {
            scrubbingPlot = true;
            SeekPlot(seconds);
            return true;
        }
        if (!FractionUnderPointer(event, &fraction))
            return false;
        scrubbing = true;
        SeekTimeline(fraction);
        return true;
    }
    case osgGA::GUIEventAdapter::DRAG:
    {
        if (scrubbingPlot)
        {
            SeekPlot(session->plots->SecondsAlong(PointerOnDisplay(event, session->hud->Layout()).x()));
            return true;
        }
        if (!scrubbing)
            return false;
        // Above or beside the bar the pointer still seeks: along it, or to the nearer end.
        const HudLayout& layout = session->hud->Layout();
        const double x = PointerOnDisplay(event, layout).x();
        SeekTimeline(std::clamp((x - layout.barLeft) / (layout.barRight - layout.barLeft), 0.0, 1.0));
        return true;
    }
    case osgGA::GUIEventAdapter::RELEASE:
        if (!scrubbing && !scrubbingPlot)
            return false;
        scrubbing = scrubbingPlot = false;
        return true;
    default:
        return false;
    }
}
