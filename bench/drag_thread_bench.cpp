// What handing a piece of work to the drag thread costs over doing it on the
// calling thread: the difference is the per-step price of the helper thread.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "bench_world.h"

namespace {

void Bump(void* counter) {
    ++*static_cast<std::uint64_t*>(counter);
}

// Already bound to the desktop asked for, so no platform call is made: the
// hand-over alone (lock, signal, wake the thread, wait for it to signal back).
void DragThreadHandOver(benchmark::State& state) {
    bench::FreshWorld fresh;
    DragThread thread;
    std::uint64_t counter = 0;
    for (auto _ : state) {
        thread.Run(host::StartingDesktop(), Bump, &counter);
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(DragThreadHandOver)->UseRealTime();

// The same work called where it is, through a pointer the compiler can't see through.
void InlineWork(benchmark::State& state) {
    void (*work)(void*) = Bump;
    std::uint64_t counter = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(work);
        work(&counter);
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(InlineWork)->UseRealTime();

// A bare round trip with the same mutex and condition variable, no platform
// layer at all: what the operating system charges for waking a thread and
// being woken back, for comparison with the hand-over above.
void BareRoundTrip(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable changed;
    bool pending = false;
    bool stopping = false;
    std::uint64_t counter = 0;
    std::thread helper([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return pending || stopping; });
            if (stopping) {
                return;
            }
            Bump(&counter);
            pending = false;
            changed.notify_all();
        }
    });
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        pending = true;
        changed.notify_all();
        changed.wait(lock, [&] { return !pending; });
    }
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    helper.join();
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BareRoundTrip)->UseRealTime();

}  // namespace
