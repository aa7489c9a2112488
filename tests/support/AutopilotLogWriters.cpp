#include "support/AutopilotLogWriters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "geo/Geodesy.h"

namespace
{

const double Gravity = 9.80665;
const double LinkDelay = 0.030; // seconds from the autopilot to the ground station

// The flight's records of one kind fall every 1/rate seconds from the start.
template <typename Write>
void Every(const CircleFlight& flight, double rate, Write write)
{
    if (!(rate > 0.0))
        return;
    const int count = static_cast<int>(std::floor(flight.duration * rate + 1e-9)) + 1;
    for (int i = 0; i < count; ++i)
        write(i / rate);
}

// A record of one kind, due at a time in seconds from the start.
struct Pending
{
    double seconds;
    int kind;
};

// The records of every kind in time order: each entry gives a rate and the kinds written at
// it. Records due at one time keep the order of the entries and of their kinds.
std::vector<Pending> Schedule(const CircleFlight& flight, const std::vector<std::pair<double, std::vector<int>>>& rates)
{
    std::vector<Pending> pending;
    for (const auto& rate : rates)
        Every(flight, rate.first, [&](double s) {
            for (const int kind : rate.second)
                pending.push_back({s, kind});
        });
    std::stable_sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) { return a.seconds < b.seconds; });
    return pending;
}

// Quaternion (w, x, y, z) of body FRD to NED for yaw, then pitch, then roll.
std::array<float, 4> Quaternion(double roll, double pitch, double yaw)
{
    const double cr = std::cos(roll / 2), sr = std::sin(roll / 2);
    const double cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
    const double cy = std::cos(yaw / 2), sy = std::sin(yaw / 2);
    return {static_cast<float>(cr * cp * cy + sr * sp * sy), static_cast<float>(sr * cp * cy - cr * sp * sy), static_cast<float>(cr * sp * cy + sr * cp * sy),
            static_cast<float>(cr * cp * sy - sr * sp * cy)};
}

int32_t E7(double degrees)
{
    return static_cast<int32_t>(std::lround(degrees * 1e7));
}

// The part of a time stamp the records at rates up to 1 kHz need: whole microseconds.
uint64_t Micros(double seconds)
{
    return static_cast<uint64_t>(std::llround(seconds * 1e6));
}

} // namespace

Packer& Packer::Raw(const void* value, size_t size)
{
    bytes.append(static_cast<const char*>(value), size);
    return *this;
}

Packer& Packer::Text(const std::string& text, size_t width)
{
    std::string field = text.substr(0, width);
    field.resize(width, '\0');
    bytes += field;
    return *this;
}

// ---- ULog -------------------------------------------------------------------------------

ULogWriter::ULogWriter(uint64_t startMicroseconds)
{
    bytes = std::string("ULog\x01\x12\x35", 7);
    bytes += '\x01';
    bytes += Packer().U64(startMicroseconds).bytes;
}

ULogWriter& ULogWriter::Message(char type, const std::string& body)
{
    bytes += Packer().U16(static_cast<uint16_t>(body.size())).U8(static_cast<uint8_t>(type)).bytes;
    bytes += body;
    return *this;
}

ULogWriter& ULogWriter::Flags(uint8_t incompat0, uint64_t appendedOffset)
{
    Packer body;
    body.Zeros(8).U8(incompat0).Zeros(7).U64(appendedOffset).U64(0).U64(0);
    flagsAt = bytes.size() + 3;
    return Message('B', body.bytes);
}

void ULogWriter::SetAppendedOffset(uint64_t offset)
{
    const std::string value = Packer().U64(offset).bytes;
    bytes.replace(flagsAt + 16, 8, value);
}

ULogWriter& ULogWriter::Format(const std::string& definition)
{
    return Message('F', definition);
}

ULogWriter& ULogWriter::Subscribe(uint8_t instance, uint16_t id, const std::string& topic)
{
    return Message('A', Packer().U8(instance).U16(id).bytes + topic);
}

ULogWriter& ULogWriter::Data(uint16_t id, const std::string& fields)
{
    return Message('D', Packer().U16(id).bytes + fields);
}

ULogWriter& ULogWriter::Sync()
{
    return Message('S', std::string("\x2F\x73\x13\x20\x25\x0C\xBB\x12", 8));
}

// ---- DataFlash --------------------------------------------------------------------------

static size_t DataFlashLength(const std::string& characters)
{
    size_t length = 3;
    for (char c : characters)
    {
        switch (c)
        {
        case 'b': case 'B': case 'M': length += 1; break;
        case 'h': case 'H': case 'c': case 'C': length += 2; break;
        case 'i': case 'I': case 'f': case 'e': case 'E': case 'L': case 'n': length += 4; break;
        case 'd': case 'q': case 'Q': length += 8; break;
        case 'N': length += 16; break;
        case 'Z': case 'a': length += 64; break;
        default: break;
        }
    }
    return length;
}

DataFlashWriter::DataFlashWriter()
{
    Format(128, "FMT", "BBnNZ", "Type,Length,Name,Format,Columns");
}

DataFlashWriter& DataFlashWriter::Format(uint8_t type, const std::string& name, const std::string& characters, const std::string& columns)
{
    Packer message;
    message.U8(0xA3).U8(0x95).U8(128).U8(type).U8(static_cast<uint8_t>(DataFlashLength(characters)));
    message.Text(name, 4).Text(characters, 16).Text(columns, 64);
    bytes += message.bytes;
    return *this;
}

DataFlashWriter& DataFlashWriter::Message(uint8_t type, const std::string& fields)
{
    bytes += Packer().U8(0xA3).U8(0x95).U8(type).bytes + fields;
    return *this;
}

DataFlashWriter& DataFlashWriter::Describe(int bit, uint8_t type, const std::string& name, const std::string& characters, const std::string& columns)
{
    if (!(described & (1u << bit)))
        Format(type, name, characters, columns);
    described |= 1u << bit;
    return *this;
}

static std::string CommandFields(double seconds, uint16_t total, const WrittenItem& item, bool withFrame)
{
    Packer p;
    p.U64(static_cast<uint64_t>(std::llround(seconds * 1e6))).U16(total).U16(item.seq).U16(item.command);
    p.F32(item.param[0]).F32(item.param[1]).F32(item.param[2]).F32(item.param[3]);
    p.I32(static_cast<int32_t>(std::lround(item.latitude * 1e7))).I32(static_cast<int32_t>(std::lround(item.longitude * 1e7))).F32(item.altitude);
    if (withFrame)
        p.U8(item.frame);
    return p.bytes;
}

DataFlashWriter& DataFlashWriter::Command(double seconds, uint16_t total, const WrittenItem& item, bool withFrame)
{
    if (withFrame)
        Describe(0, 160, "CMD", "QHHHffffLLfB", "TimeUS,CTot,CNum,CId,Prm1,Prm2,Prm3,Prm4,Lat,Lng,Alt,Frame");
    else
        Describe(0, 160, "CMD", "QHHHffffLLf", "TimeUS,CTot,CNum,CId,Prm1,Prm2,Prm3,Prm4,Lat,Lng,Alt");
    return Message(160, CommandFields(seconds, total, item, withFrame));
}

DataFlashWriter& DataFlashWriter::MissionStart(double seconds, uint16_t total, const WrittenItem& item)
{
    Describe(1, 161, "MISE", "QHHHffffLLfB", "TimeUS,CTot,CNum,CId,Prm1,Prm2,Prm3,Prm4,Lat,Lng,Alt,Frame");
    return Message(161, CommandFields(seconds, total, item, true));
}

DataFlashWriter& DataFlashWriter::FencePoint(double seconds, uint8_t total, uint8_t seq, uint16_t type, double latitude, double longitude, uint16_t count, float radius)
{
    Describe(2, 162, "FNCE", "QBBHLLHf", "TimeUS,Tot,Seq,Type,Lat,Lng,Count,Radius");
    Packer p;
    p.U64(static_cast<uint64_t>(std::llround(seconds * 1e6))).U8(total).U8(seq).U16(type).I32(E7(latitude)).I32(E7(longitude)).U16(count).F32(radius);
    return Message(162, p.bytes);
}

DataFlashWriter& DataFlashWriter::RallyPoint(double seconds, uint8_t total, uint8_t seq, double latitude, double longitude, int16_t altitude)
{
    Describe(3, 163, "RALY", "QBBLLhB", "TimeUS,Tot,Seq,Lat,Lng,Alt,Flags");
    Packer p;
    p.U64(static_cast<uint64_t>(std::llround(seconds * 1e6))).U8(total).U8(seq).I32(E7(latitude)).I32(E7(longitude)).I16(altitude).U8(0);
    return Message(163, p.bytes);
}

DataFlashWriter& DataFlashWriter::Parameter(double seconds, const std::string& name, float value)
{
    Describe(4, 164, "PARM", "QNff", "TimeUS,Name,Value,Default");
    return Message(164, Packer().U64(static_cast<uint64_t>(std::llround(seconds * 1e6))).Text(name, 16).F32(value).F32(0.0f).bytes);
}

// ---- MAVLink ----------------------------------------------------------------------------

uint16_t X25Checksum(const std::string& bytes, uint16_t crc)
{
    for (unsigned char byte : bytes)
    {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 1 ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    return crc;
}

MavlinkPayload HeartbeatPayload(uint32_t customMode, uint8_t type, uint8_t autopilot, uint8_t baseMode)
{
    Packer p;
    p.U32(customMode).U8(type).U8(autopilot).U8(baseMode).U8(4).U8(3); // system_status, mavlink_version
    return {0, 50, p.bytes, 9};
}

MavlinkPayload StatusTextPayload(uint8_t severity, const std::string& text, uint16_t id, uint8_t chunk)
{
    Packer p;
    p.U8(severity).Text(text, 50).U16(id).U8(chunk);
    return {253, 83, p.bytes, 51};
}

const char* const FirstText = "Takeoff, climbing \"fast\" to waypoint 1 of the mission, holding";
const char* const SecondText = "Battery low";

// Armed as the events say (always when the flight records none).
static bool ArmedAt(const CircleFlight& flight, double seconds)
{
    return !flight.events || (seconds >= ArmedFrom && seconds < ArmedUntil);
}

MavlinkPayload SysStatusPayload(uint16_t millivolts, int16_t centiamperes)
{
    Packer p;
    p.U32(0x3F).U32(0x3F).U32(0x3F).U16(250).U16(millivolts).I16(centiamperes).U16(0).U16(0).U16(0).U16(0).U16(0).U16(0).I8(80);
    p.U32(0).U32(0).U32(0); // extensions
    return {1, 124, p.bytes, 31};
}

MavlinkPayload GpsRawIntPayload(uint64_t microseconds, uint8_t fixType, int32_t latitudeE7, int32_t longitudeE7, int32_t altitudeMm, uint16_t speedCm, uint8_t satellites)
{
    Packer p;
    p.U64(microseconds).I32(latitudeE7).I32(longitudeE7).I32(altitudeMm).U16(120).U16(200).U16(speedCm).U16(9000).U8(fixType).U8(satellites);
    p.I32(altitudeMm + 48000).U32(1500).U32(2500).U32(300).U32(0).U16(0); // extensions
    return {24, 24, p.bytes, 30};
}

MavlinkPayload AttitudePayload(uint32_t bootMs, float roll, float pitch, float yaw)
{
    Packer p;
    p.U32(bootMs).F32(roll).F32(pitch).F32(yaw).F32(0.0f).F32(0.0f).F32(0.0f); // zero rates: MAVLink 2 drops them
    return {30, 39, p.bytes, 28};
}

MavlinkPayload GlobalPositionIntPayload(uint32_t bootMs, int32_t latitudeE7, int32_t longitudeE7, int32_t altitudeMm)
{
    Packer p;
    p.U32(bootMs).I32(latitudeE7).I32(longitudeE7).I32(altitudeMm).I32(altitudeMm - 400000).I16(0).I16(0).I16(0).U16(0); // zero velocities and heading are dropped
    return {33, 104, p.bytes, 28};
}

MavlinkPayload WindPayload(float from, float speed)
{
    std::string bytes(reinterpret_cast<const char*>(&from), 4);
    bytes.append(reinterpret_cast<const char*>(&speed), 4);
    const float up = 0.0f;
    bytes.append(reinterpret_cast<const char*>(&up), 4);
    return MavlinkPayload{168, 1, bytes, 12};
}

MavlinkPayload ParamValuePayload(const std::string& name, float value)
{
    std::string bytes(reinterpret_cast<const char*>(&value), 4);
    bytes += std::string("\x01\x00\x00\x00", 4) + name.substr(0, 16) + std::string(16 - std::min<size_t>(name.size(), 16), '\0') + '\x09';
    return {22, 220, bytes, 25};
}

MavlinkPayload AdsbVehiclePayload(uint32_t address, int32_t latitudeE7, int32_t longitudeE7, int32_t altitudeMm, uint16_t headingCdeg, uint16_t speedCms, uint16_t flags,
                                  const std::string& callsign)
{
    Packer p;
    p.U32(address).I32(latitudeE7).I32(longitudeE7).I32(altitudeMm).U16(headingCdeg).U16(speedCms).I16(0).U16(flags).U16(1200).U8(1).Text(callsign, 9).U8(1).U8(0);
    return {246, 184, p.bytes, 38};
}

MavlinkPayload VfrHudPayload(float groundSpeed, float altitude)
{
    Packer p;
    p.F32(groundSpeed + 2.0f).F32(groundSpeed).F32(altitude).F32(1.0f).I16(90).U16(55);
    return {74, 20, p.bytes, 20};
}

MavlinkPayload BatteryStatusPayload(uint16_t millivolts, int16_t centiamperes, int32_t consumedMah)
{
    Packer p;
    p.I32(consumedMah).I32(-1).I16(2500);
    p.U16(millivolts);
    for (int i = 1; i < 10; ++i)
        p.U16(65535);
    p.I16(centiamperes).U8(0).U8(1).U8(1).I8(70); // id, battery_function, type, battery_remaining
    p.I32(0).U8(0);
    for (int i = 0; i < 4; ++i)
        p.U16(0);
    p.U8(0).U32(0);
    return {147, 154, p.bytes, 36};
}

MavlinkPayload RcChannelsPayload(uint32_t bootMs, const std::array<uint16_t, 5>& channels)
{
    Packer p;
    p.U32(bootMs);
    for (int i = 0; i < 18; ++i)
        p.U16(i < 5 ? channels[i] : (i < 8 ? 1500 : 65535));
    p.U8(8).U8(255); // chancount, rssi
    return {65, 118, p.bytes, 42};
}

MavlinkPayload ServoOutputRawPayload(uint32_t microseconds, const std::array<uint16_t, 4>& servos)
{
    Packer p;
    p.U32(microseconds);
    for (int i = 0; i < 8; ++i)
        p.U16(i < 4 ? servos[i] : 0);
    p.U8(0); // port
    for (int i = 0; i < 8; ++i)
        p.U16(0);
    return {36, 222, p.bytes, 21};
}

MavlinkPayload MissionCountPayload(uint8_t targetSystem, uint8_t targetComponent, uint16_t count, uint8_t missionType)
{
    Packer p;
    p.U16(count).U8(targetSystem).U8(targetComponent);
    p.U8(missionType).U32(0); // extensions: mission_type, opaque_id
    return {44, 221, p.bytes, 4};
}

MavlinkPayload MissionItemIntPayload(uint8_t targetSystem, uint8_t targetComponent, const WrittenItem& item, uint8_t missionType)
{
    Packer p;
    p.F32(item.param[0]).F32(item.param[1]).F32(item.param[2]).F32(item.param[3]).I32(E7(item.latitude)).I32(E7(item.longitude)).F32(item.altitude);
    p.U16(item.seq).U16(item.command).U8(targetSystem).U8(targetComponent).U8(item.frame).U8(0).U8(1); // current, autocontinue
    p.U8(missionType);
    return {73, 38, p.bytes, 37};
}

MavlinkPayload MissionCurrentPayload(uint16_t seq)
{
    Packer p;
    p.U16(seq);
    return {42, 28, p.bytes, 2};
}

MavlinkPayload MissionItemReachedPayload(uint16_t seq)
{
    Packer p;
    p.U16(seq);
    return {46, 11, p.bytes, 2};
}

TelemetryWriter& TelemetryWriter::Record(uint64_t stampMicroseconds, const MavlinkPayload& payload, const FrameOptions& options)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes += static_cast<char>((stampMicroseconds >> shift) & 0xFF);
    std::string body = payload.bytes;
    std::string header;
    if (options.version == 1)
    {
        body.resize(payload.baseLength);
        header = Packer().U8(static_cast<uint8_t>(body.size())).U8(sequence).U8(options.system).U8(options.component).U8(static_cast<uint8_t>(payload.id)).bytes;
    }
    else
    {
        while (body.size() > 1 && body.back() == '\0')
            body.pop_back(); // the first byte stays, even when zero
        header = Packer().U8(static_cast<uint8_t>(body.size())).U8(options.sign ? 1 : 0).U8(0).U8(sequence).U8(options.system).U8(options.component).bytes;
        header += Packer().U8(payload.id & 0xFF).U8((payload.id >> 8) & 0xFF).U8((payload.id >> 16) & 0xFF).bytes;
    }
    ++sequence;
    uint16_t crc = X25Checksum(header + body);
    crc = X25Checksum(std::string(1, static_cast<char>(payload.crcExtra)), crc);
    if (options.breakChecksum)
        crc ^= 0x5A5A;
    bytes += static_cast<char>(options.version == 1 ? 0xFE : 0xFD);
    bytes += header + body + Packer().U16(crc).bytes;
    if (options.version == 2 && options.sign)
        bytes += Packer().U8(7).Bytes(std::string("\x01\x02\x03\x04\x05\x06", 6)).Bytes(std::string("\xA1\xB2\xC3\xD4\xE5\xF6", 6)).bytes; // link id, time stamp, signature
    return *this;
}

// ---- The flight -------------------------------------------------------------------------

FlightState StateAt(const CircleFlight& flight, double seconds)
{
    const double turn = (flight.clockwise ? 1.0 : -1.0) * flight.speed / flight.radius; // radians a second, clockwise positive
    const double angle = turn * seconds; // bearing of the aircraft from the centre, clockwise from north
    const double north = flight.radius * std::cos(angle), east = flight.radius * std::sin(angle);
    FlightState state;
    state.latitude = flight.latitude + north / WriterMetresPerDegree;
    state.longitude = flight.longitude + east / (WriterMetresPerDegree * std::cos(flight.latitude * Pi / 180.0));
    state.altitude = flight.altitude + flight.climb * seconds;
    const double bank = std::atan(flight.speed * flight.speed / (flight.radius * Gravity));
    state.roll = flight.clockwise ? bank : -bank;
    state.pitch = flight.pitch;
    state.yaw = std::remainder(angle + (flight.clockwise ? Pi / 2 : -Pi / 2), 2 * Pi); // along the track
    state.speed = flight.speed;
    return state;
}

double BatteryVolts(double seconds)
{
    return 16.4 - 0.01 * seconds;
}

double BatteryAmperes(double seconds)
{
    return 12.0 + std::sin(seconds);
}

double ConsumedMah(double seconds)
{
    return 3.5 * seconds;
}

int FlightModeAt(double seconds)
{
    return 3 + static_cast<int>(seconds / 5.0) % 3;
}

GimbalState GimbalAt(double seconds)
{
    return GimbalState{-0.3 - 0.02 * seconds, 0.05, 0.8 + 0.04 * seconds};
}

MavlinkPayload MountStatusPayload(int32_t pitchCdeg, int32_t rollCdeg, int32_t yawCdeg)
{
    Packer p;
    p.I32(pitchCdeg).I32(rollCdeg).I32(yawCdeg).U8(1).U8(1).U8(2); // targets, then mount_mode, an extension
    return {158, 134, p.bytes, 14};
}

MavlinkPayload GimbalDeviceAttitudeStatusPayload(uint32_t bootMs, uint16_t flags, const std::array<float, 4>& q)
{
    Packer p;
    p.U32(bootMs).F32(q[0]).F32(q[1]).F32(q[2]).F32(q[3]).F32(0.0f).F32(0.0f).F32(0.0f).U32(0).U16(flags).U8(0).U8(0);
    p.F32(std::nanf("")).F32(std::nanf("")).U8(0); // delta_yaw unknown
    return {285, 137, p.bytes, 40};
}

MavlinkPayload CameraFeedbackPayload(uint64_t microseconds, uint16_t image, int32_t latitudeE7, int32_t longitudeE7, float altitude, float roll, float pitch, float yaw)
{
    Packer p;
    p.U64(microseconds).I32(latitudeE7).I32(longitudeE7).F32(altitude).F32(altitude - 400.0f).F32(roll).F32(pitch).F32(yaw).F32(0.0f);
    p.U16(image).U8(1).U8(0).U8(0); // target system, camera, flags
    p.U16(image);                   // completed_captures, an extension
    return {180, 52, p.bytes, 45};
}

MavlinkPayload CameraTriggerPayload(uint64_t microseconds, uint32_t seq)
{
    Packer p;
    p.U64(microseconds).U32(seq);
    return {112, 174, p.bytes, 12};
}

uint16_t RcPulse(int channel, double seconds)
{
    return static_cast<uint16_t>(1100 + 100 * channel + static_cast<int>(seconds * 10) % 50);
}

uint16_t ServoPulse(int channel, double seconds)
{
    return static_cast<uint16_t>(1900 - 100 * channel - static_cast<int>(seconds * 10) % 50);
}

std::string CircleULog(const CircleFlight& flight)
{
    ULogWriter log(Micros(flight.bootTime));
    log.Flags();
    log.Format("vehicle_global_position:uint64_t timestamp;uint64_t timestamp_sample;double lat;double lon;float alt;float alt_ellipsoid;uint8_t lat_lon_reset_counter;bool dead_reckoning;uint8_t[6] _padding0;");
    log.Format("vehicle_gps_position:uint64_t timestamp;double latitude_deg;double longitude_deg;double altitude_msl_m;float vel_m_s;uint8_t fix_type;uint8_t satellites_used;uint8_t[2] _padding0;");
    log.Format("vehicle_attitude:uint64_t timestamp;uint64_t timestamp_sample;float[4] q;float[4] delta_q_reset;uint8_t quat_reset_counter;uint8_t[7] _padding0;");
    log.Format("battery_status:uint64_t timestamp;float voltage_v;float current_a;float discharged_mah;uint8_t[4] _padding0;");
    log.Format("vehicle_status:uint64_t timestamp;uint8_t arming_state;uint8_t nav_state;bool failsafe;uint8_t[5] _padding0;");
    log.Format("input_rc:uint64_t timestamp;uint16_t[18] values;uint8_t channel_count;uint8_t[3] _padding0;");
    log.Format("actuator_outputs:uint64_t timestamp;uint32_t noutputs;float[16] output;uint8_t[4] _padding0;");
    log.Format("vehicle_air_data:uint64_t timestamp;float baro_alt_meter;float baro_pressure_pa;");
    log.Format("sensor_combined:uint64_t timestamp;float[3] gyro_rad;float[3] accelerometer_m_s2;uint32_t accelerometer_integral_dt;uint8_t[4] _padding0;");
    const std::string key = "char[9] sys_name";
    log.Message('I', std::string(1, static_cast<char>(key.size())) + key + "PX4-like!");
    const char* topics[] = {"vehicle_global_position", "vehicle_gps_position", "vehicle_attitude", "battery_status", "vehicle_status", "input_rc", "actuator_outputs", "vehicle_air_data", "sensor_combined"};
    for (uint16_t id = 0; id < 9; ++id)
        log.Subscribe(0, id, topics[id]);
    if (flight.gimbal)
    {
        log.Format("gimbal_device_attitude_status:uint64_t timestamp;uint8_t target_system;uint8_t target_component;uint16_t device_flags;float[4] q;float angular_velocity_x;"
                   "float angular_velocity_y;float angular_velocity_z;uint32_t failure_flags;float delta_yaw;float delta_yaw_velocity;uint8_t gimbal_device_id;uint8_t[7] _padding0;");
        log.Subscribe(0, 10, "gimbal_device_attitude_status");
    }
    if (flight.photos)
    {
        log.Format("camera_capture:uint64_t timestamp;uint64_t timestamp_utc;double lat;double lon;float alt;float ground_distance;float[4] q;uint32_t seq;int8_t result;uint8_t[3] _padding0;");
        log.Subscribe(0, 11, "camera_capture");
    }

    // Records of all kinds in time order, a sync message every second.
    const std::vector<Pending> pending = Schedule(flight, {{flight.positionRate, {0, 1}}, {flight.attitudeRate, {2}}, {2.0, {3, 4}}, {10.0, {5, 6, 7}}, {flight.otherRate, {8}}, {1.0, {9}}, {flight.gimbal ? 5.0 : 0.0, {10}},
                                                            {flight.photos ? 1.0 / PhotoInterval : 0.0, {11}}});
    for (const Pending& record : pending)
    {
        const double s = record.seconds;
        const uint64_t stamp = Micros(flight.bootTime + s);
        const FlightState state = StateAt(flight, s);
        Packer p;
        p.U64(stamp);
        if (record.kind == 11)
        {
            const std::array<float, 4> q = Quaternion(state.roll, state.pitch, state.yaw);
            p.U64(0).F64(state.latitude).F64(state.longitude).F32(static_cast<float>(state.altitude)).F32(100.0f).F32(q[0]).F32(q[1]).F32(q[2]).F32(q[3]);
            p.U32(static_cast<uint32_t>(std::lround(s / PhotoInterval)) + 1).I8(1).Zeros(3);
            log.Data(11, p.bytes);
            continue;
        }
        if (record.kind == 10)
        {
            // The yaw from the nose: the vehicle-frame flag.
            const GimbalState gimbal = GimbalAt(s);
            const std::array<float, 4> q = Quaternion(gimbal.roll, gimbal.pitch, gimbal.yaw - state.yaw);
            p.U8(1).U8(154).U16(32).F32(q[0]).F32(q[1]).F32(q[2]).F32(q[3]).Zeros(16).F32(0.0f).F32(0.0f).U8(1);
            log.Data(10, p.bytes);
            continue;
        }
        switch (record.kind)
        {
        case 0:
            p.U64(stamp).F64(state.latitude).F64(state.longitude).F32(static_cast<float>(state.altitude)).F32(static_cast<float>(state.altitude + 48.0)).U8(0).U8(0);
            break;
        case 1:
            p.F64(state.latitude).F64(state.longitude).F64(state.altitude).F32(static_cast<float>(state.speed)).U8(3).U8(12);
            break;
        case 2:
        {
            const std::array<float, 4> q = Quaternion(state.roll, state.pitch, state.yaw);
            p.U64(stamp).F32(q[0]).F32(q[1]).F32(q[2]).F32(q[3]).Zeros(16).U8(0);
            break;
        }
        case 3:
            p.F32(static_cast<float>(BatteryVolts(s))).F32(static_cast<float>(BatteryAmperes(s))).F32(static_cast<float>(ConsumedMah(s)));
            break;
        case 4:
            p.U8(ArmedAt(flight, s) ? 2 : 1).U8(static_cast<uint8_t>(FlightModeAt(s))).U8(flight.events && s >= FailsafeAt);
            break;
        case 5:
            for (int i = 0; i < 18; ++i)
                p.U16(i < 5 ? RcPulse(i, s) : 1500);
            p.U8(8);
            break;
        case 6:
            p.U32(8);
            for (int i = 0; i < 16; ++i)
                p.F32(i < 4 ? ServoPulse(i, s) : 900.0f);
            break;
        case 7:
            p.F32(static_cast<float>(state.altitude - 3.0)).F32(95000.0f);
            break;
        case 8:
            p.F32(0.01f).F32(-0.02f).F32(0.03f).F32(0.1f).F32(0.2f).F32(-9.8f).U32(4000);
            break;
        default:
            log.Sync();
            continue;
        }
        log.Data(static_cast<uint16_t>(record.kind), p.bytes);
    }
    if (flight.events)
    {
        // Logged strings carry their own time: their place in the file does not matter.
        // The first in the console's colours, with the tab the logger leaves at the end.
        log.Message('L', Packer().U8('6').U64(Micros(flight.bootTime + FirstTextAt)).Bytes("\x1b[32m" + std::string(FirstText) + "\x1b[0m\t").bytes);
        log.Message('C', Packer().U8('3').U16(1).U64(Micros(flight.bootTime + SecondTextAt)).Bytes(SecondText).bytes);
    }
    return log.bytes;
}

std::string CircleDataFlash(const CircleFlight& flight)
{
    DataFlashWriter log;
    log.Format(129, "ATT", "QccccCCCC", "TimeUS,DesRoll,Roll,DesPitch,Pitch,DesYaw,Yaw,ErrRP,ErrYaw");
    log.Format(130, "POS", "QLLfff", "TimeUS,Lat,Lng,Alt,RelHomeAlt,RelOriginAlt");
    log.Format(131, "GPS", "QBBIHBcLLeffffB", "TimeUS,I,Status,GMS,GWk,NSats,HDop,Lat,Lng,Alt,Spd,GCrs,VZ,Yaw,U");
    log.Format(132, "BAT", "QBfffffcf", "TimeUS,Inst,Volt,VoltR,Curr,CurrTot,EnrgTot,Temp,Res");
    log.Format(133, "MODE", "QMBB", "TimeUS,Mode,ModeNum,Rsn");
    log.Format(134, "RCIN", "QHHHHHHHHHHHHHH", "TimeUS,C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11,C12,C13,C14");
    log.Format(135, "RCOU", "QHHHHHHHHHHHHHH", "TimeUS,C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11,C12,C13,C14");
    log.Format(136, "BARO", "QBfff", "TimeUS,I,Alt,Press,Temp");
    log.Format(137, "IMU", "QBffffff", "TimeUS,I,GyrX,GyrY,GyrZ,AccX,AccY,AccZ");
    if (flight.events)
    {
        log.Format(138, "MSG", "QZ", "TimeUS,Message");
        log.Format(139, "EV", "QB", "TimeUS,Id");
        log.Format(140, "ERR", "QBB", "TimeUS,Subsys,ECode");
        const auto at = [&](double s) { return Packer().U64(Micros(flight.bootTime + s)); };
        // The banner that names the vehicle comes after the first MODE: the names wait for it.
        log.Message(138, at(0.1).Text("Copter V4.5.1 (0123abcd)", 64).bytes);
        log.Message(139, at(ArmedFrom).U8(10).bytes).Message(139, at(ArmedUntil).U8(11).bytes);
        log.Message(140, at(FailsafeAt).U8(6).U8(1).bytes); // battery failsafe
        log.Message(138, at(FirstTextAt).Text(FirstText, 64).bytes).Message(138, at(SecondTextAt).Text(SecondText, 64).bytes);
    }
    if (flight.gimbal)
        log.Format(150, "MNT", "QBffffffff", "TimeUS,I,DRoll,DPitch,DYawB,DYawE,Roll,Pitch,YawB,YawE");
    if (flight.photos)
    {
        // Centidegrees of attitude and centimetres of height, as the autopilot writes them.
        log.Format(151, "TRIG", "QBHIHLLeeeccC", "TimeUS,I,Img,GPSTime,GPSWeek,Lat,Lng,Alt,RelAlt,GPSAlt,R,P,Y");
        log.Format(152, "CAM", "QBHIHLLeeeccC", "TimeUS,I,Img,GPSTime,GPSWeek,Lat,Lng,Alt,RelAlt,GPSAlt,R,P,Y");
    }
    const std::vector<Pending> pending = Schedule(flight, {{flight.positionRate, {1, 2}}, {flight.attitudeRate, {0}}, {2.0, {3, 4}}, {10.0, {5, 6, 7}}, {flight.otherRate, {8}}, {flight.gimbal ? 5.0 : 0.0, {9}},
                                                           {flight.photos ? 1.0 / PhotoInterval : 0.0, {10}}});
    const double Degrees = 180.0 / Pi;
    for (const Pending& record : pending)
    {
        const double s = record.seconds;
        const FlightState state = StateAt(flight, s);
        Packer p;
        p.U64(Micros(flight.bootTime + s));
        if (record.kind == 10)
        {
            const auto centi = [](double value) { return static_cast<int32_t>(std::lround(value * 100.0)); };
            const double yaw = std::fmod(state.yaw * Degrees + 360.0, 360.0);
            p.U8(0).U16(static_cast<uint16_t>(std::lround(s / PhotoInterval) + 1)).U32(0).U16(2300).I32(E7(state.latitude)).I32(E7(state.longitude));
            p.I32(centi(state.altitude)).I32(centi(state.altitude - 400.0)).I32(centi(state.altitude + 1.0));
            p.I16(static_cast<int16_t>(centi(state.roll * Degrees))).I16(static_cast<int16_t>(centi(state.pitch * Degrees))).U16(static_cast<uint16_t>(centi(yaw) % 36000));
            log.Message(151, p.bytes).Message(152, p.bytes);
            continue;
        }
        if (record.kind == 9)
        {
            const GimbalState g = GimbalAt(s);
            const float roll = static_cast<float>(g.roll * Degrees), pitch = static_cast<float>(g.pitch * Degrees);
            const float yawE = static_cast<float>(g.yaw * Degrees), yawB = static_cast<float>((g.yaw - state.yaw) * Degrees);
            p.U8(0).F32(roll).F32(pitch).F32(yawB).F32(yawE).F32(roll).F32(pitch).F32(yawB).F32(yawE);
            log.Message(150, p.bytes);
            continue;
        }
        switch (record.kind)
        {
        case 0:
        {
            const double yaw = std::fmod(state.yaw * Degrees + 360.0, 360.0);
            p.I16(0).I16(static_cast<int16_t>(std::lround(state.roll * Degrees * 100))).I16(0).I16(static_cast<int16_t>(std::lround(state.pitch * Degrees * 100)));
            p.U16(0).U16(static_cast<uint16_t>(std::lround(yaw * 100) % 36000)).U16(0).U16(0);
            break;
        }
        case 1:
            p.I32(E7(state.latitude)).I32(E7(state.longitude)).F32(static_cast<float>(state.altitude)).F32(static_cast<float>(state.altitude - 400.0)).F32(0.0f);
            break;
        case 2:
            p.U8(0).U8(s < 1.0 ? 1 : 4).U32(0).U16(2300).U8(14).I16(80).I32(E7(state.latitude)).I32(E7(state.longitude)).I32(static_cast<int32_t>(std::lround(state.altitude * 100)));
            p.F32(static_cast<float>(state.speed)).F32(0.0f).F32(0.0f).F32(0.0f).U8(1);
            break;
        case 3:
            p.U8(0).F32(static_cast<float>(BatteryVolts(s))).F32(0.0f).F32(static_cast<float>(BatteryAmperes(s))).F32(static_cast<float>(ConsumedMah(s))).F32(0.0f).I16(2500).F32(0.0f);
            break;
        case 4:
            p.U8(static_cast<uint8_t>(FlightModeAt(s))).U8(static_cast<uint8_t>(FlightModeAt(s))).U8(1);
            break;
        case 5:
        case 6:
            for (int i = 0; i < 14; ++i)
                p.U16(i < 5 ? (record.kind == 5 ? RcPulse(i, s) : (i < 4 ? ServoPulse(i, s) : 1000)) : 1500);
            break;
        case 7:
            p.U8(0).F32(static_cast<float>(state.altitude - 400.0)).F32(95000.0f).F32(21.0f);
            break;
        default:
            p.U8(0).F32(0.01f).F32(0.02f).F32(0.03f).F32(0.1f).F32(0.2f).F32(-9.8f);
            break;
        }
        log.Message(static_cast<uint8_t>(129 + record.kind), p.bytes);
    }
    return log.bytes;
}

std::string CircleTelemetry(const CircleFlight& flight, int version)
{
    TelemetryWriter log;
    FrameOptions autopilot;
    autopilot.version = version;
    FrameOptions station = autopilot;
    station.system = 255;
    station.component = 190;
    const std::vector<Pending> pending = Schedule(flight, {{flight.positionRate, {1, 2}}, {flight.attitudeRate, {3}}, {1.0, {0, 9}}, {2.0, {4, 5, 6}}, {10.0, {7, 8}}, {flight.otherRate, {10}}, {flight.gimbal ? 5.0 : 0.0, {11}},
                                                           {flight.photos ? 1.0 / PhotoInterval : 0.0, {12}}});
    for (const Pending& record : pending)
    {
        const double s = record.seconds;
        const FlightState state = StateAt(flight, s);
        const uint32_t bootMs = static_cast<uint32_t>(std::lround((flight.bootTime + s) * 1000.0));
        const uint64_t stamp = flight.wallStart * 1000000ull + Micros(s + LinkDelay);
        if (record.kind == 12)
        {
            const uint16_t image = static_cast<uint16_t>(std::lround(s / PhotoInterval) + 1);
            const double Degrees = 180.0 / Pi;
            if (version == 1)
                log.Record(stamp, CameraTriggerPayload(Micros(flight.bootTime + s), image), autopilot);
            else
                log.Record(stamp, CameraFeedbackPayload(Micros(flight.bootTime + s), image, E7(state.latitude), E7(state.longitude), static_cast<float>(state.altitude), static_cast<float>(state.roll * Degrees),
                                                        static_cast<float>(state.pitch * Degrees), static_cast<float>(std::fmod(state.yaw * Degrees + 360.0, 360.0))),
                           autopilot);
            continue;
        }
        if (record.kind == 11)
        {
            const GimbalState g = GimbalAt(s);
            const auto centidegrees = [](double radians) { return static_cast<int32_t>(std::lround(radians * 18000.0 / Pi)); };
            if (version == 1)
                log.Record(stamp, MountStatusPayload(centidegrees(g.pitch), centidegrees(g.roll), centidegrees(g.yaw - state.yaw)), autopilot);
            else
            {
                // The gimbal's own component, on a clock of its own that started later.
                FrameOptions gimbal = autopilot;
                gimbal.component = 154;
                log.Record(stamp, GimbalDeviceAttitudeStatusPayload(bootMs - 60000, 64, Quaternion(g.roll, g.pitch, g.yaw)), gimbal);
            }
            continue;
        }
        switch (record.kind)
        {
        case 0:
            log.Record(stamp, HeartbeatPayload(static_cast<uint32_t>(FlightModeAt(s)), 1, 3, ArmedAt(flight, s) ? 0x81 : 0x01), autopilot);
            break;
        case 1:
            log.Record(stamp, GlobalPositionIntPayload(bootMs, E7(state.latitude), E7(state.longitude), static_cast<int32_t>(std::lround(state.altitude * 1000))), autopilot);
            break;
        case 2:
            log.Record(stamp, GpsRawIntPayload(Micros(flight.bootTime + s), 3, E7(state.latitude), E7(state.longitude), static_cast<int32_t>(std::lround(state.altitude * 1000)), static_cast<uint16_t>(std::lround(state.speed * 100)), 13), autopilot);
            break;
        case 3:
            log.Record(stamp, AttitudePayload(bootMs, static_cast<float>(state.roll), static_cast<float>(state.pitch), static_cast<float>(state.yaw)), autopilot);
            break;
        case 4:
            log.Record(stamp, VfrHudPayload(static_cast<float>(state.speed), static_cast<float>(state.altitude)), autopilot);
            break;
        case 5:
            log.Record(stamp, SysStatusPayload(static_cast<uint16_t>(std::lround(BatteryVolts(s) * 1000)), static_cast<int16_t>(std::lround(BatteryAmperes(s) * 100))), autopilot);
            break;
        case 6:
            log.Record(stamp, BatteryStatusPayload(static_cast<uint16_t>(std::lround(BatteryVolts(s) * 1000)), static_cast<int16_t>(std::lround(BatteryAmperes(s) * 100)), static_cast<int32_t>(std::lround(ConsumedMah(s)))), autopilot);
            break;
        case 7:
            log.Record(stamp, RcChannelsPayload(bootMs, {RcPulse(0, s), RcPulse(1, s), RcPulse(2, s), RcPulse(3, s), RcPulse(4, s)}), autopilot);
            break;
        case 8:
            log.Record(stamp, ServoOutputRawPayload(static_cast<uint32_t>(Micros(flight.bootTime + s)), {ServoPulse(0, s), ServoPulse(1, s), ServoPulse(2, s), ServoPulse(3, s)}), autopilot);
            break;
        case 9:
            log.Record(stamp, HeartbeatPayload(0, 6, 8), station); // the ground station's own
            break;
        default:
            log.Record(stamp, StatusTextPayload(6, "status text"), autopilot);
            break;
        }
    }
    if (flight.events)
    {
        // The long text in two chunks of one id, the short one alone; their time stamps
        // place them on the boot clock.
        const auto stampAt = [&](double s) { return flight.wallStart * 1000000ull + Micros(s + LinkDelay); };
        const std::string first = FirstText;
        log.Record(stampAt(FirstTextAt), StatusTextPayload(6, first.substr(0, 50), 9, 0), autopilot);
        log.Record(stampAt(FirstTextAt) + 1000, StatusTextPayload(6, first.substr(50), 9, 1), autopilot);
        log.Record(stampAt(SecondTextAt), StatusTextPayload(3, SecondText), autopilot);
    }
    return log.bytes;
}

// ---- A survey -----------------------------------------------------------------------------

namespace
{

struct SurveyPoint
{
    double north, east; // metres from the centre
    double heading;     // radians, clockwise from north
    double bank;        // radians, right wing down
};

// The survey's path `distance` metres from its start.
SurveyPoint SurveyAt(const SurveyFlight& survey, double distance)
{
    const double radius = survey.spacing / 2.0, turn = Pi * radius;
    const double firstEast = -(survey.lines - 1) * survey.spacing / 2.0, half = survey.lineLength / 2.0;
    const double bank = std::atan(survey.speed * survey.speed / (radius * Gravity));
    for (int line = 0; line < survey.lines; ++line)
    {
        const bool north = line % 2 == 0;
        const double east = firstEast + line * survey.spacing;
        if (distance <= survey.lineLength || line + 1 == survey.lines)
        {
            const double along = std::min(distance, survey.lineLength);
            return {north ? -half + along : half - along, east, north ? 0.0 : Pi, 0.0};
        }
        distance -= survey.lineLength;
        if (distance <= turn)
        {
            // Around a centre east of the line's end: from west of it over the far side to east of it.
            const double f = distance / turn;
            const double bearing = north ? 1.5 * Pi + Pi * f : 1.5 * Pi - Pi * f;
            const double endNorth = north ? half : -half;
            return {endNorth + radius * std::cos(bearing), east + radius + radius * std::sin(bearing), std::remainder(bearing + (north ? Pi / 2 : -Pi / 2), 2 * Pi), north ? bank : -bank};
        }
        distance -= turn;
    }
    return {0.0, 0.0, 0.0, 0.0};
}

} // namespace

std::string SurveyDataFlash(const SurveyFlight& survey)
{
    DataFlashWriter log;
    log.Format(129, "ATT", "QccccCCCC", "TimeUS,DesRoll,Roll,DesPitch,Pitch,DesYaw,Yaw,ErrRP,ErrYaw");
    log.Format(130, "POS", "QLLfff", "TimeUS,Lat,Lng,Alt,RelHomeAlt,RelOriginAlt");
    log.Format(152, "CAM", "QBHIHLLeeeccC", "TimeUS,I,Img,GPSTime,GPSWeek,Lat,Lng,Alt,RelAlt,GPSAlt,R,P,Y");
    const double Degrees = 180.0 / Pi;
    const double length = survey.lines * survey.lineLength + (survey.lines - 1) * Pi * survey.spacing / 2.0;
    const double duration = length / survey.speed;
    const auto latitude = [&](const SurveyPoint& p) { return survey.latitude + p.north / WriterMetresPerDegree; };
    const auto longitude = [&](const SurveyPoint& p) { return survey.longitude + p.east / (WriterMetresPerDegree * std::cos(survey.latitude * Pi / 180.0)); };
    const auto centi = [](double value) { return static_cast<int32_t>(std::lround(value * 100.0)); };
    // The exposures' distances along the path: every triggerDistance along each line.
    std::vector<double> triggers;
    for (int line = 0; line < survey.lines; ++line)
        for (double along = 0.0; along <= survey.lineLength + 1e-9; along += survey.triggerDistance)
            triggers.push_back(line * (survey.lineLength + Pi * survey.spacing / 2.0) + along);
    size_t next = 0;
    const int steps = static_cast<int>(std::ceil(duration * 10.0));
    for (int i = 0; i <= steps; ++i)
    {
        const double s = i / 10.0;
        while (next < triggers.size() && triggers[next] / survey.speed <= s + 1e-9)
        {
            const double at = triggers[next] / survey.speed;
            const SurveyPoint p = SurveyAt(survey, triggers[next]);
            Packer cam;
            cam.U64(Micros(survey.bootTime + at)).U8(0).U16(static_cast<uint16_t>(next + 1)).U32(0).U16(2300).I32(E7(latitude(p))).I32(E7(longitude(p)));
            cam.I32(centi(survey.altitude)).I32(centi(100.0)).I32(centi(survey.altitude));
            cam.I16(static_cast<int16_t>(centi(p.bank * Degrees))).I16(0).U16(static_cast<uint16_t>(centi(std::fmod(p.heading * Degrees + 360.0, 360.0)) % 36000));
            log.Message(152, cam.bytes);
            ++next;
        }
        const SurveyPoint p = SurveyAt(survey, s * survey.speed);
        const uint64_t stamp = Micros(survey.bootTime + s);
        const double yaw = std::fmod(p.heading * Degrees + 360.0, 360.0);
        log.Message(129, Packer().U64(stamp).I16(0).I16(static_cast<int16_t>(centi(p.bank * Degrees))).I16(0).I16(0).U16(0).U16(static_cast<uint16_t>(centi(yaw) % 36000)).U16(0).U16(0).bytes);
        if (i % 2 == 0)
            log.Message(130, Packer().U64(stamp).I32(E7(latitude(p))).I32(E7(longitude(p))).F32(static_cast<float>(survey.altitude)).F32(100.0f).F32(100.0f).bytes);
    }
    return log.bytes;
}
