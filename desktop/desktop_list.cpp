#include "desktop/desktop_list.h"

#include <cstddef>

#include "desktop/provision_desktop.h"
#include "trace/trace.h"

namespace {

// The index changes first; the results of the two calls are not looked at,
// so a null entry moves the index and the line all the same.
void ShowEntry(DesktopList& list) {
    const os::DesktopHandle desktop = list.handles[static_cast<std::size_t>(list.currentIndex)];
    os::SwitchDesktop(desktop);
    os::SetThreadDesktop(desktop);
    if (desktop != nullptr) {
        list.lastShown = desktop;
    }
}

}  // namespace

os::DesktopHandle DesktopList::Shown() const {
    if (lastShown != nullptr || handles.empty()) {
        return lastShown;
    }
    return handles.front();
}

void DesktopList::SwitchToPrevious() {
    if (currentIndex <= 0) {
        return;
    }
    --currentIndex;
    ShowEntry(*this);
    TraceSwipeLeft();
}

void DesktopList::SwitchToNext() {
    const auto last = static_cast<std::int32_t>(handles.size()) - 1;
    if (currentIndex >= last) {
        return;
    }
    ++currentIndex;
    ShowEntry(*this);
    TraceSwipeRight();
}

DesktopList BuildDesktopList() {
    DesktopList list;
    list.handles.reserve(1 + EXTRA_DESKTOP_COUNT);
    list.handles.push_back(os::GetThreadDesktop(os::GetCurrentThreadId()));
    for (std::int32_t index = 0; index < EXTRA_DESKTOP_COUNT; ++index) {
        list.handles.push_back(ProvisionDesktop(index));
    }
    return list;
}
