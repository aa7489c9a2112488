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

// The task declared in C records: the declaration "C DDMMYY HHMMSS DDMMYY NNNN TT text"
// (when declared, the flight's date, the task's number, TT turnpoints), then a C record
// "C DDMMmmmN DDDMMmmmE name" for each of take-off, start, the TT turnpoints, finish and
// landing. The take-off and the landing are mostly zeros: no place at all.
class IgcTaskRecords
{
public:
    void Add(const std::string& line, size_t lineNumber)
    {
        if (finished)
            return;
        if (IsDeclaration(line))
        {
            if (declared)
            {
                notes.push_back("task: a second declaration (C record on line " + std::to_string(lineNumber) + "); the first task kept");
                finished = true;
                return;
            }
            declared = true;
            turnpoints = atoi(line.substr(23, 2).c_str());
            return;
        }
        if (slots.size() >= MostTurnpoints + 4)
        {
            notes.push_back("task: more than " + std::to_string(MostTurnpoints + 4) + " points declared; the rest, from line " + std::to_string(lineNumber) + ", left out");
            finished = true;
            return;
        }
        Slot slot;
        slot.read = line.size() >= 18 && ParseIgcAngle(line.substr(1, 7), line[8], 'S', 'N', -1, &slot.point.latitude) &&
                    ParseIgcAngle(line.substr(9, 8), line[17], 'W', 'E', -1, &slot.point.longitude) && slot.point.latitude >= -90.0 &&
                    slot.point.latitude <= 90.0 && slot.point.longitude >= -180.0 && slot.point.longitude <= 180.0;
        if (!slot.read && unreadable++ == 0)
            firstUnreadable = lineNumber;
        slot.placed = slot.read && !(slot.point.latitude == 0.0 && slot.point.longitude == 0.0);
        slot.point.name = NameOf(line);
        // The declaration says nothing of the observation zones; a cylinder of 500 m is the
        // one the sporting code for badges and records (what a declaration is for) allows
        // at every turnpoint, and stands in for the start and finish lines, whose direction
        // is not declared either.
        slot.point.radius = 500.0;
        slots.push_back(slot);
    }

    // The task into the plan, with notes on what was left out; nothing when no point was declared.
    void Finish(FlightPlan* plan) const
    {
        std::vector<std::string> told = notes;
        if (unreadable)
            told.push_back("task: " + std::to_string(unreadable) + " C record" + (unreadable == 1 ? "" : "s") + " that cannot be read left out (the first on line " + std::to_string(firstUnreadable) + ")");
        if (slots.empty())
        {
            plan->notes.insert(plan->notes.end(), told.begin(), told.end());
            return;
        }
        // Take-off, start, turnpoints, finish, landing as declared (records beyond them left
        // out), or start to finish alone; else the first and the last places are taken as the
        // start and the finish, the records at no place around them as take-off and landing.
        const size_t declaredPoints = static_cast<size_t>(turnpoints) + 4;
        size_t count = slots.size();
        size_t takeoff = count, landing = count, start = 0, finish = count - 1;
        if (declared && count >= declaredPoints)
        {
            if (count > declaredPoints)
                told.push_back("task: " + std::to_string(count - declaredPoints) + " C record" + (count - declaredPoints == 1 ? "" : "s") + " beyond the " +
                               std::to_string(declaredPoints) + " points declared left out");
            count = declaredPoints;
            takeoff = 0;
            start = 1;
            finish = count - 2;
            landing = count - 1;
        }
        else if (!declared || count != declaredPoints - 2)
        {
            told.push_back("task: the declaration names " + (declared ? std::to_string(turnpoints) : std::string("no")) + " turnpoints but " + std::to_string(count) +
                           " points follow; the first and the last place taken as start and finish");
            while (start < finish && !slots[start].placed)
                ++start;
            while (finish > start && !slots[finish].placed)
                --finish;
        }
        std::vector<Turnpoint> task;
        size_t unplaced = 0;
        for (size_t i = 0; i < count; ++i)
        {
            if (i == landing)
                continue; // where the pilot meant to land is not part of the task
            if (!slots[i].placed)
            {
                unplaced += slots[i].read && i != takeoff && i >= start && i <= finish;
                continue;
            }
            Turnpoint point = slots[i].point;
            point.role = i == takeoff ? TurnpointRole::Takeoff : i == start ? TurnpointRole::Start : i == finish ? TurnpointRole::Goal : TurnpointRole::Turn;
            task.push_back(point);
        }
        if (unplaced)
            told.push_back("task: " + std::to_string(unplaced) + " declared point" + (unplaced == 1 ? "" : "s") + " at 0 N 0 E (no place) left out");
        plan->task = std::move(task);
        plan->notes.insert(plan->notes.end(), told.begin(), told.end());
    }

private:
    struct Slot
    {
        Turnpoint point;
        bool read = false;   // the record could be read
        bool placed = false; // and names a place (not 0 N 0 E)
    };

    static bool IsDeclaration(const std::string& line)
    {
        if (line.size() < 25)
            return false;
        for (size_t i = 1; i < 25; ++i)
            if (!isdigit(static_cast<unsigned char>(line[i])))
                return false;
        return true;
    }

    // The name after the position, printable ASCII as IGC files are, at most 100 characters.
    static std::string NameOf(const std::string& line)
    {
        std::string name;
        for (size_t i = 18; i < line.size() && name.size() < 100; ++i)
            name += line[i] >= 0x20 && line[i] < 0x7F ? line[i] : '?';
        const size_t begin = name.find_first_not_of(' '), end = name.find_last_not_of(' ');
        return begin == std::string::npos ? std::string() : name.substr(begin, end - begin + 1);
    }

    bool declared = false, finished = false;
    int turnpoints = 0;
    std::vector<Slot> slots;
    size_t unreadable = 0, firstUnreadable = 0;
    std::vector<std::string> notes;
};

// The kind a header names plainly: the glider's type ("PARAPENTE") or its competition class
// ("18-meter"). Most types name only a model, which says nothing here.
static VehicleIdentity IgcHeaderVehicle(const std::string& line)
{
    VehicleIdentity identity;
    const bool type = line.compare(0, 5, "HFGTY") == 0, competitionClass = line.compare(0, 5, "HFCCL") == 0;
    if (!type && !competitionClass)
        return identity;
    const size_t colon = line.find(':');
    const std::string value = colon == std::string::npos ? line.substr(5) : line.substr(colon + 1);
    identity.kind = GliderKindOfWords(value);
    if (identity.kind != VehicleKind::Unknown)
        identity.source = std::string(type ? "IGC glider type '" : "IGC competition class '") + value.substr(0, 60) + "'";
    return identity;
}

bool ReadIgcTrack(const FlightFile& file, RecordedFlight* flight, std::string*)
{
    IgcTaskRecords task;
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
        if (!line.empty() && line[0] == 'C')
            task.Add(line, lineNumber);
        if (flight->vehicle.kind == VehicleKind::Unknown)
            flight->vehicle = IgcHeaderVehicle(line);
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
    task.Finish(&flight->plan);
    skipped.Report(flight);
    DescribeTrack(flight, "IGC", "B records", "seconds of the UTC day");
    return true;
}
