#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "track/BinaryNumbers.h"

// The MAVLink messages the telemetry reader decodes, each built from its definition as the
// message set writes it (fields in declaration order), and what follows from that: the order
// of the fields in the payload, their offsets, the payload lengths and the message's
// CRC_EXTRA. Payload values are little-endian.

// One field as the definition declares it.
struct MavlinkFieldDefinition
{
    const char* type;    // "uint8_t", "int32_t", "float", "char", ...
    const char* name;
    uint8_t arrayLength; // 0 for a single value
    bool extension;      // declared after the message's extensions marker
};

// One field where it lies in the payload.
struct MavlinkField
{
    std::string name;
    std::string typeName; // as declared
    NumberType type;
    size_t elementSize;   // bytes of one element
    uint8_t arrayLength;  // 0 for a single value
    bool extension;
    size_t offset;        // bytes from the start of the payload
};

struct MavlinkMessage
{
    uint32_t id = 0;
    std::string name;
    std::vector<MavlinkField> fields; // in payload order
    size_t baseLength = 0;            // payload bytes of the fields before the extensions (a MAVLink 1 payload)
    size_t length = 0;                // payload bytes with the extensions
    uint8_t crcExtra = 0;

    // The field of that name, or null.
    const MavlinkField* Field(const char* fieldName) const;
};

// Lays the fields out as they go on the wire: the base fields sorted by element size,
// largest first, keeping their declared order within one size; the extensions after them
// in declared order. CRC_EXTRA is taken over the name and the base fields in that order.
// An unknown type name gives a message without fields (length 0).
MavlinkMessage DefineMavlinkMessage(uint32_t id, const char* name, std::initializer_list<MavlinkFieldDefinition> fields);

// The messages the reader knows, or null for an id it does not.
const MavlinkMessage* FindMavlinkMessage(uint32_t id);

// The message ids the reader knows, in increasing order.
const std::vector<uint32_t>& KnownMavlinkMessageIds();

// CRC-16/MCRF4XX (X.25): continues `crc` over the bytes. A frame's checksum starts from
// 0xFFFF.
uint16_t AccumulateMavlinkCrc(uint16_t crc, const uint8_t* data, size_t size);

// One element of a field of a payload that holds at least message.length bytes, as a
// double. Index counts array elements (0 for a single value); past the array it reads 0.
double MavlinkValue(const MavlinkField& field, const uint8_t* payload, size_t index = 0);
