#include "trace/trace.h"

#include <iostream>

// All lines go through std::cout with its default settings (base 10, no
// width, classic locale). Standard output is in text mode, so on Windows the
// '\n' reaches the handle as CR LF. A failed write leaves the stream failed
// and later lines are dropped; nothing here looks at that.

void TraceApiError() {
    std::cout << "SynCreateAPI Error." << '\n' << std::flush;
}

void TraceNoDevice() {
    std::cout << "Cannot find a Synaptics Device." << '\n' << std::flush;
}

void TraceNoEvent() {
    std::cout << "Cannot create the notification event." << '\n' << std::flush;
}

void TraceState(std::int32_t value) {
    std::cout << "STATE : " << value << '\n' << std::flush;
}

void TraceMove(std::int32_t dx, std::int32_t dy) {
    std::cout << "MOVE : " << dx << ", " << dy << '\n' << std::flush;
}

void TraceRelease(std::int32_t sumX, std::int32_t sumY) {
    std::cout << "RELEASE (" << sumX << "," << sumY << ") " << '\n' << std::flush;
}

void TraceSwipeLeft() {
    std::cout << "SWIPE LEFT" << '\n' << std::flush;
}

void TraceSwipeRight() {
    std::cout << "SWIPE RIGHT" << '\n' << std::flush;
}
