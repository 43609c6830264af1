// The Win32 face of the platform layer: each function is the one call it
// names, with the program's fixed arguments.
#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <system_error>

#include "platform/platform.h"
#include "touchpad/touchpad.h"

// The component's entry, bound when the process loads (ordinal 5; see
// touchpad/syncom.def).
extern "C" __declspec(dllimport) TouchpadResult TOUCHPAD_CALL SynCreateAPI(TouchpadApi** api);

static_assert(sizeof(os::Guid) == sizeof(GUID));
static_assert(sizeof(os::Rect) == sizeof(RECT));
static_assert(sizeof(os::Point) == sizeof(POINT));
static_assert(sizeof(os::Lock) == sizeof(SRWLOCK));
static_assert(sizeof(os::Condition) == sizeof(CONDITION_VARIABLE));

namespace {

HDESK ToWin32(os::DesktopHandle desktop) {
    return reinterpret_cast<HDESK>(desktop);
}
os::DesktopHandle FromWin32(HDESK desktop) {
    return reinterpret_cast<os::DesktopHandle>(desktop);
}
HWND ToWin32(os::WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}
os::WindowHandle FromWin32(HWND window) {
    return reinterpret_cast<os::WindowHandle>(window);
}
GUID ToWin32(const os::Guid& guid) {
    GUID result;
    std::memcpy(&result, &guid, sizeof result);
    return result;
}

}  // namespace

TouchpadResult CreateTouchpadApi(TouchpadApi** api) {
    return SynCreateAPI(api);
}

namespace os {

CreatedEvent CreateNamedEvent(const wchar_t* name) {
    const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, name);
    return {event, ::GetLastError()};
}

void CloseHandle(Handle handle) {
    ::CloseHandle(handle);
}

void WaitForever(Handle handle) {
    ::WaitForSingleObject(handle, INFINITE);
}

void Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::uint32_t GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

std::uint32_t GetWindowsDirectoryPath(wchar_t* buffer, std::uint32_t capacity) {
    return ::GetSystemWindowsDirectoryW(buffer, capacity);
}

bool StartProcess(const wchar_t* applicationName, wchar_t* commandLine, const StartupRecord& startup,
                   ProcessHandles& started) {
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    startupInfo.dwFlags = startup.flags;
    startupInfo.wShowWindow = startup.showWindow;
    // lpDesktop is declared writable but is only read.
    startupInfo.lpDesktop = const_cast<wchar_t*>(startup.desktop);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(applicationName, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startupInfo,
                          &process)) {
        return false;
    }
    started = {process.hProcess, process.hThread};
    return true;
}

std::uint32_t TlsAlloc() {
    return ::TlsAlloc();
}

std::uintptr_t TlsGetValue(std::uint32_t slot) {
    return reinterpret_cast<std::uintptr_t>(::TlsGetValue(slot));
}

void TlsSetValue(std::uint32_t slot, std::uintptr_t value) {
    ::TlsSetValue(slot, reinterpret_cast<void*>(value));
}

bool StartThread(std::thread& thread, void (*routine)(void*), void* argument) {
    try {
        thread = std::thread(routine, argument);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// The word is the SRW lock or condition variable itself; Windows alone
// reads or writes it.
void AcquireLock(Lock& lock) {
    ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock.word));
}

void ReleaseLock(Lock& lock) {
    ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock.word));
}

void SleepOnCondition(Condition& condition, Lock& lock) {
    ::SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&condition.word),
                                reinterpret_cast<PSRWLOCK>(&lock.word), INFINITE, 0);
}

void WakeAllOnCondition(Condition& condition) {
    ::WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&condition.word));
}

void CoInitialize() {
    ::CoInitialize(nullptr);
}

std::int32_t ClassIdFromProgId(const wchar_t* progId, Guid& classId) {
    CLSID found{};
    const HRESULT result = ::CLSIDFromProgID(progId, &found);
    std::memcpy(&classId, &found, sizeof classId);
    return result;
}

std::int32_t CreateInstance(const Guid& classId, std::uint32_t context, const Guid& iid, void** object) {
    const GUID clsid = ToWin32(classId);
    const GUID interfaceId = ToWin32(iid);
    return ::CoCreateInstance(clsid, nullptr, context, interfaceId, object);
}

DesktopHandle CreateNamedDesktop(const wchar_t* name, std::uint32_t access) {
    return FromWin32(::CreateDesktopW(name, nullptr, nullptr, 0, access, nullptr));
}

DesktopHandle GetThreadDesktop(std::uint32_t threadId) {
    return FromWin32(::GetThreadDesktop(threadId));
}

bool SetThreadDesktop(DesktopHandle desktop) {
    return ::SetThreadDesktop(ToWin32(desktop)) != FALSE;
}

bool SwitchDesktop(DesktopHandle desktop) {
    return ::SwitchDesktop(ToWin32(desktop)) != FALSE;
}

WindowHandle FindWindowByClass(const wchar_t* className) {
    return FromWin32(::FindWindowW(className, nullptr));
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return ::PostMessageW(ToWin32(window), message, wParam, lParam) != FALSE;
}

WindowHandle WindowFromPoint(Point point) {
    return FromWin32(::WindowFromPoint(POINT{point.x, point.y}));
}

WindowHandle GetAncestor(WindowHandle window, std::uint32_t flags) {
    return FromWin32(::GetAncestor(ToWin32(window), flags));
}

bool GetWindowRect(WindowHandle window, Rect& rect) {
    RECT found{};
    const bool ok = ::GetWindowRect(ToWin32(window), &found) != FALSE;
    rect = {found.left, found.top, found.right, found.bottom};
    return ok;
}

bool SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, std::uint32_t flags) {
    return ::SetWindowPos(ToWin32(window), ToWin32(insertAfter), x, y, width, height, flags) != FALSE;
}

bool GetCursorPos(Point& point) {
    POINT found{};
    const bool ok = ::GetCursorPos(&found) != FALSE;
    point = {found.x, found.y};
    return ok;
}

bool SetCursorPos(std::int32_t x, std::int32_t y) {
    return ::SetCursorPos(x, y) != FALSE;
}

}  // namespace os
