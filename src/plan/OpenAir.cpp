// Airspace in OpenAir text: one airspace from each `AC` (class) record to the next, with its
// name (`AN`), floor (`AL`) and ceiling (`AH`), and an outline of points (`DP`), arcs (`DA`
// by radius and bearings, `DB` between two points) and circles (`DC`) around the centre a
// `V X=` record sets, turning the way `V D=` says (+ clockwise, the default). The files come
// from many hands: a record it cannot read is counted and named once, with the line of the
// first, and the airspace it belongs to is kept when its outline still holds.
#include "plan/PlanFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "geo/Geodesy.h"

namespace
{

const double MetresPerFoot = 0.3048;
const double MetresPerNauticalMile = 1852.0;
const double ArcStep = 5.0 * RadiansPerDegree; // an arc laid out as chords of at most 5 degrees
const double LongestRadius = 1000.0;           // nautical miles: more is no airspace
const double HighestLimit = 200000.0 * 0.3048;  // metres (200,000 ft, FL 2000): more is no airspace
const size_t LongestName = 100;                // bytes

struct Reader
{
    FlightPlan* plan;
    std::vector<Airspace> read;
    Airspace current;
    bool open = false;
    bool hasFloor = false, hasCeiling = false;
    size_t currentLine = 0;
    PlanPoint centre;
    bool hasCentre = false;
    bool clockwise = true;
    // What it could not take: a kind of fault, how many, the line of the first.
    std::map<std::string, std::pair<size_t, size_t>> faults;
    size_t tooMany = 0;

    void Fault(const std::string& what, size_t line)
    {
        auto& entry = faults[what];
        if (entry.first++ == 0)
            entry.second = line;
    }
};

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

// A name as shown: control bytes made spaces, at most LongestName bytes, cut at a character's start.
std::string CleanName(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    if (text.size() > LongestName)
    {
        size_t cut = LongestName;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    return Trimmed(text);
}

// One angle, "DD:MM:SS.s", "DD:MM.mmm" or "DD.ddd", then its hemisphere letter; *at moves past it.
bool ReadAngle(const std::string& text, size_t* at, const char* hemispheres, double limit, double* degrees)
{
    size_t i = *at;
    while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
        ++i;
    double parts[3] = {0.0, 0.0, 0.0};
    int count = 0;
    while (count < 3)
    {
        const size_t start = i;
        while (i < text.size() && (isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
            ++i;
        if (i == start || i - start > 15)
            return false;
        char* end = nullptr;
        const std::string number = text.substr(start, i - start);
        parts[count++] = strtod(number.c_str(), &end);
        if (*end != '\0')
            return false;
        if (i < text.size() && text[i] == ':')
            ++i;
        else
            break;
    }
    while (i < text.size() && isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i >= text.size())
        return false;
    const char letter = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
    if (letter != hemispheres[0] && letter != hemispheres[1])
        return false;
    if (parts[1] >= 60.0 || parts[2] >= 60.0)
        return false;
    double value = parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
    if (value > limit)
        return false;
    if (letter == hemispheres[1])
        value = -value;
    *degrees = value;
    *at = i + 1;
    return true;
}

bool ReadCoordinate(const std::string& text, size_t* at, PlanPoint* point)
{
    return ReadAngle(text, at, "NS", 90.0, &point->latitude) && ReadAngle(text, at, "EW", 180.0, &point->longitude);
}

bool ReadOneCoordinate(const std::string& text, PlanPoint* point)
{
    size_t at = 0;
    if (!ReadCoordinate(text, &at, point))
        return false;
    return Trimmed(text.substr(at)).empty();
}

// "SFC", "GND", "UNL", "FL95", "FL 95", "2500ft MSL", "2500 AMSL", "1000ft AGL", "500m GND", "3000".
bool ReadLimit(const std::string& raw, AirspaceLimit* limit)
{
    const std::string text = Upper(Trimmed(raw));
    limit->text = CleanName(Trimmed(raw));
    if (text.empty())
        return false;
    if (text.compare(0, 3, "UNL") == 0)
    {
        limit->reference = AirspaceLimit::Unlimited;
        limit->metres = 0.0;
        return true;
    }
    if (text == "SFC" || text == "GND" || text == "AGL" || text == "ASFC")
    {
        limit->reference = AirspaceLimit::Surface;
        limit->metres = 0.0;
        return true;
    }
    size_t i = 0;
    const bool flightLevel = text.compare(0, 2, "FL") == 0;
    if (flightLevel)
        i = 2;
    while (i < text.size() && text[i] == ' ')
        ++i;
    const size_t start = i;
    while (i < text.size() && (isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        ++i;
    if (i == start || i - start > 12)
        return false;
    const double number = atof(text.substr(start, i - start).c_str());
    if (!(number >= 0.0))
        return false;
    if (flightLevel)
    {
        limit->reference = AirspaceLimit::FlightLevel;
        limit->metres = number * 100.0 * MetresPerFoot;
        return limit->metres <= HighestLimit && Trimmed(text.substr(i)).empty();
    }
    std::string rest = Trimmed(text.substr(i));
    double unit = MetresPerFoot; // feet unless the file says metres
    if (rest.compare(0, 2, "FT") == 0)
        rest = Trimmed(rest.substr(2));
    else if (rest.compare(0, 1, "F") == 0 && (rest.size() == 1 || rest[1] == ' '))
        rest = Trimmed(rest.substr(1));
    else if (rest.compare(0, 1, "M") == 0 && (rest.size() == 1 || rest[1] == ' '))
    {
        unit = 1.0;
        rest = Trimmed(rest.substr(1));
    }
    limit->metres = number * unit;
    if (!(limit->metres <= HighestLimit))
        return false;
    if (rest.empty() || rest == "MSL" || rest == "AMSL" || rest == "ALT")
        limit->reference = AirspaceLimit::Amsl;
    else if (rest == "AGL" || rest == "GND" || rest == "SFC" || rest == "ASFC")
        limit->reference = AirspaceLimit::AboveGround;
    else
        return false;
    return true;
}

// The point `metres` from `from` along `bearing` (radians clockwise from north), on the sphere.
PlanPoint Destination(const PlanPoint& from, double bearing, double metres)
{
    const double angular = metres / EarthRadius;
    const double latitude = from.latitude * RadiansPerDegree;
    // Where the arc passes over a pole, rounding can take the sine a hair past 1.
    const double to = std::asin(std::clamp(std::sin(latitude) * std::cos(angular) + std::cos(latitude) * std::sin(angular) * std::cos(bearing), -1.0, 1.0));
    const double east = std::atan2(std::sin(bearing) * std::sin(angular) * std::cos(latitude), std::cos(angular) - std::sin(latitude) * std::sin(to));
    return PlanPoint{to * DegreesPerRadian, WrapLongitude(from.longitude + east * DegreesPerRadian)};
}

double Bearing(const PlanPoint& from, const PlanPoint& to)
{
    const double a = from.latitude * RadiansPerDegree, b = to.latitude * RadiansPerDegree;
    const double east = (to.longitude - from.longitude) * RadiansPerDegree;
    return std::atan2(std::sin(east) * std::cos(b), std::cos(a) * std::sin(b) - std::sin(a) * std::cos(b) * std::cos(east));
}

// The arc around the centre from one bearing to another the reader's way round, without its
// first point (the caller has it) and with its last.
void AppendArc(Reader& reader, double radius, double from, double to)
{
    double sweep = reader.clockwise ? to - from : from - to;
    while (sweep <= 0.0)
        sweep += TwoPi;
    while (sweep > TwoPi)
        sweep -= TwoPi;
    const int steps = std::max(1, static_cast<int>(std::ceil(sweep / ArcStep)));
    for (int k = 1; k <= steps && reader.current.outline.size() <= MostShapeVertices; ++k)
    {
        const double bearing = from + (reader.clockwise ? 1.0 : -1.0) * sweep * k / steps;
        reader.current.outline.push_back(Destination(reader.centre, bearing, radius));
    }
}

// Only limits from the same datum compare; a flight level is taken as above sea level, as
// AirspaceLimitAmsl takes it.
bool FloorAboveCeiling(const AirspaceLimit& floor, const AirspaceLimit& ceiling)
{
    const auto sea = [](AirspaceLimit::Reference reference) { return reference == AirspaceLimit::Amsl || reference == AirspaceLimit::FlightLevel; };
    const bool comparable = (sea(floor.reference) && sea(ceiling.reference)) || (floor.reference == AirspaceLimit::AboveGround && ceiling.reference == AirspaceLimit::AboveGround);
    return comparable && floor.metres > ceiling.metres;
}

void Close(Reader& reader)
{
    if (!reader.open)
        return;
    reader.open = false;
    std::vector<PlanPoint>& outline = reader.current.outline;
    // A file may repeat the first point to close the ring: the outline closes by itself.
    if (outline.size() > 1 && outline.front().latitude == outline.back().latitude && outline.front().longitude == outline.back().longitude)
        outline.pop_back();
    if (outline.size() < 3)
        reader.Fault("airspaces without an outline of three points or a circle, left out", reader.currentLine);
    else if (outline.size() > MostShapeVertices)
        reader.Fault("airspaces of more than " + std::to_string(MostShapeVertices) + " outline points, left out", reader.currentLine);
    else if (!reader.hasFloor || !reader.hasCeiling)
        reader.Fault("airspaces without a readable floor (AL) or ceiling (AH), left out", reader.currentLine);
    else if (FloorAboveCeiling(reader.current.floor, reader.current.ceiling))
        reader.Fault("airspaces with a floor above its ceiling, left out", reader.currentLine);
    else if (reader.plan->airspace.size() + reader.read.size() >= MostAirspaces)
        ++reader.tooMany;
    else
        reader.read.push_back(std::move(reader.current));
}

void ReadLine(Reader& reader, const std::string& line, size_t number)
{
    if (line.size() < 2 || line[0] == '*')
        return;
    const std::string key = Upper(line.substr(0, 2));
    const std::string value = Trimmed(line.substr(2));
    if (key == "AC")
    {
        Close(reader);
        reader.current = Airspace();
        reader.current.airspaceClass = CleanName(value);
        reader.open = true;
        reader.hasFloor = reader.hasCeiling = false;
        reader.currentLine = number;
        reader.clockwise = true; // V D= holds for the airspace it stands in
        return;
    }
    if (key == "V ")
    {
        const std::string setting = Upper(value);
        if (setting.compare(0, 2, "X=") == 0)
        {
            if (ReadOneCoordinate(value.substr(2), &reader.centre))
                reader.hasCentre = true;
            else
            {
                reader.hasCentre = false;
                reader.Fault("centres (V X=) it cannot read", number);
            }
        }
        else if (setting.compare(0, 2, "D=") == 0)
        {
            const std::string direction = Trimmed(setting.substr(2));
            if (direction == "+" || direction == "-")
                reader.clockwise = direction == "+";
            else
                reader.Fault("directions (V D=) other than + or -", number);
        }
        return; // V W= (airway width) and V Z= (zoom) do not shape an airspace
    }
    if (key == "AT" || key == "AY" || key == "AF" || key == "AG" || key == "SP" || key == "SB" || key == "TO" || key == "TC")
        return; // labels, frequencies and styles
    if (!reader.open)
    {
        if (key == "AN" || key == "AL" || key == "AH" || key == "DP" || key == "DA" || key == "DB" || key == "DC")
            reader.Fault("records before any AC", number);
        else
            reader.Fault("lines it does not understand", number);
        return;
    }
    if (key == "AN")
        reader.current.name = CleanName(value);
    else if (key == "AL")
    {
        reader.hasFloor = ReadLimit(value, &reader.current.floor);
        if (!reader.hasFloor)
            reader.Fault("floors (AL) it cannot read", number);
    }
    else if (key == "AH")
    {
        reader.hasCeiling = ReadLimit(value, &reader.current.ceiling);
        if (!reader.hasCeiling)
            reader.Fault("ceilings (AH) it cannot read", number);
    }
    else if (key == "DP")
    {
        PlanPoint point;
        if (ReadOneCoordinate(value, &point))
        {
            if (reader.current.outline.size() <= MostShapeVertices)
                reader.current.outline.push_back(point);
        }
        else
            reader.Fault("points (DP) it cannot read", number);
    }
    else if (key == "DC")
    {
        char* end = nullptr;
        const double radius = strtod(value.c_str(), &end);
        if (!reader.hasCentre)
            reader.Fault("circles or arcs without a centre (V X=)", number);
        else if (!(radius > 0.0 && radius <= LongestRadius) || !Trimmed(end).empty())
            reader.Fault("circles (DC) without a radius it can read", number);
        else
        {
            reader.current.outline.clear();
            const bool clockwise = reader.clockwise;
            reader.clockwise = true;
            reader.current.outline.push_back(Destination(reader.centre, 0.0, radius * MetresPerNauticalMile));
            AppendArc(reader, radius * MetresPerNauticalMile, 0.0, TwoPi);
            reader.current.outline.pop_back(); // the last point is the first again
            reader.clockwise = clockwise;
        }
    }
    else if (key == "DA")
    {
        double numbers[3];
        int count = 0;
        const char* at = value.c_str();
        while (count < 3)
        {
            char* end = nullptr;
            numbers[count] = strtod(at, &end);
            if (end == at)
                break;
            ++count;
            at = end;
            while (*at == ' ' || *at == '\t')
                ++at;
            if (*at == ',')
                ++at;
        }
        if (!reader.hasCentre)
            reader.Fault("circles or arcs without a centre (V X=)", number);
        else if (count != 3 || !(numbers[0] > 0.0 && numbers[0] <= LongestRadius) || !std::isfinite(numbers[1]) || !std::isfinite(numbers[2]) || std::fabs(numbers[1]) > 720.0 || std::fabs(numbers[2]) > 720.0)
            reader.Fault("arcs (DA) without a radius and two bearings it can read", number);
        else
        {
            const double radius = numbers[0] * MetresPerNauticalMile;
            const double from = numbers[1] * RadiansPerDegree, to = numbers[2] * RadiansPerDegree;
            reader.current.outline.push_back(Destination(reader.centre, from, radius));
            AppendArc(reader, radius, from, to);
        }
    }
    else if (key == "DB")
    {
        const size_t comma = value.find(',');
        PlanPoint first, last;
        if (!reader.hasCentre)
            reader.Fault("circles or arcs without a centre (V X=)", number);
        else if (comma == std::string::npos || !ReadOneCoordinate(value.substr(0, comma), &first) || !ReadOneCoordinate(value.substr(comma + 1), &last))
            reader.Fault("arcs (DB) without two points it can read", number);
        else
        {
            const double a = GroundDistance(reader.centre.latitude, reader.centre.longitude, first.latitude, first.longitude);
            const double b = GroundDistance(reader.centre.latitude, reader.centre.longitude, last.latitude, last.longitude);
            if (!(a > 0.0) || !(b > 0.0) || a > LongestRadius * MetresPerNauticalMile)
            {
                reader.Fault("arcs (DB) with an end at the centre or too far from it", number);
                return;
            }
            // The two ends of a hand-made arc rarely lie at one radius: sweep the radius from
            // one to the other, so the outline passes through both points the file gives.
            if (std::fabs(a - b) > 0.1 * std::max(a, b))
                reader.Fault("arcs (DB) whose ends lie at radii more than a tenth apart", number);
            reader.current.outline.push_back(first);
            const double from = Bearing(reader.centre, first), to = Bearing(reader.centre, last);
            const size_t before = reader.current.outline.size();
            AppendArc(reader, a, from, to);
            const size_t added = reader.current.outline.size() - before;
            for (size_t k = 0; k < added; ++k)
            {
                const double fraction = static_cast<double>(k + 1) / static_cast<double>(added);
                PlanPoint& point = reader.current.outline[before + k];
                point = Destination(reader.centre, Bearing(reader.centre, point), a + (b - a) * fraction);
            }
            reader.current.outline.back() = last;
        }
    }
    else if (key == "DY")
        reader.Fault("airways (DY), which it does not draw", number);
    else
        reader.Fault("lines it does not understand", number);
}

} // namespace

bool ReadOpenAir(const std::string& text, FlightPlan* plan, std::string* error)
{
    Reader reader;
    reader.plan = plan;
    size_t start = 0, number = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++number;
        // A comment may follow a record after a '*'.
        const size_t comment = line.find('*', 1);
        if (comment != std::string::npos)
            line.resize(comment);
        ReadLine(reader, Trimmed(line), number);
        start = end + 1;
    }
    Close(reader);
    std::vector<std::string> notes;
    for (const auto& fault : reader.faults)
        notes.push_back("airspace: " + fault.first + ": " + std::to_string(fault.second.first) + " (the first on line " + std::to_string(fault.second.second) + ")");
    if (reader.tooMany)
        notes.push_back("airspace: more than " + std::to_string(MostAirspaces) + " airspaces; " + std::to_string(reader.tooMany) + " left out");
    if (reader.read.empty())
    {
        // A refused file leaves the plan as it was: the first fault says why.
        *error = "no airspace with a floor, a ceiling and an outline";
        if (!notes.empty())
            *error += " (" + notes.front() + ")";
        return false;
    }
    plan->notes.insert(plan->notes.end(), notes.begin(), notes.end());
    plan->airspace.insert(plan->airspace.end(), std::make_move_iterator(reader.read.begin()), std::make_move_iterator(reader.read.end()));
    return true;
}
