#include "gesture/window_drag.h"

#include <cstdint>

#include "gesture/packet_reading.h"
#include "gesture/saturating.h"
#include "trace/trace.h"

namespace {

struct Motion {
    std::int32_t dx;
    std::int32_t dy;  // positive upward
};

// Each use reads the pair afresh from the packet, Y before X.
Motion ReadMotion(TouchpadPacket& packet) {
    const std::int32_t dy = ReadPropertyOrZero(packet, PROP_DELTA_Y);
    const std::int32_t dx = ReadPropertyOrZero(packet, PROP_DELTA_X);
    return {dx, dy};
}

// A screen coordinate moved by touchpad motion; extreme motion holds at the
// 32-bit limits instead of overflowing.
std::int32_t Offset(std::int32_t coordinate, std::int64_t delta) {
    return ClampToInt32(std::int64_t{coordinate} + delta);
}

}  // namespace

os::WindowHandle BeginWindowDrag() {
    os::Point cursor{};
    os::GetCursorPos(cursor);
    return os::GetAncestor(os::WindowFromPoint(cursor), os::GA_ROOT_FLAG);
}

void StepWindowDrag(TouchpadPacket& packet, os::WindowHandle target) {
    const Motion traced = ReadMotion(packet);
    TraceMove(traced.dx, traced.dy);

    os::Rect rect{};
    os::GetWindowRect(target, rect);
    const Motion windowMotion = ReadMotion(packet);
    // Screen y grows downward, touchpad y upward.
    os::SetWindowPos(target, nullptr, Offset(rect.left, windowMotion.dx), Offset(rect.top, -std::int64_t{windowMotion.dy}),
                     0, 0, os::SWP_NOSIZE_FLAG | os::SWP_NOZORDER_FLAG);

    os::Point cursor{};
    os::GetCursorPos(cursor);
    const Motion cursorMotion = ReadMotion(packet);
    os::SetCursorPos(Offset(cursor.x, cursorMotion.dx), Offset(cursor.y, -std::int64_t{cursorMotion.dy}));
}
