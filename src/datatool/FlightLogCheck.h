#pragma once
#include <string>

// What a file given as a flight log looks like from its first 64 KiB.
enum class LogFileKind
{
    FlightLog,  // names the position columns gps_curlat and gps_curlon (or is empty)
    OtherText,  // text without them: a track (GPX, IGC, CSV) or anything else
    Binary,     // holds NUL bytes: an image, an archive, a binary log
    Unopenable, // cannot be opened or is no regular file: left to the log reader, which says so
};

LogFileKind ClassifyLogFile(const std::string& path);

// Whether the file may go to the log reader. The reader prints every byte it does not know,
// so anything else would be dumped to the console: for OtherText and Binary this prints one
// line on stderr, beginning with the command's name, that says what to give instead.
bool AcceptFlightLog(const char* command, const std::string& path);
