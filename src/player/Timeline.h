#pragma once
#include <cstdint>
#include <vector>

#include "log/SampleRow.h"

// The timeline under the player's display: one axis of sample numbers, from the smallest to
// the largest of a flight's rows, with the selected ranges of the command line (--samples)
// marked on it. Positions along it are fractions, 0 at the left end and 1 at the right.

struct TimelineAxis
{
    int32_t first = 0; // smallest sample number of the rows
    int32_t last = 0;  // largest
};

// Over the rows of `flight` (at least one).
TimelineAxis TimelineAxisOf(const FlightRows& flight);

// Where a sample number (fractional ones too) lies, held within 0 .. 1. A table of one
// sample number puts everything at 0.
double TimelineFraction(const TimelineAxis& axis, double samplenumber);

// The sample number at a clock position (a fractional row index, see PlaybackClock.h):
// between two rows it moves evenly from one's number to the next one's.
double SampleNumberAtPosition(const FlightRows& flight, double position);

// The selected ranges of RangeList as [from, to] fractions, each from its first selected
// number to its last, held within the axis; ranges that miss the axis are left out.
struct TimelineSpan
{
    double from = 0.0;
    double to = 0.0;
};
std::vector<TimelineSpan> SelectedSpans(const TimelineAxis& axis);

// The row whose sample number lies nearest the fraction `fraction` of the axis (the first
// such row on a tie), for a click on the timeline.
int32_t RowAtTimelineFraction(const FlightRows& flight, const TimelineAxis& axis, double fraction);
