// GestureTracker::HandlePacket, one packet kind at a time, against the fakes
// and the host platform face. Where a packet would change the mode, the mode
// (and the sums) are set back by plain stores before each packet so that
// every iteration sees the same state; those stores are timed with it.
#include <benchmark/benchmark.h>

#include "bench_world.h"

namespace {

using bench::DiscardedOutput;
using bench::TrackerWorld;
using bench::Trimmer;

// Idle to Swipe: reads state and motion, writes the STATE line.
void SwipeBegin(benchmark::State& state) {
    TrackerWorld world;
    DiscardedOutput output;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket packet(world.ledger, fakes::Swipe(12, -3, 7));
    for (auto _ : state) {
        world.tracker.mode = GestureMode::Idle;
        world.tracker.HandlePacket(*packet.packet);
        trimmer.Tick();
    }
}
BENCHMARK(SwipeBegin)->UseRealTime();

// Swipe stays Swipe: two reads and two saturating adds.
void SwipeContinue(benchmark::State& state) {
    TrackerWorld world;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket packet(world.ledger, fakes::Swipe(12, -3));
    world.tracker.mode = GestureMode::Swipe;
    for (auto _ : state) {
        world.tracker.HandlePacket(*packet.packet);
        trimmer.Tick();
    }
    benchmark::DoNotOptimize(world.tracker.sumX);
}
BENCHMARK(SwipeContinue)->UseRealTime();

// A lift ending a swipe: the RELEASE line, then a desktop move (switching
// the input desktop and the thread's, and the SWIPE line), back and forth
// between the first two desktops.
void SwipeReleaseWithMove(benchmark::State& state) {
    TrackerWorld world;
    DiscardedOutput output;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket packet(world.ledger, fakes::Lift());
    for (auto _ : state) {
        world.tracker.mode = GestureMode::Swipe;
        world.tracker.sumX = world.desktops.currentIndex == 0 ? -80 : 80;
        world.tracker.HandlePacket(*packet.packet);
        trimmer.Tick();
    }
}
BENCHMARK(SwipeReleaseWithMove)->UseRealTime();

// The same lift with the sum at the threshold: the RELEASE line alone.
void SwipeReleaseWithoutMove(benchmark::State& state) {
    TrackerWorld world;
    DiscardedOutput output;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket packet(world.ledger, fakes::Lift());
    for (auto _ : state) {
        world.tracker.mode = GestureMode::Swipe;
        world.tracker.sumX = SWIPE_THRESHOLD;
        world.tracker.HandlePacket(*packet.packet);
        trimmer.Tick();
    }
}
BENCHMARK(SwipeReleaseWithoutMove)->UseRealTime();

// Idle to Drag: the window lookup, handed to the drag thread.
void DragBegin(benchmark::State& state) {
    TrackerWorld world;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket packet(world.ledger, fakes::Drag(5, 5));
    for (auto _ : state) {
        world.tracker.mode = GestureMode::Idle;
        world.tracker.HandlePacket(*packet.packet);
        trimmer.Tick();
    }
    benchmark::DoNotOptimize(world.tracker.dragTarget);
}
BENCHMARK(DragBegin)->UseRealTime();

// Drag stays Drag: six motion reads, the MOVE line, and the window and cursor
// moves handed to the drag thread. The motion alternates so that the window
// stays where it is on average.
void DragStep(benchmark::State& state) {
    TrackerWorld world;
    DiscardedOutput output;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket forth(world.ledger, fakes::Drag(3, 2));
    fakes::HeldPacket back(world.ledger, fakes::Drag(-3, -2));
    fakes::HeldPacket begin(world.ledger, fakes::Drag(0, 0));
    world.tracker.HandlePacket(*begin.packet);
    bool even = false;
    for (auto _ : state) {
        even = !even;
        world.tracker.HandlePacket(*(even ? forth.packet : back.packet));
        trimmer.Tick();
    }
}
BENCHMARK(DragStep)->UseRealTime();

// A word of none of the three kinds: the word read and nothing else.
void OtherWord(benchmark::State& state) {
    TrackerWorld world;
    Trimmer trimmer(state, world.ledger);
    fakes::HeldPacket packet(world.ledger, fakes::Word(0x0202, 9, 9));
    for (auto _ : state) {
        world.tracker.HandlePacket(*packet.packet);
        trimmer.Tick();
    }
}
BENCHMARK(OtherWord)->UseRealTime();

}  // namespace
