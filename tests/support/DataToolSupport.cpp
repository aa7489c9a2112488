#include "support/DataToolSupport.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>

#include "track/FlightConversion.h"
#include "track/FlightFormats.h"

int DataToolFixture::RunTool(const std::vector<std::string>& arguments, std::string* out, std::string* err)
{
    const RunResult result = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", arguments, {}, 120);
    if (out)
        *out = result.out;
    if (err)
        *err = result.err;
    return result.status;
}

bool DataToolFixture::Exists(const std::string& name)
{
    struct stat status;
    return stat(name.c_str(), &status) == 0;
}

LoadedFlight LoadLogQuietly(const std::string& path)
{
    LoadedFlight flight;
    EXPECT_EQ(LoadFlight(path.c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight), 0) << path;
    return flight;
}

std::vector<SampleRow> ConvertTrackPoints(const std::vector<TimedPosition>& points, double rate)
{
    RecordedFlight flight;
    flight.positions = points;
    return ConvertTrackFlight(flight, rate);
}

bool ReadFlight(const std::string& path, RecordedFlight* flight)
{
    const FlightFormat* format = nullptr;
    std::string message;
    return ReadFlightFile(path, flight, &format, &message);
}

std::vector<SampleRow> ConvertTrackFlight(const RecordedFlight& flight, double rate)
{
    ConversionSettings settings = FindFlightFormat("GPX")->defaults;
    settings.rate = rate;
    return ConvertFlight(flight, settings).rows;
}

std::string TrackLogText(const std::vector<SampleRow>& rows)
{
    ConvertedFlight converted;
    converted.rows = rows;
    converted.columns = BaseLogColumns();
    return FormatConvertedLog(converted);
}

std::vector<TimedPosition> Circle(bool clockwise, double radius)
{
    std::vector<TimedPosition> points;
    for (int t = 0; t <= 120; ++t)
    {
        const double angle = (clockwise ? 1.0 : -1.0) * 2.0 * Pi * t / 60.0; // from north
        const double north = radius * std::cos(angle), east = radius * std::sin(angle);
        points.push_back(TimedPosition{36000.0 + t, 47.0 + north / MetresPerDegree, 8.0 + east / (MetresPerDegree * std::cos(47.0 * Degree)), 500.0});
    }
    return points;
}

std::string CircleGpx(const std::vector<TimedPosition>& points)
{
    std::string text = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><trkseg>\n";
    char line[256];
    for (const TimedPosition& p : points)
    {
        const int t = static_cast<int>(p.time);
        snprintf(line, sizeof line, "<trkpt lat=\"%.9f\" lon=\"%.9f\"><ele>%.1f</ele><time>2024-05-01T%02d:%02d:%02dZ</time></trkpt>\n", p.latitude, p.longitude, p.altitude, t / 3600, t / 60 % 60, t % 60);
        text += line;
    }
    return text + "</trkseg></trk>\n</gpx>\n";
}
