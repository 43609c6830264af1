// Gates: the test's handshake with the script. At a gate the sim logs
// `gate <n>` and waits until the test creates the file `<log>.gate<n>`, so
// that the test can look at the program (or change its surroundings) at a
// known point while the program waits in the sim.
#include <windows.h>

#include <mutex>
#include <string>

#include "simcom/log.h"
#include "simcom/sim_state.h"

namespace simcom {

void WaitAtGate(std::uint32_t timeoutMs) {
    static std::mutex mutex;
    static int gates = 0;
    int number = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        number = ++gates;
    }
    const std::wstring log = PathFromEnvironment(L"TALVEK_SIM_LOG");
    if (log.empty()) {
        return;  // nobody could open it
    }
    const std::wstring file = log + L".gate" + std::to_wstring(number);
    LogLine("gate ", number);
    const ULONGLONG start = GetTickCount64();
    while (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() - start >= timeoutMs) {
            LogLine("gate ", number, " timeout");
            return;
        }
        Sleep(5);
    }
    LogLine("gate ", number, " open");
}

}  // namespace simcom
