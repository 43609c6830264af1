// The console lines: every line the program writes, one whole line per call,
// flushed before the call returns.
#pragma once

#include <cstdint>

void TraceApiError();
void TraceNoDevice();
void TraceNoEvent();
void TraceState(std::int32_t value);
void TraceMove(std::int32_t dx, std::int32_t dy);
void TraceRelease(std::int32_t sumX, std::int32_t sumY);
void TraceSwipeLeft();
void TraceSwipeRight();
