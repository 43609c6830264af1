// The thin layer over the operating system calls the program makes. Two
// faces implement it: win32_platform.cpp for talvek.exe and
// host_platform.cpp, an in-memory simulation that the unit tests link.
// Which one a binary gets is decided at link time, so a call through this
// layer costs what a direct call costs. Nothing above this layer includes
// <windows.h>.
//
// Each function wraps the Win32 call it is named after; where the program
// always passes the same constant arguments, they are fixed here and said in
// the comment.
#pragma once

#include <cstdint>
#include <thread>

namespace os {

using Handle = void*;                         // a kernel object handle (HANDLE)
using DesktopHandle = struct OpaqueDesktop*;  // HDESK; null: no desktop
using WindowHandle = struct OpaqueWindow*;    // HWND; null: no window

struct Point {
    std::int32_t x;
    std::int32_t y;
};

struct Rect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// Same layout as the Windows GUID.
struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

inline constexpr std::uint32_t ERROR_INVALID_HANDLE_CODE = 6;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS_CODE = 183;

// --- kernel32 ---------------------------------------------------------------

struct CreatedEvent {
    Handle handle;           // null when no event was created
    std::uint32_t lastError;  // GetLastError read at once after the call
};
// CreateEventW: default security, auto-reset, not signalled, named.
CreatedEvent CreateNamedEvent(const wchar_t* name);
void CloseHandle(Handle handle);
// WaitForSingleObject with no time-out; the result is not needed.
void WaitForever(Handle handle);
void Sleep(std::uint32_t milliseconds);
std::uint32_t GetCurrentThreadId();
std::uint32_t GetWindowsDirectoryPath(wchar_t* buffer, std::uint32_t capacity);

// The fields of STARTUPINFOW the program sets; every other field is zero and
// `cb` is the record's size.
struct StartupRecord {
    std::uint32_t flags;        // dwFlags
    std::uint16_t showWindow;   // wShowWindow
    const wchar_t* desktop;     // lpDesktop
};
inline constexpr std::uint32_t STARTF_USESHOWWINDOW_FLAG = 0x1;
inline constexpr std::uint16_t SW_SHOW_COMMAND = 5;

struct ProcessHandles {
    Handle process;
    Handle thread;
};
// CreateProcessW with no security attributes, no inheritance, creation flags
// 0, the program's own environment and current directory. True on success,
// and then `started` holds both handles, which the caller owns.
bool StartProcess(const wchar_t* applicationName, wchar_t* commandLine, const StartupRecord& startup,
                   ProcessHandles& started);

std::uint32_t TlsAlloc();
std::uintptr_t TlsGetValue(std::uint32_t slot);
void TlsSetValue(std::uint32_t slot, std::uintptr_t value);

// --- threads ----------------------------------------------------------------

// Starts routine(argument) on `thread`; false when no thread could be had
// (the standard library reports that by throwing, which stops here).
bool StartThread(std::thread& thread, void (*routine)(void*), void* argument);

// A lock and a condition for handing work from one thread to another. Each
// is one pointer-sized word, zero when unused, as Windows' SRW lock and
// condition variable are: no kernel object, so under Wine no server round
// trip either.
struct Lock {
    void* word = nullptr;
};
struct Condition {
    void* word = nullptr;
};
void AcquireLock(Lock& lock);
void ReleaseLock(Lock& lock);
// Releases the lock, sleeps until woken (or spuriously), takes it again.
void SleepOnCondition(Condition& condition, Lock& lock);
void WakeAllOnCondition(Condition& condition);

// --- ole32 ------------------------------------------------------------------

void CoInitialize();
std::int32_t ClassIdFromProgId(const wchar_t* progId, Guid& classId);
std::int32_t CreateInstance(const Guid& classId, std::uint32_t context, const Guid& iid, void** object);

// --- user32 -----------------------------------------------------------------

inline constexpr std::uint32_t GENERIC_ALL_ACCESS = 0x10000000;
// CreateDesktopW with no device, no display mode, flags 0, no security
// attributes, in the window station of the process.
DesktopHandle CreateNamedDesktop(const wchar_t* name, std::uint32_t access);
DesktopHandle GetThreadDesktop(std::uint32_t threadId);
bool SetThreadDesktop(DesktopHandle desktop);
bool SwitchDesktop(DesktopHandle desktop);

// FindWindowW by class name alone.
WindowHandle FindWindowByClass(const wchar_t* className);
bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

inline constexpr std::uint32_t GA_ROOT_FLAG = 2;
inline constexpr std::uint32_t SWP_NOSIZE_FLAG = 0x1;
inline constexpr std::uint32_t SWP_NOZORDER_FLAG = 0x4;
WindowHandle WindowFromPoint(Point point);
WindowHandle GetAncestor(WindowHandle window, std::uint32_t flags);
bool GetWindowRect(WindowHandle window, Rect& rect);
bool SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, std::uint32_t flags);
bool GetCursorPos(Point& point);
bool SetCursorPos(std::int32_t x, std::int32_t y);

}  // namespace os
