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

// A screen coordinate moved by touchpad motion, where screen y grows
// downward and touchpad y upward; extreme motion holds at the 32-bit limits
// instead of overflowing.
os::Point Moved(os::Point from, Motion motion) {
    return {ClampToInt32(std::int64_t{from.x} + motion.dx), ClampToInt32(std::int64_t{from.y} - motion.dy)};
}

// Where the cursor can't be read there is no window under it to pick: a
// guessed position would pick whatever window sits there.
void FindTopLevelWindowUnderCursor(void* found) {
    os::Point cursor{};
    if (!os::GetCursorPos(cursor)) {
        *static_cast<os::WindowHandle*>(found) = nullptr;
        return;
    }
    *static_cast<os::WindowHandle*>(found) = os::GetAncestor(os::WindowFromPoint(cursor), os::GA_ROOT_FLAG);
}

struct DragStep {
    os::WindowHandle target;
    Motion windowMotion;
    Motion cursorMotion;
};

// Each move is relative to where the window and the cursor are now, the
// cursor read after the window has moved. A cursor that can't be read is
// left alone rather than sent to a position made from nothing.
void MoveWindowThenCursor(void* context) {
    const DragStep& step = *static_cast<const DragStep*>(context);
    os::Rect rect{};
    os::GetWindowRect(step.target, rect);
    const os::Point window = Moved({rect.left, rect.top}, step.windowMotion);
    os::SetWindowPos(step.target, nullptr, window.x, window.y, 0, 0, os::SWP_NOSIZE_FLAG | os::SWP_NOZORDER_FLAG);

    os::Point cursor{};
    if (!os::GetCursorPos(cursor)) {
        return;
    }
    const os::Point moved = Moved(cursor, step.cursorMotion);
    os::SetCursorPos(moved.x, moved.y);
}

}  // namespace

os::WindowHandle BeginWindowDrag(DragThread& thread, os::DesktopHandle shown) {
    os::WindowHandle found = nullptr;
    thread.Run(shown, FindTopLevelWindowUnderCursor, &found);
    return found;
}

void StepWindowDrag(TouchpadPacket& packet, os::WindowHandle target, DragThread& thread, os::DesktopHandle shown) {
    const Motion traced = ReadMotion(packet);
    TraceMove(traced.dx, traced.dy);
    // The window's and the cursor's motion are read afresh, as the line's was.
    DragStep step{target, ReadMotion(packet), {}};
    step.cursorMotion = ReadMotion(packet);
    thread.Run(shown, MoveWindowThenCursor, &step);
}
