// Making one extra desktop ready: the desktop, a shell on it, and the
// shell's taskbar.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

inline constexpr char DESKTOP_NAME_PREFIX[] = "TALVEK";
inline constexpr std::uint32_t WINDOWS_DIR_CAPACITY = 2048;
inline constexpr std::uint32_t TRAY_POLL_INTERVAL_MS = 500;
// How long a new shell gets to show its taskbar before start-up goes on
// without it.
inline constexpr std::uint32_t TRAY_SEARCH_LIMIT_MS = 30000;
// Posted to a new taskbar once it exists (WM_USER + 0x174), wParam 2, lParam 0.
inline constexpr std::uint32_t TRAY_STARTUP_MESSAGE = 0x0574;
inline constexpr std::uintptr_t TRAY_STARTUP_WPARAM = 2;
inline constexpr wchar_t TRAY_WINDOW_CLASS[] = L"Shell_TrayWnd";
inline constexpr wchar_t SHELL_FILE_NAME[] = L"\\Explorer.exe";

// The name of extra desktop `index`: "TALVEK" + index + "0".
std::wstring DesktopName(std::int32_t index);

// Creates desktop `index`, starts the shell on it and returns once the
// shell's taskbar has been found and sent its start-up message, or once the
// search has given up. Null when the desktop can't be created.
os::DesktopHandle ProvisionDesktop(std::int32_t index);

// The worker: binds itself to `desktop`, waits for the taskbar there and
// posts it the start-up message.
void AwaitShellTray(os::DesktopHandle desktop);
