// 32-bit arithmetic on touchpad values that holds at the limits instead of
// overflowing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

inline std::int32_t ClampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

inline std::int32_t SaturatingAdd(std::int32_t a, std::int32_t b) {
    return ClampToInt32(std::int64_t{a} + std::int64_t{b});
}
