#include "track/MavlinkReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "geo/Geodesy.h"
#include "track/AutopilotModes.h"
#include "track/FlightTraffic.h"
#include "track/FlightWind.h"
#include "track/MavlinkMessages.h"
#include "track/MissionVersions.h"

namespace
{

const size_t StampSize = 8;
const uint8_t MagicV1 = 0xFE;
const uint8_t MagicV2 = 0xFD;
const size_t V1HeaderSize = 6;  // magic, len, seq, sysid, compid, msgid
const size_t V2HeaderSize = 10; // magic, len, incompat, compat, seq, sysid, compid, msgid[3]
const size_t ChecksumSize = 2;
const size_t SignatureSize = 13;
const uint8_t SignedFlag = 0x01;
// Time stamps outside 2000 .. 2100 (microseconds since 1970) are no time stamps; a record
// more than a day from the one before it is no record of the same log.
const uint64_t EarliestStamp = 946684800000000ull;
const uint64_t LatestStamp = 4102444800000000ull;
const uint64_t StampWindow = 86400000000ull;
const size_t DetectionWindow = 4096; // bytes in which a log's first record must start
const size_t LongestRecord = StampSize + V2HeaderSize + 255 + ChecksumSize + SignatureSize;

const uint8_t AutopilotInvalid = 8; // HEARTBEAT autopilot of a component that is no flight controller
const uint8_t TypeGcs = 6;          // HEARTBEAT type of a ground station

enum Id : uint32_t
{
    Heartbeat = 0,
    SysStatus = 1,
    ParamValue = 22,
    GpsRawInt = 24,
    ScaledPressure = 29,
    Attitude = 30,
    GlobalPositionInt = 33,
    RcChannelsRaw = 35,
    ServoOutputRaw = 36,
    MissionItem = 39,
    MissionCurrent = 42,
    MissionCount = 44,
    MissionItemReached = 46,
    RcChannels = 65,
    MissionItemInt = 73,
    VfrHud = 74,
    CameraTrigger = 112,
    BatteryStatus = 147,
    MountStatus = 158,
    Wind = 168,
    CameraFeedback = 180,
    HomePosition = 242,
    AdsbVehicle = 246,
    StatusText = 253,
    GimbalDeviceAttitudeStatus = 285,
};

const double ArmedFlag = 128;       // HEARTBEAT base_mode: MAV_MODE_FLAG_SAFETY_ARMED
const double AutopilotPx4 = 12;     // HEARTBEAT autopilot values whose custom_mode this reader names
const double AutopilotArduPilot = 3;
const size_t StatusTextLength = 50; // bytes of a STATUSTEXT's text (a chunk of a longer one when id is set)
const size_t ParamIdLength = 16;    // bytes of PARAM_VALUE's param_id, NUL-terminated only when shorter

struct Frame
{
    uint64_t stamp = 0;
    uint8_t version = 0;
    uint8_t incompat = 0;
    uint8_t system = 0;
    uint8_t component = 0;
    uint32_t id = 0;
    size_t payload = 0; // offset of the payload in the file
    size_t length = 0;  // payload bytes as sent
    size_t size = 0;    // the record: stamp and whole frame
};

enum class Check
{
    Good,
    Unknown,      // a message this reader has no CRC_EXTRA for
    BadChecksum,
    Incompatible, // incompatibility flags other than signing
};

// GIMBAL_DEVICE_FLAGS that say which way the gimbal's yaw counts.
enum GimbalFlag : uint32_t { GimbalYawLock = 16, GimbalYawInVehicleFrame = 32, GimbalYawInEarthFrame = 64 };

uint64_t BigEndianStamp(const uint8_t* bytes)
{
    uint64_t stamp = 0;
    for (size_t i = 0; i < StampSize; ++i)
        stamp = (stamp << 8) | bytes[i];
    return stamp;
}

// What the record at `at` would be: false when no record can start there (time stamp out
// of range, no start byte). *cutOff tells a record that would run past the end.
bool RecordAt(const uint8_t* data, size_t size, size_t at, Frame* frame, bool* cutOff)
{
    *cutOff = false;
    if (at + StampSize + 2 > size)
        return false;
    frame->stamp = BigEndianStamp(data + at);
    if (frame->stamp < EarliestStamp || frame->stamp >= LatestStamp)
        return false;
    const uint8_t* f = data + at + StampSize;
    const size_t available = size - at - StampSize;
    frame->length = f[1];
    if (f[0] == MagicV1)
    {
        frame->version = 1;
        frame->size = StampSize + V1HeaderSize + frame->length + ChecksumSize;
        if (available < V1HeaderSize || at + frame->size > size)
        {
            *cutOff = true;
            return false;
        }
        frame->incompat = 0;
        frame->system = f[3];
        frame->component = f[4];
        frame->id = f[5];
        frame->payload = at + StampSize + V1HeaderSize;
        return true;
    }
    if (f[0] == MagicV2)
    {
        frame->version = 2;
        if (available < V2HeaderSize)
        {
            *cutOff = true;
            return false;
        }
        frame->incompat = f[2];
        frame->size = StampSize + V2HeaderSize + frame->length + ChecksumSize + (frame->incompat & SignedFlag ? SignatureSize : 0);
        if (at + frame->size > size)
        {
            *cutOff = true;
            return false;
        }
        frame->system = f[5];
        frame->component = f[6];
        frame->id = f[7] | (static_cast<uint32_t>(f[8]) << 8) | (static_cast<uint32_t>(f[9]) << 16);
        frame->payload = at + StampSize + V2HeaderSize;
        return true;
    }
    return false;
}

Check CheckFrame(const uint8_t* data, const Frame& frame)
{
    if (frame.incompat & ~SignedFlag)
        return Check::Incompatible;
    const MavlinkMessage* message = FindMavlinkMessage(frame.id);
    if (!message)
        return Check::Unknown;
    const size_t start = frame.payload - (frame.version == 1 ? V1HeaderSize : V2HeaderSize) + 1; // after the magic
    const size_t end = frame.payload + frame.length;
    uint16_t crc = AccumulateMavlinkCrc(0xFFFF, data + start, end - start);
    crc = AccumulateMavlinkCrc(crc, &message->crcExtra, 1);
    const uint16_t sent = static_cast<uint16_t>(data[end] | (data[end + 1] << 8));
    return crc == sent ? Check::Good : Check::BadChecksum;
}

// A record that starts at `at` and whose time stamp lies near `stamp`: the shallow test for
// what follows a frame that cannot be checked by its checksum.
bool RecordFollows(const uint8_t* data, size_t size, size_t at, uint64_t stamp)
{
    if (at == size)
        return true;
    Frame next;
    bool cutOff = false;
    if (!RecordAt(data, size, at, &next, &cutOff) && !cutOff)
        return false;
    const uint64_t nextStamp = BigEndianStamp(data + at);
    return (nextStamp > stamp ? nextStamp - stamp : stamp - nextStamp) < StampWindow;
}

struct Framing
{
    std::vector<Frame> frames;
    size_t skippedBytes = 0;
    size_t badChecksum = 0;
    size_t incompatible = 0;
    size_t cutOff = 0;
};

Framing FrameRecords(const uint8_t* data, size_t size)
{
    Framing framing;
    size_t at = 0;
    bool haveStamp = false;
    uint64_t lastStamp = 0;
    while (at < size)
    {
        Frame frame;
        bool cutOff = false;
        const bool record = RecordAt(data, size, at, &frame, &cutOff);
        const bool near = haveStamp ? (frame.stamp > lastStamp ? frame.stamp - lastStamp : lastStamp - frame.stamp) < StampWindow : true;
        if (!record && cutOff && near && size - at <= LongestRecord)
        {
            // Cut off by the end of the file, unless a record starts within it.
            size_t next = at + 1;
            Frame later;
            bool laterCut = false;
            while (next < size && !RecordAt(data, size, next, &later, &laterCut))
                ++next;
            if (next >= size)
            {
                ++framing.cutOff;
                framing.skippedBytes += size - at;
                break;
            }
        }
        if (record && near)
        {
            const size_t next = at + frame.size;
            const Check check = CheckFrame(data, frame);
            if (check == Check::Good || (check == Check::Unknown && RecordFollows(data, size, next, frame.stamp)))
            {
                framing.frames.push_back(frame);
                haveStamp = true;
                lastStamp = frame.stamp;
                at = next;
                continue;
            }
            if (check != Check::Unknown && RecordFollows(data, size, next, frame.stamp))
            {
                // A whole frame in its place whose content fails: dropped, not resynchronised.
                ++(check == Check::BadChecksum ? framing.badChecksum : framing.incompatible);
                haveStamp = true;
                lastStamp = frame.stamp;
                at = next;
                continue;
            }
        }
        ++framing.skippedBytes;
        ++at;
    }
    return framing;
}

// The series one message gave, before the reader picks.
struct Series
{
    std::vector<TimedPosition> positions;
    std::vector<TimedAttitude> attitudes;
    std::vector<TimedValue> channels[FlightChannelCount];
    std::vector<TimedGimbal> gimbal;
    std::vector<TimedWind> wind;
};

void AddValue(Series& series, FlightChannel channel, double time, double value)
{
    if (std::isfinite(value))
        series.channels[static_cast<int>(channel)].push_back(TimedValue{time, value});
}

FlightChannel Channel(FlightChannel first, int index)
{
    return static_cast<FlightChannel>(static_cast<int>(first) + index);
}

// Pressure altitude (metres) of a static pressure in hPa, in the standard atmosphere.
double PressureAltitude(double hectopascals)
{
    return 44330.77 * (1.0 - std::pow(hectopascals / 1013.25, 0.190263));
}

class Decoder
{
public:
    Decoder(const uint8_t* data, RecordedFlight* flight) : data(data), flight(flight) {}
    void Decode(const std::vector<Frame>& frames, uint8_t system, uint8_t component);

private:
    const uint8_t* data;
    RecordedFlight* flight;
    std::map<uint32_t, Series> series;
    std::map<uint32_t, size_t> records; // message id -> index into the flight's streams
    size_t invalid = 0;
    size_t invalidWind = 0;
    PhotoMessages photos;
    size_t eventOverflow = 0;
    double customMode = NAN;
    bool armed = false;
    PlanFromLog plan;
    double currentItem = NAN; // MISSION_CURRENT's seq: a progress record where it changes
    // A STATUSTEXT sent in chunks, joined until its last chunk (or another text) comes.
    struct
    {
        double time = 0.0;
        int severity = 6;
        double id = 0.0;
        std::string text;
        bool open = false;
    } pendingText;

    void Handle(const MavlinkMessage& message, const uint8_t* payload, double time);
    void HandleStatusText(const MavlinkMessage& message, const uint8_t* payload, double time);
    void HandleMission(const MavlinkMessage& message, const uint8_t* payload, double time);
    void FlushText();
    void Finish();
};

// The message's payload padded with zeros to its full length (MAVLink 2 drops trailing
// zeros; a MAVLink 1 frame of an older definition may be shorter too).
const uint8_t* Padded(const uint8_t* data, const Frame& frame, const MavlinkMessage& message, uint8_t (&buffer)[256])
{
    const size_t copied = std::min(frame.length, sizeof buffer);
    memcpy(buffer, data + frame.payload, copied);
    if (message.length > copied)
        memset(buffer + copied, 0, message.length - copied);
    return buffer;
}

// A ground station's upload to the autopilot: the count and the items it sends to the
// autopilot's system, which the log holds from the station's side.
bool SentToAutopilot(const uint8_t* data, const Frame& frame, uint8_t system)
{
    if (frame.id != MissionCount && frame.id != MissionItem && frame.id != MissionItemInt)
        return false;
    const MavlinkMessage* message = FindMavlinkMessage(frame.id);
    uint8_t buffer[256];
    const MavlinkField* target = message ? message->Field("target_system") : nullptr;
    return target && MavlinkValue(*target, Padded(data, frame, *message, buffer)) == system;
}

double BootSeconds(const MavlinkMessage& message, const uint8_t* payload)
{
    const MavlinkField* field = message.Field("time_boot_ms");
    return field ? MavlinkValue(*field, payload) / 1000.0 : NAN;
}

void Decoder::Decode(const std::vector<Frame>& frames, uint8_t system, uint8_t component)
{
    uint8_t buffer[256];
    // Seconds to add to a time stamp to put it on the boot clock: from the first message
    // that carries both, then from the latest one.
    double offset = NAN;
    for (const Frame& frame : frames)
    {
        const MavlinkMessage* message = FindMavlinkMessage(frame.id);
        if (frame.system == system && frame.component == component && message)
        {
            const double boot = BootSeconds(*message, Padded(data, frame, *message, buffer));
            if (std::isfinite(boot))
            {
                offset = boot - frame.stamp * 1e-6;
                break;
            }
        }
    }
    if (!std::isfinite(offset) && !frames.empty())
    {
        offset = -(frames.front().stamp * 1e-6);
        flight->clock = "seconds from the first record (no message of the autopilot carries time_boot_ms)";
    }

    size_t others = 0;
    for (const Frame& frame : frames)
    {
        // The gimbal is a component of its own on the autopilot's system, with its own clock
        // since boot: its status goes on the autopilot's by the time stamp.
        const bool gimbal = frame.id == GimbalDeviceAttitudeStatus && frame.system == system && frame.component != component;
        // Traffic is taken from whoever relays it: a receiver may be a system of its own.
        const bool traffic = frame.id == AdsbVehicle;
        if ((frame.system != system || frame.component != component) && !SentToAutopilot(data, frame, system) && !gimbal && !traffic)
        {
            ++others;
            continue;
        }
        const MavlinkMessage* message = FindMavlinkMessage(frame.id);
        double time = frame.stamp * 1e-6 + offset;
        const uint8_t* payload = nullptr;
        if (message)
        {
            payload = Padded(data, frame, *message, buffer);
            const double boot = gimbal ? NAN : BootSeconds(*message, payload);
            if (std::isfinite(boot))
            {
                time = boot;
                offset = boot - frame.stamp * 1e-6;
            }
        }
        auto record = records.find(frame.id);
        if (record == records.end())
        {
            record = records.emplace(frame.id, flight->streams.size()).first;
            RecordedStream stream;
            stream.name = message ? message->name : "message " + std::to_string(frame.id);
            stream.firstTime = time;
            flight->streams.push_back(stream);
        }
        RecordedStream& stream = flight->streams[record->second];
        ++stream.count;
        stream.firstTime = std::min(stream.firstTime, time);
        stream.lastTime = std::max(stream.lastTime, time);
        if (message)
            Handle(*message, payload, time);
    }
    if (others > 0)
        flight->dropped.emplace_back("frames of other systems or components", others);
    Finish();
}

void Decoder::Handle(const MavlinkMessage& message, const uint8_t* payload, double time)
{
    const auto value = [&](const char* name, size_t index = 0)
    {
        const MavlinkField* field = message.Field(name);
        return field ? MavlinkValue(*field, payload, index) : NAN;
    };
    Series& s = series[message.id];
    switch (message.id)
    {
    case GlobalPositionInt:
    case GpsRawInt:
    {
        if (message.id == GpsRawInt)
        {
            const double fix = value("fix_type");
            AddValue(s, FlightChannel::FixMode, time, fix >= 3.0 ? 3.0 : (fix >= 2.0 ? 2.0 : 0.0));
            const double satellites = value("satellites_visible");
            if (satellites != 255.0)
                AddValue(s, FlightChannel::Satellites, time, satellites);
            const double speed = value("vel");
            if (fix >= 3.0 && speed != 65535.0)
                AddValue(s, FlightChannel::GroundSpeed, time, speed / 100.0);
            if (!(fix >= 3.0))
                break;
        }
        const TimedPosition p{time, value("lat") * 1e-7, value("lon") * 1e-7, value("alt") / 1000.0};
        if (std::fabs(p.latitude) <= 90.0 && std::fabs(p.longitude) <= 180.0 && !(p.latitude == 0.0 && p.longitude == 0.0))
            s.positions.push_back(p);
        else
            ++invalid;
        break;
    }
    case Attitude:
    {
        const TimedAttitude a{time, value("roll"), value("pitch"), value("yaw")};
        if (std::isfinite(a.roll) && std::isfinite(a.pitch) && std::isfinite(a.yaw))
            s.attitudes.push_back(a);
        else
            ++invalid;
        break;
    }
    case Wind:
    {
        // The direction the air comes from, in degrees.
        TimedWind w;
        w.time = time;
        WindComponentsFrom(value("direction"), value("speed"), &w.north, &w.east);
        w.source = "telemetry WIND";
        KeepWind(&s.wind, w, &invalidWind);
        break;
    }
    case VfrHud:
        AddValue(s, FlightChannel::GroundSpeed, time, value("groundspeed"));
        break;
    case AdsbVehicle:
        AddTraffic(&flight->traffic, AdsbVehicleReport(message, payload, time));
        flight->streams[records[AdsbVehicle]].used = true;
        break;
    case CameraFeedback:
    case CameraTrigger:
    {
        // The feedback carries the place and the aircraft's attitude (degrees); the trigger
        // only its number, its place found on the aircraft's track in the conversion.
        TimedPhoto p;
        p.time = time;
        const double index = value(message.id == CameraFeedback ? "img_idx" : "seq");
        p.index = index >= 0.0 ? static_cast<int64_t>(index) : -1;
        if (message.id == CameraFeedback)
        {
            p.latitude = value("lat") * 1e-7;
            p.longitude = value("lng") * 1e-7;
            p.altitude = value("alt_msl");
            p.roll = value("roll") * RadiansPerDegree;
            p.pitch = value("pitch") * RadiansPerDegree;
            p.yaw = value("yaw") * RadiansPerDegree;
        }
        p.source = message.name;
        photos.Add(p);
        break;
    }
    case MountStatus:
    {
        // Centidegrees: pitch and roll from the horizon, the yaw the mount's own, from the nose.
        TimedGimbal g;
        g.time = time;
        g.pitch = value("pointing_a") / 100.0 * RadiansPerDegree;
        g.roll = value("pointing_b") / 100.0 * RadiansPerDegree;
        g.yaw = value("pointing_c") / 100.0 * RadiansPerDegree;
        g.yawFromNose = true;
        if (s.gimbal.size() < MaximumGimbalRecords)
            s.gimbal.push_back(g);
        break;
    }
    case GimbalDeviceAttitudeStatus:
    {
        // The quaternion turns the camera's FRD into NED, its yaw from the nose unless the
        // flags say north (the earth-frame flag, or the yaw lock when neither frame flag is
        // set); delta_yaw, where given, turns a yaw from the nose into one from north.
        TimedGimbal g;
        g.time = time;
        if (!GimbalAnglesOfQuaternion(value("q", 0), value("q", 1), value("q", 2), value("q", 3), &g.roll, &g.pitch, &g.yaw))
        {
            ++invalid;
            break;
        }
        const uint32_t flags = static_cast<uint32_t>(value("flags"));
        g.yawFromNose = (flags & (GimbalYawInVehicleFrame | GimbalYawInEarthFrame)) != 0 ? (flags & GimbalYawInEarthFrame) == 0 : (flags & GimbalYawLock) == 0;
        const double deltaYaw = value("delta_yaw");
        if (g.yawFromNose && (flags & GimbalYawInVehicleFrame) != 0 && std::isfinite(deltaYaw) && deltaYaw != 0.0)
        {
            g.yaw += deltaYaw;
            g.yawFromNose = false;
        }
        if (s.gimbal.size() < MaximumGimbalRecords)
            s.gimbal.push_back(g);
        break;
    }
    case ScaledPressure:
    {
        const double pressure = value("press_abs");
        if (pressure > 0.0)
            AddValue(s, FlightChannel::BaroAltitude, time, PressureAltitude(pressure));
        break;
    }
    case SysStatus:
    {
        const double voltage = value("voltage_battery"), current = value("current_battery");
        if (voltage != 65535.0)
            AddValue(s, FlightChannel::Voltage, time, voltage / 1000.0);
        if (current >= 0.0)
            AddValue(s, FlightChannel::Current, time, current / 100.0);
        break;
    }
    case BatteryStatus:
    {
        if (value("id") != 0.0)
            break; // the first battery only
        double millivolts = 0.0;
        for (size_t i = 0; i < 10 && value("voltages", i) != 65535.0; ++i)
            millivolts += value("voltages", i);
        if (millivolts > 0.0)
            AddValue(s, FlightChannel::Voltage, time, millivolts / 1000.0);
        if (value("current_battery") >= 0.0)
            AddValue(s, FlightChannel::Current, time, value("current_battery") / 100.0);
        if (value("current_consumed") >= 0.0)
            AddValue(s, FlightChannel::Consumed, time, value("current_consumed"));
        break;
    }
    case RcChannels:
    case RcChannelsRaw:
    {
        if (message.id == RcChannelsRaw && value("port") != 0.0)
            break;
        const double count = message.id == RcChannels ? value("chancount") : 8.0;
        const char* const names[] = {"chan1_raw", "chan2_raw", "chan3_raw", "chan4_raw", "chan5_raw"};
        for (int i = 0; i < 5 && i < count; ++i)
            if (value(names[i]) != 65535.0)
                AddValue(s, Channel(FlightChannel::RcIn1, i), time, value(names[i]));
        break;
    }
    case ServoOutputRaw:
    {
        if (value("port") != 0.0)
            break;
        const char* const names[] = {"servo1_raw", "servo2_raw", "servo3_raw", "servo4_raw"};
        for (int i = 0; i < 4; ++i)
            AddValue(s, Channel(FlightChannel::ServoOut1, i), time, value(names[i]));
        break;
    }
    case Heartbeat:
    {
        const double mode = value("custom_mode");
        AddValue(s, FlightChannel::FlightMode, time, mode);
        if (mode != customMode)
        {
            customMode = mode;
            const double autopilot = value("autopilot");
            const std::string name = autopilot == AutopilotPx4 ? Px4CustomModeName(mode) : autopilot == AutopilotArduPilot ? FamilyModeName(ModeFamilyOfVehicleType(value("type")), mode) : UnknownModeName(mode);
            AppendFlightEvent(&flight->events, &eventOverflow, time, FlightEventKind::Mode, 6, name);
        }
        const bool nowArmed = (static_cast<int>(value("base_mode")) & static_cast<int>(ArmedFlag)) != 0;
        if (nowArmed != armed)
        {
            armed = nowArmed;
            AppendFlightEvent(&flight->events, &eventOverflow, time, armed ? FlightEventKind::Arming : FlightEventKind::Disarming, 5, armed ? "armed" : "disarmed");
        }
        break;
    }
    case StatusText:
        HandleStatusText(message, payload, time);
        break;
    case ParamValue:
    case MissionItem:
    case MissionItemInt:
    case MissionCount:
    case MissionCurrent:
    case MissionItemReached:
    case HomePosition:
        HandleMission(message, payload, time);
        break;
    default:
        break;
    }
}

// The mission, fence and rally points as the autopilot sends them (a download) or a ground
// station sends them to it (an upload), and what the autopilot says of its progress.
void Decoder::HandleMission(const MavlinkMessage& message, const uint8_t* payload, double time)
{
    const auto value = [&](const char* name)
    {
        const MavlinkField* field = message.Field(name);
        return field ? MavlinkValue(*field, payload) : NAN;
    };
    FlightPlan* target = &flight->plan;
    const auto layer = [&]() -> MissionVersions*
    {
        const double type = value("mission_type");
        return type == 0.0 ? &plan.mission : type == 1.0 ? &plan.fence : type == 2.0 ? &plan.rally : nullptr;
    };
    switch (message.id)
    {
    case MissionCount:
        if (MissionVersions* versions = layer())
            versions->Announce(time, static_cast<int32_t>(value("count")));
        break;
    case MissionItem:
    case MissionItemInt:
    {
        MissionVersions* versions = layer();
        if (!versions)
            break;
        const bool integer = message.id == MissionItemInt;
        PlanItem item;
        item.seq = static_cast<int32_t>(value("seq"));
        item.command = static_cast<int32_t>(value("command"));
        item.frame = static_cast<int32_t>(value("frame"));
        item.autocontinue = value("autocontinue") != 0.0;
        const char* const params[] = {"param1", "param2", "param3", "param4"};
        for (int i = 0; i < 4; ++i)
            item.param[i] = value(params[i]);
        item.latitude = value("x") * (integer ? 1e-7 : 1.0);
        item.longitude = value("y") * (integer ? 1e-7 : 1.0);
        item.altitude = value("z");
        versions->Add(time, item, message.name.c_str(), integer);
        break;
    }
    case MissionCurrent:
        // Sent once a second whether or not it changed: a record where it does.
        if (value("seq") != currentItem)
        {
            currentItem = value("seq");
            plan.Progress(target, time, MissionProgress::Current, static_cast<int32_t>(currentItem));
        }
        break;
    case MissionItemReached:
        plan.Progress(target, time, MissionProgress::Reached, static_cast<int32_t>(value("seq")));
        break;
    case ParamValue:
    {
        const MavlinkField* field = message.Field("param_id");
        const char* bytes = reinterpret_cast<const char*>(payload + field->offset);
        const std::string name(bytes, strnlen(bytes, ParamIdLength));
        if (IsPlanParameter(name) && std::isfinite(value("param_value")))
            plan.parameters[name] = value("param_value");
        break;
    }
    case HomePosition:
        plan.Home(HomeReport{time, value("latitude") * 1e-7, value("longitude") * 1e-7, value("altitude") / 1000.0});
        break;
    default:
        break;
    }
}

void Decoder::FlushText()
{
    if (pendingText.open)
        AppendFlightEvent(&flight->events, &eventOverflow, pendingText.time, FlightEventKind::Message, pendingText.severity, pendingText.text);
    pendingText.open = false;
    pendingText.text.clear();
}

// A text of id 0 stands alone; chunks of one id are joined in the order they come, and the
// text ends with a chunk that does not fill its 50 bytes.
void Decoder::HandleStatusText(const MavlinkMessage& message, const uint8_t* payload, double time)
{
    const MavlinkField* field = message.Field("text");
    const MavlinkField* severityField = message.Field("severity");
    const MavlinkField* idField = message.Field("id");
    if (!field || !severityField || !idField)
        return;
    const char* bytes = reinterpret_cast<const char*>(payload + field->offset);
    const size_t length = strnlen(bytes, StatusTextLength);
    const double id = MavlinkValue(*idField, payload);
    const double severity = MavlinkValue(*severityField, payload);
    if (!pendingText.open || id == 0.0 || id != pendingText.id)
    {
        FlushText();
        pendingText.open = true;
        pendingText.time = time;
        pendingText.severity = severity <= 7.0 ? static_cast<int>(severity) : 6;
        pendingText.id = id;
    }
    if (pendingText.text.size() < MaximumEventText)
        pendingText.text.append(bytes, length);
    if (id == 0.0 || length < StatusTextLength)
        FlushText();
}

void Decoder::Finish()
{
    FlushText();
    // The first message in `order` whose series holds what `has` asks for.
    auto choose = [this](std::initializer_list<uint32_t> order, auto has) -> int64_t
    {
        for (uint32_t id : order)
        {
            const auto found = series.find(id);
            if (found != series.end() && has(found->second))
                return id;
        }
        return -1;
    };
    auto use = [this](int64_t id) -> const std::string&
    {
        RecordedStream& stream = flight->streams[records[static_cast<uint32_t>(id)]];
        stream.used = true;
        return stream.name;
    };
    const int64_t position = choose({GlobalPositionInt, GpsRawInt}, [](const Series& s) { return !s.positions.empty(); });
    if (position >= 0)
    {
        flight->positions = std::move(series[static_cast<uint32_t>(position)].positions);
        flight->positionSource = use(position);
    }
    const int64_t attitude = choose({Attitude}, [](const Series& s) { return !s.attitudes.empty(); });
    if (attitude >= 0)
    {
        flight->attitudes = std::move(series[static_cast<uint32_t>(attitude)].attitudes);
        flight->attitudeSource = use(attitude);
    }
    const int64_t gimbal = choose({GimbalDeviceAttitudeStatus, MountStatus}, [](const Series& s) { return !s.gimbal.empty(); });
    if (gimbal >= 0)
    {
        flight->gimbal = std::move(series[static_cast<uint32_t>(gimbal)].gimbal);
        flight->gimbalSource = use(gimbal);
    }
    const std::string photoSource = photos.Choose({"CAMERA_FEEDBACK", "CAMERA_TRIGGER"}, &flight->photos);
    if (!photoSource.empty())
        use(photoSource == "CAMERA_FEEDBACK" ? CameraFeedback : CameraTrigger);
    if (series.count(Wind) && !series[Wind].wind.empty())
    {
        flight->wind = std::move(series[Wind].wind);
        use(Wind);
    }
    if (invalidWind > 0)
        flight->dropped.emplace_back("wind estimates without numbers or beyond " + std::to_string(static_cast<int>(MaximumWindSpeed)) + " m/s", invalidWind);
    for (int channel = 0; channel < FlightChannelCount; ++channel)
    {
        const int64_t source = choose({VfrHud, GpsRawInt, ScaledPressure, SysStatus, BatteryStatus, RcChannels, RcChannelsRaw, ServoOutputRaw, Heartbeat}, [channel](const Series& s) { return !s.channels[channel].empty(); });
        if (source >= 0)
        {
            flight->channels[channel] = std::move(series[static_cast<uint32_t>(source)].channels[channel]);
            use(source);
        }
    }
    if (invalid > 0)
        flight->dropped.emplace_back("positions or attitudes out of range", invalid);
    if (eventOverflow > 0)
        flight->dropped.emplace_back("events beyond the first " + std::to_string(MaximumFlightEvents), eventOverflow);
    plan.Finish(flight->events, &flight->plan);
}

// The autopilot: component 1 of the first system whose HEARTBEAT names an autopilot type,
// else the sender of the first position or attitude. False when there is none.
bool ChooseAutopilot(const uint8_t* data, const std::vector<Frame>& frames, uint8_t* system, uint8_t* component)
{
    uint8_t buffer[256];
    const MavlinkMessage* heartbeat = FindMavlinkMessage(Heartbeat);
    for (const Frame& frame : frames)
        if (frame.id == Heartbeat)
        {
            const uint8_t* payload = Padded(data, frame, *heartbeat, buffer);
            if (MavlinkValue(*heartbeat->Field("autopilot"), payload) != AutopilotInvalid && MavlinkValue(*heartbeat->Field("type"), payload) != TypeGcs)
            {
                *system = frame.system;
                *component = frame.component;
                for (const Frame& other : frames)
                    if (other.system == frame.system && other.component == 1)
                    {
                        *component = 1;
                        break;
                    }
                return true;
            }
        }
    for (const Frame& frame : frames)
        if (frame.id == GlobalPositionInt || frame.id == GpsRawInt || frame.id == Attitude)
        {
            *system = frame.system;
            *component = frame.component;
            return true;
        }
    return false;
}

// The vehicle's kind: the autopilot's own HEARTBEAT type. A quadplane reports itself as fixed
// wing; its Q_ENABLE (and Q_TAILSIT_ENABLE) parameters say what it is.
VehicleIdentity FindMavlinkVehicle(const uint8_t* data, const std::vector<Frame>& frames, uint8_t system, uint8_t component, std::vector<std::string>* notes)
{
    uint8_t buffer[256];
    const MavlinkMessage* heartbeat = FindMavlinkMessage(Heartbeat);
    const MavlinkMessage* parameter = FindMavlinkMessage(ParamValue);
    int type = -1;
    double quadplane = NAN, tailsitter = NAN;
    for (const Frame& frame : frames)
    {
        if (frame.system != system)
            continue;
        if (frame.id == Heartbeat && type < 0 && frame.component == component)
        {
            const uint8_t* payload = Padded(data, frame, *heartbeat, buffer);
            if (MavlinkValue(*heartbeat->Field("autopilot"), payload) != AutopilotInvalid)
                type = static_cast<int>(MavlinkValue(*heartbeat->Field("type"), payload));
        }
        else if (frame.id == ParamValue)
        {
            const uint8_t* payload = Padded(data, frame, *parameter, buffer);
            const char* bytes = reinterpret_cast<const char*>(payload + parameter->Field("param_id")->offset);
            const std::string name(bytes, strnlen(bytes, ParamIdLength));
            if (name == "Q_ENABLE")
                quadplane = MavlinkValue(*parameter->Field("param_value"), payload);
            else if (name == "Q_TAILSIT_ENABLE")
                tailsitter = MavlinkValue(*parameter->Field("param_value"), payload);
        }
    }
    VehicleIdentity identity;
    if (type < 0)
        return identity;
    identity.kind = VehicleKindOfMavType(type);
    identity.source = "HEARTBEAT type " + std::to_string(type);
    if (identity.kind == VehicleKind::Unknown)
    {
        notes->push_back("vehicle kind unknown: HEARTBEAT type " + std::to_string(type) + " names none this reader draws");
        identity.source.clear();
        return identity;
    }
    if (identity.kind == VehicleKind::Plane && quadplane == 1.0)
    {
        const bool sits = std::isfinite(tailsitter) && tailsitter >= 1.0;
        identity.kind = sits ? VehicleKind::Tailsitter : VehicleKind::VtolQuadplane;
        identity.source += sits ? " with Q_ENABLE 1, Q_TAILSIT_ENABLE 1" : " with Q_ENABLE 1";
    }
    return identity;
}

} // namespace

bool IsMavlinkTelemetry(const uint8_t* data, size_t size)
{
    const size_t window = std::min(size, DetectionWindow);
    for (size_t at = 0; at < window; ++at)
    {
        Frame frame;
        bool cutOff = false;
        if (!RecordAt(data, size, at, &frame, &cutOff))
            continue;
        if (CheckFrame(data, frame) == Check::Good)
            return true;
        Frame next;
        if (at + frame.size < size && RecordAt(data, size, at + frame.size, &next, &cutOff) && RecordFollows(data, size, at + frame.size, frame.stamp))
            return true;
    }
    return false;
}

bool ReadMavlinkTelemetry(const uint8_t* data, size_t size, RecordedFlight* flight, std::string* error)
{
    flight->format = "MAVLink telemetry";
    flight->clock = "time_boot_ms / 1000, seconds since boot";
    flight->positionWanted = "GLOBAL_POSITION_INT, or GPS_RAW_INT with a 3-D fix";
    const Framing framing = FrameRecords(data, size);
    if (framing.frames.empty())
    {
        *error = "it holds no MAVLink telemetry record";
        return false;
    }
    flight->skippedBytes = framing.skippedBytes;
    flight->skippedRecords = framing.badChecksum + framing.incompatible + framing.cutOff;
    if (framing.badChecksum > 0)
        flight->dropped.emplace_back("frames with a bad checksum", framing.badChecksum);
    if (framing.incompatible > 0)
        flight->dropped.emplace_back("frames with unknown incompatibility flags", framing.incompatible);
    if (framing.cutOff > 0)
        flight->dropped.emplace_back("cut off", framing.cutOff);
    uint8_t system = 0, component = 0;
    if (!ChooseAutopilot(data, framing.frames, &system, &component))
    {
        // Nothing from an autopilot: the summary still lists what the log holds.
        system = framing.frames.front().system;
        component = framing.frames.front().component;
    }
    Decoder decoder(data, flight);
    decoder.Decode(framing.frames, system, component);
    flight->vehicle = FindMavlinkVehicle(data, framing.frames, system, component, &flight->notes);
    return true;
}
