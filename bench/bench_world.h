// What every benchmark stands on: the host platform face set up as the
// program runs, standard output thrown away, and the records that the fakes
// and the host face keep trimmed now and then.
//
// Every benchmark is timed by the wall clock (UseRealTime): while the drag
// thread works the calling thread sleeps, and its CPU time would leave that
// out. The figures include the host face's own bookkeeping (each platform
// call is formatted into a string and recorded), which the Win32 face doesn't do.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iostream>
#include <streambuf>

#include "desktop/desktop_list.h"
#include "fakes.h"
#include "gesture/drag_thread.h"
#include "gesture/gesture_tracker.h"
#include "platform/host_platform.h"

namespace bench {

// Takes what std::cout is given and drops it, so the swipe and move lines
// cost their formatting but don't reach the terminal.
class DiscardedOutput {
public:
    DiscardedOutput() : previous_(std::cout.rdbuf(&sink_)) {}
    DiscardedOutput(const DiscardedOutput&) = delete;
    DiscardedOutput& operator=(const DiscardedOutput&) = delete;
    ~DiscardedOutput() {
        std::cout.rdbuf(previous_);
        std::cout.clear();
    }

private:
    class Sink final : public std::streambuf {
    public:
        Sink() { setp(area_, area_ + sizeof area_); }

    protected:
        int_type overflow(int_type c) override {
            setp(area_, area_ + sizeof area_);
            return traits_type::not_eof(c);
        }

    private:
        char area_[256];
    };

    Sink sink_;
    std::streambuf* previous_;
};

// The host face records every call, and the fakes every read and operation,
// in vectors that only grow. Every so many iterations they are emptied, with
// the clock stopped; the pause costs little once shared out over the batch.
class Trimmer {
public:
    Trimmer(benchmark::State& state, fakes::PacketLedger& ledger, fakes::FakeApi* api = nullptr)
        : state_(state), ledger_(ledger), api_(api) {}

    void Tick() {
        if (++count_ % EVERY == 0) {
            state_.PauseTiming();
            Trim();
            state_.ResumeTiming();
        }
    }
    void Trim() {
        host::world().calls.clear();
        ledger_.reads.clear();
        if (api_ != nullptr) {
            api_->log->clear();
        }
    }

private:
    static constexpr std::uint64_t EVERY = 1024;
    benchmark::State& state_;
    fakes::PacketLedger& ledger_;
    fakes::FakeApi* api_;
    std::uint64_t count_ = 0;
};

// A fresh host world before anything else is made.
struct FreshWorld {
    FreshWorld() { host::Reset(); }
};

// The program's objects over four desktops, each with a window under the
// cursor, the list on the starting desktop.
struct TrackerWorld {
    TrackerWorld() {
        desktops.handles = {host::StartingDesktop(), os::CreateNamedDesktop(L"TALVEK00", 0),
                            os::CreateNamedDesktop(L"TALVEK10", 0), os::CreateNamedDesktop(L"TALVEK20", 0)};
        for (const os::DesktopHandle desktop : desktops.handles) {
            host::AddWindow({100, 200, 300, 400}, nullptr, desktop);
        }
        host::world().cursor = {150, 250};
    }

    FreshWorld fresh;
    DesktopList desktops;
    DragThread dragThread;
    GestureTracker tracker{desktops, dragThread};
    fakes::PacketLedger ledger;
};

}  // namespace bench
