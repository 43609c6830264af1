// Moving the top-level window under the cursor, and the cursor with it, by
// the touchpad's motion.
#pragma once

#include "platform/platform.h"
#include "touchpad/touchpad.h"

// The top-level window under the cursor (null where there is none).
os::WindowHandle BeginWindowDrag();

// Writes the MOVE line, then moves `target` right by the packet's X motion
// and up by its Y motion, keeping its size and z-order, then the cursor by
// the same amount. A null or vanished target leaves only the cursor moving.
void StepWindowDrag(TouchpadPacket& packet, os::WindowHandle target);
