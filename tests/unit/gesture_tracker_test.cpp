#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "case_name.h"
#include "fakes.h"
#include "gesture/gesture_tracker.h"
#include "platform/host_platform.h"

namespace {

using fakes::Drag;
using fakes::Lift;
using fakes::PacketData;
using fakes::Swipe;
using fakes::Word;

constexpr std::int32_t MAX = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t MIN = std::numeric_limits<std::int32_t>::min();

// A packet stream through the tracker, with the list of four desktops at a
// starting index; the window under the cursor sits at (100, 200).
struct SequenceCase {
    const char* name;
    std::int32_t startIndex;
    std::vector<PacketData> packets;
    std::string output;
    std::int32_t endIndex;
    GestureMode endMode;
};

// Lists the case by its name.
void PrintTo(const SequenceCase& test, std::ostream* out) {
    *out << test.name;
}

class GestureSequenceTest : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(GestureSequenceTest, WritesTheLinesAndMovesTheList) {
    host::Reset();
    host::AddWindow({100, 200, 300, 400});
    host::world().cursor = {150, 250};
    DesktopList desktops;
    desktops.handles = {host::StartingDesktop(), nullptr, nullptr, nullptr};
    desktops.currentIndex = GetParam().startIndex;
    DragThread dragThread;
    GestureTracker tracker(desktops, dragThread);
    fakes::PacketLedger ledger;
    fakes::CapturedOutput output;
    for (const PacketData& data : GetParam().packets) {
        fakes::HeldPacket packet(ledger, data);
        tracker.HandlePacket(*packet.packet);
    }
    EXPECT_EQ(output.str(), GetParam().output);
    EXPECT_EQ(desktops.currentIndex, GetParam().endIndex);
    EXPECT_EQ(tracker.mode, GetParam().endMode) << GestureModeName(tracker.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, GestureSequenceTest,
    ::testing::Values(
        SequenceCase{"RightwardSwipeGoesBack", 1, {Swipe(30, 5, 4), Swipe(40, -2, 8), Lift()},
                     "STATE : 4\nRELEASE (70,3) \nSWIPE LEFT\n", 0, GestureMode::Idle},
        SequenceCase{"NoPreviousAtTheFirstDesktop", 0, {Swipe(30, 5, 4), Swipe(40, -2), Lift()},
                     "STATE : 4\nRELEASE (70,3) \n", 0, GestureMode::Idle},
        SequenceCase{"LeftwardSwipeGoesOn", 0, {Swipe(-80, 0), Lift()}, "STATE : 0\nRELEASE (-80,0) \nSWIPE RIGHT\n",
                     1, GestureMode::Idle},
        SequenceCase{"ExactlyTheThresholdMovesNothing", 0, {Swipe(50, 9), Lift()}, "STATE : 0\nRELEASE (50,9) \n", 0,
                     GestureMode::Idle},
        SequenceCase{"JustAboveTheThresholdGoesBack", 2, {Swipe(51, 0), Lift()},
                     "STATE : 0\nRELEASE (51,0) \nSWIPE LEFT\n", 1, GestureMode::Idle},
        SequenceCase{"JustBelowTheThresholdGoesOn", 2, {Swipe(49, 0), Lift()},
                     "STATE : 0\nRELEASE (49,0) \nSWIPE RIGHT\n", 3, GestureMode::Idle},
        SequenceCase{"NoMotionGoesOn", 0, {Swipe(0, 0), Lift()}, "STATE : 0\nRELEASE (0,0) \nSWIPE RIGHT\n", 1,
                     GestureMode::Idle},
        SequenceCase{"NoNextAtTheLastDesktop", 3, {Swipe(-10, 0), Lift()}, "STATE : 0\nRELEASE (-10,0) \n", 3,
                     GestureMode::Idle},
        SequenceCase{"EachSwipeStartsFromZero", 0, {Swipe(20, 0, 1), Lift(), Swipe(20, 0, 2), Lift()},
                     "STATE : 1\nRELEASE (20,0) \nSWIPE RIGHT\nSTATE : 2\nRELEASE (20,0) \nSWIPE RIGHT\n", 2,
                     GestureMode::Idle},
        SequenceCase{"ADragPacketInsideASwipeChangesNothing", 1, {Swipe(10, 0), Drag(5, 5), Swipe(10, 0), Lift()},
                     "STATE : 0\nRELEASE (20,0) \nSWIPE RIGHT\n", 2, GestureMode::Idle},
        SequenceCase{"ASwipePacketInsideADragChangesNothing", 0, {Drag(7, 7), Swipe(10, 0), Drag(3, 4), Lift()},
                     "MOVE : 3, 4\n", 0, GestureMode::Idle},
        SequenceCase{"LiftWhileIdleDoesNothing", 0, {Lift()}, "", 0, GestureMode::Idle},
        SequenceCase{"OtherWordsNeitherAddNorEnd", 0, {Swipe(10, 1), Word(0x0202, 99, 99), Word(0x0001, 5, 5),
                                                       Word(0x0003, 5, 5), Swipe(10, 1), Lift()},
                     "STATE : 0\nRELEASE (20,2) \nSWIPE RIGHT\n", 1, GestureMode::Idle},
        SequenceCase{"OtherWordsDoNotEndADrag", 0, {Drag(1, 1), Word(0x0202), Drag(2, 2)}, "MOVE : 2, 2\n", 0,
                     GestureMode::Drag},
        SequenceCase{"BitsOutsideTheSwipeMaskAreIgnored", 0, {Word(0x1303, -60, 0), Word(0x7303, -1, 0), Lift()},
                     "STATE : 0\nRELEASE (-61,0) \nSWIPE RIGHT\n", 1, GestureMode::Idle},
        SequenceCase{"BitsOutsideTheDragMaskAreIgnored", 0, {Word(0x0304), Word(0x0014, 1, 2), Word(0x0104, 3, 4)},
                     "MOVE : 1, 2\nMOVE : 3, 4\n", 0, GestureMode::Drag},
        SequenceCase{"ADragEndsSilentlyThenASwipeCanBegin", 0, {Drag(1, 1), Drag(1, 1), Lift(), Swipe(-5, 0), Lift()},
                     "MOVE : 1, 1\nSTATE : 0\nRELEASE (-5,0) \nSWIPE RIGHT\n", 1, GestureMode::Idle},
        SequenceCase{"SumsHoldAtTheUpperLimit", 0, {Swipe(MAX, MAX), Swipe(1, 5), Lift()},
                     "STATE : 0\nRELEASE (2147483647,2147483647) \n", 0, GestureMode::Idle},
        SequenceCase{"SumsHoldAtTheLowerLimit", 0, {Swipe(MIN, MIN), Swipe(-1, -1), Lift()},
                     "STATE : 0\nRELEASE (-2147483648,-2147483648) \nSWIPE RIGHT\n", 1, GestureMode::Idle}),
    CaseName());

struct FreshWorld {
    FreshWorld() { host::Reset(); }
};

// A tracker over four desktops (three of them missing), fed packet by packet.
// The world is made fresh before any member touches it.
struct TrackerRig : FreshWorld {
    void Feed(fakes::PacketLedger& ledger, const std::vector<PacketData>& packets) {
        for (const PacketData& data : packets) {
            fakes::HeldPacket packet(ledger, data);
            tracker.HandlePacket(*packet.packet);
        }
    }
    DesktopList desktops{{host::StartingDesktop(), nullptr, nullptr, nullptr}, 0, nullptr};
    DragThread dragThread;
    GestureTracker tracker{desktops, dragThread};
    fakes::CapturedOutput output;
};

// The property reads each kind of packet makes, in order.
struct ReadsCase {
    const char* name;
    std::vector<PacketData> before;  // brings the tracker into its mode
    PacketData packet;
    std::vector<std::int32_t> reads;
};

// Lists the case by its name.
void PrintTo(const ReadsCase& test, std::ostream* out) {
    *out << test.name;
}

class GestureReadsTest : public ::testing::TestWithParam<ReadsCase> {};

TEST_P(GestureReadsTest, ReadsThePropertiesInOrder) {
    TrackerRig rig;
    fakes::PacketLedger before;
    rig.Feed(before, GetParam().before);
    fakes::PacketLedger ledger;
    rig.Feed(ledger, {GetParam().packet});
    EXPECT_EQ(ledger.reads, GetParam().reads);
}

constexpr std::int32_t W = PROP_CONTACT_WORD;
constexpr std::int32_t S = PROP_STATE;
constexpr std::int32_t X = PROP_DELTA_X;
constexpr std::int32_t Y = PROP_DELTA_Y;

INSTANTIATE_TEST_SUITE_P(
    Kinds, GestureReadsTest,
    ::testing::Values(ReadsCase{"SwipeBegins", {}, Swipe(1, 1), {W, S, X, Y}},
                      ReadsCase{"SwipeGoesOn", {Swipe(1, 1)}, Swipe(1, 1), {W, X, Y}},
                      ReadsCase{"DragBegins", {}, Drag(1, 1), {W}},
                      ReadsCase{"DragSteps", {Drag(1, 1)}, Drag(1, 1), {W, Y, X, Y, X, Y, X}},
                      ReadsCase{"SwipeEnds", {Swipe(1, 1)}, Lift(), {W}},
                      ReadsCase{"DragInSwipe", {Swipe(1, 1)}, Drag(1, 1), {W}},
                      ReadsCase{"OtherWord", {}, Word(0x202), {W}}),
    CaseName());

// Reads that fail never leave a stale value behind.
TEST(GestureReadFailures, APacketWhoseWordCannotBeReadChangesNothing) {
    TrackerRig rig;
    fakes::PacketLedger ledger;
    PacketData unreadable = Lift();
    unreadable.failingProperties = {PROP_CONTACT_WORD};
    rig.Feed(ledger, {Swipe(10, 0, 2), unreadable, Swipe(-90, 0), Lift()});
    // The unreadable packet did not end the swipe, even though the word before it was a swipe contact.
    EXPECT_EQ(rig.output.str(), "STATE : 2\nRELEASE (-80,0) \nSWIPE RIGHT\n");
}

TEST(GestureReadFailures, FailedStateAndMotionReadsCountAsZero) {
    TrackerRig rig;
    fakes::PacketLedger ledger;
    PacketData first = Swipe(40, 3, 6);
    first.failingProperties = {PROP_STATE, PROP_DELTA_X};
    PacketData second = Swipe(7, 4);
    second.failingProperties = {PROP_DELTA_Y};
    rig.Feed(ledger, {first, second, Lift()});
    EXPECT_EQ(rig.output.str(), "STATE : 0\nRELEASE (7,3) \nSWIPE RIGHT\n");
}

}  // namespace
