#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "case_name.h"
#include "fakes.h"
#include "platform/host_platform.h"

namespace {

constexpr TouchpadResult E_FAIL_CODE = static_cast<TouchpadResult>(0x80004005u);

struct ConnectCase {
    const char* name;
    std::optional<TouchpadResult> apiResult;  // nothing: the API object is created
    std::map<std::int32_t, fakes::SearchAnswer> searches;
    TouchpadResult openResult;
    ConnectOutcome outcome;
    std::vector<std::string> calls;  // to the API object, in order
    std::string output;              // of the whole run, when it ends
};

// Lists the case by its name.
void PrintTo(const ConnectCase& test, std::ostream* out) {
    *out << test.name;
}

class ConnectTest : public ::testing::TestWithParam<ConnectCase> {
protected:
    void SetUp() override {
        host::Reset();
        api.searches = GetParam().searches;
        api.openResult = GetParam().openResult;
        host::world().createApi = [this](TouchpadApi** out) {
            if (GetParam().apiResult) {
                return *GetParam().apiResult;
            }
            *out = &api;
            return TOUCHPAD_OK;
        };
    }
    fakes::FakeApi api;
};

TEST_P(ConnectTest, FollowsTheSearchOrderAndReportsTheOutcome) {
    TouchpadConnection connection;
    EXPECT_EQ(ConnectTouchpad(connection), GetParam().outcome);
    EXPECT_EQ(*api.log, GetParam().calls);
    if (GetParam().outcome == ConnectOutcome::Connected) {
        EXPECT_EQ(connection.api, &api);
        EXPECT_EQ(connection.device, &api.device);
    }
    // The component's objects are held for the life of the process: never released.
    EXPECT_EQ(api.releases, 0);
    EXPECT_EQ(api.device.releases, 0);
}

TEST_P(ConnectTest, AFailedConnectionWritesOneLineAndReturnsZero) {
    if (GetParam().outcome == ConnectOutcome::Connected) {
        return;  // a connected run goes on into the pump and never returns
    }
    fakes::CapturedOutput output;
    EXPECT_EQ(RunTalvek(), 0);
    EXPECT_EQ(output.str(), GetParam().output);
    // Nothing of the later stages has begun.
    EXPECT_TRUE(host::CallsNamed("CreateEventW").empty());
    EXPECT_TRUE(host::CallsNamed("CoInitialize").empty());
}

const std::vector<std::string> ALL_SEARCHES = {"search(0,2)", "search(0,5)", "search(0,0)"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectTest,
    ::testing::Values(
        ConnectCase{"ApiCreationFails", E_FAIL_CODE, {}, 0, ConnectOutcome::ApiError, {}, "SynCreateAPI Error.\n"},
        ConnectCase{"ApiCreationReturnsPositive", 1, {}, 0, ConnectOutcome::ApiError, {}, "SynCreateAPI Error.\n"},
        ConnectCase{"FirstKindFound", std::nullopt, {{2, {0, 7}}}, 0, ConnectOutcome::Connected,
                    {"search(0,2)", "open(7)"}, ""},
        ConnectCase{"SecondKindFoundAfterFirstFails", std::nullopt, {{2, {E_FAIL_CODE, 3}}, {5, {0, 42}}}, 0,
                    ConnectOutcome::Connected, {"search(0,2)", "search(0,5)", "open(42)"}, ""},
        ConnectCase{"LastKindFound", std::nullopt, {{0, {0, 9}}}, 0, ConnectOutcome::Connected,
                    {"search(0,2)", "search(0,5)", "search(0,0)", "open(9)"}, ""},
        ConnectCase{"SuccessWithoutHandleOpensMinusOne", std::nullopt, {{2, {0, std::nullopt}}}, 0,
                    ConnectOutcome::Connected, {"search(0,2)", "open(-1)"}, ""},
        ConnectCase{"AFailedSearchsHandleIsWhatTheNextSees", std::nullopt,
                    {{2, {E_FAIL_CODE, 13}}, {5, {0, std::nullopt}}}, 0, ConnectOutcome::Connected,
                    {"search(0,2)", "search(0,5)", "open(13)"}, ""},
        ConnectCase{"PositiveSearchResultIsAFailure", std::nullopt, {{2, {1, 5}}, {5, {0, std::nullopt}}}, 0,
                    ConnectOutcome::Connected, {"search(0,2)", "search(0,5)", "open(5)"}, ""},
        ConnectCase{"NoDeviceFound", std::nullopt, {}, 0, ConnectOutcome::NoDevice, ALL_SEARCHES,
                    "Cannot find a Synaptics Device.\n"},
        ConnectCase{"OpenFails", std::nullopt, {{5, {0, 8}}}, E_FAIL_CODE, ConnectOutcome::NoDevice,
                    {"search(0,2)", "search(0,5)", "open(8)"}, "Cannot find a Synaptics Device.\n"}),
    CaseName());

}  // namespace
