#include "track/FlightFormats.h"

#include <cstdio>

#include "track/CsvReader.h"
#include "track/DataFlashReader.h"
#include "track/GpxReader.h"
#include "track/IgcReader.h"
#include "track/MavlinkReader.h"
#include "track/SrtReader.h"
#include "track/ULogReader.h"

namespace
{

// A GPS track with more than this between two points is left out there: a logger that
// records by distance or course change (a walker's "auto" mode) leaves a few minutes between
// points while moving steadily; longer, in the real tracks it was switched off between two
// tracks (and carried kilometres in a car) or stood still. A straight line across such a
// gap would be made up.
const double TrackMaximumGap = 300.0; // seconds

const ConversionSettings AutopilotRows = {10.0, 2.0};
const ConversionSettings TrackRows = {1.0, TrackMaximumGap};
// A clip's subtitles give a position each frame (25 to 60 a second), or each second on older
// models: a row for each frame of most clips, so that a clip's first two frames make two rows,
// and a gap allowed of a few of the older cues.
const ConversionSettings VideoRows = {50.0, 3.0};

const uint8_t* Bytes(std::string_view text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}

// The readers of binary logs work on bytes in memory and give the bare reason.
template <bool (*Recognise)(const uint8_t*, size_t)>
bool RecogniseBinary(std::string_view bytes)
{
    return Recognise(Bytes(bytes), bytes.size());
}

template <bool (*Read)(const uint8_t*, size_t, RecordedFlight*, std::string*)>
bool ReadBinary(const FlightFile& file, RecordedFlight* flight, std::string* message)
{
    std::string error;
    if (Read(Bytes(file.Bytes()), file.Bytes().size(), flight, &error))
        return true;
    *message = "'" + file.Path() + "' cannot be read as " + (flight->format.empty() ? "a flight log" : flight->format) + ": " + error;
    return false;
}

} // namespace

const std::vector<FlightFormat>& FlightFormats()
{
    static const std::vector<FlightFormat> formats = {
        {"ULog", true, RecogniseBinary<IsULog>, ReadBinary<ReadULog>, AutopilotRows},
        {"DataFlash", true, RecogniseBinary<IsDataFlash>, ReadBinary<ReadDataFlash>, AutopilotRows},
        {"MAVLink telemetry", true, RecogniseBinary<IsMavlinkTelemetry>, ReadBinary<ReadMavlinkTelemetry>, AutopilotRows},
        {"GPX", false, IsGpx, ReadGpxTrack, TrackRows},
        {"IGC", false, IsIgc, ReadIgcTrack, TrackRows},
        {"video telemetry", false, IsSrt, ReadSrtTrack, VideoRows},
        {"CSV", false, IsCsv, ReadCsvTrack, TrackRows, true},
    };
    return formats;
}

const FlightFormat* DetectFlightFormat(std::string_view bytes)
{
    for (const FlightFormat& format : FlightFormats())
        if (format.recognise(bytes))
            return &format;
    return nullptr;
}

const FlightFormat* DetectFlightFileFormat(const std::string& path)
{
    std::string head(8192, '\0');
    FILE* file = fopen(path.c_str(), "rb");
    head.resize(file ? fread(&head[0], 1, head.size(), file) : 0);
    if (file)
        fclose(file);
    return head.empty() ? nullptr : DetectFlightFormat(head);
}

const FlightFormat* FindFlightFormat(const std::string& name)
{
    for (const FlightFormat& format : FlightFormats())
        if (name == format.name)
            return &format;
    return nullptr;
}

bool ReadFlightFile(const std::string& path, RecordedFlight* flight, const FlightFormat** format, std::string* message)
{
    *format = nullptr;
    FlightFile file;
    if (!file.Load(path, message))
        return false;
    if (file.Bytes().empty())
    {
        *message = "'" + path + "' is empty";
        return false;
    }
    *format = DetectFlightFormat(file.Bytes());
    if (!*format)
    {
        // Text always finds a reader; binary bytes are named against the autopilot logs.
        std::string logs;
        const std::vector<FlightFormat>& formats = FlightFormats();
        for (size_t i = 0, named = 0; i < formats.size(); ++i)
            if (formats[i].autopilotLog)
                logs += std::string(named++ == 0 ? "" : (i + 1 < formats.size() && formats[i + 1].autopilotLog ? ", " : " or ")) + formats[i].name;
        *message = "'" + path + "' is no flight file this tool reads: binary, but no " + logs + " log";
        return false;
    }
    const bool read = (*format)->read(file, flight, message);
    KeepPossibleTraffic(flight);
    return read;
}
