#include "player/PlayerDisplay.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace
{
const double SecondsPerDay = 86400.0;

// printf into a string; the display's lines are short.
template <typename... Arguments>
std::string Format(const char* format, Arguments... arguments)
{
    char text[256];
    snprintf(text, sizeof text, format, arguments...);
    return text;
}

// Seconds of the day as hh:mm:ss.ss, the way a GPS logs its time; empty when the logged
// time is no time of day.
std::string TimeOfDay(const FlightReadout& readout)
{
    const double seconds = readout.logTime;
    if (!readout.timeOfDay || !(seconds >= 0.0 && seconds < SecondsPerDay))
        return "";
    // Rounded to hundredths first, so 59.999 s reads 1:00.00 and not 0:60.00.
    const long hundredths = std::lround(seconds * 100.0);
    return Format("(%02ld:%02ld:%05.2f)", hundredths / 360000 % 24, hundredths / 6000 % 60, (hundredths % 6000) / 100.0);
}

// "12.4° right wing down", "0.0° level": a magnitude and the side it leans to.
std::string Lean(double degrees, const char* positive, const char* negative, const char* level)
{
    // What rounds to 0.0 is level, whatever its sign.
    const double shown = std::round(degrees * 10.0) / 10.0;
    const char* side = shown > 0.0 ? positive : shown < 0.0 ? negative : level;
    return Format("%5.1f\u00b0 %-15s", std::fabs(shown), side);
}
} // namespace

std::string FormatDuration(double seconds)
{
    const long tenths = std::lround(std::fmax(seconds, 0.0) * 10.0);
    const long hours = tenths / 36000;
    const long minutes = tenths / 600 % 60;
    const double rest = (tenths % 600) / 10.0;
    if (hours > 0)
        return Format("%ld:%02ld:%04.1f", hours, minutes, rest);
    return Format("%ld:%04.1f", minutes, rest);
}

std::string FormatSpeed(double speed)
{
    return Format("x%g", speed);
}

std::vector<std::string> DisplayLines(const FlightReadout& readout, const PlaybackClock& clock)
{
    std::vector<std::string> lines;
    // The row is padded to the width of the row count, so the rest of the line stays put.
    const int rowDigits = static_cast<int>(std::to_string(clock.RowCount()).size());
    lines.push_back(Format("sample %-6ld (row %*ld of %ld)   %-6s %-7s %s", static_cast<long>(readout.samplenumber), rowDigits, static_cast<long>(readout.row + 1),
                           static_cast<long>(clock.RowCount()), FormatSpeed(clock.Speed()).c_str(), clock.Paused() ? "PAUSED" : "playing",
                           clock.Looping() ? "loop" : "no loop"));
    // While a long gap plays shortened, the line says so: the video must not hide it.
    const std::string gap = clock.SkippedGap() > 0.0 ? Format("  gap %.1f s skipped", clock.SkippedGap()) : std::string();
    const std::string timeOfDay = TimeOfDay(readout);
    lines.push_back(Format("log time %.2f s %s%s replay %s of %s%s", readout.logTime, timeOfDay.c_str(), timeOfDay.empty() ? "" : " ",
                           FormatDuration(clock.FlightSeconds()).c_str(), FormatDuration(clock.DurationSeconds()).c_str(), gap.c_str()));
    const std::string terrain = readout.overTerrain ? Format("above terrain %7.1f m", readout.heightAboveTerrain) : std::string("above terrain: no tile here");
    lines.push_back(Format("altitude %7.1f m AMSL   %s", readout.altitude, terrain.c_str()));
    if (readout.ratesKnown)
        // A sink of less than 0.05 m/s reads +0.0, not -0.0.
        lines.push_back(Format("ground speed %5.1f m/s   climb rate %+5.1f m/s", readout.groundSpeed, std::round(readout.climbRate * 10.0) / 10.0 + 0.0));
    else
        lines.push_back("ground speed   -- m/s   climb rate    -- m/s");
    // A course a hair below 360 degrees reads 0.0, not 360.0.
    const double heading = std::round(readout.heading * 10.0) / 10.0;
    lines.push_back(Format("heading %5.1f\u00b0   bank %s  pitch %s", heading >= 360.0 ? heading - 360.0 : heading, Lean(readout.bank, "right wing down", "left wing down", "level").c_str(),
                           Lean(readout.pitch, "nose up", "nose down", "level").c_str()));
    return lines;
}
