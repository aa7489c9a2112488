#pragma once
// Writers of small autopilot logs in the formats' documented layouts, for the tests, the
// benchmark inputs and the fuzz seeds: PX4 ULog, ArduPilot DataFlash and MAVLink telemetry
// (.tlog). They are written from the formats' documents, apart from the readers, so that a
// reader's slip shows up as a difference. Plain C++: no test framework.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Metres of one degree of latitude on the sphere of 6371 km the writers place their
// flights on; the tests measure what the readers give back on the same sphere.
const double WriterMetresPerDegree = 111195.0;

// Little-endian values appended to a byte string.
class Packer
{
public:
    Packer& U8(uint8_t value) { return Raw(&value, 1); }
    Packer& I8(int8_t value) { return Raw(&value, 1); }
    Packer& U16(uint16_t value) { return Raw(&value, 2); }
    Packer& I16(int16_t value) { return Raw(&value, 2); }
    Packer& U32(uint32_t value) { return Raw(&value, 4); }
    Packer& I32(int32_t value) { return Raw(&value, 4); }
    Packer& U64(uint64_t value) { return Raw(&value, 8); }
    Packer& F32(float value) { return Raw(&value, 4); }
    Packer& F64(double value) { return Raw(&value, 8); }
    Packer& Zeros(size_t count) { bytes.append(count, '\0'); return *this; }
    // Text in a field of `width` bytes, padded with NULs.
    Packer& Text(const std::string& text, size_t width);
    Packer& Bytes(const std::string& more) { bytes += more; return *this; }

    std::string bytes;

private:
    Packer& Raw(const void* value, size_t size); // little-endian machines only, as the formats
};

// ---- PX4 ULog ---------------------------------------------------------------------------

class ULogWriter
{
public:
    // The 16-byte header: magic, version 1, start time in microseconds.
    explicit ULogWriter(uint64_t startMicroseconds);

    // The flag bits message 'B' (40 bytes): the first incompat byte and the first
    // appended-data offset (0 for none; SetAppendedOffset can fill it in later).
    ULogWriter& Flags(uint8_t incompat0 = 0, uint64_t appendedOffset = 0);
    void SetAppendedOffset(uint64_t offset);
    ULogWriter& Format(const std::string& definition); // 'F': "name:type field;type[n] field;..."
    ULogWriter& Subscribe(uint8_t instance, uint16_t id, const std::string& topic); // 'A'
    ULogWriter& Data(uint16_t id, const std::string& fields);                       // 'D'
    ULogWriter& Sync();                                                             // 'S'
    ULogWriter& Message(char type, const std::string& body);                        // any message

    std::string bytes;

private:
    size_t flagsAt = 0; // offset of the flag message's body, 0 when none
};

// ---- The plan ---------------------------------------------------------------------------

// One item of a mission, a fence or the rally points as the writers record it: MAV_CMD,
// MAV_FRAME, the four parameters, the place and the altitude as the frame states it.
struct WrittenItem
{
    WrittenItem() = default;
    WrittenItem(uint16_t seq, uint16_t command, uint8_t frame, double latitude, double longitude, float altitude, float param2 = 0.0f)
        : seq(seq), command(command), frame(frame), param{0.0f, param2, 0.0f, 0.0f}, latitude(latitude), longitude(longitude), altitude(altitude)
    {
    }
    uint16_t seq = 0;
    uint16_t command = 16;
    uint8_t frame = 3;
    float param[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    double latitude = 0.0, longitude = 0.0; // degrees; 0, 0 for an item without a place
    float altitude = 0.0f;
};

// ---- ArduPilot DataFlash ----------------------------------------------------------------

class DataFlashWriter
{
public:
    // Starts with FMT's own FMT message.
    DataFlashWriter();

    // A FMT message for the type: its length follows from the format characters.
    DataFlashWriter& Format(uint8_t type, const std::string& name, const std::string& characters, const std::string& columns);
    // A message of the type: header and the fields, already packed in the format's order.
    DataFlashWriter& Message(uint8_t type, const std::string& fields);

    // The plan's messages as the autopilot logs them, each with its FMT before the first:
    // CMD (TimeUS,CTot,CNum,CId,Prm1..Prm4,Lat,Lng,Alt,Frame; without Frame, as older logs
    // wrote it, when `withFrame` is false), MISE (the item that starts, in CMD's layout),
    // FNCE (TimeUS,Tot,Seq,Type,Lat,Lng,Count,Radius), RALY (TimeUS,Tot,Seq,Lat,Lng,Alt,Flags)
    // and PARM (TimeUS,Name,Value,Default).
    DataFlashWriter& Command(double seconds, uint16_t total, const WrittenItem& item, bool withFrame = true);
    DataFlashWriter& MissionStart(double seconds, uint16_t total, const WrittenItem& item);
    DataFlashWriter& FencePoint(double seconds, uint8_t total, uint8_t seq, uint16_t type, double latitude, double longitude, uint16_t count, float radius);
    DataFlashWriter& RallyPoint(double seconds, uint8_t total, uint8_t seq, double latitude, double longitude, int16_t altitude);
    DataFlashWriter& Parameter(double seconds, const std::string& name, float value);

    std::string bytes;

private:
    uint32_t described = 0; // the plan's types whose FMT was written, one bit each
    DataFlashWriter& Describe(int bit, uint8_t type, const std::string& name, const std::string& characters, const std::string& columns);
};

// ---- MAVLink telemetry ------------------------------------------------------------------

// A payload in the order of the wire (hand-laid from the message definitions: largest types
// first, extensions last), with what its frame needs.
struct MavlinkPayload
{
    uint32_t id;
    uint8_t crcExtra;  // the well-known value of the message
    std::string bytes; // base fields and extensions
    size_t baseLength; // the base fields' bytes: a MAVLink 1 payload
};

MavlinkPayload HeartbeatPayload(uint32_t customMode, uint8_t type, uint8_t autopilot, uint8_t baseMode = 0x81); // armed by default
// STATUSTEXT: `id` 0 for a text alone, else the chunks of one text share it.
MavlinkPayload StatusTextPayload(uint8_t severity, const std::string& text, uint16_t id = 0, uint8_t chunk = 0);
MavlinkPayload SysStatusPayload(uint16_t millivolts, int16_t centiamperes);
MavlinkPayload GpsRawIntPayload(uint64_t microseconds, uint8_t fixType, int32_t latitudeE7, int32_t longitudeE7, int32_t altitudeMm, uint16_t speedCm, uint8_t satellites);
MavlinkPayload AttitudePayload(uint32_t bootMs, float roll, float pitch, float yaw);
MavlinkPayload GlobalPositionIntPayload(uint32_t bootMs, int32_t latitudeE7, int32_t longitudeE7, int32_t altitudeMm);
MavlinkPayload VfrHudPayload(float groundSpeed, float altitude);
MavlinkPayload BatteryStatusPayload(uint16_t millivolts, int16_t centiamperes, int32_t consumedMah);
MavlinkPayload RcChannelsPayload(uint32_t bootMs, const std::array<uint16_t, 5>& channels);
MavlinkPayload ServoOutputRawPayload(uint32_t microseconds, const std::array<uint16_t, 4>& servos);
// The mission protocol: `missionType` 0 the mission, 1 the fence, 2 the rally points.
MavlinkPayload MissionCountPayload(uint8_t targetSystem, uint8_t targetComponent, uint16_t count, uint8_t missionType = 0);
MavlinkPayload MissionItemIntPayload(uint8_t targetSystem, uint8_t targetComponent, const WrittenItem& item, uint8_t missionType = 0);
MavlinkPayload MissionCurrentPayload(uint16_t seq);
MavlinkPayload MissionItemReachedPayload(uint16_t seq);
// ADSB_VEHICLE: another aircraft's transponder (altitude_type, ver_velocity, emitter_type,
// tslc and squawk fixed), `flags` the ADSB_FLAGS valid bits.
// WIND (#168) as the autopilot states it: where it comes from (degrees), its speed, no climb.
MavlinkPayload WindPayload(float from, float speed);
// PARAM_VALUE as an autopilot answers a station: value, count, index, the name, its type.
MavlinkPayload ParamValuePayload(const std::string& name, float value);
MavlinkPayload AdsbVehiclePayload(uint32_t address, int32_t latitudeE7, int32_t longitudeE7, int32_t altitudeMm, uint16_t headingCdeg, uint16_t speedCms, uint16_t flags,
                                  const std::string& callsign);

// CRC-16/MCRF4XX, bit by bit.
uint16_t X25Checksum(const std::string& bytes, uint16_t crc = 0xFFFF);

struct FrameOptions
{
    int version = 2;            // 1 or 2
    uint8_t system = 1;
    uint8_t component = 1;
    bool sign = false;          // MAVLink 2: incompat flag 0x01 and 13 signature bytes
    bool breakChecksum = false; // send a checksum that fails
};

class TelemetryWriter
{
public:
    // One record: the 8-byte big-endian time stamp (microseconds since 1970) and the frame.
    // MAVLink 1 sends the base fields; MAVLink 2 all of them less the trailing zeros.
    TelemetryWriter& Record(uint64_t stampMicroseconds, const MavlinkPayload& payload, const FrameOptions& options = FrameOptions());

    std::string bytes;

private:
    uint8_t sequence = 0;
};

// ---- A flight to record -----------------------------------------------------------------

// Circling at a constant speed, bank, pitch and climb, with the attitude of a coordinated
// turn and no wind (the nose points along the track).
struct CircleFlight
{
    double latitude = 47.0;          // centre of the circle, degrees
    double longitude = 8.0;
    double radius = 200.0;           // metres
    double speed = 20.0;             // m/s
    bool clockwise = true;           // seen from above: a right turn
    double altitude = 500.0;         // metres above sea level at the start
    double climb = 1.0;              // m/s
    double pitch = 0.05;             // radians, nose up
    double bootTime = 100.0;         // seconds since boot at the start
    double duration = 20.0;          // seconds
    double positionRate = 5.0;       // records a second
    double attitudeRate = 25.0;
    double otherRate = 0.0;          // records a second of a topic or message the replay does not use
    uint64_t wallStart = 1714557600; // seconds since 1970 at the start (telemetry time stamps)
    bool events = false;             // the records of FlightEventsAt as well
    bool gimbal = false;             // the camera's gimbal too, as GimbalAt says, 5 records a second
    bool photos = false;             // a photo every PhotoInterval seconds from the start, both ends, numbered from 1
};

// The photos when CircleFlight::photos is set, each at the aircraft's state then: ULog's
// camera_capture (place, sequence, the vehicle's quaternion), DataFlash's CAM with a TRIG
// before it (place, image number, attitude in degrees), telemetry version 2's
// CAMERA_FEEDBACK (place, attitude in degrees, image index) and version 1's CAMERA_TRIGGER
// (its sequence alone).
const double PhotoInterval = 2.0;
MavlinkPayload CameraFeedbackPayload(uint64_t microseconds, uint16_t image, int32_t latitudeE7, int32_t longitudeE7, float altitude, float roll, float pitch, float yaw);
MavlinkPayload CameraTriggerPayload(uint64_t microseconds, uint32_t seq);

// What the writers record of the events when CircleFlight::events is set, as seconds after
// the start: disarmed until ArmedFrom, armed until ArmedUntil; a failsafe raised at
// FailsafeAt; two texts, the first with a comma and quotes (in telemetry a long one, sent in
// two chunks; in ULog in the console's colours), at FirstTextAt and SecondTextAt. The modes change as FlightModeAt says.
const double ArmedFrom = 1.0, ArmedUntil = 18.0, FailsafeAt = 12.0, FirstTextAt = 2.0, SecondTextAt = 7.0;
extern const char* const FirstText;
extern const char* const SecondText;

struct FlightState
{
    double latitude, longitude, altitude; // degrees, metres
    double roll, pitch, yaw;              // radians: right wing down, nose up, clockwise from north
    double speed;                         // m/s over the ground
};

// The state `seconds` after the start.
FlightState StateAt(const CircleFlight& flight, double seconds);

// The camera's attitude in the Earth frame `seconds` after the start, radians: pitch below the
// horizon and tilting on, a slight roll, the view turning from north-east through east. ULog
// records it with the yaw from the nose (the vehicle-frame flag), DataFlash as MNT's Roll,
// Pitch and YawE in degrees, telemetry version 1 as MOUNT_STATUS (centidegrees, the yaw
// from the nose) and version 2 as GIMBAL_DEVICE_ATTITUDE_STATUS from the gimbal's own
// component and clock (the earth-frame flag).
struct GimbalState
{
    double pitch, roll, yaw;
};
GimbalState GimbalAt(double seconds);
MavlinkPayload MountStatusPayload(int32_t pitchCdeg, int32_t rollCdeg, int32_t yawCdeg);
MavlinkPayload GimbalDeviceAttitudeStatusPayload(uint32_t bootMs, uint16_t flags, const std::array<float, 4>& q);

// The flight as each format records it: ULog with vehicle_global_position, vehicle_gps_position,
// vehicle_attitude, battery_status, vehicle_status, input_rc, actuator_outputs and
// vehicle_air_data; DataFlash with FMT, ATT, POS, GPS, BAT, MODE, RCIN, RCOU and BARO;
// telemetry with HEARTBEAT, GLOBAL_POSITION_INT, GPS_RAW_INT, ATTITUDE, VFR_HUD, SYS_STATUS,
// BATTERY_STATUS, RC_CHANNELS and SERVO_OUTPUT_RAW, arriving 30 ms after they were sent.
std::string CircleULog(const CircleFlight& flight);
std::string CircleDataFlash(const CircleFlight& flight);
std::string CircleTelemetry(const CircleFlight& flight, int version);

// A survey flown as a lawnmower: lines north and south, `spacing` apart, joined by half
// circles, at a constant speed and altitude, the camera triggered every `triggerDistance`
// metres along each line (not in the turns). DataFlash with ATT, POS and CAM (the place and
// the attitude of each exposure, the image numbers from 1).
struct SurveyFlight
{
    double latitude = 47.0, longitude = 8.0; // the survey's centre, degrees
    double altitude = 600.0;                 // metres above sea level
    int lines = 4;
    double lineLength = 300.0;  // metres
    double spacing = 60.0;      // metres between lines
    double speed = 10.0;        // m/s
    double triggerDistance = 30.0;
    double bootTime = 100.0;    // seconds since boot at the start of the first line
};
std::string SurveyDataFlash(const SurveyFlight& survey);

// The flight's channels as the writers record them, `seconds` after the start.
double BatteryVolts(double seconds);
double BatteryAmperes(double seconds);
double ConsumedMah(double seconds);
int FlightModeAt(double seconds); // changes every 5 s
uint16_t RcPulse(int channel, double seconds);    // channel 0 .. 4, microseconds
uint16_t ServoPulse(int channel, double seconds); // channel 0 .. 3, microseconds
