#include "player/PlayerSession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <osg/MatrixTransform>
#include <osg/Vec2d>
#include <osg/Viewport>

#include "geo/ReplayFiles.h"
#include "log/SampleTable.h"
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

PlayerSession::PlayerSession()
    : clock(TableLogTimes(), SampleTable.SampleStep, ReplaySpeedUp), hud(new PlayerHud), axis(TimelineAxisOfTable())
{
    timeline.spans = SelectedSpans(axis);
    timeline.firstLabel = "sample " + std::to_string(axis.first);
    timeline.lastLabel = std::to_string(axis.last);
    hud->ShowAttribution(AttributionLines(AttributionFile));
    const char* path = getenv(DisplayLogVariable);
    if (path)
        displayLog = path;
}

std::vector<std::string> PlayerSession::Lines() const
{
    return DisplayLines(ReadFlightAt(clock.Row()), clock);
}

void PlayerSession::Refresh(int width, int height, bool figures)
{
    if (figures || shownLines.empty())
        shownLines = Lines();
    timeline.current = TimelineFraction(axis, SampleNumberAtPosition(clock.Position()));
    hud->Show(shownLines, timeline, width, height);
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

void PlayerControls::Refresh(bool figures)
{
    const osg::Viewport* viewport = session->hud->Camera()->getViewport();
    if (viewport)
        session->Refresh(static_cast<int>(viewport->width()), static_cast<int>(viewport->height()), figures);
}

bool PlayerControls::handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter&)
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
        return false;
    case osgGA::GUIEventAdapter::KEYDOWN:
    {
        const PlayerAction action = ActionOfKey(event.getKey());
        if (action == PlayerAction::None)
            return false;
        if (action == PlayerAction::ToggleDisplay)
            session->hud->SetVisible(!session->hud->Visible());
        ApplyAction(action, session->clock);
        Refresh(true);
        return true;
    }
    case osgGA::GUIEventAdapter::PUSH:
        if (event.getButton() != osgGA::GUIEventAdapter::LEFT_MOUSE_BUTTON || !FractionUnderPointer(event, &fraction))
            return false;
        scrubbing = true;
        SeekTimeline(fraction);
        return true;
    case osgGA::GUIEventAdapter::DRAG:
    {
        if (!scrubbing)
            return false;
        // Above or beside the bar the pointer still seeks: along it, or to the nearer end.
        const HudLayout& layout = session->hud->Layout();
        const double x = PointerOnDisplay(event, layout).x();
        SeekTimeline(std::clamp((x - layout.barLeft) / (layout.barRight - layout.barLeft), 0.0, 1.0));
        return true;
    }
    case osgGA::GUIEventAdapter::RELEASE:
        if (!scrubbing)
            return false;
        scrubbing = false;
        return true;
    default:
        return false;
    }
}
