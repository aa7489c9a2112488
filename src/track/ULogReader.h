#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "track/RecordedFlight.h"

// The reader of PX4's ULog files. It knows nothing of the keyword log: it fills a
// RecordedFlight on the autopilot's clock (seconds since boot, from each record's
// `timestamp`).

// True when the bytes begin with the ULog magic ("ULog" 01 12 35).
bool IsULog(const uint8_t* data, size_t size);

// Reads a ULog file held whole in memory (`size` bytes at `data`, never read past).
//
// Position: vehicle_global_position, else vehicle_gps_position or sensor_gps records with a
// 3-D fix. Attitude: the vehicle_attitude quaternion. Channels: ground speed, satellites and
// fix from the GPS topic, barometric altitude from vehicle_air_data, battery_status,
// input_rc, actuator_outputs and vehicle_status's nav_state. Of a topic logged in several
// instances the lowest instance that holds records is taken.
//
// Appended data counts as part of the data section; a message cut off where appended data
// begins or at the end of the file is dropped and counted. A stretch that cannot be a
// message (a data message of no subscription or of the wrong size, a type byte that is no
// letter) is skipped up to the next sync message, or the next data message of the right size
// or definition with plausible text that is followed by a further valid header, and its
// bytes are counted. Unknown message types are skipped.
//
// Returns false with the reason in *error when the bytes are no ULog this reader can read:
// no magic, cut inside the 16-byte header, or incompatible flags it does not know.
bool ReadULog(const uint8_t* data, size_t size, RecordedFlight* flight, std::string* error);
