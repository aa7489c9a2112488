#include "DataToolSupport.h"

#include <sys/stat.h>

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
