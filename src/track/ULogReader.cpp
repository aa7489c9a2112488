#include "track/ULogReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "geo/Geodesy.h"
#include "track/AutopilotModes.h"
#include "track/BinaryNumbers.h"
#include "track/FlightTraffic.h"
#include "track/FlightWind.h"
#include "track/MissionVersions.h"

namespace
{

const uint8_t Magic[7] = {'U', 'L', 'o', 'g', 0x01, 0x12, 0x35};
const uint8_t SyncMagic[8] = {0x2F, 0x73, 0x13, 0x20, 0x25, 0x0C, 0xBB, 0x12};
const size_t HeaderSize = 16;
const size_t MessageHeaderSize = 3; // uint16 size, uint8 type
const uint8_t IncompatibleAppendedData = 0x01; // bit 0 of the first incompat byte
const int MaximumNesting = 16; // formats nested deeper (or in a circle) are refused

// One "type[n] name" entry of a format message.
struct FormatField
{
    std::string type;
    size_t count; // 1 for a single value
    std::string name;
};

// A top-level field of a topic: where it lies in a data message (after the msg_id).
struct FieldPlace
{
    NumberType type = NumberType::None;
    size_t offset = 0;
    size_t count = 0; // 0: the topic has no such field
};

// A format resolved: the byte size of the whole struct (padding included), the bytes a data
// message carries (the trailing padding is not written), and its top-level fields.
struct Layout
{
    bool valid = false;
    size_t size = 0;
    size_t written = 0;
    std::map<std::string, FieldPlace> fields;

    FieldPlace Find(const char* name) const
    {
        const auto found = fields.find(name);
        return found == fields.end() ? FieldPlace() : found->second;
    }
};

// What the reader takes from a topic.
enum class Topic
{
    Other,
    GlobalPosition,
    GpsPosition, // vehicle_gps_position
    SensorGps,
    Attitude,
    Battery,
    InputRc,
    ActuatorOutputs,
    VehicleStatus,
    AirData,
    MissionItem,   // navigator_mission_item: the item the navigator starts
    MissionResult, // mission_result: the item reached, the item in force
    HomePosition,
    GimbalStatus,  // gimbal_device_attitude_status
    Wind,          // wind, or wind_estimate in older logs
    Transponder,   // transponder_report: another aircraft heard
    CameraCapture, // camera_capture: one record a photo
};

Topic TopicOf(const std::string& name)
{
    static const std::pair<const char*, Topic> Names[] = {
        {"vehicle_global_position", Topic::GlobalPosition}, {"vehicle_gps_position", Topic::GpsPosition}, {"sensor_gps", Topic::SensorGps},
        {"vehicle_attitude", Topic::Attitude},              {"battery_status", Topic::Battery},           {"input_rc", Topic::InputRc},
        {"actuator_outputs", Topic::ActuatorOutputs},       {"vehicle_status", Topic::VehicleStatus},     {"vehicle_air_data", Topic::AirData},
        {"navigator_mission_item", Topic::MissionItem},     {"mission_result", Topic::MissionResult},
        {"home_position", Topic::HomePosition},            {"gimbal_device_attitude_status", Topic::GimbalStatus},
        {"wind", Topic::Wind},                             {"wind_estimate", Topic::Wind},
        {"transponder_report", Topic::Transponder},
        {"camera_capture", Topic::CameraCapture},
    };
    for (const auto& entry : Names)
        if (name == entry.first)
            return entry.second;
    return Topic::Other;
}

// One vehicle_status record: what the events are made of. NaN for a field the topic lacks.
struct StatusRecord
{
    double time, navState, armingState, failsafe;
};

// vehicle_status's arming_state of an armed vehicle (1 is standby: disarmed).
const double ArmingStateArmed = 2.0;

// The gimbal device's flags that say which way its yaw counts.
const uint32_t GimbalYawLock = 16;
const uint32_t GimbalYawInVehicleFrame = 32;
const uint32_t GimbalYawInEarthFrame = 64;

// What one stream (a topic in one instance) gave.
struct Series
{
    std::vector<StatusRecord> statuses;
    std::vector<TimedPosition> positions;
    std::vector<TimedAttitude> attitudes;
    std::vector<TimedValue> channels[FlightChannelCount];
    std::vector<TimedGimbal> gimbal;
    // vehicle_status's say of what flies, its first record's; NaN for a field it lacks.
    double systemType = NAN, vehicleType = NAN, isVtol = NAN, isTailsitter = NAN;
    std::vector<TimedWind> wind;
    size_t invalidWind = 0;
    PhotoMessages photos;
};

// What vehicle_status says flies: a VTOL's flags first (its vehicle_type changes with each
// transition), then the MAVLink type it reports, then its rough vehicle_type.
VehicleIdentity StatusVehicle(const Series& series, std::vector<std::string>* notes)
{
    VehicleIdentity identity;
    if (series.isVtol >= 1.0)
    {
        const bool sits = series.isTailsitter >= 1.0;
        return {sits ? VehicleKind::Tailsitter : VehicleKind::VtolQuadplane, sits ? "vehicle_status is_vtol_tailsitter" : "vehicle_status is_vtol"};
    }
    if (std::isfinite(series.systemType))
    {
        identity.kind = VehicleKindOfMavType(static_cast<int>(series.systemType));
        if (identity.kind != VehicleKind::Unknown)
        {
            identity.source = "vehicle_status system_type " + std::to_string(static_cast<int>(series.systemType));
            return identity;
        }
    }
    const int type = std::isfinite(series.vehicleType) ? static_cast<int>(series.vehicleType) : 0;
    if (type == 1 || type == 2 || type == 3)
    {
        identity.kind = type == 1 ? VehicleKind::Quadrotor : type == 2 ? VehicleKind::Plane : VehicleKind::Rover;
        identity.source = "vehicle_status vehicle_type " + std::to_string(type);
    }
    else if (std::isfinite(series.systemType) || std::isfinite(series.vehicleType))
        notes->push_back("vehicle kind unknown: vehicle_status names system_type " + (std::isfinite(series.systemType) ? std::to_string(static_cast<int>(series.systemType)) : "none") +
                         ", vehicle_type " + std::to_string(type));
    return identity;
}

struct Stream
{
    std::string topic;
    uint8_t instance = 0;
    Topic kind = Topic::Other;
    size_t record = 0; // index into the flight's streams
    Series series;
};

// A msg_id's subscription: its stream and the places of the fields the reader takes.
struct Subscription
{
    Stream* stream = nullptr;
    const Layout* layout = nullptr; // null when the format could not be resolved
    double timeScale = 1e-6;        // timestamp in microseconds (milliseconds for uint8_t)
    FieldPlace timestamp, latitude, longitude, altitude, fixType, satellites, speed, q;
    FieldPlace voltage, current, consumed, values, channelCount, outputs, outputCount, navState, armingState, failsafe, baroAltitude;
    FieldPlace systemType, vehicleType, isVtol, isTailsitter;
    bool integerPosition = false; // lat/lon in 1e-7 degrees and alt in millimetres (older GPS topics)
    // navigator_mission_item and mission_result, by the names of the firmware that logs them
    // and of older ones where they differ.
    FieldPlace sequence, command, itemLatitude, itemLongitude, itemAltitude, relative, frame, acceptance, timeInside, loiterRadius, autocontinue;
    FieldPlace seqReached, seqCurrent, seqTotal, validPosition;
    FieldPlace gimbalFlags;
    FieldPlace windNorth, windEast;
    FieldPlace address, callsign, heading, flags;
};

// The field under the first of the names the layout has.
FieldPlace FindAny(const Layout& layout, std::initializer_list<const char*> names)
{
    for (const char* name : names)
    {
        const FieldPlace place = layout.Find(name);
        if (place.count > 0)
            return place;
    }
    return FieldPlace();
}

class Reader
{
public:
    Reader(const uint8_t* data, size_t size, RecordedFlight* flight) : data(data), size(size), flight(flight) {}

    bool Read(std::string* error);

private:
    const uint8_t* data;
    size_t size;
    RecordedFlight* flight;

    std::map<std::string, std::vector<FormatField>> formats;
    std::map<std::string, std::unique_ptr<Layout>> layouts;
    std::map<std::pair<std::string, uint8_t>, std::unique_ptr<Stream>> streams;
    std::vector<Subscription> subscriptions; // the subscriptions made, in order
    std::vector<int32_t> subscribed = std::vector<int32_t>(65536, -1); // by msg_id: index into subscriptions, or -1
    std::vector<size_t> appendedOffsets;
    bool flagsSeen = false;
    size_t cutOff = 0;      // messages cut off by the end of the file or by appended data
    size_t noTimestamp = 0; // records of topics without a timestamp field
    size_t invalid = 0;     // positions or attitudes with values out of range
    size_t eventOverflow = 0;
    // The mission as the navigator started its items: the first record of each number.
    PlanFromLog plan;
    std::map<int32_t, PlanItem> missionItems;
    double missionFirstSeen = NAN;
    int32_t missionAnnounced = 0;
    size_t itemsChanged = 0, itemsBeyond = 0;
    double lastReached = NAN, lastCurrent = NAN;

    bool HandleFlags(const uint8_t* body, size_t length, std::string* error);
    void HandleFormat(const uint8_t* body, size_t length);
    bool HandleAdd(const uint8_t* body, size_t length);
    const Layout* Resolve(const std::string& name, int depth);
    // The subscription of a data message whose fields fit its topic's layout (the written
    // part, or the whole struct), or null.
    const Subscription* DataFits(const uint8_t* body, size_t length) const;
    void HandleData(const Subscription& subscription, const uint8_t* fields, double time);
    void HandleLogString(const uint8_t* body, size_t length, bool tagged);
    void HandleParameter(const uint8_t* body, size_t length);
    void HandleMissionItem(const Subscription& subscription, const uint8_t* fields, double time);
    void FinishMission();
    void StatusEvents(const std::vector<StatusRecord>& statuses);
    bool PlausibleAt(size_t at, size_t limit) const;
    size_t Resynchronise(size_t from, size_t limit) const;
    void Finish();
};

// The part of a format message after the name: "type[n] name;type name;..."
std::vector<FormatField> ParseFields(const std::string& text, bool* ok)
{
    std::vector<FormatField> fields;
    *ok = true;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string entry = text.substr(start, end - start);
        start = end + 1;
        if (entry.empty())
            continue;
        const size_t blank = entry.find(' ');
        if (blank == std::string::npos || blank == 0 || blank + 1 >= entry.size())
        {
            *ok = false;
            return {};
        }
        FormatField field{entry.substr(0, blank), 1, entry.substr(blank + 1)};
        const size_t bracket = field.type.find('[');
        if (bracket != std::string::npos)
        {
            const size_t close = field.type.find(']', bracket);
            const std::string digits = close == std::string::npos ? std::string() : field.type.substr(bracket + 1, close - bracket - 1);
            if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            {
                *ok = false;
                return {};
            }
            field.count = static_cast<size_t>(std::stoul(digits));
            field.type = field.type.substr(0, bracket);
        }
        fields.push_back(field);
    }
    return fields;
}

bool IsPadding(const std::string& name)
{
    return name.compare(0, 8, "_padding") == 0;
}

const Layout* Reader::Resolve(const std::string& name, int depth)
{
    const auto known = layouts.find(name);
    if (known != layouts.end())
        return known->second.get();
    const auto format = formats.find(name);
    if (format == formats.end() || depth > MaximumNesting)
        return nullptr;
    std::unique_ptr<Layout> layout(new Layout);
    size_t offset = 0, trailingPadding = 0;
    for (const FormatField& field : format->second)
    {
        size_t elementSize = 0;
        const NumberType type = NumberTypeOfName(field.type);
        if (type != NumberType::None)
            elementSize = NumberSize(type);
        else
        {
            const Layout* nested = Resolve(field.type, depth + 1);
            if (!nested || !nested->valid)
                return nullptr; // not cached: the definition may still come
            elementSize = nested->size;
        }
        const size_t bytes = elementSize * field.count;
        if (bytes > 65535 || offset + bytes > 65535)
            return nullptr; // no message can carry it
        trailingPadding = IsPadding(field.name) ? bytes : 0;
        if (!IsPadding(field.name))
            layout->fields[field.name] = FieldPlace{type, offset, field.count};
        offset += bytes;
    }
    layout->valid = true;
    layout->size = offset;
    layout->written = offset - trailingPadding;
    const Layout* result = layout.get();
    layouts[name] = std::move(layout);
    return result;
}

bool Reader::HandleFlags(const uint8_t* body, size_t length, std::string* error)
{
    // 8 compat bytes, 8 incompat bytes, 3 uint64 appended-data offsets; more may follow.
    if (length < 40)
        return true;
    const uint8_t* incompat = body + 8;
    if ((incompat[0] & ~IncompatibleAppendedData) != 0 || std::any_of(incompat + 1, incompat + 8, [](uint8_t b) { return b != 0; }))
    {
        *error = "it sets incompatible flags this reader does not know";
        return false;
    }
    if (incompat[0] & IncompatibleAppendedData)
        for (int i = 0; i < 3; ++i)
        {
            const uint64_t offset = Load<uint64_t>(body + 16 + 8 * i);
            if (offset > HeaderSize && offset < size)
                appendedOffsets.push_back(static_cast<size_t>(offset));
        }
    std::sort(appendedOffsets.begin(), appendedOffsets.end());
    return true;
}

void Reader::HandleFormat(const uint8_t* body, size_t length)
{
    const std::string text(reinterpret_cast<const char*>(body), length);
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return;
    bool ok = false;
    std::vector<FormatField> fields = ParseFields(text.substr(colon + 1), &ok);
    if (ok)
        formats[text.substr(0, colon)] = std::move(fields);
}

bool Reader::HandleAdd(const uint8_t* body, size_t length)
{
    if (length < 4)
        return false;
    const uint8_t instance = body[0];
    const uint16_t id = Load<uint16_t>(body + 1);
    const std::string topic(reinterpret_cast<const char*>(body + 3), length - 3);
    std::unique_ptr<Stream>& stream = streams[{topic, instance}];
    if (!stream)
    {
        stream.reset(new Stream);
        stream->topic = topic;
        stream->instance = instance;
        stream->kind = TopicOf(topic);
        stream->record = flight->streams.size();
        RecordedStream record;
        record.name = instance == 0 ? topic : topic + " (instance " + std::to_string(instance) + ")";
        flight->streams.push_back(record);
    }
    Subscription subscription;
    subscription.stream = stream.get();
    subscription.layout = Resolve(topic, 0);
    if (const Layout* layout = subscription.layout)
    {
        subscription.timestamp = layout->Find("timestamp");
        if (subscription.timestamp.count > 0 && subscription.timestamp.type == NumberType::UInt8)
            subscription.timeScale = 1e-3;
        switch (stream->kind)
        {
        case Topic::GlobalPosition:
            subscription.latitude = layout->Find("lat");
            subscription.longitude = layout->Find("lon");
            subscription.altitude = layout->Find("alt");
            break;
        case Topic::GpsPosition:
        case Topic::SensorGps:
            subscription.latitude = layout->Find("latitude_deg");
            subscription.longitude = layout->Find("longitude_deg");
            subscription.altitude = layout->Find("altitude_msl_m");
            if (subscription.latitude.count == 0)
            {
                subscription.integerPosition = true;
                subscription.latitude = layout->Find("lat");
                subscription.longitude = layout->Find("lon");
                subscription.altitude = layout->Find("alt");
            }
            subscription.fixType = layout->Find("fix_type");
            subscription.satellites = layout->Find("satellites_used");
            subscription.speed = layout->Find("vel_m_s");
            break;
        case Topic::Attitude:
            subscription.q = layout->Find("q");
            break;
        case Topic::Battery:
            subscription.voltage = layout->Find("voltage_v");
            if (subscription.voltage.count == 0)
                subscription.voltage = layout->Find("voltage_filtered_v");
            subscription.current = layout->Find("current_a");
            subscription.consumed = layout->Find("discharged_mah");
            break;
        case Topic::InputRc:
            subscription.values = layout->Find("values");
            subscription.channelCount = layout->Find("channel_count");
            break;
        case Topic::ActuatorOutputs:
            subscription.outputs = layout->Find("output");
            subscription.outputCount = layout->Find("noutputs");
            break;
        case Topic::VehicleStatus:
            subscription.navState = layout->Find("nav_state");
            subscription.armingState = layout->Find("arming_state");
            subscription.failsafe = layout->Find("failsafe");
            subscription.systemType = layout->Find("system_type");
            subscription.vehicleType = layout->Find("vehicle_type");
            subscription.isVtol = layout->Find("is_vtol");
            subscription.isTailsitter = layout->Find("is_vtol_tailsitter");
            break;
        case Topic::AirData:
            subscription.baroAltitude = layout->Find("baro_alt_meter");
            break;
        case Topic::MissionItem:
            subscription.sequence = FindAny(*layout, {"sequence_current", "seq"});
            subscription.command = FindAny(*layout, {"nav_cmd", "command"});
            subscription.itemLatitude = FindAny(*layout, {"latitude", "lat"});
            subscription.itemLongitude = FindAny(*layout, {"longitude", "lon"});
            subscription.itemAltitude = FindAny(*layout, {"altitude", "alt"});
            subscription.relative = layout->Find("altitude_is_relative");
            subscription.frame = layout->Find("frame");
            subscription.acceptance = layout->Find("acceptance_radius");
            subscription.timeInside = layout->Find("time_inside");
            subscription.loiterRadius = layout->Find("loiter_radius");
            subscription.autocontinue = layout->Find("autocontinue");
            break;
        case Topic::MissionResult:
            subscription.seqReached = layout->Find("seq_reached");
            subscription.seqCurrent = layout->Find("seq_current");
            subscription.seqTotal = layout->Find("seq_total");
            break;
        case Topic::HomePosition:
            subscription.latitude = layout->Find("lat");
            subscription.longitude = layout->Find("lon");
            subscription.altitude = layout->Find("alt");
            subscription.validPosition = layout->Find("valid_hpos");
            break;
        case Topic::GimbalStatus:
            subscription.q = layout->Find("q");
            subscription.gimbalFlags = FindAny(*layout, {"device_flags", "flags"});
            break;
        case Topic::Wind:
            subscription.windNorth = layout->Find("windspeed_north");
            subscription.windEast = layout->Find("windspeed_east");
            break;
        case Topic::Transponder:
            subscription.address = layout->Find("icao_address");
            subscription.latitude = layout->Find("lat");
            subscription.longitude = layout->Find("lon");
            subscription.altitude = layout->Find("altitude");
            subscription.heading = layout->Find("heading");
            subscription.speed = layout->Find("hor_velocity");
            subscription.callsign = layout->Find("callsign");
            subscription.flags = layout->Find("flags");
            break;
        case Topic::CameraCapture:
            subscription.sequence = layout->Find("seq");
            subscription.latitude = layout->Find("lat");
            subscription.longitude = layout->Find("lon");
            subscription.altitude = layout->Find("alt");
            subscription.q = layout->Find("q");
            break;
        case Topic::Other:
            break;
        }
    }
    subscribed[id] = static_cast<int32_t>(subscriptions.size());
    subscriptions.push_back(subscription);
    return true;
}

const Subscription* Reader::DataFits(const uint8_t* body, size_t length) const
{
    if (length < 2)
        return nullptr;
    const int32_t index = subscribed[Load<uint16_t>(body)];
    if (index < 0)
        return nullptr;
    const Subscription& subscription = subscriptions[static_cast<size_t>(index)];
    const Layout* layout = subscription.layout;
    return !layout || length - 2 == layout->written || length - 2 == layout->size ? &subscription : nullptr;
}

double Value(const uint8_t* fields, const FieldPlace& place, size_t index = 0)
{
    if (place.count == 0 || index >= place.count || place.type == NumberType::None)
        return NAN;
    return LoadNumber(place.type, fields + place.offset + index * NumberSize(place.type));
}

void AddValue(Series& series, FlightChannel channel, double time, double value)
{
    if (std::isfinite(value))
        series.channels[static_cast<int>(channel)].push_back(TimedValue{time, value});
}

// Another aircraft's report, its heading in radians. Where its flags say which values hold
// (any set, the bits as the telemetry's), those they do not are unknown.
TimedTraffic TransponderReport(const Subscription& subscription, const uint8_t* fields, double time)
{
    TimedTraffic t;
    t.time = time;
    const double address = Value(fields, subscription.address);
    t.address = address >= 0.0 && address < 4294967296.0 ? static_cast<uint32_t>(address) : 0;
    std::string callsign;
    for (size_t i = 0; i < subscription.callsign.count; ++i)
        callsign += static_cast<char>(static_cast<uint8_t>(Value(fields, subscription.callsign, i)));
    t.callsign = TrafficCallsign(callsign);
    const double flags = Value(fields, subscription.flags);
    const uint32_t bits = flags >= 0.0 && flags < 65536.0 ? static_cast<uint32_t>(flags) : 0u;
    const auto valid = [bits](uint32_t bit) { return bits == 0 || (bits & bit) != 0; };
    if (valid(1))
    {
        t.latitude = Value(fields, subscription.latitude);
        t.longitude = Value(fields, subscription.longitude);
    }
    if (valid(2))
        t.altitude = Value(fields, subscription.altitude);
    if (valid(4))
        t.heading = Value(fields, subscription.heading) / RadiansPerDegree;
    if (valid(8))
        t.speed = Value(fields, subscription.speed);
    return t;
}

void Reader::HandleData(const Subscription& subscription, const uint8_t* fields, double time)
{
    Series& series = subscription.stream->series;
    switch (subscription.stream->kind)
    {
    case Topic::GlobalPosition:
    case Topic::GpsPosition:
    case Topic::SensorGps:
    {
        const bool gps = subscription.stream->kind != Topic::GlobalPosition;
        const double fix = Value(fields, subscription.fixType);
        if (gps)
        {
            AddValue(series, FlightChannel::FixMode, time, fix >= 3.0 ? 3.0 : (fix >= 2.0 ? 2.0 : 0.0));
            AddValue(series, FlightChannel::Satellites, time, Value(fields, subscription.satellites));
            if (fix >= 3.0)
                AddValue(series, FlightChannel::GroundSpeed, time, Value(fields, subscription.speed));
            if (!(fix >= 3.0))
                break; // no position without a 3-D fix
        }
        const double scale = subscription.integerPosition ? 1e-7 : 1.0;
        KeepPosition(&series.positions, TimedPosition{time, Value(fields, subscription.latitude) * scale, Value(fields, subscription.longitude) * scale, Value(fields, subscription.altitude) * (subscription.integerPosition ? 1e-3 : 1.0)}, &invalid);
        break;
    }
    case Topic::Attitude:
    {
        double w = Value(fields, subscription.q, 0), x = Value(fields, subscription.q, 1), y = Value(fields, subscription.q, 2), z = Value(fields, subscription.q, 3);
        const double norm = std::sqrt(w * w + x * x + y * y + z * z);
        if (!std::isfinite(norm) || norm < 0.5 || norm > 1.5)
        {
            ++invalid; // no rotation
            break;
        }
        w /= norm;
        x /= norm;
        y /= norm;
        z /= norm;
        // Body FRD to local NED as yaw about down, then pitch about right, then roll about
        // forward: roll positive right wing down, pitch nose up, yaw clockwise from north.
        const TimedAttitude a{time, std::atan2(2.0 * (w * x + y * z), 1.0 - 2.0 * (x * x + y * y)), std::asin(std::clamp(2.0 * (w * y - z * x), -1.0, 1.0)),
                              std::atan2(2.0 * (w * z + x * y), 1.0 - 2.0 * (y * y + z * z))};
        series.attitudes.push_back(a);
        break;
    }
    case Topic::GimbalStatus:
    {
        // The gimbal's quaternion, camera FRD to NED as the vehicle's, but with the yaw from
        // the vehicle's nose unless its flags say north: the earth-frame flag, or, when
        // neither frame flag is set, the yaw lock.
        TimedGimbal g;
        g.time = time;
        if (!GimbalAnglesOfQuaternion(Value(fields, subscription.q, 0), Value(fields, subscription.q, 1), Value(fields, subscription.q, 2), Value(fields, subscription.q, 3), &g.roll, &g.pitch, &g.yaw))
        {
            ++invalid;
            break;
        }
        const double flags = Value(fields, subscription.gimbalFlags);
        const uint32_t bits = flags >= 0.0 && flags < 65536.0 ? static_cast<uint32_t>(flags) : 0u; // a 16-bit field
        g.yawFromNose = (bits & (GimbalYawInVehicleFrame | GimbalYawInEarthFrame)) != 0 ? (bits & GimbalYawInEarthFrame) == 0 : (bits & GimbalYawLock) == 0;
        if (series.gimbal.size() < MaximumGimbalRecords)
            series.gimbal.push_back(g);
        break;
    }
    case Topic::Wind:
    {
        TimedWind w;
        w.time = time;
        w.north = Value(fields, subscription.windNorth);
        w.east = Value(fields, subscription.windEast);
        w.source = "PX4 wind";
        KeepWind(&series.wind, w, &series.invalidWind);
        break;
    }
    case Topic::Transponder:
        AddTraffic(&flight->traffic, TransponderReport(subscription, fields, time));
        flight->streams[subscription.stream->record].used = true;
        break;
    case Topic::CameraCapture:
    {
        // Degrees and metres above sea level; the attitude a quaternion like the vehicle's.
        TimedPhoto p;
        p.time = time;
        const double sequence = Value(fields, subscription.sequence);
        p.index = sequence >= 0.0 && sequence < 9.0e15 ? static_cast<int64_t>(sequence) : -1;
        p.latitude = Value(fields, subscription.latitude);
        p.longitude = Value(fields, subscription.longitude);
        p.altitude = Value(fields, subscription.altitude);
        if (!GimbalAnglesOfQuaternion(Value(fields, subscription.q, 0), Value(fields, subscription.q, 1), Value(fields, subscription.q, 2), Value(fields, subscription.q, 3), &p.roll, &p.pitch, &p.yaw))
            p.roll = p.pitch = p.yaw = NAN;
        p.source = "camera_capture";
        series.photos.Add(p);
        break;
    }
    case Topic::Battery:
    {
        AddValue(series, FlightChannel::Voltage, time, Value(fields, subscription.voltage));
        const double current = Value(fields, subscription.current);
        if (current >= 0.0)
            AddValue(series, FlightChannel::Current, time, current);
        const double consumed = Value(fields, subscription.consumed);
        if (consumed >= 0.0)
            AddValue(series, FlightChannel::Consumed, time, consumed);
        break;
    }
    case Topic::InputRc:
    {
        const double count = subscription.channelCount.count ? Value(fields, subscription.channelCount) : 5.0;
        for (int i = 0; i < 5 && i < count; ++i)
            AddValue(series, static_cast<FlightChannel>(static_cast<int>(FlightChannel::RcIn1) + i), time, Value(fields, subscription.values, i));
        break;
    }
    case Topic::ActuatorOutputs:
    {
        const double count = subscription.outputCount.count ? Value(fields, subscription.outputCount) : 4.0;
        for (int i = 0; i < 4 && i < count; ++i)
            AddValue(series, static_cast<FlightChannel>(static_cast<int>(FlightChannel::ServoOut1) + i), time, Value(fields, subscription.outputs, i));
        break;
    }
    case Topic::VehicleStatus:
        AddValue(series, FlightChannel::FlightMode, time, Value(fields, subscription.navState));
        series.statuses.push_back(StatusRecord{time, Value(fields, subscription.navState), Value(fields, subscription.armingState), Value(fields, subscription.failsafe)});
        if (series.statuses.size() == 1)
        {
            series.systemType = subscription.systemType.count ? Value(fields, subscription.systemType) : NAN;
            series.vehicleType = subscription.vehicleType.count ? Value(fields, subscription.vehicleType) : NAN;
            series.isVtol = subscription.isVtol.count ? Value(fields, subscription.isVtol) : NAN;
            series.isTailsitter = subscription.isTailsitter.count ? Value(fields, subscription.isTailsitter) : NAN;
        }
        break;
    case Topic::AirData:
        AddValue(series, FlightChannel::BaroAltitude, time, Value(fields, subscription.baroAltitude));
        break;
    case Topic::MissionItem:
        HandleMissionItem(subscription, fields, time);
        break;
    case Topic::HomePosition:
        if (subscription.validPosition.count == 0 || Value(fields, subscription.validPosition) != 0.0)
            plan.Home(HomeReport{time, Value(fields, subscription.latitude), Value(fields, subscription.longitude), Value(fields, subscription.altitude)});
        break;
    case Topic::MissionResult:
    {
        // Published on every change of any of its fields: records where these two change,
        // while there is a mission (its count, where the topic has it, above 0).
        const double reached = Value(fields, subscription.seqReached), current = Value(fields, subscription.seqCurrent), total = Value(fields, subscription.seqTotal);
        if (total == 0.0)
            break;
        if (reached >= 0.0 && reached < 65536.0 && reached != lastReached)
            plan.Progress(&flight->plan, time, MissionProgress::Reached, static_cast<int32_t>(reached));
        if (current >= 0.0 && current < 65536.0 && current != lastCurrent)
            plan.Progress(&flight->plan, time, MissionProgress::Current, static_cast<int32_t>(current));
        lastReached = reached;
        lastCurrent = current;
        if (total > 0.0 && total < 65536.0)
            missionAnnounced = static_cast<int32_t>(total);
        break;
    }
    case Topic::Other:
        break;
    }
}

// The mission is not logged as such: the navigator logs each item as it starts it, with
// its altitude above mean sea level or, where altitude_is_relative says so, above home.
void Reader::HandleMissionItem(const Subscription& subscription, const uint8_t* fields, double time)
{
    const double sequence = Value(fields, subscription.sequence);
    if (!(sequence >= 0.0 && sequence < 65536.0))
        return;
    PlanItem item;
    item.seq = static_cast<int32_t>(sequence);
    plan.Progress(&flight->plan, time, MissionProgress::Started, item.seq);
    if (static_cast<size_t>(item.seq) >= MostPlanItems)
    {
        ++itemsBeyond;
        return;
    }
    const double command = Value(fields, subscription.command);
    item.command = command >= 0.0 && command < 65536.0 ? static_cast<int32_t>(command) : -1;
    const double frame = Value(fields, subscription.frame);
    if (subscription.relative.count > 0)
        item.frame = Value(fields, subscription.relative) != 0.0 ? 3 : 0;
    else
        item.frame = frame >= 0.0 && frame < 256.0 ? static_cast<int32_t>(frame) : 0;
    item.latitude = Value(fields, subscription.itemLatitude);
    item.longitude = Value(fields, subscription.itemLongitude);
    if (!(std::fabs(item.latitude) <= 90.0 && std::fabs(item.longitude) <= 180.0) || (item.latitude == 0.0 && item.longitude == 0.0))
        item.latitude = item.longitude = NoValue;
    item.altitude = Value(fields, subscription.itemAltitude);
    if (subscription.autocontinue.count > 0)
        item.autocontinue = Value(fields, subscription.autocontinue) != 0.0;
    // The parameters as the item's command reads them, where the topic keeps them.
    if (item.command == CommandWaypoint)
    {
        item.param[0] = subscription.timeInside.count ? Value(fields, subscription.timeInside) : 0.0;
        item.param[1] = subscription.acceptance.count ? Value(fields, subscription.acceptance) : 0.0;
    }
    else if (item.command == CommandLoiterTime || item.command == CommandLoiterUnlimited || item.command == CommandLoiterTurns)
    {
        if (item.command == CommandLoiterTime && subscription.timeInside.count)
            item.param[0] = Value(fields, subscription.timeInside);
        if (subscription.loiterRadius.count)
            item.param[2] = Value(fields, subscription.loiterRadius);
    }
    if (std::isnan(missionFirstSeen))
        missionFirstSeen = time;
    const auto known = missionItems.find(item.seq);
    if (known == missionItems.end())
        missionItems[item.seq] = item;
    else if (!SameItem(known->second, item))
        ++itemsChanged;
}

void Reader::FinishMission()
{
    FlightPlan& target = flight->plan;
    if (!missionItems.empty())
    {
        MissionVersion version;
        version.uploaded = missionFirstSeen;
        version.announced = missionAnnounced;
        version.source = "navigator_mission_item";
        for (const auto& entry : missionItems)
            version.items.push_back(entry.second);
        target.missions.push_back(std::move(version));
    }
    if (itemsChanged > 0)
        AddPlanNote(&target, "mission: " + std::to_string(itemsChanged) + " later records of an item with other content (an upload in flight?); the first of each kept");
    if (itemsBeyond > 0)
        AddPlanNote(&target, "mission: " + std::to_string(itemsBeyond) + " records of items numbered " + std::to_string(MostPlanItems) + " or more left out");
    plan.Finish(flight->events, &target);
}

// A parameter: key length, "type name", the value; those that bear on the plan are kept.
void Reader::HandleParameter(const uint8_t* body, size_t length)
{
    if (length < 1)
        return;
    const size_t keyLength = body[0];
    if (1 + keyLength + 4 > length)
        return;
    const std::string key(reinterpret_cast<const char*>(body + 1), keyLength);
    const size_t blank = key.find(' ');
    if (blank == std::string::npos)
        return;
    const std::string type = key.substr(0, blank), name = key.substr(blank + 1);
    if (!IsPlanParameter(name))
        return;
    const uint8_t* value = body + 1 + keyLength;
    if (type == "float")
        plan.parameters[name] = Load<float>(value);
    else if (type == "int32_t")
        plan.parameters[name] = Load<int32_t>(value);
}

// A logged string: level (an ASCII digit, as the logger writes it), [tag,] timestamp, text.
void Reader::HandleLogString(const uint8_t* body, size_t length, bool tagged)
{
    const size_t textAt = tagged ? 11 : 9;
    if (length < textAt)
        return;
    const uint8_t level = body[0];
    const int severity = level >= '0' && level <= '7' ? level - '0' : (level <= 7 ? level : 6);
    const double time = static_cast<double>(Load<uint64_t>(body + textAt - 8)) * 1e-6;
    // The console's colour codes (ESC [ digits ; ... letter) are no part of the text.
    std::string text;
    for (size_t i = textAt; i < length && text.size() < MaximumEventText; ++i)
    {
        if (body[i] == 0x1B && i + 1 < length && body[i + 1] == '[')
        {
            size_t end = i + 2;
            while (end < length && ((body[end] >= '0' && body[end] <= '9') || body[end] == ';'))
                ++end;
            if (end < length && std::isalpha(body[end]))
            {
                i = end;
                continue;
            }
        }
        text += static_cast<char>(body[i]);
    }
    while (!text.empty() && (text.back() == '\0' || std::isspace(static_cast<unsigned char>(text.back()))))
        text.pop_back();
    AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Message, severity, std::move(text));
}

// Mode events where nav_state changes (the first record's mode among them), arming events
// where the vehicle becomes armed or disarmed (a first record only when armed), failsafe
// events where the flag is raised.
void Reader::StatusEvents(const std::vector<StatusRecord>& statuses)
{
    double navState = NAN;
    bool armed = false, failsafe = false;
    for (const StatusRecord& status : statuses)
    {
        if (std::isfinite(status.navState) && status.navState != navState)
        {
            navState = status.navState;
            AppendFlightEvent(&flight->events, &eventOverflow, status.time, FlightEventKind::Mode, 6, NavStateName(navState));
        }
        if (std::isfinite(status.armingState) && (status.armingState == ArmingStateArmed) != armed)
        {
            armed = !armed;
            AppendFlightEvent(&flight->events, &eventOverflow, status.time, armed ? FlightEventKind::Arming : FlightEventKind::Disarming, 5, armed ? "armed" : "disarmed");
        }
        if (std::isfinite(status.failsafe) && (status.failsafe != 0.0) != failsafe)
        {
            failsafe = !failsafe;
            if (failsafe)
                AppendFlightEvent(&flight->events, &eventOverflow, status.time, FlightEventKind::Failsafe, 2, "failsafe");
        }
    }
}

bool Printable(const uint8_t* text, size_t length)
{
    return length > 0 && std::all_of(text, text + length, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// A key of an info or parameter message: "type name", printable, within the body.
bool PlausibleKey(const uint8_t* body, size_t length, size_t keyLengthAt)
{
    if (length <= keyLengthAt)
        return false;
    const size_t keyLength = body[keyLengthAt];
    return keyLength >= 3 && keyLengthAt + 1 + keyLength <= length && Printable(body + keyLengthAt + 1, keyLength) &&
           memchr(body + keyLengthAt + 1, ' ', keyLength) != nullptr;
}

// A message can start at `at`: a sync message by its magic, a data message of a subscription
// of the right size, or a definition by its text (format, subscription, info, parameter),
// that ends at the limit or before another header of a letter type that fits.
bool Reader::PlausibleAt(size_t at, size_t limit) const
{
    if (at + MessageHeaderSize > limit)
        return false;
    const size_t length = Load<uint16_t>(data + at);
    const uint8_t type = data[at + 2];
    const uint8_t* body = data + at + MessageHeaderSize;
    const size_t end = at + MessageHeaderSize + length;
    if (end > limit)
        return false;
    bool fits = false;
    switch (type)
    {
    case 'S':
        return length >= sizeof SyncMagic && memcmp(body, SyncMagic, sizeof SyncMagic) == 0;
    case 'D':
    {
        const Subscription* subscription = DataFits(body, length);
        fits = subscription && subscription->layout; // a size nothing can check is no anchor
        break;
    }
    case 'F':
        fits = Printable(body, length) && memchr(body, ':', length) != nullptr;
        break;
    case 'A':
        fits = length >= 4 && Printable(body + 3, length - 3);
        break;
    case 'I':
    case 'P':
        fits = PlausibleKey(body, length, 0);
        break;
    case 'M':
        fits = PlausibleKey(body, length, 1);
        break;
    default:
        break;
    }
    if (!fits)
        return false;
    if (end == limit)
        return true;
    if (end + MessageHeaderSize > limit)
        return false;
    const uint8_t next = data[end + 2];
    return ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z')) && end + MessageHeaderSize + Load<uint16_t>(data + end) <= limit;
}

size_t Reader::Resynchronise(size_t from, size_t limit) const
{
    for (size_t at = from; at + MessageHeaderSize <= limit; ++at)
    {
        // A sync message is found by its magic; data messages by their fit.
        if (at + MessageHeaderSize + sizeof SyncMagic <= limit && data[at + 2] == 'S' && memcmp(data + at + MessageHeaderSize, SyncMagic, sizeof SyncMagic) == 0)
            return at;
        if (PlausibleAt(at, limit))
            return at;
    }
    return limit;
}

bool Reader::Read(std::string* error)
{
    if (size < HeaderSize)
    {
        *error = "it is cut off inside the ULog header";
        return false;
    }
    flight->format = "ULog";
    flight->clock = "timestamp / 1e6, the autopilot's clock";
    flight->positionWanted = "vehicle_global_position, or vehicle_gps_position or sensor_gps with a 3-D fix";
    size_t at = HeaderSize;
    while (at < size)
    {
        // Appended data starts a fresh run of messages: nothing of an earlier one crosses it.
        size_t limit = size;
        for (size_t offset : appendedOffsets)
            if (offset > at)
            {
                limit = offset;
                break;
            }
        if (at + MessageHeaderSize > limit)
        {
            flight->skippedBytes += limit - at;
            ++cutOff;
            at = limit;
            continue;
        }
        const size_t length = Load<uint16_t>(data + at);
        const uint8_t type = data[at + 2];
        const uint8_t* body = data + at + MessageHeaderSize;
        const size_t end = at + MessageHeaderSize + length;
        bool corrupt = !((type >= 'A' && type <= 'Z') || (type >= 'a' && type <= 'z'));
        if (!corrupt && end > limit)
        {
            // Cut off: by appended data or the end of the file, or a length from a corrupt stretch.
            const size_t next = Resynchronise(at + 1, limit);
            flight->skippedBytes += next - at;
            if (next == limit)
                ++cutOff;
            at = next;
            continue;
        }
        if (!corrupt)
        {
            switch (type)
            {
            case 'B':
                if (!flagsSeen && !HandleFlags(body, length, error))
                    return false;
                flagsSeen = true;
                break;
            case 'F':
                HandleFormat(body, length);
                break;
            case 'A':
                corrupt = !HandleAdd(body, length);
                break;
            case 'R':
                if (length >= 2)
                    subscribed[Load<uint16_t>(body)] = -1;
                break;
            case 'D':
            {
                const Subscription* fitting = DataFits(body, length);
                corrupt = fitting == nullptr;
                if (corrupt)
                    break;
                const Subscription& subscription = *fitting;
                RecordedStream& record = flight->streams[subscription.stream->record];
                ++record.count;
                if (!subscription.layout)
                    break;
                if (subscription.timestamp.count == 0)
                {
                    ++noTimestamp;
                    break;
                }
                const double time = Value(body + 2, subscription.timestamp) * subscription.timeScale;
                if (!std::isfinite(time))
                {
                    ++noTimestamp; // a float time stamp that holds no number
                    break;
                }
                if (record.count == 1)
                    record.firstTime = time;
                record.firstTime = std::min(record.firstTime, time);
                record.lastTime = std::max(record.lastTime, time);
                HandleData(subscription, body + 2, time);
                break;
            }
            case 'L':
            case 'C':
                HandleLogString(body, length, type == 'C');
                break;
            case 'P':
                HandleParameter(body, length);
                break;
            default:
                break; // info, parameters, sync, dropouts, and types yet to come
            }
        }
        if (corrupt)
        {
            const size_t next = Resynchronise(at + 1, limit);
            flight->skippedBytes += next - at;
            at = next;
            continue;
        }
        at = end;
    }
    Finish();
    return true;
}

void Reader::Finish()
{
    // The lowest instance of the first topic in `order` that holds what `has` asks for.
    auto choose = [this](std::initializer_list<Topic> order, auto has) -> Stream*
    {
        for (Topic topic : order)
            for (auto& entry : streams) // ordered by topic name, then instance
                if (entry.second->kind == topic && has(entry.second->series))
                    return entry.second.get();
        return nullptr;
    };
    if (Stream* source = choose({Topic::GlobalPosition, Topic::GpsPosition, Topic::SensorGps}, [](const Series& s) { return !s.positions.empty(); }))
    {
        flight->positions = std::move(source->series.positions);
        flight->positionSource = flight->streams[source->record].name;
        flight->streams[source->record].used = true;
    }
    if (Stream* source = choose({Topic::Attitude}, [](const Series& s) { return !s.attitudes.empty(); }))
    {
        flight->attitudes = std::move(source->series.attitudes);
        flight->attitudeSource = flight->streams[source->record].name;
        flight->streams[source->record].used = true;
    }
    if (Stream* source = choose({Topic::GimbalStatus}, [](const Series& s) { return !s.gimbal.empty(); }))
    {
        flight->gimbal = std::move(source->series.gimbal);
        flight->gimbalSource = flight->streams[source->record].name;
        flight->streams[source->record].used = true;
    }
    if (Stream* source = choose({Topic::Wind}, [](const Series& s) { return !s.wind.empty() || s.invalidWind > 0; }))
    {
        flight->wind = std::move(source->series.wind);
        flight->streams[source->record].used = true;
        if (source->series.invalidWind > 0)
            flight->dropped.emplace_back("wind estimates without numbers or beyond " + std::to_string(static_cast<int>(MaximumWindSpeed)) + " m/s", source->series.invalidWind);
    }
    if (Stream* source = choose({Topic::CameraCapture}, [](const Series& s) { return s.photos.Any(); }))
        if (!source->series.photos.Choose({"camera_capture"}, &flight->photos).empty())
            flight->streams[source->record].used = true;
    // The events of the instance whose nav_state fills the flight mode channel.
    if (Stream* source = choose({Topic::VehicleStatus}, [](const Series& s) { return !s.channels[static_cast<int>(FlightChannel::FlightMode)].empty(); }))
        StatusEvents(source->series.statuses);
    else if (Stream* other = choose({Topic::VehicleStatus}, [](const Series& s) { return !s.statuses.empty(); }))
        StatusEvents(other->series.statuses);
    if (Stream* status = choose({Topic::VehicleStatus}, [](const Series& s) { return !s.statuses.empty(); }))
        flight->vehicle = StatusVehicle(status->series, &flight->notes);
    for (int channel = 0; channel < FlightChannelCount; ++channel)
    {
        const auto has = [channel](const Series& s) { return !s.channels[channel].empty(); };
        Stream* source = choose({Topic::GpsPosition, Topic::SensorGps, Topic::AirData, Topic::Battery, Topic::InputRc, Topic::ActuatorOutputs, Topic::VehicleStatus}, has);
        if (source)
        {
            flight->channels[channel] = std::move(source->series.channels[channel]);
            flight->streams[source->record].used = true;
        }
    }
    if (cutOff > 0)
        flight->dropped.emplace_back("cut off", cutOff);
    if (noTimestamp > 0)
        flight->dropped.emplace_back("records without a timestamp", noTimestamp);
    if (invalid > 0)
        flight->dropped.emplace_back("positions or attitudes out of range", invalid);
    if (eventOverflow > 0)
        flight->dropped.emplace_back("events beyond the first " + std::to_string(MaximumFlightEvents), eventOverflow);
    flight->skippedRecords += cutOff;
    FinishMission();
}

} // namespace

bool IsULog(const uint8_t* data, size_t size)
{
    return size >= sizeof Magic && memcmp(data, Magic, sizeof Magic) == 0;
}

bool ReadULog(const uint8_t* data, size_t size, RecordedFlight* flight, std::string* error)
{
    if (!IsULog(data, size))
    {
        *error = "it does not start with the ULog magic";
        return false;
    }
    Reader reader(data, size, flight);
    return reader.Read(error);
}
