#include "video/Subtitles.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace
{
// Whole units of `unit` seconds in `seconds`, rounded, never negative.
long long Units(double seconds, double perSecond)
{
    return std::isfinite(seconds) && seconds > 0.0 ? std::llround(seconds * perSecond) : 0;
}

// A line of an .ass event may not hold a line end, and braces open its override codes.
std::string AssLine(const std::string& line)
{
    std::string text;
    for (char c : line)
    {
        if (c == '{')
            text += '(';
        else if (c == '}')
            text += ')';
        else if (c != '\n' && c != '\r')
            text += c;
    }
    return text;
}
} // namespace

bool SubtitleFormatOf(const std::string& path, SubtitleFormat* format)
{
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    if (extension == "srt")
        *format = SubtitleFormat::SubRip;
    else if (extension == "ass")
        *format = SubtitleFormat::Ass;
    else
        return false;
    return true;
}

std::string SubRipTime(double seconds)
{
    const long long ms = Units(seconds, 1000.0);
    char text[32];
    snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string AssTime(double seconds)
{
    const long long cs = Units(seconds, 100.0);
    char text[32];
    snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", cs / 360000, cs / 6000 % 60, cs / 100 % 60, cs % 100);
    return text;
}

std::string SubRipText(const std::vector<SubtitleCue>& cues)
{
    std::string text;
    size_t number = 0;
    for (const SubtitleCue& cue : cues)
    {
        text += std::to_string(++number) + "\n" + SubRipTime(cue.start) + " --> " + SubRipTime(cue.end) + "\n";
        for (const std::string& line : cue.lines)
            if (!line.empty()) // an empty line would end the cue
                text += line + "\n";
        text += "\n";
    }
    return text;
}

std::string AssText(const std::vector<SubtitleCue>& cues, const std::string& title, int width, int height)
{
    if (width <= 0 || height <= 0)
    {
        width = 1280;
        height = 720;
    }
    const int size = std::max(12, height / 24), margin = std::max(8, height / 36);
    std::string text = "[Script Info]\n; the flight's figures, by flightreplay-data subtitles\nTitle: " + AssLine(title) +
                       "\nScriptType: v4.00+\nWrapStyle: 0\nScaledBorderAndShadow: yes\nPlayResX: " + std::to_string(width) + "\nPlayResY: " + std::to_string(height) +
                       "\n\n[V4+ Styles]\n"
                       "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, "
                       "Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
                       "Style: Figures,DejaVu Sans," + std::to_string(size) + ",&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,1," +
                       std::to_string(margin) + "," + std::to_string(margin) + "," + std::to_string(margin) + ",1\n"
                       "\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
    for (const SubtitleCue& cue : cues)
    {
        text += "Dialogue: 0," + AssTime(cue.start) + "," + AssTime(cue.end) + ",Figures,,0,0,0,,";
        bool first = true;
        for (const std::string& line : cue.lines)
        {
            if (line.empty())
                continue;
            text += (first ? "" : "\\N") + AssLine(line);
            first = false;
        }
        text += "\n";
    }
    return text;
}
