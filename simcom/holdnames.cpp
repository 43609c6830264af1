// Holds named kernel objects for as long as it runs, so that a test can
// take names that the program under test must then skip.
//   holdnames.exe [--event NAME | --mutex NAME]...
// Prints "ready" once every object exists, then sleeps until it is ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc % 2 == 0) {
        std::fwprintf(stderr, L"holdnames: option without a name\n");
        return 2;
    }
    // Kept open, never closed: holding the names is the whole point.
    std::vector<HANDLE> held;
    for (int i = 1; i + 1 < argc; i += 2) {
        HANDLE object = nullptr;
        if (std::wcscmp(argv[i], L"--event") == 0) {
            object = CreateEventW(nullptr, FALSE, FALSE, argv[i + 1]);
        } else if (std::wcscmp(argv[i], L"--mutex") == 0) {
            object = CreateMutexW(nullptr, FALSE, argv[i + 1]);
        } else {
            std::fwprintf(stderr, L"holdnames: unknown option %ls\n", argv[i]);
            return 2;
        }
        if (object == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
            std::fwprintf(stderr, L"holdnames: %ls is taken or failed (%lu)\n", argv[i + 1], GetLastError());
            return 1;
        }
        held.push_back(object);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
