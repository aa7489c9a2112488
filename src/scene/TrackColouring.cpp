#include "scene/TrackColouring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "log/SampleRates.h"

namespace
{
// Dark blue through green to yellow: lightness rises steadily along it, so the order of the
// values reads in grey and under the common colour-vision deficiencies. Nine even stops.
const osg::Vec4 SequentialRamp[] = {
    {0.267f, 0.005f, 0.329f, 1.0f}, {0.282f, 0.157f, 0.471f, 1.0f}, {0.243f, 0.286f, 0.537f, 1.0f},
    {0.192f, 0.408f, 0.557f, 1.0f}, {0.149f, 0.510f, 0.557f, 1.0f}, {0.122f, 0.620f, 0.537f, 1.0f},
    {0.208f, 0.718f, 0.475f, 1.0f}, {0.431f, 0.808f, 0.345f, 1.0f}, {0.992f, 0.906f, 0.145f, 1.0f},
};
// Blue for sinking, near-white for level, red for climbing; blue and red stay apart for
// every common colour-vision deficiency. Five even stops.
const osg::Vec4 DivergingRamp[] = {
    {0.129f, 0.400f, 0.675f, 1.0f}, {0.404f, 0.663f, 0.812f, 1.0f}, {0.969f, 0.969f, 0.969f, 1.0f},
    {0.937f, 0.541f, 0.384f, 1.0f}, {0.698f, 0.094f, 0.169f, 1.0f},
};
// Ten hues that colour-blind viewers can still tell apart, none too dark for the ground.
const osg::Vec4 ModeColours[] = {
    {0.800f, 0.400f, 0.467f, 1.0f}, {0.533f, 0.800f, 0.933f, 1.0f}, {0.867f, 0.800f, 0.467f, 1.0f},
    {0.067f, 0.467f, 0.200f, 1.0f}, {0.667f, 0.267f, 0.600f, 1.0f}, {0.267f, 0.667f, 0.600f, 1.0f},
    {0.600f, 0.600f, 0.200f, 1.0f}, {0.533f, 0.133f, 0.333f, 1.0f}, {0.200f, 0.133f, 0.533f, 1.0f},
    {0.867f, 0.867f, 0.867f, 1.0f},
};
const osg::Vec4 UnknownColour(0.5f, 0.5f, 0.5f, 1.0f);

// The ramp's ends leave out this share of the values on either side.
const double OutlierShare = 0.02;

struct Ramp
{
    const osg::Vec4* stops;
    size_t count;
};

// The colour at fraction t (clamped to [0, 1]) of the ramp, between its two nearest stops.
osg::Vec4 RampColour(const Ramp& ramp, double t)
{
    const double position = std::clamp(t, 0.0, 1.0) * static_cast<double>(ramp.count - 1);
    const size_t below = std::min(static_cast<size_t>(position), ramp.count - 2);
    const float within = static_cast<float>(position - static_cast<double>(below));
    return ramp.stops[below] * (1.0f - within) + ramp.stops[below + 1] * within;
}

// The value of the sorted values at the given share, by the nearest rank.
double Percentile(const std::vector<double>& sorted, double share)
{
    return sorted[static_cast<size_t>(std::lround(share * static_cast<double>(sorted.size() - 1)))];
}

std::string FormatValue(double value, int decimals, const char* unit)
{
    char text[64];
    std::snprintf(text, sizeof text, *unit ? "%.*f %s" : "%.*f", decimals, value, unit);
    // A value that rounds to zero is shown without a sign.
    std::string formatted = text;
    if (formatted[0] == '-' && std::strtod(text, nullptr) == 0.0)
        formatted.erase(0, 1);
    return formatted;
}

// The row's value for a ramp; false where it has none (rates across no neighbour).
bool RowValue(const FlightRows& flight, TrackColourBy by, int32_t row, double* value)
{
    if (by == TrackColourBy::Altitude)
    {
        *value = flight[row].gps_curalt;
        return true;
    }
    const SampleRates rates = RatesAtRow(flight, row);
    *value = by == TrackColourBy::Speed ? rates.groundSpeed : rates.climbRate;
    return rates.known;
}

// Rows coloured along a ramp by their values (not finite: unknown, grey), labelled in `unit`
// with `decimals`; the diverging ramp, symmetric about 0, for a climb.
void ColourByValues(const std::vector<double>& values, bool diverging, int decimals, const std::string& unit, TrackColouring& colouring)
{
    const Ramp ramp = diverging ? Ramp{DivergingRamp, std::size(DivergingRamp)} : Ramp{SequentialRamp, std::size(SequentialRamp)};
    colouring.ramp = true;
    std::vector<double> sorted;
    for (double value : values)
        if (std::isfinite(value))
            sorted.push_back(value);
    std::sort(sorted.begin(), sorted.end());
    double low = sorted.empty() ? 0.0 : Percentile(sorted, OutlierShare);
    double high = sorted.empty() ? 0.0 : Percentile(sorted, 1.0 - OutlierShare);
    if (diverging)
    {
        // Level flight stays white whichever way the flight mostly went.
        high = std::max(std::fabs(low), std::fabs(high));
        low = -high;
    }

    colouring.rowColours.reserve(values.size());
    for (double value : values)
    {
        // A flat ramp puts every row in its middle.
        const double t = high > low ? (value - low) / (high - low) : 0.5;
        colouring.rowColours.push_back(std::isfinite(value) ? RampColour(ramp, t) : UnknownColour);
    }
    for (size_t stop = 0; stop < ramp.count; ++stop)
    {
        std::string label;
        if (stop == 0)
            label = FormatValue(low, decimals, unit.c_str());
        else if (stop == ramp.count / 2)
            label = FormatValue((low + high) / 2.0, decimals, unit.c_str());
        else if (stop == ramp.count - 1)
            label = FormatValue(high, decimals, unit.c_str());
        colouring.entries.emplace_back(ramp.stops[stop], label);
    }
}

void ColourByRamp(const FlightRows& flight, TrackColouring& colouring)
{
    const bool climb = colouring.by == TrackColourBy::Climb;
    colouring.title = colouring.by == TrackColourBy::Altitude ? "altitude AMSL" : climb ? "climb rate" : "ground speed";
    std::vector<double> values(static_cast<size_t>(flight.count));
    for (int32_t row = 0; row < flight.count; ++row)
        if (!RowValue(flight, colouring.by, row, &values[row]))
            values[row] = NAN;
    ColourByValues(values, climb, colouring.by == TrackColourBy::Altitude ? 0 : 1, colouring.by == TrackColourBy::Altitude ? "m" : "m/s", colouring);
}

void ColourByMode(const FlightRows& flight, TrackColouring& colouring, const std::vector<ModeChange>& changes)
{
    colouring.title = "flight mode";
    auto colourOf = [&colouring](const std::string& name) {
        auto known = std::find_if(colouring.entries.begin(), colouring.entries.end(), [&name](const auto& entry) { return entry.second == name; });
        if (known != colouring.entries.end())
            return known->first;
        colouring.entries.emplace_back(ModeColours[colouring.entries.size() % std::size(ModeColours)], name);
        return colouring.entries.back().first;
    };
    // Every mode the changes name keeps its colour, even one too brief to hold a row, so that
    // whatever else shows the changes can colour them alike from the entries.
    for (const ModeChange& change : changes)
        colourOf(change.name);
    for (const SampleRow& sample : flight)
    {
        if (changes.empty())
        {
            colouring.rowColours.push_back(colourOf("mode " + std::to_string(sample.ap_status)));
            continue;
        }
        auto after = std::upper_bound(changes.begin(), changes.end(), sample.gps_time, [](double time, const ModeChange& change) { return time < change.time; });
        colouring.rowColours.push_back(colourOf(after == changes.begin() ? changes.front().name : std::prev(after)->name));
    }
}
} // namespace

bool ParseTrackColourBy(const std::string& word, TrackColourBy* by)
{
    static const std::pair<const char*, TrackColourBy> words[] = {
        {"altitude", TrackColourBy::Altitude},
        {"speed", TrackColourBy::Speed},
        {"climb", TrackColourBy::Climb},
        {"mode", TrackColourBy::Mode},
    };
    for (const auto& [spelling, value] : words)
        if (word == spelling)
        {
            *by = value;
            return true;
        }
    return false;
}

TrackColouring ColourTrack(const FlightRows& flight, TrackColourBy by, const std::vector<ModeChange>& modeChanges)
{
    TrackColouring colouring;
    colouring.by = by;
    if (by == TrackColourBy::Mode)
        ColourByMode(flight, colouring, modeChanges);
    else if (by != TrackColourBy::None)
        ColourByRamp(flight, colouring);
    return colouring;
}

TrackColouring ColourTrackByValues(const std::vector<double>& values, const std::string& title, const std::string& unit, int decimals)
{
    TrackColouring colouring;
    colouring.by = TrackColourBy::Column;
    colouring.title = title;
    ColourByValues(values, false, decimals, unit, colouring);
    return colouring;
}
