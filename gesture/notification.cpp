#include "gesture/notification.h"

#include <cstdint>
#include <limits>

#include "platform/indexed_name.h"
#include "platform/unique_handle.h"

namespace {

// The first name not held by another object. A name held by an event makes
// CreateEventW open that event (ERROR_ALREADY_EXISTS); one held by an object
// of another kind makes it fail (ERROR_INVALID_HANDLE). Both are skipped.
// Any other failure would repeat for every name, so the search gives up.
os::Handle CreateEventUnderFirstFreeName() {
    for (std::int32_t index = 0; index < std::numeric_limits<std::int32_t>::max(); ++index) {
        const std::wstring name = IndexedName(EVENT_NAME_PREFIX, {index});
        const os::CreatedEvent created = os::CreateNamedEvent(name.c_str());
        UniqueHandle event(created.handle);
        if (created.lastError == os::ERROR_ALREADY_EXISTS_CODE) {
            continue;  // someone else's event: ours must not share it; closed here
        }
        if (event) {
            return event.release();
        }
        if (created.lastError != os::ERROR_INVALID_HANDLE_CODE) {
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace

bool SetUpNotification(TouchpadConnection& connection) {
    connection.notificationEvent = CreateEventUnderFirstFreeName();
    if (connection.notificationEvent == nullptr) {
        return false;
    }
    connection.api->SetEventNotification(connection.notificationEvent);
    connection.device->SetEventNotification(connection.notificationEvent);
    return true;
}
