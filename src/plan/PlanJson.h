#pragma once
#include <nlohmann/json.hpp>

#include "plan/FlightPlan.h"

// Reading the JSON of the pilots' files without trusting it: a member that is missing or of
// another type reads as none, never as an exception.
namespace plan_json
{

using Json = nlohmann::json;

// The member of that name, or null when there is none or `object` is no object.
inline const Json& Member(const Json& object, const char* name)
{
    static const Json none;
    if (!object.is_object())
        return none;
    const auto found = object.find(name);
    return found == object.end() ? none : *found;
}

// A number, or NaN for anything else (null included: a ground station writes null for a
// parameter it leaves unset).
inline double Number(const Json& value)
{
    return value.is_number() ? value.get<double>() : NoValue;
}

} // namespace plan_json
