#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "track/RecordedFlight.h"

// The reader of MAVLink telemetry logs (.tlog): records of an 8-byte big-endian time stamp
// (microseconds since 1970, the ground station's clock) followed by one MAVLink 1 or 2
// frame as received. It knows nothing of the keyword log: it fills a RecordedFlight on the
// autopilot's clock, seconds since boot (time_boot_ms / 1000 where a message carries it;
// other messages are placed on that clock through the time stamps, by the offset of the
// latest message that carries both).

// True when a record with a frame whose checksum holds, or two records in a row, start
// within the first bytes.
bool IsMavlinkTelemetry(const uint8_t* data, size_t size);

// Reads a telemetry log held whole in memory (`size` bytes at `data`, never read past).
//
// Only the autopilot is read: component 1 of the first system that sends a HEARTBEAT of an
// autopilot type (else of the first system that sends a position or an attitude).
// Position: GLOBAL_POSITION_INT, else GPS_RAW_INT with a 3-D fix. Attitude: ATTITUDE.
// Channels: VFR_HUD (else GPS_RAW_INT) ground speed, GPS_RAW_INT satellites and fix,
// SCALED_PRESSURE as pressure altitude in the standard atmosphere, SYS_STATUS (else
// BATTERY_STATUS) voltage and current, BATTERY_STATUS consumed charge, RC_CHANNELS (else
// RC_CHANNELS_RAW) and SERVO_OUTPUT_RAW pulses, HEARTBEAT custom_mode.
//
// MAVLink 2 payloads cut short by trailing-zero truncation are read as zero-padded; signed
// frames are read (the signature is not checked). Frames of known messages whose checksum
// (with CRC_EXTRA) fails, and frames with incompatibility flags other than signing, are
// dropped and counted. Bytes that begin no plausible record are skipped up to the next one
// and counted.
//
// Returns false with the reason in *error when the bytes hold no telemetry record at all.
bool ReadMavlinkTelemetry(const uint8_t* data, size_t size, RecordedFlight* flight, std::string* error);
