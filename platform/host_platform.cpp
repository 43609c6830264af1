// The host face of the platform layer; see host_platform.h.
#include "platform/host_platform.h"

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <system_error>

namespace host {
namespace {

constexpr std::uintptr_t DESKTOP_BASE = 0x10000;
constexpr std::uintptr_t WINDOW_BASE = 0x20000;
constexpr std::uintptr_t TRAY_BASE = 0x30000;
constexpr std::uintptr_t HANDLE_BASE = 0x40000;
constexpr std::uintptr_t HANDLE_STEP = 4;

std::recursive_mutex worldLock;
World theWorld;
std::uintptr_t nextHandle = HANDLE_BASE;
std::uint32_t nextThreadId = 1;
std::uint32_t nextTlsSlot = 0;
std::uint64_t worldGeneration = 0;

// What the simulation knows of each thread. A new thread, or one that has
// lived through a Reset, starts on the starting desktop.
struct ThreadState {
    std::uint64_t generation = ~std::uint64_t{0};
    std::uint32_t id = 0;
    os::DesktopHandle desktop = nullptr;
    bool ownsWindow = false;
    bool comInitialized = false;
    std::map<std::uint32_t, std::uintptr_t> tls;
};
thread_local ThreadState threadState;

ThreadState& CurrentThread() {
    if (threadState.generation != worldGeneration) {
        const std::uint32_t id = threadState.id != 0 ? threadState.id : nextThreadId++;
        threadState = ThreadState{};
        threadState.generation = worldGeneration;
        threadState.id = id;
        threadState.desktop = StartingDesktop();
    }
    return threadState;
}

std::string Describe(os::DesktopHandle desktop) {
    if (desktop == nullptr) {
        return "0";
    }
    return "d" + std::to_string((reinterpret_cast<std::uintptr_t>(desktop) - DESKTOP_BASE) / 0x10);
}

std::string Describe(os::WindowHandle window) {
    if (window == nullptr) {
        return "0";
    }
    const auto value = reinterpret_cast<std::uintptr_t>(window);
    if (value >= TRAY_BASE) {
        return "tray" + std::to_string(value - TRAY_BASE);
    }
    return "w" + std::to_string(value - WINDOW_BASE);
}

std::string Describe(os::Handle handle) {
    if (handle == nullptr) {
        return "0";
    }
    return "h" + std::to_string((reinterpret_cast<std::uintptr_t>(handle) - HANDLE_BASE) / HANDLE_STEP);
}

std::string Describe(const wchar_t* text) {
    std::string narrow;
    for (const wchar_t* c = text; c != nullptr && *c != L'\0'; ++c) {
        narrow += static_cast<char>(*c);
    }
    return narrow;
}

std::string Describe(wchar_t* text) {
    return Describe(static_cast<const wchar_t*>(text));
}

template <typename T>
std::string Describe(T value) {
    return std::to_string(value);
}

template <typename... Args>
void Record(const char* name, Args... args) {
    std::string text = name;
    text += '(';
    bool first = true;
    ((text += (first ? "" : ", ") + Describe(args), first = false), ...);
    text += ')';
    const ThreadState& thread = CurrentThread();
    theWorld.calls.push_back({text, thread.desktop, thread.id});
}

os::Handle NewHandle() {
    const std::uintptr_t value = nextHandle;
    nextHandle += HANDLE_STEP;
    return reinterpret_cast<os::Handle>(value);
}

bool IsDesktop(os::DesktopHandle desktop) {
    const auto value = reinterpret_cast<std::uintptr_t>(desktop);
    return value >= DESKTOP_BASE && value < DESKTOP_BASE + 0x10 * theWorld.desktopNames.size();
}

Window* FindWindow(os::WindowHandle handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value < WINDOW_BASE || value >= WINDOW_BASE + theWorld.windows.size()) {
        return nullptr;
    }
    return &theWorld.windows[value - WINDOW_BASE];
}

bool Contains(const os::Rect& rect, os::Point point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

bool OnInputDesktop() {
    return CurrentThread().desktop == theWorld.inputDesktop;
}

}  // namespace

World& world() {
    return theWorld;
}

void Reset() {
    std::lock_guard lock(worldLock);
    theWorld = World{};
    theWorld.desktopNames.push_back(L"Default");
    theWorld.inputDesktop = StartingDesktop();
    ++worldGeneration;
    nextHandle = HANDLE_BASE;
}

os::DesktopHandle StartingDesktop() {
    return DesktopHandleOf(0);
}

os::DesktopHandle DesktopHandleOf(std::size_t index) {
    return reinterpret_cast<os::DesktopHandle>(DESKTOP_BASE + 0x10 * index);
}

os::WindowHandle WindowHandleOf(std::size_t index) {
    return reinterpret_cast<os::WindowHandle>(WINDOW_BASE + index);
}

os::WindowHandle TrayWindowOf(os::DesktopHandle desktop) {
    return reinterpret_cast<os::WindowHandle>(TRAY_BASE + (reinterpret_cast<std::uintptr_t>(desktop) - DESKTOP_BASE) / 0x10);
}

os::WindowHandle AddWindow(os::Rect rect, os::WindowHandle parent, os::DesktopHandle desktop) {
    std::lock_guard lock(worldLock);
    theWorld.windows.push_back({rect, parent, desktop != nullptr ? desktop : StartingDesktop()});
    return WindowHandleOf(theWorld.windows.size() - 1);
}

const Window& WindowOf(os::WindowHandle handle) {
    std::lock_guard lock(worldLock);
    return *FindWindow(handle);
}

os::DesktopHandle ThreadDesktop() {
    std::lock_guard lock(worldLock);
    return CurrentThread().desktop;
}

std::vector<std::string> CallNames() {
    std::lock_guard lock(worldLock);
    std::vector<std::string> names;
    for (const Call& call : theWorld.calls) {
        names.push_back(call.text.substr(0, call.text.find('(')));
    }
    return names;
}

std::vector<Call> CallsNamed(const std::string& name) {
    std::lock_guard lock(worldLock);
    std::vector<Call> found;
    for (const Call& call : theWorld.calls) {
        if (call.text.compare(0, name.size() + 1, name + "(") == 0) {
            found.push_back(call);
        }
    }
    return found;
}

}  // namespace host

using host::Record;
using host::theWorld;
using host::worldLock;

TouchpadResult CreateTouchpadApi(TouchpadApi** api) {
    std::lock_guard lock(worldLock);
    Record("SynCreateAPI");
    return theWorld.createApi ? theWorld.createApi(api) : TOUCHPAD_NO_PACKET;
}

namespace os {

CreatedEvent CreateNamedEvent(const wchar_t* name) {
    std::lock_guard lock(worldLock);
    Record("CreateEventW", name);
    const auto existing = theWorld.namedObjects.find(name);
    if (existing != theWorld.namedObjects.end()) {
        if (existing->second == host::ObjectKind::Event) {
            return {host::NewHandle(), ERROR_ALREADY_EXISTS_CODE};
        }
        return {nullptr, ERROR_INVALID_HANDLE_CODE};
    }
    if (theWorld.eventCreationError != 0) {
        return {nullptr, theWorld.eventCreationError};
    }
    theWorld.namedObjects.emplace(name, host::ObjectKind::Event);
    theWorld.createdEventNames.emplace_back(name);
    return {host::NewHandle(), 0};
}

void CloseHandle(Handle handle) {
    std::lock_guard lock(worldLock);
    Record("CloseHandle", handle);
    theWorld.closedHandles.push_back(handle);
}

void WaitForever(Handle handle) {
    std::lock_guard lock(worldLock);
    Record("WaitForSingleObject", handle);
}

void Sleep(std::uint32_t milliseconds) {
    std::lock_guard lock(worldLock);
    Record("Sleep", milliseconds);
}

std::uint32_t GetCurrentThreadId() {
    std::lock_guard lock(worldLock);
    return host::CurrentThread().id;
}

std::uint32_t GetWindowsDirectoryPath(wchar_t* buffer, std::uint32_t capacity) {
    std::lock_guard lock(worldLock);
    Record("GetSystemWindowsDirectoryW", capacity);
    if (theWorld.windowsDirectoryFails) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(theWorld.windowsDirectory.size());
    if (length >= capacity) {
        return length + 1;  // the size needed, terminator included, as Windows answers
    }
    theWorld.windowsDirectory.copy(buffer, length);
    buffer[length] = L'\0';
    return length;
}

bool StartProcess(const wchar_t* applicationName, wchar_t* commandLine, const StartupRecord& startup,
                  ProcessHandles& started) {
    std::lock_guard lock(worldLock);
    Record("CreateProcessW", applicationName, commandLine, startup.desktop);
    if (theWorld.processStartFails) {
        return false;
    }
    started = {host::NewHandle(), host::NewHandle()};
    theWorld.processes.push_back({applicationName != nullptr ? applicationName : L"", commandLine, startup.flags,
                                  startup.showWindow, startup.desktop != nullptr ? startup.desktop : L"", started});
    return true;
}

std::uint32_t TlsAlloc() {
    std::lock_guard lock(worldLock);
    Record("TlsAlloc");
    return host::nextTlsSlot++;
}

std::uintptr_t TlsGetValue(std::uint32_t slot) {
    std::lock_guard lock(worldLock);
    Record("TlsGetValue", slot);
    return host::CurrentThread().tls[slot];
}

void TlsSetValue(std::uint32_t slot, std::uintptr_t value) {
    std::lock_guard lock(worldLock);
    Record("TlsSetValue", slot, value);
    host::CurrentThread().tls[slot] = value;
}

bool StartThread(std::thread& thread, void (*routine)(void*), void* argument) {
    {
        std::lock_guard lock(worldLock);
        Record("StartThread");
        if (theWorld.threadStartFails) {
            return false;
        }
    }
    try {
        thread = std::thread(routine, argument);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// The host keeps every lock and condition under one mutex of its own: a
// lock's word says whether it is held, a condition's word counts its
// wake-ups. Speed doesn't matter here; being a real lock does.
namespace {
std::mutex handOverMutex;
std::condition_variable handOverChanged;
}  // namespace

void AcquireLock(Lock& lock) {
    std::unique_lock guard(handOverMutex);
    handOverChanged.wait(guard, [&lock] { return lock.word == nullptr; });
    lock.word = &lock;
}

void ReleaseLock(Lock& lock) {
    {
        std::lock_guard guard(handOverMutex);
        lock.word = nullptr;
    }
    handOverChanged.notify_all();
}

void SleepOnCondition(Condition& condition, Lock& lock) {
    std::unique_lock guard(handOverMutex);
    const void* wakeUpsBefore = condition.word;
    lock.word = nullptr;
    handOverChanged.notify_all();
    handOverChanged.wait(guard, [&] { return condition.word != wakeUpsBefore && lock.word == nullptr; });
    lock.word = &lock;
}

void WakeAllOnCondition(Condition& condition) {
    {
        std::lock_guard guard(handOverMutex);
        condition.word = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(condition.word) + 1);
    }
    handOverChanged.notify_all();
}

void CoInitialize() {
    std::lock_guard lock(worldLock);
    Record("CoInitialize");
    host::CurrentThread().comInitialized = true;
    host::CurrentThread().ownsWindow = true;  // COM's hidden window for the apartment
    theWorld.coInitializedThreads.push_back(host::CurrentThread().id);
}

namespace {
constexpr Guid PACKET_CLASS_ID = {0x5A1E0001, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr std::int32_t REGDB_E_CLASSNOTREG_CODE = static_cast<std::int32_t>(0x80040154u);
constexpr std::int32_t CO_E_NOTINITIALIZED_CODE = static_cast<std::int32_t>(0x800401F0u);
constexpr std::int32_t CO_E_CLASSSTRING_CODE = static_cast<std::int32_t>(0x800401F3u);
}  // namespace

std::int32_t ClassIdFromProgId(const wchar_t* progId, Guid& classId) {
    std::lock_guard lock(worldLock);
    Record("CLSIDFromProgID", progId);
    if (!theWorld.createPacket || std::wstring(progId) != PACKET_PROG_ID) {
        classId = Guid{};
        return CO_E_CLASSSTRING_CODE;
    }
    classId = PACKET_CLASS_ID;
    return 0;
}

std::int32_t CreateInstance(const Guid& classId, std::uint32_t context, const Guid& iid, void** object) {
    std::lock_guard lock(worldLock);
    Record("CoCreateInstance", context);
    *object = nullptr;
    const bool isPacketClass = classId.data1 == PACKET_CLASS_ID.data1 && iid.data1 == IID_TOUCHPAD_PACKET.data1;
    if (!theWorld.createPacket || !isPacketClass) {
        return REGDB_E_CLASSNOTREG_CODE;
    }
    if (!host::CurrentThread().comInitialized) {
        return CO_E_NOTINITIALIZED_CODE;
    }
    *object = theWorld.createPacket();
    return *object != nullptr ? 0 : REGDB_E_CLASSNOTREG_CODE;
}

DesktopHandle CreateNamedDesktop(const wchar_t* name, std::uint32_t access) {
    std::lock_guard lock(worldLock);
    Record("CreateDesktopW", name, access);
    if (theWorld.failingDesktops.count(name) != 0) {
        return nullptr;
    }
    theWorld.desktopNames.emplace_back(name);
    return host::DesktopHandleOf(theWorld.desktopNames.size() - 1);
}

DesktopHandle GetThreadDesktop(std::uint32_t threadId) {
    std::lock_guard lock(worldLock);
    Record("GetThreadDesktop", threadId);
    const host::ThreadState& thread = host::CurrentThread();
    return threadId == thread.id ? thread.desktop : host::StartingDesktop();
}

bool SetThreadDesktop(DesktopHandle desktop) {
    std::lock_guard lock(worldLock);
    Record("SetThreadDesktop", desktop);
    host::ThreadState& thread = host::CurrentThread();
    if (!host::IsDesktop(desktop) || thread.ownsWindow) {
        return false;  // ERROR_BUSY for a thread with windows
    }
    thread.desktop = desktop;
    return true;
}

bool SwitchDesktop(DesktopHandle desktop) {
    std::lock_guard lock(worldLock);
    Record("SwitchDesktop", desktop);
    if (!host::IsDesktop(desktop)) {
        return false;
    }
    theWorld.inputDesktop = desktop;
    return true;
}

WindowHandle FindWindowByClass(const wchar_t* className) {
    std::lock_guard lock(worldLock);
    Record("FindWindowW", className);
    const DesktopHandle desktop = host::CurrentThread().desktop;
    if (std::wstring(className) != L"Shell_TrayWnd" || desktop == host::StartingDesktop()) {
        return nullptr;
    }
    const std::wstring& name = theWorld.desktopNames[(reinterpret_cast<std::uintptr_t>(desktop) - host::DESKTOP_BASE) / 0x10];
    const auto misses = theWorld.trayMisses.find(name);
    const int searchesBefore = theWorld.traySearches[desktop]++;
    if (misses != theWorld.trayMisses.end() && (misses->second < 0 || searchesBefore < misses->second)) {
        return nullptr;
    }
    return host::TrayWindowOf(desktop);
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lock(worldLock);
    Record("PostMessageW", window, message, wParam, lParam);
    return window != nullptr;
}

WindowHandle WindowFromPoint(Point point) {
    std::lock_guard lock(worldLock);
    Record("WindowFromPoint", point.x, point.y);
    const DesktopHandle desktop = host::CurrentThread().desktop;
    for (std::size_t index = theWorld.windows.size(); index-- > 0;) {
        const host::Window& window = theWorld.windows[index];
        if (window.desktop == desktop && host::Contains(window.rect, point)) {
            return host::WindowHandleOf(index);
        }
    }
    return nullptr;
}

WindowHandle GetAncestor(WindowHandle window, std::uint32_t flags) {
    std::lock_guard lock(worldLock);
    Record("GetAncestor", window, flags);
    if (flags != GA_ROOT_FLAG) {
        return nullptr;
    }
    WindowHandle root = window;
    for (const host::Window* found = host::FindWindow(root); found != nullptr && found->parent != nullptr;
         found = host::FindWindow(root)) {
        root = found->parent;
    }
    return host::FindWindow(root) != nullptr ? root : nullptr;
}

bool GetWindowRect(WindowHandle window, Rect& rect) {
    std::lock_guard lock(worldLock);
    Record("GetWindowRect", window);
    const host::Window* found = host::FindWindow(window);
    if (found == nullptr) {
        return false;
    }
    rect = found->rect;
    return true;
}

bool SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, std::uint32_t flags) {
    std::lock_guard lock(worldLock);
    Record("SetWindowPos", window, insertAfter, x, y, width, height, flags);
    host::Window* found = host::FindWindow(window);
    if (found == nullptr) {
        return false;
    }
    const std::int64_t keptWidth = std::int64_t{found->rect.right} - found->rect.left;
    const std::int64_t keptHeight = std::int64_t{found->rect.bottom} - found->rect.top;
    const std::int64_t newWidth = (flags & SWP_NOSIZE_FLAG) != 0 ? keptWidth : width;
    const std::int64_t newHeight = (flags & SWP_NOSIZE_FLAG) != 0 ? keptHeight : height;
    found->rect = {x, y, static_cast<std::int32_t>(x + newWidth), static_cast<std::int32_t>(y + newHeight)};
    return true;
}

bool GetCursorPos(Point& point) {
    std::lock_guard lock(worldLock);
    Record("GetCursorPos");
    if (!host::OnInputDesktop()) {
        return false;  // ERROR_ACCESS_DENIED: not the input desktop
    }
    point = theWorld.cursor;
    return true;
}

bool SetCursorPos(std::int32_t x, std::int32_t y) {
    std::lock_guard lock(worldLock);
    Record("SetCursorPos", x, y);
    if (!host::OnInputDesktop()) {
        return false;
    }
    theWorld.cursor = {x, y};
    return true;
}

}  // namespace os
