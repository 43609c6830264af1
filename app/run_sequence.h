// The program's run: connect to the touchpad, set up notification and the
// desktops, then pump touchpad packets forever.
#pragma once

#include "touchpad/touchpad_connection.h"

enum class ConnectOutcome { Connected, ApiError, NoDevice };

// Creates the API object, searches for a device with the kinds 2, 5, 0 and
// opens the first one found.
ConnectOutcome ConnectTouchpad(TouchpadConnection& connection);

// Returns 0, after one error line, only when the start-up fails; after a
// successful start-up it never returns.
int RunTalvek();
