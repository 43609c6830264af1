// The desktops a swipe moves between: the starting desktop, then the three
// extra ones, in a fixed order and without wrap-around.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

inline constexpr std::int32_t EXTRA_DESKTOP_COUNT = 3;

struct DesktopList {
    // Each moves one step when the list's end in that direction hasn't been
    // reached: makes that desktop the input desktop and the calling thread's
    // desktop, then writes its SWIPE line. A null entry (a desktop that
    // couldn't be made) still takes the step and the line.
    void SwitchToPrevious();
    void SwitchToNext();

    // The desktop on screen as far as the list knows: the last entry a move
    // switched to that exists. A move onto a null entry leaves it as it was.
    os::DesktopHandle Shown() const;

    // Entry 0 is the starting desktop; entry k the extra desktop k - 1, null
    // when it couldn't be made. Kept for the life of the process on purpose
    // (the desktops must outlive the program's every use): never closed.
    std::vector<os::DesktopHandle> handles;
    std::int32_t currentIndex = 0;
    // Where the last move onto an existing entry went; null: entry 0.
    os::DesktopHandle lastShown = nullptr;
};

// Records the calling thread's desktop, then makes the extra desktops one
// after another, each ready with its shell's taskbar before the next.
DesktopList BuildDesktopList();
