// How long one drag-step hand-over takes under Wine, without any window or
// touchpad work: talvek's DragThread::Run with work that does nothing
// (std::mutex and std::condition_variable, which mingw-w64's posix threads
// build on winpthreads), beside the same protocol on Win32's SRW lock and
// condition variable, and the least any hand-over to another thread can
// cost (two auto-reset events, one each way). Prints `handover <name> <n>
// <microseconds per hand-over>` per round; bench/wine/bench.py takes the
// best and the median.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "gesture/drag_thread.h"

namespace {

double MicrosecondsSince(const LARGE_INTEGER& start, int count) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) /
           count;
}

void Nothing(void*) {}

struct PingPong {
    HANDLE request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    volatile bool stop = false;
};

// DragThread's protocol: the caller sets `pending` and waits until the
// helper has cleared it.
struct Win32HandOver {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    bool pending = false;
    bool stop = false;

    void Run() {
        AcquireSRWLockExclusive(&lock);
        pending = true;
        WakeAllConditionVariable(&changed);
        while (pending) {
            SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        }
        ReleaseSRWLockExclusive(&lock);
    }
};

DWORD WINAPI Serve(void* context) {
    auto& handOver = *static_cast<Win32HandOver*>(context);
    AcquireSRWLockExclusive(&handOver.lock);
    for (;;) {
        while (!handOver.pending && !handOver.stop) {
            SleepConditionVariableSRW(&handOver.changed, &handOver.lock, INFINITE, 0);
        }
        if (handOver.stop) {
            ReleaseSRWLockExclusive(&handOver.lock);
            return 0;
        }
        ReleaseSRWLockExclusive(&handOver.lock);
        Nothing(nullptr);
        AcquireSRWLockExclusive(&handOver.lock);
        handOver.pending = false;
        WakeAllConditionVariable(&handOver.changed);
    }
}

DWORD WINAPI Answer(void* context) {
    auto& pair = *static_cast<PingPong*>(context);
    for (;;) {
        WaitForSingleObject(pair.request, INFINITE);
        if (pair.stop) {
            return 0;
        }
        SetEvent(pair.done);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

    DragThread helper;
    PingPong pair;
    const HANDLE answerer = CreateThread(nullptr, 0, Answer, &pair, 0, nullptr);
    Win32HandOver win32;
    const HANDLE server = CreateThread(nullptr, 0, Serve, &win32, 0, nullptr);
    if (answerer == nullptr || server == nullptr || pair.request == nullptr || pair.done == nullptr) {
        return 1;
    }
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start{};
        QueryPerformanceCounter(&start);
        for (int i = 0; i < count; ++i) {
            helper.Run(nullptr, Nothing, nullptr);
        }
        std::printf("handover DragThread %d %.2f\n", count, MicrosecondsSince(start, count));

        QueryPerformanceCounter(&start);
        for (int i = 0; i < count; ++i) {
            win32.Run();
        }
        std::printf("handover win32-cv %d %.2f\n", count, MicrosecondsSince(start, count));

        QueryPerformanceCounter(&start);
        for (int i = 0; i < count; ++i) {
            SetEvent(pair.request);
            WaitForSingleObject(pair.done, INFINITE);
        }
        std::printf("handover events %d %.2f\n", count, MicrosecondsSince(start, count));
        std::fflush(stdout);
    }
    pair.stop = true;
    SetEvent(pair.request);
    WaitForSingleObject(answerer, INFINITE);
    AcquireSRWLockExclusive(&win32.lock);
    win32.stop = true;
    WakeAllConditionVariable(&win32.changed);
    ReleaseSRWLockExclusive(&win32.lock);
    WaitForSingleObject(server, INFINITE);
    return 0;
}
