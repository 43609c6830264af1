#include "simcom/log.h"

#include <windows.h>

#include <iomanip>
#include <mutex>

#include "simcom/owners.h"

namespace simcom {
namespace {

std::mutex logMutex;
FileHandle logFile;
ULONGLONG startTicks = 0;

}  // namespace

std::ostream& operator<<(std::ostream& out, Hex hex) {
    const std::ios::fmtflags flags = out.flags();
    out << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << hex.value;
    out.flags(flags);
    out << std::setfill(' ');
    return out;
}

std::ostream& operator<<(std::ostream& out, Address address) {
    const std::ios::fmtflags flags = out.flags();
    out << "0x" << std::hex << std::uppercase << address.value;
    out.flags(flags);
    return out;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t unit : text) {
        narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return narrow;
}

std::wstring PathFromEnvironment(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer)) {
        return {};
    }
    std::wstring path(buffer, length);
    if (path.front() == L'/') {
        for (wchar_t& unit : path) {
            if (unit == L'/') {
                unit = L'\\';
            }
        }
        path.insert(0, L"Z:");
    }
    return path;
}

void OpenLogFromEnvironment() {
    const std::wstring path = PathFromEnvironment(L"TALVEK_SIM_LOG");
    const std::lock_guard<std::mutex> lock(logMutex);
    startTicks = GetTickCount64();
    if (path.empty() || logFile) {
        return;
    }
    logFile.Reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteLogLine(const std::string& text) {
    const std::lock_guard<std::mutex> lock(logMutex);
    if (!logFile) {
        return;
    }
    std::ostringstream line;
    line << (GetTickCount64() - startTicks) << ' ' << text << '\n';
    const std::string bytes = line.str();
    DWORD written = 0;
    WriteFile(logFile.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace simcom
