#include "track/DataFlashReader.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>
#include <vector>

#include "geo/Geodesy.h"
#include "track/AutopilotModes.h"
#include "track/BinaryNumbers.h"
#include "track/FlightTraffic.h"
#include "track/FlightWind.h"
#include "track/MissionVersions.h"

namespace
{

const uint8_t Head1 = 0xA3;
const uint8_t Head2 = 0x95;
const uint8_t FormatType = 128;   // FMT
const size_t FormatLength = 89;   // 3 header bytes, type, length, char[4], char[16], char[64]
const size_t HeaderLength = 3;

// The format characters this reader knows: the number each stores (None for text and the
// arrays), its bytes, and the scale it gives its integer (0 for none).
struct FormatCharacter
{
    char character;
    NumberType type;
    size_t size;
    double scale;
};

const FormatCharacter FormatCharacters[] = {
    {'b', NumberType::Int8, 1, 0.0},    {'B', NumberType::UInt8, 1, 0.0},   {'M', NumberType::UInt8, 1, 0.0},
    {'h', NumberType::Int16, 2, 0.0},   {'H', NumberType::UInt16, 2, 0.0},  {'c', NumberType::Int16, 2, 0.01},
    {'C', NumberType::UInt16, 2, 0.01}, {'i', NumberType::Int32, 4, 0.0},   {'I', NumberType::UInt32, 4, 0.0},
    {'f', NumberType::Float, 4, 0.0},   {'e', NumberType::Int32, 4, 0.01},  {'E', NumberType::UInt32, 4, 0.01},
    {'L', NumberType::Int32, 4, 1e-7},  {'n', NumberType::None, 4, 0.0},    {'d', NumberType::Double, 8, 0.0},
    {'q', NumberType::Int64, 8, 0.0},   {'Q', NumberType::UInt64, 8, 0.0},  {'N', NumberType::None, 16, 0.0},
    {'Z', NumberType::None, 64, 0.0},   {'a', NumberType::None, 64, 0.0},
};

const FormatCharacter* FindCharacter(char c)
{
    for (const FormatCharacter& known : FormatCharacters)
        if (known.character == c)
            return &known;
    return nullptr;
}

// Bytes of one format character's value, 0 for a character this reader does not know.
size_t CharacterSize(char c)
{
    const FormatCharacter* known = FindCharacter(c);
    return known ? known->size : 0;
}

// A text field of fixed width, up to its first NUL.
std::string FixedText(const uint8_t* bytes, size_t width)
{
    size_t length = 0;
    while (length < width && bytes[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

struct Column
{
    std::string name;
    char character;
    size_t offset; // from the start of the message, header included
};

// One message type as its FMT message describes it.
struct MessageType
{
    bool defined = false;
    size_t length = 0; // whole message, header included
    std::string name;
    std::vector<Column> columns; // empty when the format holds a character this reader does not know
    std::string multipliers;     // FMTU's multiplier ids, one per column, when given
    size_t record = 0;           // index into the flight's streams
    int time = -1;               // column of TimeUS or TimeMS
    double timeScale = 1e-6;
    int instance = -1;           // column of I or Inst

    int Find(const char* columnName) const
    {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == columnName)
                return static_cast<int>(i);
        return -1;
    }
};

// The series of one source message, before the reader picks.
struct Series
{
    std::vector<TimedPosition> positions;
    std::vector<TimedAttitude> attitudes;
    std::vector<TimedValue> channels[FlightChannelCount];
};

// EV ids that tell of arming and of failsafe-like trouble; other ids become "event N".
const int EventArmed = 10;
const int EventDisarmed = 11;
struct NamedEvent
{
    int id;
    FlightEventKind kind;
    int severity;
    const char* text;
};
const NamedEvent NamedEvents[] = {
    {15, FlightEventKind::Message, 5, "auto armed"},        {18, FlightEventKind::Message, 6, "land complete"},
    {19, FlightEventKind::Failsafe, 2, "GPS lost"},         {25, FlightEventKind::Message, 6, "home set"},
    {51, FlightEventKind::Failsafe, 1, "parachute released"}, {54, FlightEventKind::Failsafe, 1, "motors emergency stopped"},
};

// ERR subsystems: the failsafes among them, by name; the rest are "subsystem S".
struct Subsystem
{
    int id;
    const char* name;
};
const Subsystem FailsafeSubsystems[] = {
    {5, "radio"}, {6, "battery"}, {7, "GPS"}, {8, "ground station"}, {9, "fence"}, {17, "EKF"}, {20, "ADS-B"}, {23, "terrain"}, {26, "sensors"}, {27, "leak"}, {29, "vibration"},
};

// A MODE record, named once the log's banner has told the vehicle.
struct ModeRecord
{
    size_t event; // index into the flight's events
    double mode;
};

// The airframe from the firmware's banner and its frame parameters: a plane's firmware flies
// quadplanes and tailsitters too, a copter's has a frame class (1 quad, 2 hexa, 3 octa, 4 octa
// quad, 5 Y6, 6 helicopter, 7 tri, 11 and 13 helicopters), a rover's drives boats (class 2).
VehicleIdentity BannerVehicle(ModeFamily family, const std::string& banner, double quadplane, double tailsitter, double frameClass)
{
    VehicleIdentity identity;
    if (family == ModeFamily::Unknown)
        return identity;
    const std::string words = banner.substr(0, banner.find(' ', banner.find(' ') + 1));
    identity.source = "firmware banner '" + words + "'";
    const int frame = std::isfinite(frameClass) ? static_cast<int>(frameClass) : 0;
    switch (family)
    {
    case ModeFamily::Plane:
        identity.kind = quadplane == 1.0 ? (tailsitter >= 1.0 ? VehicleKind::Tailsitter : VehicleKind::VtolQuadplane) : VehicleKind::Plane;
        if (quadplane == 1.0)
            identity.source += tailsitter >= 1.0 ? " with Q_ENABLE 1, Q_TAILSIT_ENABLE 1" : " with Q_ENABLE 1";
        return identity;
    case ModeFamily::Copter:
        identity.kind = frame == 2 || frame == 5 ? VehicleKind::Hexarotor : frame == 3 || frame == 4 ? VehicleKind::Octorotor
                        : frame == 6 || frame == 11 || frame == 13                          ? VehicleKind::Helicopter
                                                                                            : VehicleKind::Quadrotor;
        if (frame > 0)
            identity.source += ", FRAME_CLASS " + std::to_string(frame);
        return identity;
    case ModeFamily::Rover:
        identity.kind = frame == 2 ? VehicleKind::Boat : VehicleKind::Rover;
        if (frame > 0)
            identity.source += ", FRAME_CLASS " + std::to_string(frame);
        return identity;
    default:
        return VehicleIdentity();
    }
}

class Reader
{
public:
    Reader(const uint8_t* data, size_t size, RecordedFlight* flight) : data(data), size(size), flight(flight) {}
    void Read();

private:
    const uint8_t* data;
    size_t size;
    RecordedFlight* flight;
    MessageType types[256];
    std::map<char, double> multipliers; // MULT: id -> multiplier
    std::map<std::string, Series> series; // by message name
    std::map<std::string, size_t> records; // message name -> index into the flight's streams
    size_t cutOff = 0;
    size_t invalid = 0;
    size_t eventOverflow = 0;
    ModeFamily family = ModeFamily::Unknown; // from the firmware's banner among the MSG texts
    std::string banner;                      // that banner's text
    // The parameters that tell the airframe: Q_ENABLE, Q_TAILSIT_ENABLE, FRAME_CLASS.
    double quadplane = NAN, tailsitter = NAN, frameClass = NAN;
    double lastMode = NAN;
    std::vector<ModeRecord> modes;
    PlanFromLog plan;
    std::vector<TimedGimbal> gimbal;
    std::vector<TimedWind> wind;
    std::string windName;
    size_t invalidWind = 0;
    PhotoMessages photos;

    size_t RecordOf(const std::string& name);
    size_t LengthAt(size_t at) const;
    bool PlausibleAt(size_t at) const;
    size_t Resynchronise(size_t from) const;
    void HandleFormat(const uint8_t* message);
    double Value(const MessageType& type, int column, const uint8_t* message, bool scaled = true) const;
    void Handle(MessageType& type, const uint8_t* message);
    void HandleEvent(MessageType& type, const uint8_t* message, double time);
    void HandleWind(MessageType& type, const uint8_t* message, double time);
    void HandleTraffic(MessageType& type, const uint8_t* message, double time);
    void HandlePlan(MessageType& type, const uint8_t* message, double time);
    void Finish();
};

// The stream of a message name in the summary: one per name, however often (and under
// whichever id) the name is described.
size_t Reader::RecordOf(const std::string& name)
{
    const auto known = records.find(name);
    if (known != records.end())
        return known->second;
    RecordedStream record;
    record.name = name;
    flight->streams.push_back(record);
    return records[name] = flight->streams.size() - 1;
}

// The length of the message whose header is at `at`, or 0 when no known type starts there.
size_t Reader::LengthAt(size_t at) const
{
    if (at + HeaderLength > size || data[at] != Head1 || data[at + 1] != Head2)
        return 0;
    const uint8_t type = data[at + 2];
    if (type == FormatType)
        return FormatLength;
    return types[type].defined ? types[type].length : 0;
}

// A known message starts at `at`, fits, and ends the file or is followed by another header.
bool Reader::PlausibleAt(size_t at) const
{
    const size_t length = LengthAt(at);
    if (length == 0 || at + length > size)
        return false;
    const size_t next = at + length;
    return next == size || LengthAt(next) != 0 || size - next < HeaderLength;
}

size_t Reader::Resynchronise(size_t from) const
{
    for (size_t at = from; at + HeaderLength <= size; ++at)
    {
        const void* found = memchr(data + at, Head1, size - at);
        if (!found)
            break;
        at = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
        if (PlausibleAt(at))
            return at;
    }
    return size;
}

void Reader::HandleFormat(const uint8_t* message)
{
    const uint8_t typeId = message[3];
    const size_t length = message[4];
    if (typeId == FormatType || length < HeaderLength)
        return; // FMT's own layout is fixed
    MessageType type;
    type.defined = true;
    type.length = length;
    type.name = FixedText(message + 5, 4);
    const std::string characters = FixedText(message + 9, 16);
    const std::string names = FixedText(message + 25, 64);
    std::vector<std::string> columnNames;
    size_t start = 0;
    while (start <= names.size())
    {
        size_t comma = names.find(',', start);
        if (comma == std::string::npos)
            comma = names.size();
        columnNames.push_back(names.substr(start, comma - start));
        start = comma + 1;
    }
    size_t offset = HeaderLength;
    bool known = columnNames.size() == characters.size();
    for (size_t i = 0; known && i < characters.size(); ++i)
    {
        const size_t bytes = CharacterSize(characters[i]);
        known = bytes > 0 && offset + bytes <= length;
        type.columns.push_back(Column{columnNames[i], characters[i], offset});
        offset += bytes;
    }
    if (!known)
        type.columns.clear(); // framed by its length, but not decoded
    type.time = type.Find("TimeUS");
    if (type.time < 0 && (type.time = type.Find("TimeMS")) >= 0)
        type.timeScale = 1e-3;
    type.instance = type.Find("I");
    if (type.instance < 0)
        type.instance = type.Find("Inst");

    type.record = RecordOf(type.name);
    MessageType& slot = types[typeId];
    type.multipliers = slot.name == type.name ? slot.multipliers : std::string();
    slot = type;
}

// A column's value in its unit (unscaled: as stored); NaN when the column does not exist or
// holds no number.
double Reader::Value(const MessageType& type, int column, const uint8_t* message, bool scaled) const
{
    if (column < 0 || static_cast<size_t>(column) >= type.columns.size())
        return NAN;
    const Column& c = type.columns[static_cast<size_t>(column)];
    const uint8_t* at = message + c.offset;
    const FormatCharacter* known = FindCharacter(c.character);
    if (!known || known->type == NumberType::None)
        return NAN; // text
    const double raw = LoadNumber(known->type, at);
    if (!scaled)
        return raw;
    const double scale = known->scale;
    if (scale > 0.0)
        return raw * scale;
    // FMTU multipliers turn stored integers into units; floats are stored in theirs.
    if (c.character != 'f' && c.character != 'd' && static_cast<size_t>(column) < type.multipliers.size())
    {
        const auto multiplier = multipliers.find(type.multipliers[static_cast<size_t>(column)]);
        if (multiplier != multipliers.end() && multiplier->second != 0.0 && std::isfinite(multiplier->second))
            return raw * multiplier->second;
    }
    return raw;
}

void AddValue(Series& series, FlightChannel channel, double time, double value)
{
    if (std::isfinite(value))
        series.channels[static_cast<int>(channel)].push_back(TimedValue{time, value});
}

// The EKF's wind, from the primary core (C 0) only: the other cores estimate the same air.
// A log that holds both generations of the message keeps the first one met.
void Reader::HandleWind(MessageType& type, const uint8_t* message, double time)
{
    const int core = type.Find("C");
    if (core >= 0 && Value(type, core, message) != 0.0)
        return;
    if (windName.empty())
        windName = type.name;
    if (type.name != windName)
        return;
    TimedWind w;
    w.time = time;
    w.north = Value(type, type.Find("VWN"), message);
    w.east = Value(type, type.Find("VWE"), message);
    w.source = "EKF";
    KeepWind(&wind, w, &invalidWind);
}

// Another aircraft's transponder as the autopilot heard it. A log that describes no units
// (no FMTU) stores its integers as the telemetry's report does: degrees times 1e7, and
// hundredths of a metre, of a degree and of a metre a second.
void Reader::HandleTraffic(MessageType& type, const uint8_t* message, double time)
{
    const auto value = [&](const char* column, double unitless)
    {
        const int at = type.Find(column);
        const double scaled = Value(type, at, message), raw = Value(type, at, message, false);
        const char c = at >= 0 ? type.columns[static_cast<size_t>(at)].character : 'f';
        const bool integer = c != 'f' && c != 'd' && FindCharacter(c)->scale == 0.0;
        const auto multiplier = static_cast<size_t>(at) < type.multipliers.size() ? multipliers.find(type.multipliers[static_cast<size_t>(at)]) : multipliers.end();
        const bool described = multiplier != multipliers.end() && multiplier->second != 0.0 && std::isfinite(multiplier->second);
        return integer && !described ? raw * unitless : scaled;
    };
    TimedTraffic t;
    t.time = time;
    const double address = value("ICAO_address", 1.0);
    t.address = address >= 0.0 && address < 4294967296.0 ? static_cast<uint32_t>(address) : 0;
    t.latitude = value("Lat", 1e-7);
    t.longitude = value("Lng", 1e-7);
    t.altitude = value("Alt", 0.01);
    t.heading = value("Heading", 0.01);
    t.speed = value("Hor_vel", 0.01);
    AddTraffic(&flight->traffic, t);
    flight->streams[type.record].used = true;
}

void Reader::Handle(MessageType& type, const uint8_t* message)
{
    RecordedStream& record = flight->streams[type.record];
    ++record.count;
    if (type.columns.empty())
        return;
    const std::string& name = type.name;
    if (name == "FMTU")
    {
        const double typeId = Value(type, type.Find("FmtType"), message);
        const int ids = type.Find("MultIds");
        if (std::isfinite(typeId) && typeId >= 0.0 && typeId < 256.0 && ids >= 0 && type.columns[ids].character == 'N')
            types[static_cast<int>(typeId)].multipliers = FixedText(message + type.columns[ids].offset, 16);
        return;
    }
    if (name == "MULT")
    {
        const double id = Value(type, type.Find("Id"), message);
        const double multiplier = Value(type, type.Find("Mult"), message);
        if (std::isfinite(id) && id >= -128.0 && id < 256.0)
            multipliers[static_cast<char>(static_cast<int>(id))] = multiplier;
        return;
    }
    if (type.time < 0)
        return;
    const double time = Value(type, type.time, message, false) * type.timeScale;
    if (!std::isfinite(time))
        return;
    if (record.count == 1)
        record.firstTime = time;
    record.firstTime = std::min(record.firstTime, time);
    record.lastTime = std::max(record.lastTime, time);
    if (type.instance >= 0 && Value(type, type.instance, message) != 0.0)
        return; // a second GPS, battery or barometer
    const auto value = [&](const char* column) { return Value(type, type.Find(column), message); };

    if (name == "POS" || name == "GPS")
    {
        Series& s = series[name];
        bool fix = true;
        if (name == "GPS")
        {
            const double status = value("Status");
            fix = status >= 3.0;
            AddValue(s, FlightChannel::FixMode, time, status >= 3.0 ? 3.0 : (status >= 2.0 ? 2.0 : 0.0));
            AddValue(s, FlightChannel::Satellites, time, value("NSats"));
            if (fix)
                AddValue(s, FlightChannel::GroundSpeed, time, value("Spd"));
        }
        if (!fix)
            return;
        KeepPosition(&s.positions, TimedPosition{time, value("Lat"), value("Lng"), value("Alt")}, &invalid);
    }
    else if (name == "ATT")
    {
        const TimedAttitude a{time, value("Roll") * Pi / 180.0, value("Pitch") * Pi / 180.0, value("Yaw") * Pi / 180.0};
        if (std::isfinite(a.roll) && std::isfinite(a.pitch) && std::isfinite(a.yaw))
            series[name].attitudes.push_back(a);
        else
            ++invalid;
    }
    else if (name == "XKF2" || name == "NKF2")
        HandleWind(type, message, time);
    else if (name == "ADSB")
        HandleTraffic(type, message, time);
    else if (name == "CAM" || name == "TRIG")
    {
        // The place and the aircraft's attitude (degrees) the autopilot logged with the exposure.
        TimedPhoto p;
        p.time = time;
        const double image = value("Img");
        p.index = image >= 0.0 && image < 9.0e15 ? static_cast<int64_t>(image) : -1;
        p.latitude = value("Lat");
        p.longitude = value("Lng");
        p.altitude = value("Alt");
        p.roll = value("R") * Pi / 180.0;
        p.pitch = value("P") * Pi / 180.0;
        p.yaw = value("Y") * Pi / 180.0;
        p.source = name;
        photos.Add(p);
    }
    else if (name == "MNT")
    {
        // The mount's attitude in degrees: roll and pitch from the horizon, the yaw from north
        // (YawE) or, in a log without it, from the nose (YawB).
        const auto first = [&](std::initializer_list<const char*> columns)
        {
            for (const char* column : columns)
                if (type.Find(column) >= 0)
                    return value(column);
            return static_cast<double>(NAN);
        };
        TimedGimbal g;
        g.time = time;
        g.roll = first({"Roll", "ActRoll"}) * Pi / 180.0;
        g.pitch = first({"Pitch", "ActPitch"}) * Pi / 180.0;
        g.yaw = value("YawE") * Pi / 180.0;
        if (!std::isfinite(g.yaw))
        {
            g.yaw = first({"YawB", "ActYaw"}) * Pi / 180.0;
            g.yawFromNose = true;
        }
        if (std::isfinite(g.roll) && std::isfinite(g.pitch) && std::isfinite(g.yaw) && gimbal.size() < MaximumGimbalRecords)
            gimbal.push_back(g);
    }
    else if (name == "BAT" || name == "CURR")
    {
        Series& s = series[name];
        AddValue(s, FlightChannel::Voltage, time, value("Volt"));
        AddValue(s, FlightChannel::Current, time, value("Curr"));
        AddValue(s, FlightChannel::Consumed, time, value("CurrTot"));
    }
    else if (name == "BARO")
        AddValue(series[name], FlightChannel::BaroAltitude, time, value("Alt"));
    else if (name == "MODE")
    {
        const double mode = value("Mode");
        AddValue(series[name], FlightChannel::FlightMode, time, mode);
        if (std::isfinite(mode) && mode != lastMode)
        {
            lastMode = mode;
            if (AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Mode, 6, ""))
                modes.push_back(ModeRecord{flight->events.size() - 1, mode});
        }
    }
    else if (name == "MSG" || name == "EV" || name == "ERR")
        HandleEvent(type, message, time);
    else if (name == "CMD" || name == "MISE" || name == "FNCE" || name == "RALY" || name == "PARM" || name == "ORGN")
        HandlePlan(type, message, time);
    else if (name == "RCIN" || name == "RCOU")
    {
        const bool in = name == "RCIN";
        Series& s = series[name];
        const char* const columns[] = {"C1", "C2", "C3", "C4", "C5"};
        for (int i = 0; i < (in ? 5 : 4); ++i)
            AddValue(s, static_cast<FlightChannel>(static_cast<int>(in ? FlightChannel::RcIn1 : FlightChannel::ServoOut1) + i), time, value(columns[i]));
    }
}

void Reader::HandleEvent(MessageType& type, const uint8_t* message, double time)
{
    const auto value = [&](const char* column) { return Value(type, type.Find(column), message); };
    const auto integer = [](double v) { return std::isfinite(v) && std::fabs(v) < 1e9 ? static_cast<int>(v) : -1; };
    if (type.name == "MSG")
    {
        const int column = type.Find("Message");
        if (column < 0)
            return;
        const Column& c = type.columns[static_cast<size_t>(column)];
        const size_t width = c.character == 'Z' ? 64 : c.character == 'N' ? 16 : c.character == 'n' ? 4 : 0;
        if (width == 0)
            return;
        const std::string text = FixedText(message + c.offset, width);
        if (family == ModeFamily::Unknown)
        {
            family = ModeFamilyOfBanner(text);
            if (family != ModeFamily::Unknown)
                banner = text;
        }
        AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Message, 6, text);
    }
    else if (type.name == "EV")
    {
        const int id = integer(value("Id"));
        if (id < 0)
            return;
        if (id == EventArmed || id == EventDisarmed)
        {
            const bool armed = id == EventArmed;
            AppendFlightEvent(&flight->events, &eventOverflow, time, armed ? FlightEventKind::Arming : FlightEventKind::Disarming, 5, armed ? "armed" : "disarmed");
            return;
        }
        for (const NamedEvent& named : NamedEvents)
            if (named.id == id)
            {
                AppendFlightEvent(&flight->events, &eventOverflow, time, named.kind, named.severity, named.text);
                return;
            }
        AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Message, 6, "event " + std::to_string(id));
    }
    else
    {
        const int subsystem = integer(value("Subsys")), code = integer(value("ECode"));
        if (subsystem < 0 || code < 0)
            return;
        for (const Subsystem& failsafe : FailsafeSubsystems)
            if (failsafe.id == subsystem)
            {
                // Code 0 is the failsafe cleared.
                if (code == 0)
                    AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Message, 5, std::string(failsafe.name) + " failsafe cleared");
                else
                    AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Failsafe, 2, std::string(failsafe.name) + " failsafe (error " + std::to_string(code) + ")");
                return;
            }
        AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Message, code == 0 ? 5 : 3, "subsystem " + std::to_string(subsystem) + " error " + std::to_string(code));
    }
}

// A whole number a count or a sequence number can be, or -1.
int32_t Whole(double value)
{
    return std::isfinite(value) && value >= 0.0 && value < 2147483647.0 && value == std::floor(value) ? static_cast<int32_t>(value) : -1;
}

// CMD holds the whole mission at the log's start and at every upload, MISE the item that
// starts; FNCE and RALY the fence's items and the rally points in the same way; ORGN where
// home is set, PARM the parameters.
void Reader::HandlePlan(MessageType& type, const uint8_t* message, double time)
{
    const auto value = [&](const char* column) { return Value(type, type.Find(column), message); };
    FlightPlan* target = &flight->plan;
    if (type.name == "PARM")
    {
        const int column = type.Find("Name");
        if (column < 0 || type.columns[static_cast<size_t>(column)].character != 'N')
            return;
        const std::string parameter = FixedText(message + type.columns[static_cast<size_t>(column)].offset, 16);
        if (IsPlanParameter(parameter) && std::isfinite(value("Value")))
            plan.parameters[parameter] = value("Value");
        if (parameter == "Q_ENABLE")
            quadplane = value("Value");
        else if (parameter == "Q_TAILSIT_ENABLE")
            tailsitter = value("Value");
        else if (parameter == "FRAME_CLASS")
            frameClass = value("Value");
        return;
    }
    if (type.name == "ORGN")
    {
        // Type 1 is home as the autopilot sets it (0 the navigation filter's origin).
        if (value("Type") == 1.0)
            plan.Home(HomeReport{time, value("Lat"), value("Lng"), value("Alt")});
        return;
    }
    if (type.name == "CMD" || type.name == "MISE")
    {
        const int32_t total = Whole(value("CTot")), number = Whole(value("CNum"));
        if (total < 0 || number < 0)
            return;
        if (type.name == "MISE")
        {
            plan.Progress(target, time, MissionProgress::Started, number);
            return;
        }
        PlanItem item;
        item.seq = number;
        item.command = Whole(value("CId"));
        // Older logs have no Frame: their items count from home, which item 0 is itself.
        item.frame = type.Find("Frame") >= 0 ? Whole(value("Frame")) : (number == 0 ? 0 : 3);
        const char* const params[] = {"Prm1", "Prm2", "Prm3", "Prm4"};
        for (int i = 0; i < 4; ++i)
            item.param[i] = value(params[i]);
        item.latitude = value("Lat");
        item.longitude = value("Lng");
        item.altitude = value("Alt");
        plan.mission.Add(time, item, "CMD", true, total);
        return;
    }
    const int32_t total = Whole(value("Tot")), number = Whole(value("Seq"));
    if (total < 0 || number < 0)
        return;
    PlanItem item;
    item.seq = number;
    item.latitude = value("Lat");
    item.longitude = value("Lng");
    if (type.name == "FNCE")
    {
        item.command = Whole(value("Type"));
        const bool circle = item.command == CommandFenceCircleInclusion || item.command == CommandFenceCircleExclusion;
        item.param[0] = circle ? value("Radius") : value("Count");
        plan.fence.Add(time, item, "FNCE", true, total);
    }
    else
    {
        item.command = CommandRallyPoint;
        item.frame = 3; // above home, as the rally library stores them
        item.altitude = value("Alt");
        plan.rally.Add(time, item, "RALY", true, total);
    }
}

void Reader::Read()
{
    flight->format = "DataFlash";
    flight->clock = "TimeUS / 1e6, seconds since boot";
    flight->positionWanted = "POS, or GPS with Status 3 or more";
    size_t at = 0;
    while (at < size)
    {
        const size_t length = LengthAt(at);
        if (length == 0 || at + length > size)
        {
            // Not a message of a known type, or one cut off by the end of the file.
            const size_t next = Resynchronise(at + 1);
            if (next == size && length > 0)
                ++cutOff;
            flight->skippedBytes += next - at;
            at = next;
            continue;
        }
        const uint8_t* message = data + at;
        if (message[2] == FormatType)
        {
            HandleFormat(message);
            if (types[FormatType].name.empty())
            {
                // FMT describes itself; it is counted under its own name whether or not it does.
                types[FormatType].name = "FMT";
                types[FormatType].record = RecordOf("FMT");
            }
            ++flight->streams[types[FormatType].record].count;
        }
        else
            Handle(types[message[2]], message);
        at += length;
    }
    Finish();
}

void Reader::Finish()
{
    // The first name in `order` whose series holds what `has` asks for.
    auto choose = [this](std::initializer_list<const char*> order, auto has) -> const char*
    {
        for (const char* name : order)
        {
            const auto found = series.find(name);
            if (found != series.end() && has(found->second))
                return name;
        }
        return nullptr;
    };
    auto markUsed = [this](const char* name) { flight->streams[records[name]].used = true; };
    if (const char* source = choose({"POS", "GPS"}, [](const Series& s) { return !s.positions.empty(); }))
    {
        flight->positions = std::move(series[source].positions);
        flight->positionSource = source;
        markUsed(source);
    }
    if (const char* source = choose({"ATT"}, [](const Series& s) { return !s.attitudes.empty(); }))
    {
        flight->attitudes = std::move(series[source].attitudes);
        flight->attitudeSource = source;
        markUsed(source);
    }
    if (!wind.empty())
    {
        flight->wind = std::move(wind);
        markUsed(windName.c_str());
    }
    if (invalidWind > 0)
        flight->dropped.emplace_back("wind estimates without numbers or beyond " + std::to_string(static_cast<int>(MaximumWindSpeed)) + " m/s", invalidWind);
    // The camera's feedback is the exposure itself; the trigger only asked for it.
    const std::string photoSource = photos.Choose({"CAM", "TRIG"}, &flight->photos);
    if (!photoSource.empty())
        markUsed(photoSource.c_str());
    if (!gimbal.empty())
    {
        flight->gimbal = std::move(gimbal);
        flight->gimbalSource = "MNT";
        markUsed("MNT");
    }
    for (int channel = 0; channel < FlightChannelCount; ++channel)
    {
        const char* source = choose({"GPS", "BARO", "BAT", "CURR", "MODE", "RCIN", "RCOU"}, [channel](const Series& s) { return !s.channels[channel].empty(); });
        if (source)
        {
            flight->channels[channel] = std::move(series[source].channels[channel]);
            markUsed(source);
        }
    }
    if (cutOff > 0)
        flight->dropped.emplace_back("cut off", cutOff);
    if (invalid > 0)
        flight->dropped.emplace_back("positions or attitudes out of range", invalid);
    for (const ModeRecord& record : modes)
        flight->events[record.event].text = FamilyModeName(family, record.mode);
    if (eventOverflow > 0)
        flight->dropped.emplace_back("events beyond the first " + std::to_string(MaximumFlightEvents), eventOverflow);
    flight->skippedRecords += cutOff;
    plan.Finish(flight->events, &flight->plan);
    flight->vehicle = BannerVehicle(family, banner, quadplane, tailsitter, frameClass);
}

} // namespace

bool IsDataFlash(const uint8_t* data, size_t size)
{
    return size >= HeaderLength && data[0] == Head1 && data[1] == Head2 && data[2] == FormatType;
}

bool ReadDataFlash(const uint8_t* data, size_t size, RecordedFlight* flight, std::string* error)
{
    if (!IsDataFlash(data, size))
    {
        *error = "it does not start with a DataFlash FMT message";
        return false;
    }
    Reader reader(data, size, flight);
    reader.Read();
    return true;
}
