// Moving the top-level window under the cursor, and the cursor with it, by
// the touchpad's motion.
#pragma once

#include "gesture/drag_thread.h"
#include "platform/platform.h"
#include "touchpad/touchpad.h"

// The top-level window under the cursor on the desktop shown (null where
// there is none). The lookup runs on `thread`, bound to `shown`.
os::WindowHandle BeginWindowDrag(DragThread& thread, os::DesktopHandle shown);

// Writes the MOVE line, then moves `target` right by the packet's X motion
// and up by its Y motion, keeping its size and z-order, then the cursor by
// the same amount. A null or vanished target leaves only the cursor moving.
// The window and cursor calls run on `thread`, bound to `shown`; the packet
// is read and the line written here.
void StepWindowDrag(TouchpadPacket& packet, os::WindowHandle target, DragThread& thread, os::DesktopHandle shown);
