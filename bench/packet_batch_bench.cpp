// One whole wake-up against the host fakes: the notification drain, then a
// fresh packet object, a load and the tracker for each of N packets, and the
// load that finds none. Reported per packet.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "bench_world.h"
#include "gesture/packet_pump.h"

namespace {

// Gives out the same N packets at every wake-up. The fake device would do,
// but it copies each packet out of a queue and logs every load as a string,
// which would be counted as the pump's own work.
class ReplayDevice final : public TouchpadDevice {
public:
    explicit ReplayDevice(std::vector<fakes::PacketData> packets) : packets_(std::move(packets)) {}

    TouchpadResult TOUCHPAD_CALL QueryInterface(const os::Guid&, void**) override { return -1; }
    std::uint32_t TOUCHPAD_CALL AddRef() override { return 2; }
    std::uint32_t TOUCHPAD_CALL Release() override { return 1; }
    TouchpadResult TOUCHPAD_CALL Unused3() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused4() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused5() override { return -1; }
    TouchpadResult TOUCHPAD_CALL Unused6() override { return -1; }
    TouchpadResult TOUCHPAD_CALL SetEventNotification(os::Handle) override { return TOUCHPAD_OK; }
    TouchpadResult TOUCHPAD_CALL Unused8() override { return -1; }
    TouchpadResult TOUCHPAD_CALL LoadPacket(TouchpadPacket* packet) override {
        if (next_ == packets_.size()) {
            next_ = 0;
            return TOUCHPAD_NO_PACKET;
        }
        static_cast<fakes::FakePacket*>(packet)->data = packets_[next_++];
        return TOUCHPAD_OK;
    }

private:
    std::vector<fakes::PacketData> packets_;
    std::size_t next_ = 0;
};

using bench::Trimmer;

// The tracker is put in `mode` once and stays in it: the batch alternates
// `forth` and `back`, contacts of that mode whose motions cancel out.
void RunBatches(benchmark::State& state, GestureMode mode, const fakes::PacketData& forth,
                const fakes::PacketData& back) {
    bench::TrackerWorld world;
    bench::DiscardedOutput output;
    fakes::FakeApi api;
    Trimmer trimmer(state, world.ledger, &api);
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<fakes::PacketData> packets;
    for (std::size_t k = 0; k < count; ++k) {
        packets.push_back(k % 2 == 0 ? forth : back);
    }
    ReplayDevice device(std::move(packets));
    host::world().createPacket = [&world] { return new fakes::FakePacket(world.ledger); };
    const TouchpadConnection connection{&api, &device, nullptr};
    if (mode == GestureMode::Drag) {
        world.tracker.HandlePacket(*fakes::HeldPacket(world.ledger, fakes::Drag(0, 0)).packet);  // picks the window
    }
    world.tracker.mode = mode;
    for (auto _ : state) {
        RunPacketBatch(connection, world.tracker);
        trimmer.Tick();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}

void PacketBatchSwipe(benchmark::State& state) {
    RunBatches(state, GestureMode::Swipe, fakes::Swipe(2, -1), fakes::Swipe(-2, 1));
}
BENCHMARK(PacketBatchSwipe)->RangeMultiplier(8)->Range(1, 512)->UseRealTime();

void PacketBatchDrag(benchmark::State& state) {
    RunBatches(state, GestureMode::Drag, fakes::Drag(1, 1), fakes::Drag(-1, -1));
}
BENCHMARK(PacketBatchDrag)->RangeMultiplier(8)->Range(1, 512)->UseRealTime();

}  // namespace
