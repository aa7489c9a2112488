#include "player/EventTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "log/LogKeywords.h"
#include "log/SampleRates.h"
#include "player/PlayerDisplay.h"

LogTimeIndex::LogTimeIndex(const FlightRows& flight) : flight(flight)
{
    for (int32_t row = 0; row < flight.count; ++row)
        byTime.emplace_back(flight[row].gps_time, row);
    std::stable_sort(byTime.begin(), byTime.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

double LogTimeIndex::PositionAt(double logTime) const
{
    if (!std::isfinite(logTime))
        return 0.0;
    const auto after = std::lower_bound(byTime.begin(), byTime.end(), logTime, [](const auto& entry, double t) { return entry.first < t; });
    if (after == byTime.begin())
        return after->second;
    if (after == byTime.end())
        return byTime.back().second;
    const auto before = after - 1;
    const double span = after->first - before->first;
    if (after->second == before->second + 1 && JoinsPreviousRow(flight, after->second) && span > 0.0)
        return before->second + (logTime - before->first) / span;
    return logTime - before->first <= after->first - logTime ? before->second : after->second;
}

namespace
{
osg::Vec4 MarkColour(const FlightEvent& event)
{
    switch (event.kind)
    {
    case FlightEventKind::Arming: return osg::Vec4(0.3f, 0.9f, 0.3f, 1.0f);
    case FlightEventKind::Disarming: return osg::Vec4(0.75f, 0.75f, 0.75f, 1.0f);
    case FlightEventKind::Mode: return osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f);
    case FlightEventKind::Failsafe: return osg::Vec4(1.0f, 0.2f, 0.2f, 1.0f);
    case FlightEventKind::Message: break;
    }
    // MAVLink's severities: up to 3 an error, 4 a warning, the rest notices.
    if (event.severity <= 3)
        return osg::Vec4(1.0f, 0.45f, 0.2f, 1.0f);
    if (event.severity == 4)
        return osg::Vec4(1.0f, 0.85f, 0.2f, 1.0f);
    return osg::Vec4(0.55f, 0.8f, 1.0f, 1.0f);
}

// The mode changes of the ap_status column, for a log that names no mode.
std::vector<ModeChange> StatusChanges(const LoadedFlight& flight)
{
    std::vector<ModeChange> changes;
    if (!flight.Names(static_cast<int32_t>(ColumnKind::ap_status)))
        return changes;
    const std::vector<SampleRow>& rows = flight.rows;
    for (size_t row = 0; row < rows.size(); ++row)
        if (row == 0 || rows[row].ap_status != rows[row - 1].ap_status)
            changes.push_back(ModeChange{rows[row].gps_time, "mode " + std::to_string(rows[row].ap_status)});
    return changes;
}
} // namespace

EventTimeline::EventTimeline(const LoadedFlight& flight, const PlaybackClock& clock, const TimelineAxis& axis)
{
    const LogTimeIndex index(flight.Rows());
    for (const FlightEvent& event : flight.events)
    {
        TimelineEvent mark;
        mark.event = event;
        mark.position = index.PositionAt(event.time);
        mark.seconds = clock.SecondsAt(mark.position);
        mark.fraction = TimelineFraction(axis, SampleNumberAtPosition(flight.Rows(), mark.position));
        mark.colour = MarkColour(event);
        events.push_back(mark);
        if (event.kind == FlightEventKind::Mode)
            changes.push_back(ModeChange{event.time, event.text});
    }
    std::stable_sort(events.begin(), events.end(), [](const TimelineEvent& a, const TimelineEvent& b) { return a.seconds < b.seconds; });
    if (changes.empty())
        changes = StatusChanges(flight);
    if (changes.empty())
        return;

    // One colour per name, as the track gets them.
    legend = ColourTrack(flight.Rows(), TrackColourBy::Mode, changes).entries;
    for (size_t i = 0; i < changes.size(); ++i)
    {
        ModeSpan span;
        span.name = changes[i].name;
        for (const auto& entry : legend)
            if (entry.second == span.name)
                span.colour = entry.first;
        // The first mode is taken to hold from the start, as the track's colours take it.
        const double from = i == 0 ? 0.0 : index.PositionAt(changes[i].time);
        const double to = i + 1 < changes.size() ? index.PositionAt(changes[i + 1].time) : clock.RowCount() - 1.0;
        span.fromSeconds = clock.SecondsAt(from);
        span.toSeconds = clock.SecondsAt(to);
        span.fromFraction = TimelineFraction(axis, SampleNumberAtPosition(flight.Rows(), from));
        span.toFraction = TimelineFraction(axis, SampleNumberAtPosition(flight.Rows(), to));
        if (span.toSeconds > span.fromSeconds || span.toFraction > span.fromFraction)
            modes.push_back(span);
    }
}

const TimelineEvent* EventTimeline::NearestEvent(double seconds) const
{
    const TimelineEvent* nearest = nullptr;
    const auto after = std::lower_bound(events.begin(), events.end(), seconds, [](const TimelineEvent& event, double s) { return event.seconds < s; });
    if (after != events.end())
        nearest = &*after;
    if (after != events.begin())
    {
        const TimelineEvent* before = &*(after - 1);
        // The earliest of equal times before the cursor.
        const auto first = std::lower_bound(events.begin(), events.end(), before->seconds, [](const TimelineEvent& event, double s) { return event.seconds < s; });
        if (!nearest || seconds - before->seconds <= nearest->seconds - seconds)
            nearest = &*first;
    }
    return nearest;
}

std::string EventLine(const TimelineEvent& mark, double seconds)
{
    char when[64];
    const double ago = seconds - mark.seconds;
    if (std::abs(ago) < 0.05)
        snprintf(when, sizeof when, "now");
    else
        snprintf(when, sizeof when, "%.1f s %s", std::abs(ago), ago > 0.0 ? "ago" : "ahead");
    return "event " + FormatDuration(mark.seconds) + " " + FlightEventKindName(mark.event.kind) + " " + mark.event.text + " (" + when + ")";
}
