#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/desktop_list.h"
#include "case_name.h"
#include "fakes.h"
#include "platform/host_platform.h"

namespace {

enum class Move { Previous, Next };

// One move and what it must leave behind.
struct Step {
    Move move;
    std::int32_t index;  // the list's index after the move
    std::string line;    // written by the move, if any
    int shown;           // the entry of the desktop shown after it
};

struct ListCase {
    const char* name;
    std::vector<bool> extraMade;  // which of the three extra desktops exist
    std::int32_t startIndex;
    int startShown;
    std::vector<Step> steps;
};

// Lists the case by its name.
void PrintTo(const ListCase& test, std::ostream* out) {
    *out << test.name;
}

class DesktopListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(DesktopListTest, MovesOneStepAtATimeWithinTheBounds) {
    host::Reset();
    DesktopList list;
    std::vector<os::DesktopHandle> made = {host::StartingDesktop()};
    list.handles = {host::StartingDesktop()};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::wstring name = L"TALVEK" + std::to_wstring(k) + L"0";
        made.push_back(os::CreateNamedDesktop(name.c_str(), 0));
        list.handles.push_back(GetParam().extraMade[k] ? made.back() : nullptr);
    }
    list.currentIndex = GetParam().startIndex;
    host::world().inputDesktop = made[static_cast<std::size_t>(GetParam().startShown)];
    for (const Step& step : GetParam().steps) {
        fakes::CapturedOutput output;
        if (step.move == Move::Previous) {
            list.SwitchToPrevious();
        } else {
            list.SwitchToNext();
        }
        EXPECT_EQ(list.currentIndex, step.index);
        EXPECT_EQ(output.str(), step.line);
        EXPECT_EQ(host::world().inputDesktop, made[static_cast<std::size_t>(step.shown)]);
    }
}

const std::string R = "SWIPE RIGHT\n";
const std::string L = "SWIPE LEFT\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopListTest,
    ::testing::Values(
        ListCase{"NoPreviousAtTheFirst", {true, true, true}, 0, 0, {{Move::Previous, 0, "", 0}}},
        ListCase{"AllTheWayRightAndOnePast",
                 {true, true, true},
                 0,
                 0,
                 {{Move::Next, 1, R, 1}, {Move::Next, 2, R, 2}, {Move::Next, 3, R, 3}, {Move::Next, 3, "", 3}}},
        ListCase{"AllTheWayBackAndOnePast",
                 {true, true, true},
                 3,
                 3,
                 {{Move::Previous, 2, L, 2},
                  {Move::Previous, 1, L, 1},
                  {Move::Previous, 0, L, 0},
                  {Move::Previous, 0, "", 0}}},
        ListCase{"ANullEntryTakesTheStepButShowsNothingNew",
                 {true, false, true},
                 1,
                 1,
                 {{Move::Next, 2, R, 1}, {Move::Next, 3, R, 3}}},
        ListCase{"BackFromANullEntry", {true, false, true}, 2, 1, {{Move::Previous, 1, L, 1}}},
        ListCase{"NothingWasMade",
                 {false, false, false},
                 0,
                 0,
                 {{Move::Next, 1, R, 0},
                  {Move::Next, 2, R, 0},
                  {Move::Next, 3, R, 0},
                  {Move::Previous, 2, L, 0},
                  {Move::Previous, 1, L, 0},
                  {Move::Previous, 0, L, 0}}},
        // Someone else switched to the last desktop; the list goes from its own index.
        ListCase{"ASwitchFromOutsideIsNotFollowed", {true, true, true}, 0, 3, {{Move::Next, 1, R, 1}}}),
    CaseName());

TEST(DesktopListMoves, TheThreadIsBoundToTheDesktopShown) {
    host::Reset();
    DesktopList list;
    const os::DesktopHandle extra = os::CreateNamedDesktop(L"TALVEK00", 0);
    list.handles = {host::StartingDesktop(), extra, nullptr, nullptr};
    fakes::CapturedOutput output;
    list.SwitchToNext();
    EXPECT_EQ(host::ThreadDesktop(), extra);
    // The index changes before the calls, and the line comes after them.
    EXPECT_EQ(host::CallNames(), (std::vector<std::string>{"CreateDesktopW", "SwitchDesktop", "SetThreadDesktop"}));
}

TEST(BuildDesktopListTest, TheStartingDesktopThenTheThreeExtraOnesInOrder) {
    host::Reset();
    host::world().failingDesktops = {L"TALVEK10"};
    const DesktopList list = BuildDesktopList();
    ASSERT_EQ(list.handles.size(), 4u);
    EXPECT_EQ(list.handles[0], host::StartingDesktop());
    EXPECT_EQ(list.handles[1], host::DesktopHandleOf(1));
    EXPECT_EQ(list.handles[2], nullptr);
    EXPECT_EQ(list.handles[3], host::DesktopHandleOf(2));
    EXPECT_EQ(host::world().desktopNames, (std::vector<std::wstring>{L"Default", L"TALVEK00", L"TALVEK20"}));
    EXPECT_EQ(list.currentIndex, 0);
    // The build switches nothing and leaves the thread where it was.
    EXPECT_TRUE(host::CallsNamed("SwitchDesktop").empty());
    EXPECT_EQ(host::world().inputDesktop, host::StartingDesktop());
    EXPECT_EQ(host::ThreadDesktop(), host::StartingDesktop());
}

}  // namespace
