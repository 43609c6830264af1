// The gesture state machine: turns the packet stream into swipes and drags.
#pragma once

#include <cstdint>

#include "desktop/desktop_list.h"
#include "gesture/drag_thread.h"
#include "platform/platform.h"
#include "touchpad/touchpad.h"

enum class GestureMode : std::int32_t { Idle = 0, Swipe = 3, Drag = 4 };

const char* GestureModeName(GestureMode mode);

// Contact word tests. Bits outside each mask play no part.
inline constexpr std::uint32_t SWIPE_CONTACT_MASK = 0xFFF;
inline constexpr std::uint32_t SWIPE_CONTACT = 0x303;
inline constexpr std::uint32_t DRAG_CONTACT_MASK = 0xF;
inline constexpr std::uint32_t DRAG_CONTACT = 4;
// Summed horizontal motion, in touchpad units, that a swipe must exceed to
// go back to the previous desktop; anything below goes on to the next one.
inline constexpr std::int32_t SWIPE_THRESHOLD = 50;

struct GestureTracker {
    GestureTracker(DesktopList& desktopList, DragThread& windowDragThread)
        : desktops(desktopList), dragThread(windowDragThread) {}

    // Reads the packet and acts on it; keeps its state from one packet, and
    // one wake-up, to the next.
    void HandlePacket(TouchpadPacket& packet);

    GestureMode mode = GestureMode::Idle;
    std::int32_t sumX = 0;
    std::int32_t sumY = 0;
    os::WindowHandle dragTarget = nullptr;  // borrowed, never closed
    DesktopList& desktops;
    DragThread& dragThread;
};
