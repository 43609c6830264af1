#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "case_name.h"
#include "fakes.h"
#include "trace/trace.h"

namespace {

constexpr std::int32_t MIN = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t MAX = std::numeric_limits<std::int32_t>::max();

struct LineCase {
    const char* name;
    std::function<void()> write;
    std::string expected;
};

// Lists the case by its name.
void PrintTo(const LineCase& test, std::ostream* out) {
    *out << test.name;
}

class TraceLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(TraceLineTest, WritesExactlyOneLine) {
    fakes::CapturedOutput output;
    GetParam().write();
    EXPECT_EQ(output.str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllLines, TraceLineTest,
    ::testing::Values(
        LineCase{"ApiError", [] { TraceApiError(); }, "SynCreateAPI Error.\n"},
        LineCase{"NoDevice", [] { TraceNoDevice(); }, "Cannot find a Synaptics Device.\n"},
        LineCase{"NoEvent", [] { TraceNoEvent(); }, "Cannot create the notification event.\n"},
        LineCase{"StateZero", [] { TraceState(0); }, "STATE : 0\n"},
        LineCase{"StateNegative", [] { TraceState(-17); }, "STATE : -17\n"},
        LineCase{"StateExtremes", [] { TraceState(MIN); TraceState(MAX); },
                 "STATE : -2147483648\nSTATE : 2147483647\n"},
        LineCase{"MoveSeparatedByCommaBlank", [] { TraceMove(-3, 12); }, "MOVE : -3, 12\n"},
        LineCase{"MoveExtremes", [] { TraceMove(MIN, MAX); }, "MOVE : -2147483648, 2147483647\n"},
        LineCase{"ReleaseEndsInBlank", [] { TraceRelease(-140, 7); }, "RELEASE (-140,7) \n"},
        LineCase{"ReleaseOfNoMotion", [] { TraceRelease(0, 0); }, "RELEASE (0,0) \n"},
        LineCase{"ReleaseExtremes", [] { TraceRelease(MAX, MIN); }, "RELEASE (2147483647,-2147483648) \n"},
        LineCase{"SwipeLeft", [] { TraceSwipeLeft(); }, "SWIPE LEFT\n"},
        LineCase{"SwipeRight", [] { TraceSwipeRight(); }, "SWIPE RIGHT\n"}),
    CaseName());

// Records the text it holds at every flush.
class FlushRecorder : public std::stringbuf {
public:
    std::vector<std::string> atFlush;

protected:
    int sync() override {
        atFlush.push_back(str());
        return 0;
    }
};

TEST(TraceFlush, EveryLineIsWholeAndFlushedBeforeTheCallReturns) {
    FlushRecorder recorder;
    std::streambuf* previous = std::cout.rdbuf(&recorder);
    TraceState(5);
    TraceMove(1, 2);
    std::cout.rdbuf(previous);
    EXPECT_EQ(recorder.atFlush, (std::vector<std::string>{"STATE : 5\n", "STATE : 5\nMOVE : 1, 2\n"}));
}

TEST(TraceFlush, AFailedStreamDropsLaterLinesWithoutComplaint) {
    fakes::CapturedOutput output;
    TraceSwipeLeft();
    std::cout.setstate(std::ios::badbit);
    TraceSwipeRight();
    TraceRelease(1, 2);
    EXPECT_EQ(output.str(), "SWIPE LEFT\n");
}

TEST(TraceFlush, TheStreamsSettingsAreLeftAsTheyWere) {
    fakes::CapturedOutput output;
    const std::ios::fmtflags before = std::cout.flags();
    TraceMove(-1, 1);
    EXPECT_EQ(std::cout.flags(), before);
    EXPECT_EQ(std::cout.width(), 0);
}

}  // namespace
