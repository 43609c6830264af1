// The packet pump: waits for the component's signal, then fetches and hands
// on every packet the device has.
#pragma once

#include "gesture/gesture_tracker.h"
#include "touchpad/touchpad_connection.h"

// One wake-up's work: drains the pending notifications, then loads packets
// one at a time, each in a fresh packet object, until the device has none
// left or no packet object can be made.
void RunPacketBatch(const TouchpadConnection& connection, GestureTracker& tracker);

// Waits on the notification event and runs one batch per wake-up, forever.
[[noreturn]] void RunPacketPump(const TouchpadConnection& connection, GestureTracker& tracker);
