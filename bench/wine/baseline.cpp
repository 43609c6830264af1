// The least a program can do with the touchpad component's packets: what
// talvek's pump is measured against under Wine. It connects the way talvek
// does (SynCreateAPI by ordinal 5, the device search and open, one event
// attached to the API and the device) and then, per packet, makes only the
// calls the design requires of any such program: the class from its ProgID,
// a fresh object, the device's load, one property read, the release. For a
// drag step it also moves the window and the cursor and writes the line.
// Nothing else: no desktops, no helper thread, no notification drain.
//
// With --handover the drag step's window and cursor calls are made through
// talvek's own DragThread (gesture/drag_thread.cpp) instead, as talvek makes
// them: this tells how much of talvek's drag step is the hand-over.
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <memory>

#include "gesture/drag_thread.h"
#include "touchpad/touchpad.h"

extern "C" __declspec(dllimport) TouchpadResult TOUCHPAD_CALL SynCreateAPI(TouchpadApi** api);

namespace {

constexpr std::int32_t DRAG_WORD = 4;
constexpr std::int32_t LIFT_WORD = 0;

struct DragStep {
    HWND target;
    int dx;
};

void MoveWindowThenCursor(void* context) {
    const DragStep& step = *static_cast<const DragStep*>(context);
    RECT rect{};
    GetWindowRect(step.target, &rect);
    SetWindowPos(step.target, nullptr, rect.left + step.dx, rect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    POINT cursor{};
    GetCursorPos(&cursor);
    SetCursorPos(cursor.x + step.dx, cursor.y);
}

GUID ToGuid(const os::Guid& guid) {
    GUID result;
    static_assert(sizeof result == sizeof guid);
    std::memcpy(&result, &guid, sizeof result);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const bool handOver = argc > 1 && std::strcmp(argv[1], "--handover") == 0;
    TouchpadApi* api = nullptr;
    if (SynCreateAPI(&api) != TOUCHPAD_OK) {
        return 1;
    }
    std::int32_t handle = -1;
    TouchpadDevice* device = nullptr;
    if (api->FindDevice(0, DEVICE_KIND_CODES[0], &handle) != TOUCHPAD_OK ||
        api->OpenDevice(handle, &device) != TOUCHPAD_OK) {
        return 1;
    }
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"SynCom0");
    if (event == nullptr) {
        return 1;
    }
    api->SetEventNotification(event);
    device->SetEventNotification(event);
    CoInitialize(nullptr);

    std::unique_ptr<DragThread> helper;
    if (handOver) {
        helper = std::make_unique<DragThread>();
    }
    const GUID iid = ToGuid(IID_TOUCHPAD_PACKET);
    HWND target = nullptr;
    bool dragging = false;
    std::int32_t step = 0;
    for (;;) {
        WaitForSingleObject(event, INFINITE);
        for (;;) {
            CLSID classId{};
            CLSIDFromProgID(PACKET_PROG_ID, &classId);
            TouchpadPacket* packet = nullptr;
            CoCreateInstance(classId, nullptr, PACKET_CLASS_CONTEXT, iid, reinterpret_cast<void**>(&packet));
            if (packet == nullptr) {
                break;
            }
            if (device->LoadPacket(packet) == TOUCHPAD_NO_PACKET) {
                packet->Release();
                break;
            }
            std::int32_t word = 0;
            packet->GetProperty(PROP_CONTACT_WORD, &word);
            packet->Release();

            if (word == LIFT_WORD) {
                dragging = false;
            } else if (word == DRAG_WORD && !dragging) {
                // The gesture's first packet picks the window, once per drag.
                POINT cursor{};
                GetCursorPos(&cursor);
                target = GetAncestor(WindowFromPoint(cursor), GA_ROOT);
                dragging = true;
            } else if (word == DRAG_WORD) {
                // The one property read is the word, so the motion is not
                // read: the window and the cursor go one pixel right, then
                // back, and the line says so.
                DragStep move{target, step++ % 2 == 0 ? 1 : -1};
                std::cout << "MOVE : " << move.dx << ", " << 0 << '\n' << std::flush;
                if (helper) {
                    helper->Run(nullptr, MoveWindowThenCursor, &move);
                } else {
                    MoveWindowThenCursor(&move);
                }
            }
        }
    }
}
