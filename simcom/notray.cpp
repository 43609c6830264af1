// A stand-in for the shell that the end-to-end tests put where the program
// looks for Explorer.exe: it starts, and never shows a taskbar. On the
// desktops named in TALVEK_SIM_TRAY_DESKTOPS (';'-separated; the program's
// environment reaches it) it hands over to Wine's own shell instead, so that
// a test can leave only some desktops without a taskbar. It writes nothing:
// it shares the program's console.
#include <windows.h>

#include <string>

namespace {

std::wstring OwnDesktopName() {
    wchar_t name[256] = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, &needed)) {
        return {};
    }
    return name;
}

bool Listed(const std::wstring& desktop) {
    wchar_t buffer[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"TALVEK_SIM_TRAY_DESKTOPS", buffer, static_cast<DWORD>(std::size(buffer)));
    if (desktop.empty() || length == 0 || length >= std::size(buffer)) {
        return false;
    }
    const std::wstring list = L";" + std::wstring(buffer, length) + L";";
    return list.find(L";" + desktop + L";") != std::wstring::npos;
}

// Wine's shell, the same program the prefix has at C:\windows\explorer.exe,
// started on `desktop` as the program starts its shells.
bool StartRealShell(const std::wstring& desktop) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    const std::wstring path = std::wstring(system, length) + L"\\explorer.exe";
    std::wstring commandLine = path;
    std::wstring desktopCopy = desktop;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    startup.lpDesktop = desktopCopy.data();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
    const std::wstring desktop = OwnDesktopName();
    if (Listed(desktop)) {
        return StartRealShell(desktop) ? 0 : 1;
    }
    Sleep(INFINITE);
    return 0;
}
