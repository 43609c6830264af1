#include "desktop/provision_desktop.h"

#include <optional>
#include <thread>

#include "platform/indexed_name.h"
#include "platform/unique_handle.h"

namespace {

// The shell's full path, or nothing when the Windows directory can't be had
// whole: a command line is never built from a partial or empty directory.
std::optional<std::wstring> ShellPath() {
    std::wstring directory(WINDOWS_DIR_CAPACITY, L'\0');
    const std::uint32_t length = os::GetWindowsDirectoryPath(directory.data(), WINDOWS_DIR_CAPACITY);
    if (length == 0 || length >= WINDOWS_DIR_CAPACITY) {
        return std::nullopt;
    }
    directory.resize(length);
    return directory + SHELL_FILE_NAME;
}

// Starts the shell shown on the named desktop. The path goes in as the
// application name too, so a blank in the Windows directory can never make
// the command line run another program.
bool StartShell(const std::wstring& desktopName) {
    const std::optional<std::wstring> shell = ShellPath();
    if (!shell) {
        return false;
    }
    std::wstring commandLine = *shell;  // CreateProcessW may write into it
    const os::StartupRecord startup{os::STARTF_USESHOWWINDOW_FLAG, os::SW_SHOW_COMMAND, desktopName.c_str()};
    os::ProcessHandles started{};
    if (!os::StartProcess(shell->c_str(), commandLine.data(), startup, started)) {
        return false;
    }
    // The shell runs on by itself; we need neither handle. Thread first.
    UniqueHandle(started.thread).Reset();
    UniqueHandle(started.process).Reset();
    return true;
}

void AwaitShellTrayRoutine(void* desktop) {
    AwaitShellTray(static_cast<os::DesktopHandle>(desktop));
}

}  // namespace

std::wstring DesktopName(std::int32_t index) {
    return IndexedName(DESKTOP_NAME_PREFIX, {index, 0});
}

os::DesktopHandle ProvisionDesktop(std::int32_t index) {
    const std::wstring name = DesktopName(index);
    const os::DesktopHandle desktop = os::CreateNamedDesktop(name.c_str(), os::GENERIC_ALL_ACCESS);
    if (desktop == nullptr) {
        return nullptr;
    }
    // Without a shell no taskbar will ever come: don't wait for one.
    if (!StartShell(name)) {
        return desktop;
    }
    std::thread worker;
    if (os::StartThread(worker, AwaitShellTrayRoutine, desktop)) {
        worker.join();
    }
    return desktop;
}

void AwaitShellTray(os::DesktopHandle desktop) {
    os::SetThreadDesktop(desktop);
    std::uint32_t waited = 0;
    while (os::FindWindowByClass(TRAY_WINDOW_CLASS) == nullptr) {
        if (waited >= TRAY_SEARCH_LIMIT_MS) {
            return;  // the shell never showed a taskbar; start-up goes on without it
        }
        os::Sleep(TRAY_POLL_INTERVAL_MS);
        waited += TRAY_POLL_INTERVAL_MS;
    }
    const os::WindowHandle tray = os::FindWindowByClass(TRAY_WINDOW_CLASS);
    if (tray != nullptr) {
        os::PostWindowMessage(tray, TRAY_STARTUP_MESSAGE, TRAY_STARTUP_WPARAM, 0);
    }
}
