// Reading a packet's properties without ever keeping a stale value.
#pragma once

#include <cstdint>
#include <optional>

#include "touchpad/touchpad.h"

// The property's value, or nothing when the read fails.
inline std::optional<std::int32_t> ReadProperty(TouchpadPacket& packet, std::int32_t property) {
    std::int32_t value = 0;
    if (packet.GetProperty(property, &value) != TOUCHPAD_OK) {
        return std::nullopt;
    }
    return value;
}

// Motion and state that can't be read count as 0.
inline std::int32_t ReadPropertyOrZero(TouchpadPacket& packet, std::int32_t property) {
    return ReadProperty(packet, property).value_or(0);
}
