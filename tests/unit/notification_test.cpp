#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "fakes.h"
#include "gesture/notification.h"
#include "platform/host_platform.h"
#include "platform/indexed_name.h"

namespace {

class NotificationTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::Reset();
        connection.api = &api;
        connection.device = &api.device;
    }
    std::vector<std::string> NamesTried() const {
        std::vector<std::string> names;
        for (const host::Call& call : host::CallsNamed("CreateEventW")) {
            names.push_back(call.text.substr(13, call.text.size() - 14));
        }
        return names;
    }
    fakes::FakeApi api;
    TouchpadConnection connection;
};

TEST(IndexedNameTest, PrefixThenEachPartInPlainDecimal) {
    EXPECT_EQ(IndexedName("SynCom", {0}), L"SynCom0");
    EXPECT_EQ(IndexedName("SynCom", {10}), L"SynCom10");
    EXPECT_EQ(IndexedName("TALVEK", {2, 0}), L"TALVEK20");
    EXPECT_EQ(IndexedName("X", {1234567}), L"X1234567");  // no digit grouping
}

TEST_F(NotificationTest, TakesSynCom0WhenNothingHoldsIt) {
    ASSERT_TRUE(SetUpNotification(connection));
    EXPECT_EQ(host::world().createdEventNames, std::vector<std::wstring>{L"SynCom0"});
    EXPECT_NE(connection.notificationEvent, nullptr);
}

TEST_F(NotificationTest, AttachesTheSameEventToTheApiThenTheDevice) {
    ASSERT_TRUE(SetUpNotification(connection));
    EXPECT_EQ(*api.log, (std::vector<std::string>{"api.attach", "device.attach"}));
    EXPECT_EQ(api.attachedEvent, connection.notificationEvent);
    EXPECT_EQ(api.device.attachedEvent, connection.notificationEvent);
    // Kept for the life of the process.
    EXPECT_TRUE(host::world().closedHandles.empty());
}

TEST_F(NotificationTest, SkipsNamesOfExistingEventsAndClosesWhatItOpened) {
    host::world().namedObjects = {{L"SynCom0", host::ObjectKind::Event}, {L"SynCom1", host::ObjectKind::Event}};
    ASSERT_TRUE(SetUpNotification(connection));
    EXPECT_EQ(NamesTried(), (std::vector<std::string>{"SynCom0", "SynCom1", "SynCom2"}));
    EXPECT_EQ(host::world().createdEventNames, std::vector<std::wstring>{L"SynCom2"});
    // The two handles of the foreign events are closed; ours is not.
    EXPECT_EQ(host::world().closedHandles.size(), 2u);
    EXPECT_EQ(std::count(host::world().closedHandles.begin(), host::world().closedHandles.end(),
                         connection.notificationEvent),
              0);
}

TEST_F(NotificationTest, SkipsANameHeldByAnObjectOfAnotherKind) {
    host::world().namedObjects = {{L"SynCom0", host::ObjectKind::Other}};
    ASSERT_TRUE(SetUpNotification(connection));
    EXPECT_EQ(host::world().createdEventNames, std::vector<std::wstring>{L"SynCom1"});
    EXPECT_NE(api.attachedEvent, nullptr);
}

TEST_F(NotificationTest, GivesUpWithoutAttachingWhenNoEventCanBeMade) {
    host::world().namedObjects = {{L"SynCom0", host::ObjectKind::Other}};
    host::world().eventCreationError = 5;  // access denied, for every free name alike
    EXPECT_FALSE(SetUpNotification(connection));
    EXPECT_EQ(NamesTried(), (std::vector<std::string>{"SynCom0", "SynCom1"}));
    EXPECT_TRUE(api.log->empty());
}

}  // namespace

namespace {

TEST(RunWithoutEvent, EndsWithOneLineBeforeAnyDesktopIsMade) {
    host::Reset();
    fakes::FakeApi api;
    api.searches = {{2, {0, 1}}};
    host::world().createApi = [&api](TouchpadApi** out) {
        *out = &api;
        return TOUCHPAD_OK;
    };
    host::world().eventCreationError = 1450;  // out of resources
    fakes::CapturedOutput output;
    EXPECT_EQ(RunTalvek(), 0);
    EXPECT_EQ(output.str(), "Cannot create the notification event.\n");
    EXPECT_TRUE(host::CallsNamed("CreateDesktopW").empty());
}

}  // namespace
