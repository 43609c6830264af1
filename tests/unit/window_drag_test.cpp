#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fakes.h"
#include "gesture/window_drag.h"
#include "platform/host_platform.h"

namespace {

class WindowDragTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::Reset();
        window = host::AddWindow({100, 200, 400, 350});
        host::world().cursor = {400, 300};
    }
    void Step(std::int32_t dx, std::int32_t dy, os::WindowHandle target) {
        fakes::HeldPacket packet(ledger, fakes::Drag(dx, dy));
        StepWindowDrag(*packet.packet, target, dragThread, host::StartingDesktop());
    }
    os::WindowHandle window = nullptr;
    DragThread dragThread;
    fakes::PacketLedger ledger;
    fakes::CapturedOutput output;
};

TEST_F(WindowDragTest, AStepMovesWindowAndCursorByXAndMinusY) {
    Step(5, 3, window);
    EXPECT_EQ(output.str(), "MOVE : 5, 3\n");
    const os::Rect rect = host::WindowOf(window).rect;
    EXPECT_EQ(rect.left, 105);
    EXPECT_EQ(rect.top, 197);
    EXPECT_EQ(rect.right - rect.left, 300);  // size kept
    EXPECT_EQ(rect.bottom - rect.top, 150);
    EXPECT_EQ(host::world().cursor.x, 405);
    EXPECT_EQ(host::world().cursor.y, 297);
}

TEST_F(WindowDragTest, TheCallsComeInOrderWithSizeAndZOrderKept) {
    Step(5, 3, window);
    EXPECT_EQ(host::CallNames(), (std::vector<std::string>{"SetThreadDesktop", "GetWindowRect", "SetWindowPos",
                                                           "GetCursorPos", "SetCursorPos"}));
    EXPECT_EQ(host::CallsNamed("SetWindowPos")[0].text, "SetWindowPos(w0, 0, 105, 197, 0, 0, 5)");
}

TEST_F(WindowDragTest, AStepWithoutMotionSetsTheWindowToItsOwnPlace) {
    Step(0, 0, window);
    EXPECT_EQ(output.str(), "MOVE : 0, 0\n");
    EXPECT_EQ(host::CallsNamed("SetWindowPos")[0].text, "SetWindowPos(w0, 0, 100, 200, 0, 0, 5)");
    EXPECT_EQ(host::world().cursor.x, 400);
    EXPECT_EQ(host::world().cursor.y, 300);
}

TEST_F(WindowDragTest, EachStepStartsWhereTheLastLeftOff) {
    Step(5, 3, window);
    Step(5, 3, window);
    EXPECT_EQ(host::WindowOf(window).rect.left, 110);
    EXPECT_EQ(host::WindowOf(window).rect.top, 194);
    EXPECT_EQ(host::world().cursor.x, 410);
    EXPECT_EQ(host::world().cursor.y, 294);
}

TEST_F(WindowDragTest, WithNoTargetOnlyTheCursorMoves) {
    Step(-7, -2, nullptr);
    EXPECT_EQ(output.str(), "MOVE : -7, -2\n");
    EXPECT_EQ(host::WindowOf(window).rect.left, 100);
    EXPECT_EQ(host::world().cursor.x, 393);
    EXPECT_EQ(host::world().cursor.y, 302);
}

TEST_F(WindowDragTest, ExtremeMotionHoldsAtTheCoordinateLimits) {
    Step(std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min(), window);
    EXPECT_EQ(host::CallsNamed("SetWindowPos")[0].text, "SetWindowPos(w0, 0, 2147483647, 2147483647, 0, 0, 5)");
    EXPECT_EQ(host::CallsNamed("SetCursorPos")[0].text, "SetCursorPos(2147483647, 2147483647)");
}

TEST_F(WindowDragTest, BeginPicksTheTopLevelWindowOfTheControlUnderTheCursor) {
    const os::WindowHandle dialog = host::AddWindow({300, 250, 600, 500});
    host::AddWindow({380, 280, 450, 320}, dialog);  // a button inside it
    EXPECT_EQ(BeginWindowDrag(dragThread, host::StartingDesktop()), dialog);
    EXPECT_EQ(output.str(), "");
    EXPECT_TRUE(host::CallsNamed("SetWindowPos").empty());
}

// Cursor calls fail on a thread whose desktop isn't the input desktop.
TEST_F(WindowDragTest, ACursorThatCannotBeReadPicksNoWindowAndIsNotMoved) {
    host::world().cursor = {150, 250};
    host::world().inputDesktop = os::CreateNamedDesktop(L"elsewhere", 0);
    const os::WindowHandle corner = host::AddWindow({0, 0, 50, 50});
    EXPECT_EQ(BeginWindowDrag(dragThread, host::StartingDesktop()), nullptr) << "not the window at (0, 0)";
    Step(5, 3, corner);
    EXPECT_TRUE(host::CallsNamed("SetCursorPos").empty());
    EXPECT_EQ(host::WindowOf(corner).rect.left, 5);  // the window itself still moves
}

TEST_F(WindowDragTest, BeginFindsNothingWhereThereIsNoWindow) {
    host::world().cursor = {900, 900};
    EXPECT_EQ(BeginWindowDrag(dragThread, host::StartingDesktop()), nullptr);
}

}  // namespace
