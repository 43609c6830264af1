#include "simcom/scenario.h"

#include <charconv>
#include <limits>
#include <sstream>

#include "touchpad/touchpad.h"

namespace simcom {
namespace {

inline constexpr std::int32_t SWIPE_WORD = 0x303;
inline constexpr std::int32_t DRAG_WORD = 4;

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) {
            ++at;
        }
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') {
            ++end;
        }
        if (end > at) {
            words.push_back(line.substr(at, end - at));
        }
        at = end;
    }
    return words;
}

// Collects the errors of one line; the first one is enough to reject it.
class LineReader {
public:
    LineReader(std::vector<std::string_view> words, int number) : words_(std::move(words)), number_(number) {}

    bool AtEnd() const { return next_ >= words_.size(); }
    std::string_view Peek() const { return AtEnd() ? std::string_view{} : words_[next_]; }
    std::string_view Word() { return AtEnd() ? std::string_view{} : words_[next_++]; }

    std::int32_t Int(const char* what) {
        const std::string_view word = Word();
        const std::optional<std::int32_t> value = ParseInt32(word);
        if (!value) {
            Fail(std::string("expected ") + what + ", found '" + std::string(word) + "'");
            return 0;
        }
        return *value;
    }

    std::uint32_t Milliseconds(const char* what) {
        const std::int32_t value = Int(what);
        if (value < 0) {
            Fail(std::string(what) + " must not be negative");
            return 0;
        }
        return static_cast<std::uint32_t>(value);
    }

    void Fail(const std::string& message) {
        if (error_.empty()) {
            error_ = "line " + std::to_string(number_) + ": " + message;
        }
    }
    void ExpectEnd() {
        if (!AtEnd()) {
            Fail("unexpected '" + std::string(Peek()) + "'");
        }
    }
    const std::string& Error() const { return error_; }
    int Number() const { return number_; }

private:
    std::vector<std::string_view> words_;
    std::size_t next_ = 0;
    int number_;
    std::string error_;
};

// The options that may follow any packet line: load, fail, gate, state.
void ReadPacketOptions(LineReader& reader, PacketScript& packet, bool stateAllowed) {
    while (!reader.AtEnd() && reader.Error().empty()) {
        const std::string_view option = reader.Word();
        if (option == "load") {
            packet.loadResult = reader.Int("a load result");
        } else if (option == "gate") {
            packet.gate = true;
        } else if (option == "state" && stateAllowed) {
            packet.state = reader.Int("a state value");
        } else if (option == "fail") {
            const std::string_view failing = reader.Word();
            const std::size_t equals = failing.find('=');
            const std::string_view name = failing.substr(0, equals);
            PropertyFailure failure;
            if (const std::optional<std::int32_t> property = PropertyByName(name)) {
                failure.property = *property;
            } else {
                reader.Fail("unknown property '" + std::string(name) + "'");
                return;
            }
            if (equals != std::string_view::npos) {
                const std::optional<std::int32_t> code = ParseInt32(failing.substr(equals + 1));
                if (!code || *code == 0) {
                    reader.Fail("a failed read needs a nonzero code");
                    return;
                }
                failure.code = *code;
            }
            packet.failures.push_back(failure);
        } else {
            reader.Fail("unknown packet option '" + std::string(option) + "'");
        }
    }
}

void ReadWakeOptions(LineReader& reader, WakeStep& wake) {
    while (!reader.AtEnd() && reader.Error().empty()) {
        const std::string_view option = reader.Word();
        if (option == "notes") {
            wake.notes = reader.Int("a count of notifications");
            if (wake.notes < 0) {
                reader.Fail("notes must not be negative");
            }
        } else if (option == "storm") {
            const std::string_view point = reader.Word();
            if (point == "during") {
                wake.storm = StormPoint::During;
            } else if (point == "after") {
                wake.storm = StormPoint::After;
            } else {
                reader.Fail("storm needs 'during' or 'after'");
                return;
            }
            wake.stormSignals = reader.Int("a count of signals");
            if (wake.stormSignals < 1) {
                reader.Fail("a storm needs at least one signal");
            }
        } else if (option == "until") {
            const std::string_view until = reader.Word();
            if (until == "end") {
                wake.until = WakeEnd::BatchEnd;
            } else if (until == "drained") {
                wake.until = WakeEnd::Drained;
            } else {
                reader.Fail("until needs 'end' or 'drained'");
            }
        } else if (option == "timeout") {
            wake.timeoutMs = reader.Milliseconds("a time-out in ms");
        } else if (option == "cycles") {
            wake.cycles = reader.Int("a count of cycles");
            if (wake.cycles < 1) {
                reader.Fail("cycles must be at least 1");
            }
        } else if (option == "repeat") {
            wake.repeat = reader.Int("a count of wake-ups");
            if (wake.repeat < 1) {
                reader.Fail("repeat must be at least 1");
            }
        } else if (option == "quiet") {
            wake.quiet = true;
        } else {
            reader.Fail("unknown wake option '" + std::string(option) + "'");
        }
    }
}

}  // namespace

std::optional<std::int32_t> ParseInt32(std::string_view token) {
    bool negative = false;
    if (!token.empty() && (token.front() == '-' || token.front() == '+')) {
        negative = token.front() == '-';
        token.remove_prefix(1);
    }
    int base = 10;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        base = 16;
        token.remove_prefix(2);
    }
    if (token.empty()) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), magnitude, base);
    if (error != std::errc{} || end != token.data() + token.size()) {
        return std::nullopt;
    }
    if (base == 16 && !negative) {
        if (magnitude > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    }
    if (magnitude > std::uint64_t{1} << 32) {
        return std::nullopt;
    }
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> PropertyByName(std::string_view name) {
    if (name == "word") {
        return PROP_CONTACT_WORD;
    }
    if (name == "state") {
        return PROP_STATE;
    }
    if (name == "dx") {
        return PROP_DELTA_X;
    }
    if (name == "dy") {
        return PROP_DELTA_Y;
    }
    return ParseInt32(name);
}

SearchAnswer SearchAnswerFor(const Scenario& scenario, std::int32_t kind) {
    const auto found = scenario.searches.find(kind);
    return found == scenario.searches.end() ? SearchAnswer{} : found->second;
}

ParsedScenario ParseScenario(std::string_view text) {
    ParsedScenario parsed;
    Scenario& scenario = parsed.scenario;
    bool searchesListed = false;
    bool windowSeen = false;
    int number = 0;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        ++number;
        line = line.substr(0, line.find('#'));
        std::vector<std::string_view> words = SplitWords(line);
        if (words.empty()) {
            continue;
        }
        LineReader reader(std::move(words), number);
        const std::string_view keyword = reader.Word();

        if (keyword == "create") {
            scenario.createResult = reader.Int("a result");
        } else if (keyword == "search") {
            // The first search line replaces the default answers as a whole.
            if (!searchesListed) {
                scenario.searches.clear();
                searchesListed = true;
            }
            const std::int32_t kind = reader.Int("a device kind");
            SearchAnswer answer;
            answer.result = reader.Int("a result");
            if (!reader.AtEnd()) {
                answer.handle = reader.Int("a handle");
            }
            scenario.searches[kind] = answer;
        } else if (keyword == "open") {
            scenario.openResult = reader.Int("a result");
        } else if (keyword == "class") {
            const std::string_view presence = reader.Word();
            if (presence == "present" || presence == "absent") {
                scenario.classPresent = presence == "present";
            } else {
                reader.Fail("class needs 'present' or 'absent'");
            }
        } else if (keyword == "nullload") {
            scenario.nullLoadResult = reader.Int("a result");
        } else if (keyword == "take") {
            scenario.takeEmptyResult = reader.Int("a result");
            if (scenario.takeEmptyResult == 0) {
                reader.Fail("the answer with nothing pending must be nonzero");
            }
        } else if (keyword == "wake") {
            WakeStep wake;
            ReadWakeOptions(reader, wake);
            scenario.steps.emplace_back(std::move(wake));
        } else if (keyword == "packet" || keyword == "swipe" || keyword == "drag" || keyword == "lift") {
            WakeStep* wake = scenario.steps.empty() ? nullptr : std::get_if<WakeStep>(&scenario.steps.back());
            if (wake == nullptr) {
                reader.Fail("a packet must follow a wake line or another packet");
            }
            PacketScript packet;
            packet.line = number;
            if (keyword == "packet") {
                packet.word = reader.Int("a contact word");
                packet.state = reader.Int("a state value");
                packet.dx = reader.Int("dx");
                packet.dy = reader.Int("dy");
                ReadPacketOptions(reader, packet, false);
            } else if (keyword == "lift") {
                ReadPacketOptions(reader, packet, true);
            } else {
                packet.word = keyword == "swipe" ? SWIPE_WORD : DRAG_WORD;
                packet.dx = reader.Int("dx");
                packet.dy = reader.Int("dy");
                ReadPacketOptions(reader, packet, true);
            }
            if (wake != nullptr && reader.Error().empty()) {
                wake->packets.push_back(std::move(packet));
            }
        } else if (keyword == "window") {
            WindowStep window;
            window.x = reader.Int("x");
            window.y = reader.Int("y");
            window.width = reader.Int("a width");
            window.height = reader.Int("a height");
            while (!reader.AtEnd() && reader.Error().empty()) {
                const std::string_view option = reader.Word();
                if (option == "child") {
                    window.child = true;
                } else if (option == "desktop") {
                    window.desktop = std::string(reader.Word());
                    if (window.desktop.empty()) {
                        reader.Fail("desktop needs a name");
                    }
                } else {
                    reader.Fail("unknown window option '" + std::string(option) + "'");
                }
            }
            if (window.width <= 0 || window.height <= 0) {
                reader.Fail("a window needs a positive size");
            }
            if (windowSeen) {
                reader.Fail("only one test window is supported");
            }
            windowSeen = true;
            scenario.steps.emplace_back(window);
        } else if (keyword == "cursor") {
            CursorStep cursor;
            cursor.x = reader.Int("x");
            cursor.y = reader.Int("y");
            scenario.steps.emplace_back(cursor);
        } else if (keyword == "pause") {
            scenario.steps.emplace_back(PauseStep{reader.Milliseconds("a pause in ms")});
        } else if (keyword == "observe") {
            scenario.steps.emplace_back(ObserveStep{});
        } else if (keyword == "cpu") {
            scenario.steps.emplace_back(CpuStep{});
        } else if (keyword == "gate") {
            GateStep gate;
            if (reader.Peek() == "timeout") {
                reader.Word();
                gate.timeoutMs = reader.Milliseconds("a time-out in ms");
            }
            scenario.steps.emplace_back(gate);
        } else if (keyword == "register" || keyword == "unregister") {
            if (reader.Word() != "class") {
                reader.Fail(std::string(keyword) + " needs 'class'");
            }
            scenario.steps.emplace_back(ClassStep{keyword == "register"});
        } else if (keyword == "measure") {
            scenario.steps.emplace_back(MeasureStep{});
        } else {
            reader.Fail("unknown keyword '" + std::string(keyword) + "'");
        }
        reader.ExpectEnd();
        if (!reader.Error().empty()) {
            parsed.errors.push_back(reader.Error());
        }
    }
    if (!parsed.errors.empty()) {
        scenario.steps.clear();
    }
    return parsed;
}

}  // namespace simcom
