#include "player/PlayerDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
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

// The length of the well-formed UTF-8 character at text[i], 0 when it is none.
size_t CharacterLength(const std::string& text, size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char second = static_cast<unsigned char>(text[i + 1]);
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

// One line of the file as shown: clean UTF-8, trimmed, cut to the most characters.
std::string ShownLine(const std::string& raw)
{
    std::string clean;
    for (size_t i = 0; i < raw.size();)
    {
        const size_t length = CharacterLength(raw, i);
        if (length == 0)
            clean += '?';
        else if (length == 1 && (static_cast<unsigned char>(raw[i]) < 0x20 || raw[i] == 0x7F))
            clean += ' ';
        else
            clean.append(raw, i, length);
        i += std::max<size_t>(length, 1);
    }
    const size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);
    // Characters start at every byte that is not a continuation byte (10xxxxxx).
    const auto starts = [&clean](size_t i) { return (static_cast<unsigned char>(clean[i]) & 0xC0) != 0x80; };
    size_t characters = 0;
    for (size_t i = 0; i < clean.size(); ++i)
        if (starts(i) && ++characters == AttributionMostCharacters)
        {
            // Past the last character that fits, the cut is marked in its place.
            size_t next = i + 1;
            while (next < clean.size() && !starts(next))
                ++next;
            return next == clean.size() ? clean : clean.substr(0, i) + "\u2026";
        }
    return clean;
}
} // namespace

std::vector<std::string> AttributionLines(const std::string& path)
{
    // Enough for the most lines at their most characters, whatever the file's size.
    char buffer[16384];
    std::ifstream file(path, std::ios::binary);
    file.read(buffer, sizeof buffer);
    const std::string text(buffer, static_cast<size_t>(file.gcount()));
    std::vector<std::string> lines;
    if (memchr(text.data(), '\0', text.size()))
        return lines;
    for (size_t start = 0; start < text.size() && lines.size() < AttributionMostLines;)
    {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = ShownLine(text.substr(start, end - start));
        if (!line.empty())
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string FormatWholeDuration(double seconds)
{
    const long whole = std::lround(std::max(seconds, 0.0));
    char text[48];
    if (whole >= 86400)
        snprintf(text, sizeof text, "%ld d %02ld:%02ld:%02ld", whole / 86400, whole / 3600 % 24, whole / 60 % 60, whole % 60);
    else if (whole >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string FormatDuration(double seconds)
{
    const long tenths = std::lround(std::fmax(seconds, 0.0) * 10.0);
    const long hours = tenths / 36000;
    const long minutes = tenths / 600 % 60;
    const double rest = (tenths % 600) / 10.0;
    if (hours >= 24)
        return Format("%ld d %02ld:%02ld:%04.1f", hours / 24, hours % 24, minutes, rest);
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
