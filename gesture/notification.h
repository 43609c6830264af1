// The notification event: the touchpad component signals it whenever input
// arrives.
#pragma once

#include "touchpad/touchpad_connection.h"

inline constexpr char EVENT_NAME_PREFIX[] = "SynCom";

// Creates the event under the first free name "SynCom<index>" and attaches it
// to the API object, then to the device. False when no event could be made;
// nothing is attached then.
bool SetUpNotification(TouchpadConnection& connection);
