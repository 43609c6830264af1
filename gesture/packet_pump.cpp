#include "gesture/packet_pump.h"

#include <cstdint>

#include "gesture/com_init.h"
#include "touchpad/com_owner.h"

namespace {

void DrainNotifications(TouchpadApi& api) {
    std::int32_t parameter = 0;
    while (api.TakeNotification(&parameter) == TOUCHPAD_OK) {
        parameter = 0;
    }
}

// A fresh packet object; empty when the class can't be found or made.
ComOwner<TouchpadPacket> CreatePacket() {
    ComOwner<TouchpadPacket> packet;
    EnsureComInitialized();
    os::Guid classId{};
    os::ClassIdFromProgId(PACKET_PROG_ID, classId);
    os::CreateInstance(classId, PACKET_CLASS_CONTEXT, IID_TOUCHPAD_PACKET, packet.put_void());
    return packet;
}

}  // namespace

void RunPacketBatch(const TouchpadConnection& connection, GestureTracker& tracker) {
    DrainNotifications(*connection.api);
    for (;;) {
        ComOwner<TouchpadPacket> packet = CreatePacket();
        if (!packet) {
            // Never ask the device to load into no object; wait for the next signal.
            return;
        }
        if (connection.device->LoadPacket(packet.get()) == TOUCHPAD_NO_PACKET) {
            return;
        }
        // Any other result, failure codes included, counts as a loaded packet.
        tracker.HandlePacket(*packet.get());
    }
}

void RunPacketPump(const TouchpadConnection& connection, GestureTracker& tracker) {
    for (;;) {
        os::WaitForever(connection.notificationEvent);
        RunPacketBatch(connection, tracker);
    }
}
