#include "track/CameraTriggers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "batch/AtomicFile.h"
#include "geo/Geodesy.h"
#include "track/ConversionSummary.h"
#include "track/RecordedFlight.h"

namespace
{

const char* const HeaderLine = "time,index,latitude,longitude,altitude,roll,pitch,yaw,source";

std::string Degrees(double radians)
{
    if (!std::isfinite(radians))
        return std::string();
    char text[32];
    snprintf(text, sizeof text, "%.2f", radians / RadiansPerDegree + 0.0);
    return text;
}

} // namespace

bool TimedPhoto::HasPosition() const
{
    const TimedPosition place{time, latitude, longitude, altitude};
    return place.Usable();
}

void PhotoMessages::Add(const TimedPhoto& photo)
{
    std::vector<TimedPhoto>& photos = bySource[photo.source];
    if (std::isfinite(photo.time) && photos.size() < MaximumPhotoRecords)
        photos.push_back(photo);
}

bool PhotoMessages::Any() const
{
    return std::any_of(bySource.begin(), bySource.end(), [](const auto& source) { return !source.second.empty(); });
}

std::string PhotoMessages::Choose(std::initializer_list<const char*> preference, std::vector<TimedPhoto>* photos)
{
    for (const char* source : preference)
    {
        const auto found = bySource.find(source);
        if (found != bySource.end() && !found->second.empty())
        {
            *photos = std::move(found->second);
            return source;
        }
    }
    return std::string();
}

std::vector<TimedPhoto> PhotosOnRows(const std::vector<TimedPhoto>& recorded, double origin, const std::vector<TimedPosition>& positions, double maximumGap, size_t* withoutPosition)
{
    *withoutPosition = 0;
    std::vector<TimedPhoto> photos;
    photos.reserve(recorded.size());
    for (TimedPhoto photo : recorded)
    {
        photo.time -= origin;
        const bool placed = photo.HasPosition();
        if (!placed || !std::isfinite(photo.altitude))
        {
            // The aircraft's place at the photo's time, where two fixes close enough hold it.
            const auto after = std::lower_bound(positions.begin(), positions.end(), photo.time, [](const TimedPosition& p, double t) { return p.time < t; });
            bool found = false;
            TimedPosition at{};
            if (after != positions.end() && after->time == photo.time)
            {
                at = *after;
                found = true;
            }
            else if (after != positions.begin() && after != positions.end() && after->time - (after - 1)->time <= maximumGap)
            {
                const TimedPosition& a = *(after - 1);
                const TimedPosition& b = *after;
                const double f = (photo.time - a.time) / (b.time - a.time);
                at = {photo.time, a.latitude + f * (b.latitude - a.latitude), a.longitude + f * (b.longitude - a.longitude), a.altitude + f * (b.altitude - a.altitude)};
                found = true;
            }
            if (!placed && !found)
            {
                ++*withoutPosition;
                continue;
            }
            if (!placed)
            {
                photo.latitude = at.latitude;
                photo.longitude = at.longitude;
            }
            if (found && !std::isfinite(photo.altitude))
                photo.altitude = at.altitude;
        }
        photos.push_back(photo);
    }
    std::stable_sort(photos.begin(), photos.end(), [](const TimedPhoto& a, const TimedPhoto& b) { return a.time < b.time; });
    return photos;
}

std::string PhotosLeftOutNote(const std::string& path, size_t withoutPosition)
{
    if (withoutPosition == 0)
        return std::string();
    return "track: '" + path + "': " + std::to_string(withoutPosition) + (withoutPosition == 1 ? " camera trigger" : " camera triggers") +
           " without a position left out (no place of its own, none of the aircraft's at its time)\n";
}

std::string PhotoSummary(const std::vector<TimedPhoto>& photos)
{
    std::vector<std::string> sources;
    for (const auto& record : photos)
        sources.push_back(record.source);
    return CountedBySource(sources, "photo", "photos");
}

std::string PhotosPathFor(const std::string& logPath)
{
    return PathWithExtension(logPath, ".photos.csv");
}

bool WritePhotos(const std::string& path, const std::vector<TimedPhoto>& photos, std::string* error)
{
    return WriteRecordsAfterHeader(path, HeaderLine, photos, error, [](const TimedPhoto& p) {
        char numbers[160];
        const std::string index = p.index >= 0 ? std::to_string(p.index) : std::string();
        snprintf(numbers, sizeof numbers, "%.3f,%s,%.7f,%.7f,", p.time, index.c_str(), p.latitude, p.longitude);
        std::string line = numbers;
        if (std::isfinite(p.altitude))
        {
            snprintf(numbers, sizeof numbers, "%.2f", p.altitude);
            line += numbers;
        }
        return line + "," + Degrees(p.roll) + "," + Degrees(p.pitch) + "," + Degrees(p.yaw) + "," + CsvFieldText(p.source);
    });
}

bool ReadPhotos(const std::string& path, std::vector<TimedPhoto>* photos, size_t* skipped, std::string* error)
{
    const auto parse = [photos](const std::vector<std::string>& fields, TimedPhoto* p) {
        if (photos->size() >= MaximumPhotoRecords)
            return false;
        double index = NAN, angles[3];
        if (fields.size() != 9 || !ReadCsvNumber(fields[0], false, &p->time) || !ReadCsvNumber(fields[1], true, &index) || !ReadCsvNumber(fields[2], false, &p->latitude) || !ReadCsvNumber(fields[3], false, &p->longitude) ||
            !ReadCsvNumber(fields[4], true, &p->altitude))
            return false;
        for (int i = 0; i < 3; ++i)
            if (!ReadCsvNumber(fields[5 + static_cast<size_t>(i)], true, &angles[i]))
                return false;
        if (std::isfinite(index) && !(index >= 0.0 && index < 9.0e15 && index == std::floor(index)))
            return false;
        p->index = std::isfinite(index) ? static_cast<int64_t>(index) : -1;
        p->roll = angles[0] * RadiansPerDegree;
        p->pitch = angles[1] * RadiansPerDegree;
        p->yaw = angles[2] * RadiansPerDegree;
        p->source = fields[8];
        return p->HasPosition();
    };
    if (!ReadRecordsAfterHeader(path, HeaderLine, photos, skipped, error, parse))
        return false;
    std::stable_sort(photos->begin(), photos->end(), [](const TimedPhoto& a, const TimedPhoto& b) { return a.time < b.time; });
    return true;
}
