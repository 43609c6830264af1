// The host face of the platform layer: an in-memory simulation of the calls
// in platform.h, for the unit tests. A test sets the world up, runs the
// program's code, then reads back what was called and what changed.
//
// What it simulates beyond plain recording, because the program's
// correctness depends on it:
// - each thread is bound to a desktop (new threads to the starting one);
// - a thread that has initialised COM owns a window, and then can't be
//   bound to another desktop (SetThreadDesktop fails, as on Windows);
// - the cursor calls fail unless the calling thread's desktop is the input
//   desktop; WindowFromPoint and FindWindowW see only the calling thread's
//   desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "touchpad/touchpad.h"

namespace host {

struct Window {
    os::Rect rect;
    os::WindowHandle parent;  // null for a top-level window
    os::DesktopHandle desktop;
};

struct StartedProcess {
    std::wstring applicationName;
    std::wstring commandLine;
    std::uint32_t startupFlags;
    std::uint16_t showWindow;
    std::wstring desktop;
    os::ProcessHandles handles;
};

// One OS call as the program made it: "SetWindowPos(w1, 0, 105, 197, 0, 0, 5)".
struct Call {
    std::string text;
    os::DesktopHandle threadDesktop;  // the calling thread's desktop then
    std::uint32_t threadId;
};

enum class ObjectKind { Event, Other };

struct World {
    // The touchpad component's entry; a test puts its fake API here.
    std::function<TouchpadResult(TouchpadApi**)> createApi;

    // Named objects that exist before the program runs.
    std::map<std::wstring, ObjectKind> namedObjects;
    // When set, CreateEventW fails with this error for every name not taken.
    std::uint32_t eventCreationError = 0;
    std::vector<os::Handle> closedHandles;
    std::vector<std::wstring> createdEventNames;

    // The packet class: null when it isn't registered.
    std::function<TouchpadPacket*()> createPacket;
    std::vector<std::uint32_t> coInitializedThreads;

    std::vector<std::wstring> desktopNames;  // desktop k has the handle DesktopHandleOf(k)
    std::set<std::wstring> failingDesktops;
    os::DesktopHandle inputDesktop = nullptr;

    std::wstring windowsDirectory = L"C:\\Windows";
    bool windowsDirectoryFails = false;
    bool processStartFails = false;
    std::vector<StartedProcess> processes;
    bool threadStartFails = false;
    // Searches for the taskbar on a desktop (by name) that miss before it
    // appears; a desktop not listed has it at once; -1 never has one.
    std::map<std::wstring, int> trayMisses;
    std::map<os::DesktopHandle, int> traySearches;

    std::vector<Window> windows;  // window k has the handle WindowHandleOf(k)
    os::Point cursor{0, 0};

    std::vector<Call> calls;
};

// The simulation's world. Reset() gives a fresh one with the starting
// desktop (named "Default") as the input desktop and the calling thread's.
World& world();
void Reset();

os::DesktopHandle StartingDesktop();
os::DesktopHandle DesktopHandleOf(std::size_t index);
os::WindowHandle WindowHandleOf(std::size_t index);
os::WindowHandle TrayWindowOf(os::DesktopHandle desktop);
// Adds a window on `desktop` above every window added before it.
os::WindowHandle AddWindow(os::Rect rect, os::WindowHandle parent = nullptr, os::DesktopHandle desktop = nullptr);
const Window& WindowOf(os::WindowHandle handle);
// The desktop the calling thread is bound to.
os::DesktopHandle ThreadDesktop();
// The names of the calls made, in order, e.g. "SetWindowPos".
std::vector<std::string> CallNames();
std::vector<Call> CallsNamed(const std::string& name);

}  // namespace host
