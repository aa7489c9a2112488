#include "track/MavlinkMessages.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace
{


uint16_t AccumulateText(uint16_t crc, const std::string& text)
{
    return AccumulateMavlinkCrc(crc, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The message set's definitions of the messages a replay takes something from (all their
// fields, since every field counts for the layout and CRC_EXTRA).
std::map<uint32_t, MavlinkMessage> DefineKnownMessages()
{
    const bool E = true; // an extension field
    std::vector<MavlinkMessage> messages = {
        DefineMavlinkMessage(0, "HEARTBEAT", {{"uint8_t", "type", 0, false}, {"uint8_t", "autopilot", 0, false}, {"uint8_t", "base_mode", 0, false}, {"uint32_t", "custom_mode", 0, false}, {"uint8_t", "system_status", 0, false}, {"uint8_t", "mavlink_version", 0, false}}),
        DefineMavlinkMessage(1, "SYS_STATUS",
                             {{"uint32_t", "onboard_control_sensors_present", 0, false}, {"uint32_t", "onboard_control_sensors_enabled", 0, false}, {"uint32_t", "onboard_control_sensors_health", 0, false},
                              {"uint16_t", "load", 0, false}, {"uint16_t", "voltage_battery", 0, false}, {"int16_t", "current_battery", 0, false}, {"int8_t", "battery_remaining", 0, false},
                              {"uint16_t", "drop_rate_comm", 0, false}, {"uint16_t", "errors_comm", 0, false}, {"uint16_t", "errors_count1", 0, false}, {"uint16_t", "errors_count2", 0, false},
                              {"uint16_t", "errors_count3", 0, false}, {"uint16_t", "errors_count4", 0, false}, {"uint32_t", "onboard_control_sensors_present_extended", 0, E},
                              {"uint32_t", "onboard_control_sensors_enabled_extended", 0, E}, {"uint32_t", "onboard_control_sensors_health_extended", 0, E}}),
        DefineMavlinkMessage(24, "GPS_RAW_INT",
                             {{"uint64_t", "time_usec", 0, false}, {"uint8_t", "fix_type", 0, false}, {"int32_t", "lat", 0, false}, {"int32_t", "lon", 0, false}, {"int32_t", "alt", 0, false},
                              {"uint16_t", "eph", 0, false}, {"uint16_t", "epv", 0, false}, {"uint16_t", "vel", 0, false}, {"uint16_t", "cog", 0, false}, {"uint8_t", "satellites_visible", 0, false},
                              {"int32_t", "alt_ellipsoid", 0, E}, {"uint32_t", "h_acc", 0, E}, {"uint32_t", "v_acc", 0, E}, {"uint32_t", "vel_acc", 0, E}, {"uint32_t", "hdg_acc", 0, E}, {"uint16_t", "yaw", 0, E}}),
        DefineMavlinkMessage(22, "PARAM_VALUE", {{"char", "param_id", 16, false}, {"float", "param_value", 0, false}, {"uint8_t", "param_type", 0, false}, {"uint16_t", "param_count", 0, false}, {"uint16_t", "param_index", 0, false}}),
        DefineMavlinkMessage(29, "SCALED_PRESSURE", {{"uint32_t", "time_boot_ms", 0, false}, {"float", "press_abs", 0, false}, {"float", "press_diff", 0, false}, {"int16_t", "temperature", 0, false}, {"int16_t", "temperature_press_diff", 0, E}}),
        DefineMavlinkMessage(30, "ATTITUDE",
                             {{"uint32_t", "time_boot_ms", 0, false}, {"float", "roll", 0, false}, {"float", "pitch", 0, false}, {"float", "yaw", 0, false}, {"float", "rollspeed", 0, false},
                              {"float", "pitchspeed", 0, false}, {"float", "yawspeed", 0, false}}),
        DefineMavlinkMessage(33, "GLOBAL_POSITION_INT",
                             {{"uint32_t", "time_boot_ms", 0, false}, {"int32_t", "lat", 0, false}, {"int32_t", "lon", 0, false}, {"int32_t", "alt", 0, false}, {"int32_t", "relative_alt", 0, false},
                              {"int16_t", "vx", 0, false}, {"int16_t", "vy", 0, false}, {"int16_t", "vz", 0, false}, {"uint16_t", "hdg", 0, false}}),
        DefineMavlinkMessage(35, "RC_CHANNELS_RAW",
                             {{"uint32_t", "time_boot_ms", 0, false}, {"uint8_t", "port", 0, false}, {"uint16_t", "chan1_raw", 0, false}, {"uint16_t", "chan2_raw", 0, false}, {"uint16_t", "chan3_raw", 0, false},
                              {"uint16_t", "chan4_raw", 0, false}, {"uint16_t", "chan5_raw", 0, false}, {"uint16_t", "chan6_raw", 0, false}, {"uint16_t", "chan7_raw", 0, false}, {"uint16_t", "chan8_raw", 0, false},
                              {"uint8_t", "rssi", 0, false}}),
        DefineMavlinkMessage(36, "SERVO_OUTPUT_RAW",
                             {{"uint32_t", "time_usec", 0, false}, {"uint8_t", "port", 0, false}, {"uint16_t", "servo1_raw", 0, false}, {"uint16_t", "servo2_raw", 0, false}, {"uint16_t", "servo3_raw", 0, false},
                              {"uint16_t", "servo4_raw", 0, false}, {"uint16_t", "servo5_raw", 0, false}, {"uint16_t", "servo6_raw", 0, false}, {"uint16_t", "servo7_raw", 0, false}, {"uint16_t", "servo8_raw", 0, false},
                              {"uint16_t", "servo9_raw", 0, E}, {"uint16_t", "servo10_raw", 0, E}, {"uint16_t", "servo11_raw", 0, E}, {"uint16_t", "servo12_raw", 0, E}, {"uint16_t", "servo13_raw", 0, E},
                              {"uint16_t", "servo14_raw", 0, E}, {"uint16_t", "servo15_raw", 0, E}, {"uint16_t", "servo16_raw", 0, E}}),
        // The mission protocol: the items of the mission (mission_type 0), the fence (1) and the rally points (2).
        DefineMavlinkMessage(39, "MISSION_ITEM",
                             {{"uint8_t", "target_system", 0, false}, {"uint8_t", "target_component", 0, false}, {"uint16_t", "seq", 0, false}, {"uint8_t", "frame", 0, false}, {"uint16_t", "command", 0, false},
                              {"uint8_t", "current", 0, false}, {"uint8_t", "autocontinue", 0, false}, {"float", "param1", 0, false}, {"float", "param2", 0, false}, {"float", "param3", 0, false},
                              {"float", "param4", 0, false}, {"float", "x", 0, false}, {"float", "y", 0, false}, {"float", "z", 0, false}, {"uint8_t", "mission_type", 0, E}}),
        DefineMavlinkMessage(42, "MISSION_CURRENT",
                             {{"uint16_t", "seq", 0, false}, {"uint16_t", "total", 0, E}, {"uint8_t", "mission_state", 0, E}, {"uint8_t", "mission_mode", 0, E}, {"uint32_t", "mission_id", 0, E},
                              {"uint32_t", "fence_id", 0, E}, {"uint32_t", "rally_points_id", 0, E}}),
        DefineMavlinkMessage(44, "MISSION_COUNT", {{"uint8_t", "target_system", 0, false}, {"uint8_t", "target_component", 0, false}, {"uint16_t", "count", 0, false}, {"uint8_t", "mission_type", 0, E}, {"uint32_t", "opaque_id", 0, E}}),
        DefineMavlinkMessage(46, "MISSION_ITEM_REACHED", {{"uint16_t", "seq", 0, false}}),
        DefineMavlinkMessage(65, "RC_CHANNELS",
                             {{"uint32_t", "time_boot_ms", 0, false}, {"uint8_t", "chancount", 0, false}, {"uint16_t", "chan1_raw", 0, false}, {"uint16_t", "chan2_raw", 0, false}, {"uint16_t", "chan3_raw", 0, false},
                              {"uint16_t", "chan4_raw", 0, false}, {"uint16_t", "chan5_raw", 0, false}, {"uint16_t", "chan6_raw", 0, false}, {"uint16_t", "chan7_raw", 0, false}, {"uint16_t", "chan8_raw", 0, false},
                              {"uint16_t", "chan9_raw", 0, false}, {"uint16_t", "chan10_raw", 0, false}, {"uint16_t", "chan11_raw", 0, false}, {"uint16_t", "chan12_raw", 0, false}, {"uint16_t", "chan13_raw", 0, false},
                              {"uint16_t", "chan14_raw", 0, false}, {"uint16_t", "chan15_raw", 0, false}, {"uint16_t", "chan16_raw", 0, false}, {"uint16_t", "chan17_raw", 0, false}, {"uint16_t", "chan18_raw", 0, false},
                              {"uint8_t", "rssi", 0, false}}),
        DefineMavlinkMessage(73, "MISSION_ITEM_INT",
                             {{"uint8_t", "target_system", 0, false}, {"uint8_t", "target_component", 0, false}, {"uint16_t", "seq", 0, false}, {"uint8_t", "frame", 0, false}, {"uint16_t", "command", 0, false},
                              {"uint8_t", "current", 0, false}, {"uint8_t", "autocontinue", 0, false}, {"float", "param1", 0, false}, {"float", "param2", 0, false}, {"float", "param3", 0, false},
                              {"float", "param4", 0, false}, {"int32_t", "x", 0, false}, {"int32_t", "y", 0, false}, {"float", "z", 0, false}, {"uint8_t", "mission_type", 0, E}}),
        DefineMavlinkMessage(74, "VFR_HUD", {{"float", "airspeed", 0, false}, {"float", "groundspeed", 0, false}, {"int16_t", "heading", 0, false}, {"uint16_t", "throttle", 0, false}, {"float", "alt", 0, false}, {"float", "climb", 0, false}}),
        DefineMavlinkMessage(112, "CAMERA_TRIGGER", {{"uint64_t", "time_usec", 0, false}, {"uint32_t", "seq", 0, false}}),
        DefineMavlinkMessage(147, "BATTERY_STATUS",
                             {{"uint8_t", "id", 0, false}, {"uint8_t", "battery_function", 0, false}, {"uint8_t", "type", 0, false}, {"int16_t", "temperature", 0, false}, {"uint16_t", "voltages", 10, false},
                              {"int16_t", "current_battery", 0, false}, {"int32_t", "current_consumed", 0, false}, {"int32_t", "energy_consumed", 0, false}, {"int8_t", "battery_remaining", 0, false},
                              {"int32_t", "time_remaining", 0, E}, {"uint8_t", "charge_state", 0, E}, {"uint16_t", "voltages_ext", 4, E}, {"uint8_t", "mode", 0, E}, {"uint32_t", "fault_bitmask", 0, E}}),
        DefineMavlinkMessage(158, "MOUNT_STATUS",
                             {{"uint8_t", "target_system", 0, false}, {"uint8_t", "target_component", 0, false}, {"int32_t", "pointing_a", 0, false}, {"int32_t", "pointing_b", 0, false},
                              {"int32_t", "pointing_c", 0, false}, {"uint8_t", "mount_mode", 0, E}}),
        DefineMavlinkMessage(168, "WIND", {{"float", "direction", 0, false}, {"float", "speed", 0, false}, {"float", "speed_z", 0, false}}),
        DefineMavlinkMessage(180, "CAMERA_FEEDBACK",
                             {{"uint64_t", "time_usec", 0, false}, {"uint8_t", "target_system", 0, false}, {"uint8_t", "cam_idx", 0, false}, {"uint16_t", "img_idx", 0, false},
                              {"int32_t", "lat", 0, false}, {"int32_t", "lng", 0, false}, {"float", "alt_msl", 0, false}, {"float", "alt_rel", 0, false}, {"float", "roll", 0, false},
                              {"float", "pitch", 0, false}, {"float", "yaw", 0, false}, {"float", "foc_len", 0, false}, {"uint8_t", "flags", 0, false}, {"uint16_t", "completed_captures", 0, E}}),
        DefineMavlinkMessage(242, "HOME_POSITION",
                             {{"int32_t", "latitude", 0, false}, {"int32_t", "longitude", 0, false}, {"int32_t", "altitude", 0, false}, {"float", "x", 0, false}, {"float", "y", 0, false},
                              {"float", "z", 0, false}, {"float", "q", 4, false}, {"float", "approach_x", 0, false}, {"float", "approach_y", 0, false}, {"float", "approach_z", 0, false},
                              {"uint64_t", "time_usec", 0, E}}),
        DefineMavlinkMessage(285, "GIMBAL_DEVICE_ATTITUDE_STATUS",
                             {{"uint8_t", "target_system", 0, false}, {"uint8_t", "target_component", 0, false}, {"uint32_t", "time_boot_ms", 0, false}, {"uint16_t", "flags", 0, false},
                              {"float", "q", 4, false}, {"float", "angular_velocity_x", 0, false}, {"float", "angular_velocity_y", 0, false}, {"float", "angular_velocity_z", 0, false},
                              {"uint32_t", "failure_flags", 0, false}, {"float", "delta_yaw", 0, E}, {"float", "delta_yaw_velocity", 0, E}, {"uint8_t", "gimbal_device_id", 0, E}}),
        // Another aircraft's transponder, relayed by whichever system heard it.
        DefineMavlinkMessage(246, "ADSB_VEHICLE",
                             {{"uint32_t", "ICAO_address", 0, false}, {"int32_t", "lat", 0, false}, {"int32_t", "lon", 0, false}, {"uint8_t", "altitude_type", 0, false}, {"int32_t", "altitude", 0, false},
                              {"uint16_t", "heading", 0, false}, {"uint16_t", "hor_velocity", 0, false}, {"int16_t", "ver_velocity", 0, false}, {"char", "callsign", 9, false},
                              {"uint8_t", "emitter_type", 0, false}, {"uint8_t", "tslc", 0, false}, {"uint16_t", "flags", 0, false}, {"uint16_t", "squawk", 0, false}}),
        DefineMavlinkMessage(253, "STATUSTEXT", {{"uint8_t", "severity", 0, false}, {"char", "text", 50, false}, {"uint16_t", "id", 0, E}, {"uint8_t", "chunk_seq", 0, E}}),
    };
    std::map<uint32_t, MavlinkMessage> byId;
    for (MavlinkMessage& message : messages)
        byId[message.id] = std::move(message);
    return byId;
}

const std::map<uint32_t, MavlinkMessage>& KnownMessages()
{
    static const std::map<uint32_t, MavlinkMessage> known = DefineKnownMessages();
    return known;
}


} // namespace

uint16_t AccumulateMavlinkCrc(uint16_t crc, const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
    {
        uint8_t mixed = static_cast<uint8_t>(data[i] ^ (crc & 0xFF));
        mixed = static_cast<uint8_t>(mixed ^ (mixed << 4));
        crc = static_cast<uint16_t>((crc >> 8) ^ (mixed << 8) ^ (mixed << 3) ^ (mixed >> 4));
    }
    return crc;
}

MavlinkMessage DefineMavlinkMessage(uint32_t id, const char* name, std::initializer_list<MavlinkFieldDefinition> definitions)
{
    MavlinkMessage message;
    message.id = id;
    message.name = name;
    std::vector<MavlinkField> base, extensions;
    for (const MavlinkFieldDefinition& definition : definitions)
    {
        const NumberType type = NumberTypeOfName(definition.type);
        if (type == NumberType::None)
        {
            message.fields.clear();
            return message;
        }
        MavlinkField field{definition.name, definition.type, type, NumberSize(type), definition.arrayLength, definition.extension, 0};
        (definition.extension ? extensions : base).push_back(field);
    }
    // Largest elements first; the sort is stable, so one size keeps its declared order.
    std::stable_sort(base.begin(), base.end(), [](const MavlinkField& a, const MavlinkField& b) { return a.elementSize > b.elementSize; });

    uint16_t crc = AccumulateText(0xFFFF, message.name + " ");
    size_t offset = 0;
    for (MavlinkField& field : base)
    {
        crc = AccumulateText(crc, field.typeName + " ");
        crc = AccumulateText(crc, field.name + " ");
        if (field.arrayLength > 0)
            crc = AccumulateMavlinkCrc(crc, &field.arrayLength, 1);
        field.offset = offset;
        offset += field.elementSize * std::max<size_t>(field.arrayLength, 1);
        message.fields.push_back(field);
    }
    message.baseLength = offset;
    for (MavlinkField& field : extensions)
    {
        field.offset = offset;
        offset += field.elementSize * std::max<size_t>(field.arrayLength, 1);
        message.fields.push_back(field);
    }
    message.length = offset;
    message.crcExtra = static_cast<uint8_t>((crc & 0xFF) ^ (crc >> 8));
    return message;
}

const MavlinkField* MavlinkMessage::Field(const char* fieldName) const
{
    for (const MavlinkField& field : fields)
        if (field.name == fieldName)
            return &field;
    return nullptr;
}

const MavlinkMessage* FindMavlinkMessage(uint32_t id)
{
    const auto found = KnownMessages().find(id);
    return found == KnownMessages().end() ? nullptr : &found->second;
}

const std::vector<uint32_t>& KnownMavlinkMessageIds()
{
    static const std::vector<uint32_t> ids = []
    {
        std::vector<uint32_t> list;
        for (const auto& entry : KnownMessages())
            list.push_back(entry.first);
        return list;
    }();
    return ids;
}

double MavlinkValue(const MavlinkField& field, const uint8_t* payload, size_t index)
{
    if (index >= std::max<size_t>(field.arrayLength, 1))
        return 0.0;
    const uint8_t* at = payload + field.offset + index * field.elementSize;
    return LoadNumber(field.type, at);
}
