#include "track/BinaryNumbers.h"

#include <cmath>

size_t NumberSize(NumberType type)
{
    static const size_t Sizes[] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 0};
    return Sizes[static_cast<int>(type)];
}

NumberType NumberTypeOfName(std::string_view name)
{
    static const struct
    {
        const char* name;
        NumberType type;
    } Names[] = {
        {"int8_t", NumberType::Int8},   {"uint8_t", NumberType::UInt8},   {"int16_t", NumberType::Int16}, {"uint16_t", NumberType::UInt16},
        {"int32_t", NumberType::Int32}, {"uint32_t", NumberType::UInt32}, {"int64_t", NumberType::Int64}, {"uint64_t", NumberType::UInt64},
        {"float", NumberType::Float},   {"double", NumberType::Double},   {"char", NumberType::UInt8},    {"bool", NumberType::UInt8},
    };
    for (const auto& entry : Names)
        if (name == entry.name)
            return entry.type;
    return NumberType::None;
}

double LoadNumber(NumberType type, const uint8_t* at)
{
    switch (type)
    {
    case NumberType::Int8:
        return Load<int8_t>(at);
    case NumberType::UInt8:
        return Load<uint8_t>(at);
    case NumberType::Int16:
        return Load<int16_t>(at);
    case NumberType::UInt16:
        return Load<uint16_t>(at);
    case NumberType::Int32:
        return Load<int32_t>(at);
    case NumberType::UInt32:
        return Load<uint32_t>(at);
    case NumberType::Int64:
        return static_cast<double>(Load<int64_t>(at));
    case NumberType::UInt64:
        return static_cast<double>(Load<uint64_t>(at));
    case NumberType::Float:
        return Load<float>(at);
    case NumberType::Double:
        return Load<double>(at);
    case NumberType::None:
        break;
    }
    return NAN;
}
