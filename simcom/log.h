// The simulated component's log: one fact per line, each line written out
// with a single WriteFile as soon as it is made, because the program under
// test is ended from outside and never unloads the component.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

namespace simcom {

// A 32-bit code or id, logged as 0x and eight hex digits.
struct Hex {
    std::uint32_t value;
};
inline Hex HexOf(std::int32_t value) { return Hex{static_cast<std::uint32_t>(value)}; }
std::ostream& operator<<(std::ostream& out, Hex hex);

// A pointer-sized value (handles, addresses), logged in hex.
struct Address {
    std::uintptr_t value;
};
std::ostream& operator<<(std::ostream& out, Address address);
inline Address AddressOf(const void* pointer) { return Address{reinterpret_cast<std::uintptr_t>(pointer)}; }

// Opens the log named by TALVEK_SIM_LOG (nothing is logged without it).
void OpenLogFromEnvironment();
void WriteLogLine(const std::string& text);

template <typename... Parts>
void LogLine(const Parts&... parts) {
    std::ostringstream line;
    (line << ... << parts);
    WriteLogLine(line.str());
}

// Reads an environment variable as a Windows path; a Unix path (/x/y) is
// mapped onto Wine's Z: drive.
std::wstring PathFromEnvironment(const wchar_t* name);
std::string Narrow(const std::wstring& text);

}  // namespace simcom
