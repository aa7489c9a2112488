#include "check/PhotoCheck.h"

#include <algorithm>
#include <cstdio>

#include "geo/Geodesy.h"

namespace
{

// The bearing (radians, clockwise from north) from one place to another close to it.
double Bearing(const PhotoPlace& from, const PhotoPlace& to)
{
    const double north = to.latitude - from.latitude;
    const double east = WrapLongitude(to.longitude - from.longitude) * std::cos(from.latitude * RadiansPerDegree);
    return std::atan2(east, north);
}

// Closer than this, two photos are of one place: they neither make nor leave a line.
const double SamePlace = 0.5; // metres

} // namespace

const std::vector<CameraModel>& CameraModels()
{
    static const std::vector<CameraModel> models = {
        {"survey-1in-20mp", "1-inch 20 MP, 8.8 mm lens, 13.2 x 8.8 mm sensor, 5472 x 3648 px", 8.8, 13.2, 8.8, 5472, 3648},
        {"compact-12mp", "1/2.3-inch 12 MP, 4.5 mm lens, 6.17 x 4.55 mm sensor, 4000 x 3000 px", 4.5, 6.17, 4.55, 4000, 3000},
        {"fullframe-42mp", "full-frame 42 MP, 35 mm lens, 36 x 24 mm sensor, 7952 x 5304 px", 35.0, 36.0, 24.0, 7952, 5304},
    };
    return models;
}

const CameraModel* FindCameraModel(const std::string& word)
{
    const std::vector<CameraModel>& models = CameraModels();
    const auto named = std::find_if(models.begin(), models.end(), [&word](const CameraModel& model) { return word == model.word; });
    return named == models.end() ? nullptr : &*named;
}

std::string CameraModelWords()
{
    std::string words;
    for (const CameraModel& model : CameraModels())
        words += (words.empty() ? "" : ", ") + std::string(model.word);
    return words;
}

void CameraFieldOfView(const CameraModel& camera, double* horizontal, double* vertical)
{
    *horizontal = 2.0 * std::atan(camera.sensorWidth / (2.0 * camera.focalLength));
    *vertical = 2.0 * std::atan(camera.sensorHeight / (2.0 * camera.focalLength));
}

double GroundSampleDistance(const CameraModel& camera, double height)
{
    return 100.0 * height * camera.sensorWidth / (camera.focalLength * camera.imageWidth);
}

double FootprintAlongTrack(const CameraModel& camera, double height)
{
    return height * camera.sensorHeight / camera.focalLength;
}

int64_t PhotoNumber(const PhotoPlace& photo, size_t position)
{
    return photo.index >= 0 ? photo.index : static_cast<int64_t>(position) + 1;
}

PhotoCheckReport CheckPhotos(const std::vector<PhotoPlace>& photos, const GroundHeight& ground, const CameraModel* camera, double minimumOverlap)
{
    PhotoCheckReport report;
    report.minimumOverlap = minimumOverlap;
    report.photos.resize(photos.size());
    for (size_t i = 0; i < photos.size(); ++i)
    {
        PhotoFinding& finding = report.photos[i];
        const PhotoPlace& photo = photos[i];
        finding.terrain = ground ? ground(photo.latitude, photo.longitude) : NAN;
        if (!std::isfinite(finding.terrain))
            continue;
        ++report.overGround;
        finding.height = photo.altitude - finding.terrain;
        if (camera && finding.height > 0.0)
        {
            finding.gsd = GroundSampleDistance(*camera, finding.height);
            finding.footprintAlong = FootprintAlongTrack(*camera, finding.height);
            finding.footprintAcross = finding.height * camera->sensorWidth / camera->focalLength;
        }
    }
    if (photos.size() < 2)
        return report;
    report.forwardOverlap.assign(photos.size() - 1, NAN);
    double lineBearing = NAN; // of the line the last step was on; NaN after a turn
    for (size_t i = 0; i + 1 < photos.size(); ++i)
    {
        const PhotoPlace& a = photos[i];
        const PhotoPlace& b = photos[i + 1];
        const double distance = GroundDistance(a.latitude, a.longitude, b.latitude, b.longitude);
        if (distance >= SamePlace)
        {
            const double bearing = Bearing(a, b);
            if (std::isfinite(lineBearing) && std::fabs(WrapAngle(bearing - lineBearing)) > LineTurnDegrees * RadiansPerDegree)
            {
                lineBearing = NAN; // a turn: the step after it starts the next line
                continue;
            }
            lineBearing = bearing;
        }
        const double along = (report.photos[i].footprintAlong + report.photos[i + 1].footprintAlong) / 2.0;
        if (!(along > 0.0))
            continue;
        const double overlap = std::max(0.0, 1.0 - distance / along);
        report.forwardOverlap[i] = overlap;
        if (overlap < minimumOverlap)
            report.gaps.push_back(OverlapGap{i, b.time, distance, overlap});
    }
    return report;
}

std::string OverlapGapText(const std::vector<PhotoPlace>& photos, const OverlapGap& gap)
{
    char text[200];
    snprintf(text, sizeof text, "gap between photos %lld and %lld at %.1f s: %.0f%% forward overlap (%.0f m apart)", static_cast<long long>(PhotoNumber(photos[gap.first], gap.first)),
             static_cast<long long>(PhotoNumber(photos[gap.first + 1], gap.first + 1)), gap.time, gap.overlap * 100.0, gap.distance);
    return text;
}
