#include "gesture/gesture_tracker.h"

#include <cstdint>

#include "gesture/packet_reading.h"
#include "gesture/saturating.h"
#include "gesture/window_drag.h"
#include "trace/trace.h"

namespace {

enum class ContactKind { Swipe, Drag, Release, Other };

ContactKind ClassifyContactWord(std::int32_t word) {
    const auto bits = static_cast<std::uint32_t>(word);
    if ((bits & SWIPE_CONTACT_MASK) == SWIPE_CONTACT) {
        return ContactKind::Swipe;
    }
    if ((bits & DRAG_CONTACT_MASK) == DRAG_CONTACT) {
        return ContactKind::Drag;
    }
    if (bits == 0) {
        return ContactKind::Release;
    }
    return ContactKind::Other;
}

void AccumulateSwipe(GestureTracker& tracker, TouchpadPacket& packet) {
    tracker.sumX = SaturatingAdd(tracker.sumX, ReadPropertyOrZero(packet, PROP_DELTA_X));
    tracker.sumY = SaturatingAdd(tracker.sumY, ReadPropertyOrZero(packet, PROP_DELTA_Y));
}

void OnSwipeContact(GestureTracker& tracker, TouchpadPacket& packet) {
    switch (tracker.mode) {
        case GestureMode::Idle:
            TraceState(ReadPropertyOrZero(packet, PROP_STATE));
            tracker.sumX = 0;
            tracker.sumY = 0;
            tracker.mode = GestureMode::Swipe;
            AccumulateSwipe(tracker, packet);
            return;
        case GestureMode::Swipe:
            AccumulateSwipe(tracker, packet);
            return;
        case GestureMode::Drag:
            return;  // a drag can't turn into a swipe without a lift
    }
}

void OnDragContact(GestureTracker& tracker, TouchpadPacket& packet) {
    switch (tracker.mode) {
        case GestureMode::Idle:
            // The packet that begins a drag only picks the window; its motion is not applied.
            tracker.dragTarget = BeginWindowDrag(tracker.dragThread, tracker.desktops.Shown());
            tracker.mode = GestureMode::Drag;
            return;
        case GestureMode::Drag:
            StepWindowDrag(packet, tracker.dragTarget, tracker.dragThread, tracker.desktops.Shown());
            return;
        case GestureMode::Swipe:
            return;
    }
}

void OnRelease(GestureTracker& tracker) {
    switch (tracker.mode) {
        case GestureMode::Idle:
            return;
        case GestureMode::Drag:
            tracker.mode = GestureMode::Idle;
            return;
        case GestureMode::Swipe:
            TraceRelease(tracker.sumX, tracker.sumY);
            if (tracker.sumX > SWIPE_THRESHOLD) {
                tracker.desktops.SwitchToPrevious();
            } else if (tracker.sumX < SWIPE_THRESHOLD) {
                tracker.desktops.SwitchToNext();
            }
            tracker.mode = GestureMode::Idle;
            return;
    }
}

}  // namespace

const char* GestureModeName(GestureMode mode) {
    switch (mode) {
        case GestureMode::Idle:
            return "Idle";
        case GestureMode::Swipe:
            return "Swipe";
        case GestureMode::Drag:
            return "Drag";
    }
    return "?";
}

void GestureTracker::HandlePacket(TouchpadPacket& packet) {
    // A packet whose contact word can't be read changes nothing.
    const std::optional<std::int32_t> word = ReadProperty(packet, PROP_CONTACT_WORD);
    if (!word) {
        return;
    }
    // The three kinds exclude one another, so at most one of them acts.
    switch (ClassifyContactWord(*word)) {
        case ContactKind::Swipe:
            OnSwipeContact(*this, packet);
            return;
        case ContactKind::Drag:
            OnDragContact(*this, packet);
            return;
        case ContactKind::Release:
            OnRelease(*this);
            return;
        case ContactKind::Other:
            return;
    }
}
