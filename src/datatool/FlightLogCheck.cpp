#include "datatool/FlightLogCheck.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "log/LogKeywords.h"
#include "world/TileFiles.h"

// Enough for the header line of any log and the first lines of every track format.
static const size_t InspectedBytes = 65536;

LogFileKind ClassifyLogFile(const std::string& path)
{
    if (!FileExists(path))
        return LogFileKind::Unopenable;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return LogFileKind::Unopenable;
    std::vector<char> bytes(InspectedBytes);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
    fclose(file);
    if (bytes.empty())
        return LogFileKind::FlightLog; // the reader reports that no row was accepted
    if (memchr(bytes.data(), '\0', bytes.size()))
        return LogFileKind::Binary;
    const std::string text(bytes.begin(), bytes.end());
    // Rows are only accepted with both positions, so a log without them is no flight log.
    const auto names = [&text](ColumnKind kind) { return text.find(LogKeywords[static_cast<int32_t>(kind)]) != std::string::npos; };
    if (names(ColumnKind::gps_curlat) && names(ColumnKind::gps_curlon))
        return LogFileKind::FlightLog;
    // Images and archives without a NUL in their first bytes are rare, but JPEG and PNG
    // signatures are cheap to tell.
    if (text.compare(0, 3, "\xFF\xD8\xFF") == 0 || text.compare(0, 4, "\x89PNG") == 0)
        return LogFileKind::Binary;
    return LogFileKind::OtherText;
}

bool AcceptFlightLog(const char* command, const std::string& path)
{
    switch (ClassifyLogFile(path))
    {
    case LogFileKind::FlightLog:
    case LogFileKind::Unopenable:
        return true;
    case LogFileKind::OtherText:
        fprintf(stderr, "%s: '%s' is no flight log (it names no gps_curlat and gps_curlon columns): if it is a track, convert it with `flightreplay-data track %s > avlog.log` first\n", command, path.c_str(), path.c_str());
        return false;
    case LogFileKind::Binary:
        fprintf(stderr, "%s: '%s' is no flight log but binary data: give the log that `flightreplay-data track` writes (an autopilot's log converts with `flightreplay-data track %s > avlog.log`)\n", command, path.c_str(), path.c_str());
        return false;
    }
    return false;
}
