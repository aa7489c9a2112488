#include "track/IgcReader.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "track/TrackReading.h"

bool IsIgc(std::string_view bytes)
{
    // A, H and B records, never a separator of a table.
    const std::string line = FirstTextLine(bytes);
    return !line.empty() && (line[0] == 'A' || line[0] == 'H' || line[0] == 'B') && line.find_first_of(",;\t") == std::string::npos;
}

// "DDMMmmm" + hemisphere: degrees and thousandths of minutes; `extra` is the digit of ten
// thousandths an I record's LAD or LOD extension adds, or -1.
static bool ParseIgcAngle(const std::string& digits, char hemisphere, char negative, char positive, int extra, double* degrees)
{
    for (char c : digits)
        if (!isdigit(static_cast<unsigned char>(c)))
            return false;
    if (hemisphere != negative && hemisphere != positive)
        return false;
    const size_t degreeDigits = digits.size() - 5;
    const double whole = atof(digits.substr(0, degreeDigits).c_str());
    const double minutes = atof(digits.substr(degreeDigits).c_str()) / 1000.0 + (extra >= 0 ? extra / 10000.0 : 0.0);
    if (minutes >= 60.0)
        return false;
    *degrees = (whole + minutes / 60.0) * (hemisphere == negative ? -1.0 : 1.0);
    return true;
}

// Where the I record puts the extra digit of latitude (LAD) and longitude (LOD) minutes in
// each B record: 0-based byte positions, or npos.
struct IgcExtensions
{
    size_t latitudeDigit = std::string::npos;
    size_t longitudeDigit = std::string::npos;
};

// I NN then NN times SS FF CCC: the extension CCC from byte SS to FF (from 1) of a B record.
static IgcExtensions ParseIgcExtensions(const std::string& line)
{
    IgcExtensions extensions;
    const int count = atoi(line.substr(1, 2).c_str());
    for (int i = 0; i < count && 3 + 7 * static_cast<size_t>(i) + 7 <= line.size(); ++i)
    {
        const std::string entry = line.substr(3 + 7 * static_cast<size_t>(i), 7);
        const int first = atoi(entry.substr(0, 2).c_str()), last = atoi(entry.substr(2, 2).c_str());
        if (first < 1 || last != first)
            continue; // a one-digit extension is all this reader uses
        if (entry.compare(4, 3, "LAD") == 0)
            extensions.latitudeDigit = static_cast<size_t>(first - 1);
        else if (entry.compare(4, 3, "LOD") == 0)
            extensions.longitudeDigit = static_cast<size_t>(first - 1);
    }
    return extensions;
}

static int ExtraDigit(const std::string& line, size_t position)
{
    return position < line.size() && isdigit(static_cast<unsigned char>(line[position])) ? line[position] - '0' : -1;
}

bool ReadIgcTrack(const FlightFile& file, RecordedFlight* flight, std::string*)
{
    std::vector<TimedPosition>* points = &flight->positions;
    std::istringstream lines{std::string(file.Bytes())};
    SkippedPoints skipped;
    IgcExtensions extensions;
    std::string line;
    size_t lineNumber = 0;
    double dayOffset = 0.0, previous = -1.0;
    while (std::getline(lines, line))
    {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == 'I')
            extensions = ParseIgcExtensions(line);
        // The flight's date: "HFDTE150510" or "HFDTEDATE:150510,01", ddmmyy.
        if (line.compare(0, 5, "HFDTE") == 0)
        {
            const size_t digits = line.find_first_of("0123456789", 5);
            if (digits != std::string::npos && digits + 6 <= line.size() && line.find_first_not_of("0123456789", digits) >= digits + 6)
                flight->utcDate = atoi(line.substr(digits, 6).c_str());
        }
        // B HHMMSS DDMMmmmN DDDMMmmmE V PPPPP GGGGG, then the I record's extensions
        if (line.empty() || line[0] != 'B')
            continue;
        TimedPosition p;
        bool timeRead = line.size() >= 35;
        for (size_t i = 1; i < 7 && timeRead; ++i)
            timeRead = isdigit(static_cast<unsigned char>(line[i])) != 0;
        const int hours = timeRead ? atoi(line.substr(1, 2).c_str()) : 0, minutes = timeRead ? atoi(line.substr(3, 2).c_str()) : 0, seconds = timeRead ? atoi(line.substr(5, 2).c_str()) : 0;
        if (!timeRead || hours > 23 || minutes > 59 || seconds > 59 || !ParseIgcAngle(line.substr(7, 7), line[14], 'S', 'N', ExtraDigit(line, extensions.latitudeDigit), &p.latitude) ||
            !ParseIgcAngle(line.substr(15, 8), line[23], 'W', 'E', ExtraDigit(line, extensions.longitudeDigit), &p.longitude) || p.latitude < -90.0 || p.latitude > 90.0 || p.longitude < -180.0 || p.longitude > 180.0)
        {
            skipped.Skip("in B records that cannot be read", lineNumber);
            continue;
        }
        if (p.latitude == 0.0 && p.longitude == 0.0)
        {
            skipped.Skip("without a fix (at 0 N 0 E)", lineNumber);
            continue;
        }
        const double pressureAltitude = atof(line.substr(25, 5).c_str());
        const double gnssAltitude = atof(line.substr(30, 5).c_str());
        p.altitude = line[24] == 'A' && gnssAltitude != 0.0 ? gnssAltitude : pressureAltitude;
        double time = hours * 3600.0 + minutes * 60.0 + seconds;
        if (previous >= 0.0 && time + dayOffset < previous - SecondsPerDay / 2)
            dayOffset += SecondsPerDay; // the flight went on past midnight UTC
        time += dayOffset;
        previous = time;
        p.time = time;
        points->push_back(p);
    }
    skipped.Report(flight);
    DescribeTrack(flight, "IGC", "B records", "seconds of the UTC day");
    return true;
}
