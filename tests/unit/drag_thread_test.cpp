#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "gesture/com_init.h"
#include "gesture/gesture_tracker.h"
#include "platform/host_platform.h"

namespace {

using fakes::Drag;
using fakes::Lift;
using fakes::PacketData;
using fakes::Swipe;

// The program as it runs: the main thread has joined a COM apartment (so
// it can't be rebound), four desktops, a window on the starting desktop and
// one on TALVEK00.
class DragOnEveryDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::Reset();
        desktops.handles = {host::StartingDesktop(), os::CreateNamedDesktop(L"TALVEK00", 0),
                            os::CreateNamedDesktop(L"TALVEK10", 0), os::CreateNamedDesktop(L"TALVEK20", 0)};
        startWindow = host::AddWindow({100, 100, 300, 300}, nullptr, desktops.handles[0]);
        extraWindow = host::AddWindow({100, 100, 300, 300}, nullptr, desktops.handles[1]);
        host::world().cursor = {150, 150};
        EnsureComInitialized();
    }
    void Feed(const std::vector<PacketData>& packets) {
        for (const PacketData& data : packets) {
            fakes::HeldPacket packet(ledger, data);
            tracker.HandlePacket(*packet.packet);
        }
    }
    // The desktop each drag call was made on.
    static std::vector<os::DesktopHandle> DragCallDesktops() {
        std::vector<os::DesktopHandle> desktops;
        for (const host::Call& call : host::world().calls) {
            const std::string name = call.text.substr(0, call.text.find('('));
            if (name == "GetCursorPos" || name == "WindowFromPoint" || name == "GetAncestor" ||
                name == "GetWindowRect" || name == "SetWindowPos" || name == "SetCursorPos") {
                desktops.push_back(call.threadDesktop);
            }
        }
        return desktops;
    }

    DesktopList desktops;
    DragThread dragThread;
    GestureTracker tracker{desktops, dragThread};
    fakes::PacketLedger ledger;
    fakes::CapturedOutput output;
    os::WindowHandle startWindow = nullptr;
    os::WindowHandle extraWindow = nullptr;
};

TEST_F(DragOnEveryDesktopTest, TheMainThreadItselfCannotFollowTheSwitch) {
    Feed({Swipe(-60, 0), Lift()});
    EXPECT_EQ(host::world().inputDesktop, desktops.handles[1]);
    EXPECT_EQ(host::ThreadDesktop(), desktops.handles[0]);  // its SetThreadDesktop failed
}

TEST_F(DragOnEveryDesktopTest, AfterASwitchTheDragWorksOnTheDesktopShown) {
    Feed({Swipe(-60, 0), Lift()});
    host::world().calls.clear();
    Feed({Drag(0, 0), Drag(10, 20), Lift()});
    EXPECT_EQ(host::WindowOf(extraWindow).rect.left, 110);
    EXPECT_EQ(host::WindowOf(extraWindow).rect.top, 80);
    EXPECT_EQ(host::WindowOf(startWindow).rect.left, 100);
    EXPECT_EQ(host::world().cursor.x, 160);
    EXPECT_EQ(host::world().cursor.y, 130);
    const std::vector<os::DesktopHandle> made = DragCallDesktops();
    EXPECT_EQ(made, std::vector<os::DesktopHandle>(made.size(), desktops.handles[1]));
    EXPECT_EQ(made.size(), 7u);  // cursor, window, ancestor; rectangle, move, cursor, cursor move
}

TEST_F(DragOnEveryDesktopTest, TheDragFollowsEverySwitchThereAndBack) {
    for (int step = 1; step <= 3; ++step) {
        Feed({Swipe(-60, 0), Lift(), Drag(0, 0), Drag(1, 0), Lift()});
        EXPECT_EQ(DragCallDesktops().back(), desktops.handles[static_cast<std::size_t>(step)]) << step;
    }
    for (int step = 2; step >= 0; --step) {
        Feed({Swipe(60, 0), Lift(), Drag(0, 0), Drag(1, 0), Lift()});
        EXPECT_EQ(DragCallDesktops().back(), desktops.handles[static_cast<std::size_t>(step)]) << step;
    }
    EXPECT_EQ(host::WindowOf(startWindow).rect.left, 101);
    EXPECT_EQ(host::WindowOf(extraWindow).rect.left, 102);
}

TEST_F(DragOnEveryDesktopTest, ANullEntryLeavesTheBindingAsItWas) {
    desktops.handles[2] = nullptr;
    Feed({Swipe(-60, 0), Lift(), Drag(0, 0), Drag(1, 0), Lift()});  // to TALVEK00
    Feed({Swipe(-60, 0), Lift()});                                  // to the null entry
    host::world().calls.clear();
    Feed({Drag(0, 0), Drag(1, 0), Lift()});
    const std::vector<os::DesktopHandle> made = DragCallDesktops();
    EXPECT_EQ(made, std::vector<os::DesktopHandle>(made.size(), desktops.handles[1]));
    EXPECT_TRUE(host::CallsNamed("SetThreadDesktop").empty());
}

TEST_F(DragOnEveryDesktopTest, AfterMovingOntoANullEntryTheDragStaysWithTheDesktopShown) {
    desktops.handles[2] = nullptr;
    Feed({Swipe(-60, 0), Lift(), Swipe(-60, 0), Lift()});  // TALVEK00 shown, then the null entry
    ASSERT_EQ(desktops.currentIndex, 2);
    ASSERT_EQ(host::world().inputDesktop, desktops.handles[1]);
    Feed({Drag(0, 0), Drag(4, 0), Lift()});
    EXPECT_EQ(host::WindowOf(extraWindow).rect.left, 104);
    EXPECT_EQ(host::world().cursor.x, 154);
}

TEST_F(DragOnEveryDesktopTest, TheMoveLineIsWrittenByTheMainThreadBeforeTheMoves) {
    Feed({Drag(0, 0), Drag(3, 4)});
    EXPECT_EQ(output.str(), "MOVE : 3, 4\n");
    // Every property read is the main thread's: the packet never crosses over.
    EXPECT_EQ(ledger.reads.size(), 1u + 7u);
}

TEST(DragThreadFallback, WithoutAThreadTheCallsAreTheCallersOwn) {
    host::Reset();
    host::world().threadStartFails = true;
    DragThread dragThread;
    const os::WindowHandle window = host::AddWindow({0, 0, 50, 50});
    os::WindowHandle found = nullptr;
    dragThread.Run(host::StartingDesktop(), [](void* out) {
        *static_cast<os::WindowHandle*>(out) = os::WindowFromPoint({10, 10});
    }, &found);
    EXPECT_EQ(found, window);
    EXPECT_EQ(host::CallsNamed("WindowFromPoint")[0].threadId, os::GetCurrentThreadId());
}

TEST(DragThreadFallback, ADesktopTheThreadCannotBeBoundToLeavesTheCallsToTheCaller) {
    host::Reset();
    DragThread dragThread;
    bool ran = false;
    // A handle that names no desktop: the binding fails.
    dragThread.Run(reinterpret_cast<os::DesktopHandle>(0x1), [](void* flag) { *static_cast<bool*>(flag) = true; },
                   &ran);
    EXPECT_TRUE(ran);
    const std::vector<host::Call> binds = host::CallsNamed("SetThreadDesktop");
    ASSERT_EQ(binds.size(), 1u);
    EXPECT_NE(binds[0].threadId, os::GetCurrentThreadId());
}

}  // namespace
