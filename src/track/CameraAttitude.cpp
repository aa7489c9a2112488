#include "track/CameraAttitude.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "batch/AtomicFile.h"
#include "geo/Geodesy.h"

namespace
{

const char* const HeaderLine = "time,pitch,roll,yaw,hfov,vfov";
const double FilmDiagonal = 43.27; // millimetres: the 36 x 24 mm frame
const double PictureWidth = 16.0, PictureHeight = 9.0;

bool ParseRecord(const std::vector<std::string>& fields, TimedGimbal* record)
{
    double values[6];
    if (fields.size() != 6)
        return false;
    for (size_t i = 0; i < 6; ++i)
        if (!ReadCsvNumber(fields[i], i >= 4, &values[i]))
            return false;
    if (std::fabs(values[1]) > 180.0 || std::fabs(values[2]) > 180.0 || std::fabs(values[3]) > 360.0)
        return false;
    for (size_t i = 4; i < 6; ++i)
        if (!std::isnan(values[i]) && !(values[i] > 0.0 && values[i] < 180.0))
            return false;
    record->time = values[0];
    record->pitch = values[1] * RadiansPerDegree;
    record->roll = values[2] * RadiansPerDegree;
    record->yaw = values[3] * RadiansPerDegree;
    record->horizontalFov = values[4] * RadiansPerDegree;
    record->verticalFov = values[5] * RadiansPerDegree;
    return true;
}

} // namespace

bool GimbalAnglesOfQuaternion(double w, double x, double y, double z, double* roll, double* pitch, double* yaw)
{
    const double norm = std::sqrt(w * w + x * x + y * y + z * z);
    if (!std::isfinite(norm) || norm < 0.5 || norm > 1.5)
        return false;
    w /= norm;
    x /= norm;
    y /= norm;
    z /= norm;
    *roll = std::atan2(2.0 * (w * x + y * z), 1.0 - 2.0 * (x * x + y * y));
    *pitch = std::asin(std::clamp(2.0 * (w * y - z * x), -1.0, 1.0));
    *yaw = std::atan2(2.0 * (w * z + x * y), 1.0 - 2.0 * (y * y + z * z));
    return true;
}

void FieldOfViewOfDiagonal(double diagonal, double* horizontal, double* vertical)
{
    const double halfDiagonal = std::tan(diagonal / 2.0);
    const double across = std::hypot(PictureWidth, PictureHeight);
    *horizontal = 2.0 * std::atan(halfDiagonal * PictureWidth / across);
    *vertical = 2.0 * std::atan(halfDiagonal * PictureHeight / across);
}

bool FieldOfViewOfFocalLength(double millimetres, double* horizontal, double* vertical)
{
    if (!(millimetres > 0.0 && millimetres < 2000.0))
        return false;
    FieldOfViewOfDiagonal(2.0 * std::atan(FilmDiagonal / (2.0 * millimetres)), horizontal, vertical);
    return true;
}

std::string CameraPathFor(const std::string& logPath)
{
    return PathWithExtension(logPath, ".camera.csv");
}

bool WriteCameraAttitudes(const std::string& path, const std::vector<TimedGimbal>& gimbal, std::string* error)
{
    const double degrees = 1.0 / RadiansPerDegree;
    std::string text = std::string(HeaderLine) + "\n";
    text.reserve(gimbal.size() * 48);
    for (const TimedGimbal& g : gimbal)
    {
        char line[160];
        int length = snprintf(line, sizeof line, "%.3f,%.2f,%.2f,%.2f,", g.time, g.pitch * degrees, g.roll * degrees, g.yaw * degrees);
        if (std::isfinite(g.horizontalFov) && std::isfinite(g.verticalFov))
            length += snprintf(line + length, sizeof line - static_cast<size_t>(length), "%.2f,%.2f", g.horizontalFov * degrees, g.verticalFov * degrees);
        else
            length += snprintf(line + length, sizeof line - static_cast<size_t>(length), ",");
        text.append(line, static_cast<size_t>(length));
        text += '\n';
    }
    return WriteFileAtomically(path, text, error);
}

bool ReadCameraAttitudes(const std::string& path, std::vector<TimedGimbal>* gimbal, size_t* skipped, std::string* error)
{
    if (!ReadRecordsAfterHeader(path, HeaderLine, gimbal, skipped, error,
                                [gimbal](const std::vector<std::string>& fields, TimedGimbal* record) { return gimbal->size() < MaximumGimbalRecords && ParseRecord(fields, record); }))
        return false;
    std::stable_sort(gimbal->begin(), gimbal->end(), [](const TimedGimbal& a, const TimedGimbal& b) { return a.time < b.time; });
    return true;
}
