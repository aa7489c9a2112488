#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The number fields of the binary logs. ULog, MAVLink and DataFlash all store them
// little-endian, as is every machine this runs on, so a field is its bytes copied.

enum class NumberType : uint8_t
{
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Float,
    Double,
    None, // not a number: a nested type, text
};

// Bytes of one value of the type (0 for None).
size_t NumberSize(NumberType type);

// The type of a C type name as ULog's formats and MAVLink's message definitions write
// them: "int8_t" .. "uint64_t", "float", "double", and "char" and "bool" as one unsigned
// byte. None for any other name.
NumberType NumberTypeOfName(std::string_view name);

template <typename T>
T Load(const uint8_t* bytes)
{
    T value;
    memcpy(&value, bytes, sizeof value);
    return value;
}

// The value at `at` (NumberSize(type) bytes are read) as a double; NaN for None.
double LoadNumber(NumberType type, const uint8_t* at);
