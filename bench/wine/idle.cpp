// A process that only waits on an event nobody sets, for the given number of
// milliseconds (default 10000), then ends: what talvek's idle CPU time is
// set beside, since Wine's own threads spend some even here.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const DWORD waitMs = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 10000;
    const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (never == nullptr) {
        return 1;
    }
    WaitForSingleObject(never, waitMs);
    return 0;
}
