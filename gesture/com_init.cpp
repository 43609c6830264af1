#include "gesture/com_init.h"

#include <cstdint>

#include "platform/platform.h"

namespace {
// One slot for the process, allocated on first use and never freed. Only the
// main thread ever gets here, so a plain flag guards the allocation.
bool slotAllocated = false;
std::uint32_t comInitializedSlot = 0;
}  // namespace

void EnsureComInitialized() {
    if (!slotAllocated) {
        comInitializedSlot = os::TlsAlloc();
        slotAllocated = true;
    }
    if (os::TlsGetValue(comInitializedSlot) == 0) {
        os::CoInitialize();
        os::TlsSetValue(comInitializedSlot, 1);
    }
}
