#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes.h"
#include "gesture/packet_pump.h"
#include "platform/host_platform.h"

namespace {

using fakes::Lift;
using fakes::Swipe;

class PacketPumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::Reset();
        host::world().createPacket = [this] { return new fakes::FakePacket(ledger); };
        connection.api = &api;
        connection.device = &api.device;
        desktops.handles = {host::StartingDesktop(), nullptr, nullptr, nullptr};
    }
    // The packets that reached the tracker, by their first property read.
    int PacketsHandled() const {
        return static_cast<int>(std::count(ledger.reads.begin(), ledger.reads.end(), PROP_CONTACT_WORD));
    }
    fakes::CapturedOutput quiet;  // tests that read the lines capture them themselves
    fakes::PacketLedger ledger;
    fakes::FakeApi api;
    TouchpadConnection connection;
    DesktopList desktops;
    DragThread dragThread;
    GestureTracker tracker{desktops, dragThread};
};

TEST_F(PacketPumpTest, AnEmptyWakeUpMakesOneObjectAndReleasesIt) {
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(ledger.created, 1);
    EXPECT_EQ(ledger.released, 1);
    EXPECT_EQ(PacketsHandled(), 0);
}

TEST_F(PacketPumpTest, ThreePacketsReachTheTrackerInOrderEachInAFreshObject) {
    api.device.queue = {Swipe(30, 5, 9), Swipe(40, -2), Lift()};
    desktops.currentIndex = 1;
    fakes::CapturedOutput output;
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(output.str(), "STATE : 9\nRELEASE (70,3) \nSWIPE LEFT\n");
    EXPECT_EQ(ledger.created, 4);  // three packets and the load that finds none
    EXPECT_EQ(ledger.released, 4);
    EXPECT_EQ(api.device.loads, 4);
}

TEST_F(PacketPumpTest, OneObjectIsAliveAtATime) {
    api.device.queue = {Swipe(1, 1), Swipe(1, 1)};
    int mostAlive = 0;
    host::world().createPacket = [this, &mostAlive] {
        mostAlive = std::max(mostAlive, ledger.created - ledger.released + 1);
        return new fakes::FakePacket(ledger);
    };
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(mostAlive, 1);
}

TEST_F(PacketPumpTest, ALoadFailingWithAnotherCodeStillHandsThePacketOn) {
    fakes::PacketData odd = Swipe(5, 0, 3);
    odd.loadResult = static_cast<TouchpadResult>(0x8000FFFFu);
    api.device.queue = {odd};
    fakes::CapturedOutput output;
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(output.str(), "STATE : 3\n");
    EXPECT_EQ(tracker.mode, GestureMode::Swipe);
}

TEST_F(PacketPumpTest, DrainsEveryPendingNotificationWithAZeroedVariableFirst) {
    api.pendingNotifications = 2;
    RunPacketBatch(connection, tracker);
    const std::vector<std::string> expected = {"api.take(0)", "api.take(0)", "api.take(0)", "device.load"};
    EXPECT_EQ(*api.log, expected);
}

TEST_F(PacketPumpTest, ADrainWhoseFirstTakeFailsGoesStraightToThePackets) {
    api.device.queue = {Swipe(1, 1)};
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(*api.log, (std::vector<std::string>{"api.take(0)", "device.load", "device.load"}));
}

TEST_F(PacketPumpTest, ComIsInitialisedOnceBeforeTheFirstObject) {
    api.device.queue = {Swipe(1, 1)};
    RunPacketBatch(connection, tracker);
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(host::CallsNamed("CoInitialize").size(), 1u);
    const std::vector<std::string> names = host::CallNames();
    const auto firstInit = std::find(names.begin(), names.end(), "CoInitialize");
    const auto firstCreate = std::find(names.begin(), names.end(), "CoCreateInstance");
    EXPECT_LT(firstInit, firstCreate);
    // The class is looked up anew for every object.
    EXPECT_EQ(host::CallsNamed("CLSIDFromProgID").size(), 3u);
    EXPECT_EQ(host::CallsNamed("CLSIDFromProgID")[0].text, "CLSIDFromProgID(SynCom.SynPacket)");
    EXPECT_EQ(host::CallsNamed("CoCreateInstance")[0].text, "CoCreateInstance(21)");
}

TEST_F(PacketPumpTest, AnUnregisteredClassEndsTheBatchWithoutLoadingIntoNothing) {
    host::world().createPacket = nullptr;
    api.device.queue = {Swipe(1, 1)};
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(api.device.loads, 0);
    EXPECT_EQ(api.device.loadsIntoNothing, 0);
    EXPECT_EQ(api.device.queue.size(), 1u);  // left for a wake-up that can make objects
}

TEST_F(PacketPumpTest, AGestureSpreadsOverWakeUps) {
    fakes::CapturedOutput output;
    api.device.queue = {Swipe(60, 0, 1)};
    RunPacketBatch(connection, tracker);
    api.device.queue = {Swipe(10, 0), Lift()};
    RunPacketBatch(connection, tracker);
    EXPECT_EQ(output.str(), "STATE : 1\nRELEASE (70,0) \n");
}

}  // namespace
