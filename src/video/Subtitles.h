#pragma once
#include <string>
#include <vector>

// Subtitle files of timed lines of text, for a video player to lay over a clip: SubRip (.srt)
// and Advanced SubStation Alpha (.ass).
struct SubtitleCue
{
    double start = 0.0, end = 0.0;  // seconds on the clip's clock (or the flight's), end > start
    std::vector<std::string> lines; // UTF-8, without line ends
};

enum class SubtitleFormat
{
    SubRip,
    Ass,
};

// By the file name's extension, any case: .srt or .ass; false for any other.
bool SubtitleFormatOf(const std::string& path, SubtitleFormat* format);

// "HH:MM:SS,mmm" and "H:MM:SS.cc", rounded to their last digit; negative times read as 0.
std::string SubRipTime(double seconds);
std::string AssTime(double seconds);

// The whole file. The .ass one has a title and its picture's size (the clip's, else 1280x720)
// for its one style, white text with a dark outline in the lower left.
std::string SubRipText(const std::vector<SubtitleCue>& cues);
std::string AssText(const std::vector<SubtitleCue>& cues, const std::string& title, int width, int height);
