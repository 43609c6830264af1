// The scenario that drives the simulated component: how the connection
// answers, and the script of wake-ups, windows and observations played after
// the device's event attach. The text format is described in README.md.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace simcom {

inline constexpr std::int32_t RESULT_E_FAIL = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t RESULT_E_POINTER = static_cast<std::int32_t>(0x80004003u);

struct SearchAnswer {
    std::int32_t result = RESULT_E_FAIL;
    std::optional<std::int32_t> handle;  // written to the caller's handle when set
};

struct PropertyFailure {
    std::int32_t property = 0;
    std::int32_t code = RESULT_E_FAIL;
};

struct PacketScript {
    std::int32_t word = 0;
    std::int32_t state = 0;
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    std::int32_t loadResult = 0;
    std::vector<PropertyFailure> failures;
    bool gate = false;  // its load waits at the next gate before answering
    int line = 0;
};

enum class StormPoint { None, During, After };
enum class WakeEnd { BatchEnd, Drained };

struct WakeStep {
    std::int32_t notes = 0;
    std::vector<PacketScript> packets;
    StormPoint storm = StormPoint::None;
    std::int32_t stormSignals = 0;
    WakeEnd until = WakeEnd::BatchEnd;
    std::uint32_t timeoutMs = 30000;
    // The packet list is given this many times over, in the one batch.
    std::int32_t cycles = 1;
    // The wake-up is played this many times, one after the other.
    std::int32_t repeat = 1;
    // No per-packet or per-wake facts; timing facts around the whole step
    // instead, so that logging does not weigh on what is measured.
    bool quiet = false;
};

struct WindowStep {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool child = false;
    // The desktop the window is made on (its thread is bound to it); empty:
    // the desktop the program started on.
    std::string desktop;
};

struct CursorStep {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct PauseStep {
    std::uint32_t ms = 0;
};

struct ObserveStep {};
struct CpuStep {};
struct MeasureStep {};

inline constexpr std::uint32_t GATE_TIMEOUT_MS = 30000;

// Waits until the test opens the next gate (see gate.cpp).
struct GateStep {
    std::uint32_t timeoutMs = GATE_TIMEOUT_MS;
};

// The packet class registered or removed while the program runs.
struct ClassStep {
    bool present = true;
};

using Step = std::variant<WakeStep, WindowStep, CursorStep, PauseStep, ObserveStep, CpuStep, MeasureStep, GateStep,
                          ClassStep>;

struct Scenario {
    std::int32_t createResult = 0;
    // Kinds not listed fail with E_FAIL and leave the handle alone; kind 2
    // finds handle 1 unless a `search 2` line says otherwise.
    std::map<std::int32_t, SearchAnswer> searches{{2, SearchAnswer{0, 1}}};
    std::int32_t openResult = 0;
    bool classPresent = true;
    std::int32_t nullLoadResult = RESULT_E_POINTER;
    std::int32_t takeEmptyResult = 1;
    std::vector<Step> steps;
};

struct ParsedScenario {
    Scenario scenario;
    std::vector<std::string> errors;  // "line N: what"; the script is dropped when there is any
};

ParsedScenario ParseScenario(std::string_view text);

SearchAnswer SearchAnswerFor(const Scenario& scenario, std::int32_t kind);

// The property ids by the short names the scenario uses.
std::optional<std::int32_t> PropertyByName(std::string_view name);

// Decimal or 0x-hex, optionally signed; hex up to 0xFFFFFFFF wraps into the
// signed 32-bit range as the component's codes do.
std::optional<std::int32_t> ParseInt32(std::string_view token);

}  // namespace simcom
