#include "app/run_sequence.h"

#include <cstdint>

#include "desktop/desktop_list.h"
#include "gesture/gesture_tracker.h"
#include "gesture/notification.h"
#include "gesture/packet_pump.h"
#include "trace/trace.h"

ConnectOutcome ConnectTouchpad(TouchpadConnection& connection) {
    if (CreateTouchpadApi(&connection.api) != TOUCHPAD_OK) {
        return ConnectOutcome::ApiError;
    }
    // Set once: whatever a failed search leaves in it is what the next one sees.
    std::int32_t deviceHandle = -1;
    bool found = false;
    for (const std::int32_t kind : DEVICE_KIND_CODES) {
        if (connection.api->FindDevice(0, kind, &deviceHandle) == TOUCHPAD_OK) {
            found = true;
            break;
        }
    }
    if (!found || connection.api->OpenDevice(deviceHandle, &connection.device) != TOUCHPAD_OK) {
        return ConnectOutcome::NoDevice;
    }
    return ConnectOutcome::Connected;
}

int RunTalvek() {
    TouchpadConnection connection;
    switch (ConnectTouchpad(connection)) {
        case ConnectOutcome::Connected:
            break;
        case ConnectOutcome::ApiError:
            TraceApiError();
            return 0;
        case ConnectOutcome::NoDevice:
            TraceNoDevice();
            return 0;
    }
    if (!SetUpNotification(connection)) {
        TraceNoEvent();
        return 0;
    }
    DesktopList desktops = BuildDesktopList();
    DragThread dragThread;  // lives as long as the pump: for the life of the process
    GestureTracker tracker(desktops, dragThread);
    desktops.currentIndex = 0;
    RunPacketPump(connection, tracker);
}
