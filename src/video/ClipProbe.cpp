#include "video/ClipProbe.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>

extern "C"
{
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include "track/TrackReading.h"

namespace
{
bool Digits(const std::string& text, size_t from, size_t count)
{
    if (from + count > text.size())
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

int Number(const std::string& text, size_t from, size_t count)
{
    return atoi(text.substr(from, count).c_str());
}
} // namespace

bool ParseCreationTime(const std::string& text, double* utc)
{
    // YYYY-MM-DDTHH:MM:SS
    if (!Digits(text, 0, 4) || text.size() < 19 || text[4] != '-' || !Digits(text, 5, 2) || text[7] != '-' || !Digits(text, 8, 2) ||
        (text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2) || text[13] != ':' || !Digits(text, 14, 2) || text[16] != ':' || !Digits(text, 17, 2))
        return false;
    const int year = Number(text, 0, 4), month = Number(text, 5, 2), day = Number(text, 8, 2);
    const int hour = Number(text, 11, 2), minute = Number(text, 14, 2), second = Number(text, 17, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    double seconds = static_cast<double>(DaysFromCivil(year, month, day)) * SecondsPerDay + hour * 3600.0 + minute * 60.0 + second;
    size_t at = 19;
    if (at < text.size() && text[at] == '.')
    {
        double scale = 0.1;
        for (++at; at < text.size() && isdigit(static_cast<unsigned char>(text[at])); ++at, scale /= 10.0)
            seconds += (text[at] - '0') * scale;
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
    {
        // A zone east of Greenwich is ahead of UTC.
        const int sign = text[at] == '+' ? 1 : -1;
        if (!Digits(text, at + 1, 2))
            return false;
        int zone = Number(text, at + 1, 2) * 60;
        at += 3;
        if (at < text.size() && text[at] == ':')
            ++at;
        if (Digits(text, at, 2))
        {
            zone += Number(text, at, 2);
            at += 2;
        }
        seconds -= sign * zone * 60.0;
    }
    else if (at < text.size() && text[at] == 'Z')
        ++at;
    if (at != text.size())
        return false;
    *utc = seconds;
    return true;
}

bool ProbeClip(const std::string& path, ClipProbe* probe, std::string* error)
{
    *probe = ClipProbe();
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    {
        *error = "no such clip '" + path + "'";
        return false;
    }
    // libav's own lines would add to the command's one.
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0)
    {
        *error = "'" + path + "' is no video clip that can be read";
        return false;
    }
    if (avformat_find_stream_info(format, nullptr) < 0)
    {
        avformat_close_input(&format);
        *error = "'" + path + "' is no video clip that can be read";
        return false;
    }
    if (format->duration > 0)
        probe->seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    for (unsigned i = 0; i < format->nb_streams; ++i)
    {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        probe->hasVideo = true;
        probe->width = stream->codecpar->width;
        probe->height = stream->codecpar->height;
        if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0)
            probe->frameRate = av_q2d(stream->avg_frame_rate);
        else if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0)
            probe->frameRate = av_q2d(stream->r_frame_rate);
        if (probe->seconds <= 0 && stream->duration > 0)
            probe->seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        break;
    }
    const AVDictionaryEntry* created = av_dict_get(format->metadata, "creation_time", nullptr, 0);
    if (created && created->value)
    {
        probe->creationTime = created->value;
        probe->hasCreationTime = ParseCreationTime(probe->creationTime, &probe->creationUtc);
    }
    avformat_close_input(&format);
    return true;
}
