// How the program holds the touchpad component for the life of the process.
#pragma once

#include "platform/platform.h"
#include "touchpad/touchpad.h"

// The three references are kept until the process ends, on purpose: the
// component signals the event for as long as the program runs, so none of
// them is ever released or closed.
struct TouchpadConnection {
    TouchpadApi* api = nullptr;           // never released
    TouchpadDevice* device = nullptr;     // never released
    os::Handle notificationEvent = nullptr;  // never closed
};
