#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "track/RecordedFlight.h"

// The reader of ArduPilot's DataFlash logs (.bin). It knows nothing of the keyword log: it
// fills a RecordedFlight on the autopilot's clock (seconds since boot, from each message's
// TimeUS, or TimeMS in older logs).

// True when the bytes begin with a FMT message (A3 95 80).
bool IsDataFlash(const uint8_t* data, size_t size);

// Reads a DataFlash log held whole in memory (`size` bytes at `data`, never read past).
// Every message type is laid out by its FMT message; the format characters give the value
// types and their scales, and FMTU/MULT multipliers apply to integer columns whose
// character has no scale of its own (not to the time, nor to floats, stored in their units).
//
// Position: POS (the EKF's), else GPS with Status >= 3. Attitude: ATT Roll, Pitch, Yaw
// (degrees). Channels: GPS speed, satellites and status, BARO Alt, BAT (else CURR) Volt,
// Curr and CurrTot, RCIN and RCOU C1.., MODE Mode. Of a type with an instance column (I or
// Inst) only instance 0 is taken; GPS2 and the like are not read.
//
// A byte stretch that holds no message of a known type (before a FMT described it, or
// corrupt) is skipped up to the next header of a known type that is followed by another
// one or ends the file, and counted; a message cut off by the end of the file is dropped
// and counted.
//
// Returns false with the reason in *error when the bytes do not begin as a DataFlash log.
bool ReadDataFlash(const uint8_t* data, size_t size, RecordedFlight* flight, std::string* error);
