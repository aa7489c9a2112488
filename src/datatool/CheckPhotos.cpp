#include "datatool/CheckPhotos.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "batch/AtomicFile.h"

namespace
{

const size_t GapLines = 100;

nlohmann::json Figure(double value)
{
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

double Rounded(double value, double step)
{
    return std::isfinite(value) ? std::round(value / step) * step : value;
}

std::string Cell(const char* format, double value)
{
    if (!std::isfinite(value))
        return std::string();
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

// The least and greatest finite values of a figure over the findings.
bool Range(const PhotoCheckReport& report, double PhotoFinding::*figure, double* low, double* high)
{
    *low = INFINITY;
    *high = -INFINITY;
    for (const PhotoFinding& finding : report.photos)
        if (std::isfinite(finding.*figure))
        {
            *low = std::min(*low, finding.*figure);
            *high = std::max(*high, finding.*figure);
        }
    return *low <= *high;
}

} // namespace

std::vector<PhotoPlace> PhotoPlaces(const std::vector<TimedPhoto>& photos)
{
    std::vector<PhotoPlace> places;
    places.reserve(photos.size());
    for (const TimedPhoto& p : photos)
        places.push_back(PhotoPlace{p.time, p.index, p.latitude, p.longitude, p.altitude});
    return places;
}

std::string PhotoFindingsText(const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report, const CameraModel* camera)
{
    if (photos.empty())
        return std::string();
    char text[400];
    std::string line = "photos: " + std::to_string(photos.size()) + ", " + std::to_string(report.overGround) + " over drawn ground";
    double low = 0.0, high = 0.0;
    if (Range(report, &PhotoFinding::height, &low, &high))
    {
        snprintf(text, sizeof text, ", height above it %.1f to %.1f m", low, high);
        line += text;
    }
    if (!camera)
        line += "; --camera NAME gives the ground sample distance and the forward overlap";
    else
    {
        if (Range(report, &PhotoFinding::gsd, &low, &high))
        {
            snprintf(text, sizeof text, ", ground sample distance %.2f to %.2f cm/px (%s)", low, high, camera->word);
            line += text;
        }
        snprintf(text, sizeof text, "; forward overlap below %.0f%%: %zu gap%s", report.minimumOverlap * 100.0, report.gaps.size(), report.gaps.size() == 1 ? "" : "s");
        line += text;
    }
    line += "\n";
    for (size_t g = 0; g < report.gaps.size() && g < GapLines; ++g)
        line += "  " + OverlapGapText(photos, report.gaps[g]) + "\n";
    if (report.gaps.size() > GapLines)
        line += "  ... and " + std::to_string(report.gaps.size() - GapLines) + " more\n";
    return line;
}

std::string PhotosJson(const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report)
{
    nlohmann::json array = nlohmann::json::array();
    for (size_t i = 0; i < photos.size(); ++i)
    {
        const PhotoPlace& p = photos[i];
        const PhotoFinding& f = report.photos[i];
        array.push_back({{"time", Rounded(p.time, 1e-3)},
                         {"index", p.index >= 0 ? nlohmann::json(p.index) : nlohmann::json(nullptr)},
                         {"latitude", p.latitude},
                         {"longitude", p.longitude},
                         {"altitude", Figure(Rounded(p.altitude, 0.01))},
                         {"terrain", Figure(Rounded(f.terrain, 0.01))},
                         {"height", Figure(Rounded(f.height, 0.01))},
                         {"gsd_cm", Figure(Rounded(f.gsd, 0.001))},
                         {"footprint_along_m", Figure(Rounded(f.footprintAlong, 0.01))},
                         {"footprint_across_m", Figure(Rounded(f.footprintAcross, 0.01))},
                         {"forward_overlap", Figure(i < report.forwardOverlap.size() ? Rounded(report.forwardOverlap[i], 1e-4) : NAN)}});
    }
    return array.dump();
}

std::string PhotoGapsJson(const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report)
{
    nlohmann::json array = nlohmann::json::array();
    for (const OverlapGap& gap : report.gaps)
        array.push_back({{"first", PhotoNumber(photos[gap.first], gap.first)},
                         {"second", PhotoNumber(photos[gap.first + 1], gap.first + 1)},
                         {"time", Rounded(gap.time, 1e-3)},
                         {"distance", Rounded(gap.distance, 0.01)},
                         {"forward_overlap", Rounded(gap.overlap, 1e-4)}});
    return array.dump();
}

std::string PhotoCsvPathFor(const std::string& checkCsv)
{
    return PathWithExtension(checkCsv, ".photo-check.csv");
}

bool WritePhotoCsv(const std::string& path, const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report)
{
    std::string text = "photo,time,latitude,longitude,altitude,terrain,height,gsd_cm,footprint_along,footprint_across,forward_overlap\n";
    char start[160];
    for (size_t i = 0; i < photos.size(); ++i)
    {
        const PhotoPlace& p = photos[i];
        const PhotoFinding& f = report.photos[i];
        snprintf(start, sizeof start, "%lld,%.3f,%.7f,%.7f,", static_cast<long long>(PhotoNumber(p, i)), p.time, p.latitude, p.longitude);
        text += start + Cell("%.2f", p.altitude) + "," + Cell("%.2f", f.terrain) + "," + Cell("%.2f", f.height) + "," + Cell("%.3f", f.gsd) + "," + Cell("%.2f", f.footprintAlong) + "," +
                Cell("%.2f", f.footprintAcross) + "," + Cell("%.4f", i < report.forwardOverlap.size() ? report.forwardOverlap[i] : NAN) + "\n";
    }
    return WriteFileAtomically(path, text.data(), text.size());
}
