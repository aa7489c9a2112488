#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <osg/Vec4>

#include "flight/LoadedFlight.h"
#include "player/PlaybackClock.h"
#include "player/Timeline.h"
#include "scene/TrackColouring.h"
#include "track/FlightEvents.h"

// The log's events and flight modes on the player's clock: where each falls on the timeline
// (a fraction of its sample axis) and on the plots' time axis (flight seconds), so that one
// clock drives the 3-D view, the timeline and the plots.

// Rows of a flight by gps_time, for times that fall between rows: an event's, a mode
// change's. Built once; the rows' times need not increase.
class LogTimeIndex
{
public:
    explicit LogTimeIndex(const FlightRows& flight); // at least one row, kept by the caller
    // The clock position (a fractional row index) of a log time: between two neighbouring
    // rows of one stretch (JoinsPreviousRow) whose times enclose it, as far between them as
    // the time is; elsewhere the row nearest in time.
    double PositionAt(double logTime) const;

private:
    FlightRows flight;
    std::vector<std::pair<double, int32_t>> byTime;
};

struct TimelineEvent
{
    FlightEvent event;      // time on gps_time's clock
    double position = 0.0;  // clock position
    double seconds = 0.0;   // flight seconds (PlaybackClock::SecondsAt)
    double fraction = 0.0;  // of the timeline's sample axis
    osg::Vec4 colour;       // of its mark, by kind and severity
};

struct ModeSpan
{
    std::string name;
    osg::Vec4 colour;
    double fromSeconds = 0.0; // flight seconds
    double toSeconds = 0.0;
    double fromFraction = 0.0; // of the timeline's sample axis
    double toFraction = 0.0;
};

class EventTimeline
{
public:
    EventTimeline() = default;
    // The events in time order. Modes come from the mode events when there are any, else from
    // the ap_status column when the log carries it ("mode 3"), else there are none.
    EventTimeline(const LoadedFlight& flight, const PlaybackClock& clock, const TimelineAxis& axis);

    const std::vector<TimelineEvent>& Events() const { return events; }
    const std::vector<ModeSpan>& Modes() const { return modes; }
    // The mode names with their colours, in order of first appearance: the legend.
    const std::vector<std::pair<osg::Vec4, std::string>>& ModeLegend() const { return legend; }
    // Where the modes change, for colouring the track by mode the same way.
    const std::vector<ModeChange>& ModeChanges() const { return changes; }

    // The event nearest in flight seconds to `seconds` (the earlier on a tie); null without any.
    const TimelineEvent* NearestEvent(double seconds) const;

private:
    std::vector<TimelineEvent> events;
    std::vector<ModeSpan> modes;
    std::vector<std::pair<osg::Vec4, std::string>> legend;
    std::vector<ModeChange> changes;
};

// The display's line for the event nearest the clock, empty without events:
// "event 3:12.4 mode POSCTL (4.0 s ago)".
std::string EventLine(const TimelineEvent& event, double seconds);
